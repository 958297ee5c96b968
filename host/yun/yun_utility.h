#pragma once
// The retiming engine's interfaces, implemented by libzarn_yun.so and by the
// component's adaptor.
#include <vector>

#include "common/host_api.h"
#include "kem/kem_timing_model.h"

class CMP_FACADE;
class SIV_ATOM_MOD_UTILITY;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;

// The fitter as the engine sees it. The component implements it; the engine
// keeps the pointer for the utility's whole life.
class HOST_API YUN_ENV {
public:
  // The settings the engine asks for.
  enum BOOL_DATA : int {
    EXPAND_LABS = 0,          // expand LABs in the timing netlist for the retimer
    SPAR_FLOW_RETIMED = 1,    // SPAR flow, retime stage
    SPAR_FLOW_FINAL = 2,      // SPAR flow, final snapshot
  };

  virtual ~YUN_ENV();
  virtual CMP_FACADE* get_cmp_facade() = 0;
  virtual VOK_ATOM_NETLIST* get_atom_netlist() = 0;
  virtual SIV_ATOM_MOD_UTILITY* get_atom_mod_utility() = 0;
  virtual bool get_bool_data(BOOL_DATA d) const = 0;
  virtual bool copy_atom_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, bool a, bool b) = 0;
};

// The engine's utility, made by the library's factory and owned by the
// caller (live counter "yun_utility").
class HOST_API YUN_UTILITY {
public:
  YUN_UTILITY();
  virtual ~YUN_UTILITY();
  YUN_UTILITY(const YUN_UTILITY&) = delete;
  YUN_UTILITY& operator=(const YUN_UTILITY&) = delete;

  // One retiming run over the environment's netlist; true on success.
  virtual bool retime() = 0;
  // Appends the timing models the engine needs to `models`.
  virtual void get_timing_models(std::vector<KEM_TIMING_MODEL>& models) = 0;
};

using YUN_UTILITY_FACTORY_FN = YUN_UTILITY* (*)(YUN_ENV*);
