#pragma once
// The fitter-main library's environment: a static registry into which
// start-up lends utilities. Every set is recorded as a lend
// ("TIBEX_ENV::set_<slot>(ptr)") and every clear as a take-back
// ("TIBEX_ENV::set_<slot>(null)"); has_allocated_interface_objects() is true
// while any utility slot (of this registry or of WEXAN_ENV) holds an object.
// The registry never deletes what it holds.
#include "common/host_api.h"
#include "tibex/tibex_vpr_facade.h"

class CMP_FACADE;
class NOLT_DELAY_CHAIN_UTIL_BODY;
class NOLT_RAM_PACKING_CHECK_BODY;
class NOLT_KX_MERGE_RAM_OP_BODY;
class NOLT_CLKBUF_FIX_ATOM_NETLIST;
class NOLT_GND_LCELL_MANAGER;
class NOLT_DEVICE_MIGRATION_CONSTRAINTS_BODY;
class NOLT_RAM_ENABLE_CONVERSION_UTIL;
class TIBEX_CLKGATE_FANOUT_REWIRER;
class WEXAN_LUT_RAM_UTILITY;
class WEXAN_PDC_UTILITY;

class HOST_API TIBEX_ENV {
public:
  // recorded: the compiler facade the fitter-main library works for (not an
  // allocated interface object).
  static void set_cmp_facade(CMP_FACADE* cmp);
  static CMP_FACADE* get_cmp_facade();

  // data: true while any lent object is registered.
  static bool has_allocated_interface_objects();

  // data: the utility slots (setters recorded as lends and take-backs).
  static void set_delay_chain_util(NOLT_DELAY_CHAIN_UTIL_BODY* util);
  static NOLT_DELAY_CHAIN_UTIL_BODY* get_delay_chain_util();
  static void set_tibex_ram_packer(NOLT_RAM_PACKING_CHECK_BODY* util);
  static NOLT_RAM_PACKING_CHECK_BODY* get_tibex_ram_packer();
  static void set_tibex_ram_merger(NOLT_KX_MERGE_RAM_OP_BODY* util);
  static NOLT_KX_MERGE_RAM_OP_BODY* get_tibex_ram_merger();
  static void set_tibex_clkbuf_fix_atom_netlist(NOLT_CLKBUF_FIX_ATOM_NETLIST* util);
  static NOLT_CLKBUF_FIX_ATOM_NETLIST* get_tibex_clkbuf_fix_atom_netlist();
  static void set_tibex_clkgate_fanout_rewirer(TIBEX_CLKGATE_FANOUT_REWIRER* util);
  static TIBEX_CLKGATE_FANOUT_REWIRER* get_tibex_clkgate_fanout_rewirer();
  static void set_tibex_gnd_lcell_manager(NOLT_GND_LCELL_MANAGER* util);
  static NOLT_GND_LCELL_MANAGER* get_tibex_gnd_lcell_manager();
  static void set_tibex_device_migration_constraints_util(NOLT_DEVICE_MIGRATION_CONSTRAINTS_BODY* util);
  static NOLT_DEVICE_MIGRATION_CONSTRAINTS_BODY* get_tibex_device_migration_constraints_util();
  static void set_lut_ram_utility(WEXAN_LUT_RAM_UTILITY* util);
  static WEXAN_LUT_RAM_UTILITY* get_lut_ram_utility();
  static void set_ram_enable_conversion_util(NOLT_RAM_ENABLE_CONVERSION_UTIL* util);
  static NOLT_RAM_ENABLE_CONVERSION_UTIL* get_ram_enable_conversion_util();
  static void set_tibex_pdc_utility(WEXAN_PDC_UTILITY* util);
  static WEXAN_PDC_UTILITY* get_tibex_pdc_utility();

  // recorded: creates the placer-router facade when there is none and
  // registers it (a lend of the host's own object).
  static void set_vpr20k_facade();
  // data: the facade, or null.
  static TIBEX_VPR_FACADE* get_vpr_facade();
  // recorded: empties the facade slot (a take-back); deletes nothing.
  static void clear_vpr_facade();
};

// The sector clock-gate fanout rewirer interface the component implements.
class HOST_API TIBEX_CLKGATE_FANOUT_REWIRER {
public:
  TIBEX_CLKGATE_FANOUT_REWIRER();
  virtual ~TIBEX_CLKGATE_FANOUT_REWIRER();
  TIBEX_CLKGATE_FANOUT_REWIRER(const TIBEX_CLKGATE_FANOUT_REWIRER&) = delete;
  TIBEX_CLKGATE_FANOUT_REWIRER& operator=(const TIBEX_CLKGATE_FANOUT_REWIRER&) = delete;
};
