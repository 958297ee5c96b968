#pragma once
// Netlist operations that need no device resource: the prefit netlist
// adjustment and the metastability FF conversion.
#include "common/host_api.h"

class WEXAN_ENV;

class HOST_API NOLT_PRE_FIT_NETLIST_ADJUST_OP {
public:
  explicit NOLT_PRE_FIT_NETLIST_ADJUST_OP(WEXAN_ENV* env);
  virtual ~NOLT_PRE_FIT_NETLIST_ADJUST_OP();
  NOLT_PRE_FIT_NETLIST_ADJUST_OP(const NOLT_PRE_FIT_NETLIST_ADJUST_OP&) = delete;
  NOLT_PRE_FIT_NETLIST_ADJUST_OP& operator=(const NOLT_PRE_FIT_NETLIST_ADJUST_OP&) = delete;
  // recorded: scripted, default true.
  bool work();
};

class HOST_API NOLT_METASTABLE_FF_CONVERSION_OP {
public:
  explicit NOLT_METASTABLE_FF_CONVERSION_OP(WEXAN_ENV* env);
  virtual ~NOLT_METASTABLE_FF_CONVERSION_OP();
  NOLT_METASTABLE_FF_CONVERSION_OP(const NOLT_METASTABLE_FF_CONVERSION_OP&) = delete;
  NOLT_METASTABLE_FF_CONVERSION_OP& operator=(const NOLT_METASTABLE_FF_CONVERSION_OP&) = delete;
  // recorded: scripted, default true.
  bool work();
};
