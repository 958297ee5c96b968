#include "tibex/tibex_env.h"

#include "common/host_call_log.h"
#include "common/host_lent.h"
#include "common/host_world.h"
#include "nolt/nolt_utilities.h"
#include "thr/thr_drl.h"

namespace {
struct TIBEX_STATE {
  CMP_FACADE* cmp = nullptr;
};

const char* const kFacadeSlot = "TIBEX_ENV::vpr_facade";
}  // namespace

void TIBEX_ENV::set_cmp_facade(CMP_FACADE* cmp) {
  host::log_call("TIBEX_ENV::set_cmp_facade", cmp);
  host_world_slot<TIBEX_STATE>().cmp = cmp;
}

CMP_FACADE* TIBEX_ENV::get_cmp_facade() { return host_world_slot<TIBEX_STATE>().cmp; }

bool TIBEX_ENV::has_allocated_interface_objects() { return !host::lent().empty(); }

#define TIBEX_SLOT(TYPE, SETTER, GETTER, SLOT)                             \
  void TIBEX_ENV::SETTER(TYPE* util) {                                     \
    host::log_call("TIBEX_ENV::" #SETTER, util);                           \
    host::registry_set("TIBEX_ENV::" SLOT, util);                          \
  }                                                                        \
  TYPE* TIBEX_ENV::GETTER() { return static_cast<TYPE*>(host::registry_get("TIBEX_ENV::" SLOT)); }

TIBEX_SLOT(NOLT_DELAY_CHAIN_UTIL_BODY, set_delay_chain_util, get_delay_chain_util, "delay_chain_util")
// Replacing an installed RAM packer deletes the replaced one; clearing the
// slot hands it back to its owner.
void TIBEX_ENV::set_tibex_ram_packer(NOLT_RAM_PACKING_CHECK_BODY* util) {
  host::log_call("TIBEX_ENV::set_tibex_ram_packer", util);
  NOLT_RAM_PACKING_CHECK_BODY* old = get_tibex_ram_packer();
  host::registry_set("TIBEX_ENV::tibex_ram_packer", util);
  if (util != nullptr && old != nullptr && old != util) delete old;
}
NOLT_RAM_PACKING_CHECK_BODY* TIBEX_ENV::get_tibex_ram_packer() {
  return static_cast<NOLT_RAM_PACKING_CHECK_BODY*>(host::registry_get("TIBEX_ENV::tibex_ram_packer"));
}
TIBEX_SLOT(NOLT_KX_MERGE_RAM_OP_BODY, set_tibex_ram_merger, get_tibex_ram_merger, "tibex_ram_merger")
TIBEX_SLOT(NOLT_CLKBUF_FIX_ATOM_NETLIST, set_tibex_clkbuf_fix_atom_netlist, get_tibex_clkbuf_fix_atom_netlist,
           "tibex_clkbuf_fix_atom_netlist")
TIBEX_SLOT(TIBEX_CLKGATE_FANOUT_REWIRER, set_tibex_clkgate_fanout_rewirer, get_tibex_clkgate_fanout_rewirer,
           "tibex_clkgate_fanout_rewirer")
TIBEX_SLOT(NOLT_GND_LCELL_MANAGER, set_tibex_gnd_lcell_manager, get_tibex_gnd_lcell_manager,
           "tibex_gnd_lcell_manager")
TIBEX_SLOT(NOLT_DEVICE_MIGRATION_CONSTRAINTS_BODY, set_tibex_device_migration_constraints_util,
           get_tibex_device_migration_constraints_util, "tibex_device_migration_constraints_util")
TIBEX_SLOT(WEXAN_LUT_RAM_UTILITY, set_lut_ram_utility, get_lut_ram_utility, "lut_ram_utility")
TIBEX_SLOT(NOLT_RAM_ENABLE_CONVERSION_UTIL, set_ram_enable_conversion_util, get_ram_enable_conversion_util,
           "ram_enable_conversion_util")
TIBEX_SLOT(WEXAN_PDC_UTILITY, set_tibex_pdc_utility, get_tibex_pdc_utility, "tibex_pdc_utility")

#undef TIBEX_SLOT

void TIBEX_ENV::set_vpr20k_facade() {
  host::log_call("TIBEX_ENV::set_vpr20k_facade");
  if (!get_vpr_facade()) host::registry_set(kFacadeSlot, new TIBEX_VPR_FACADE());
}

TIBEX_VPR_FACADE* TIBEX_ENV::get_vpr_facade() {
  return static_cast<TIBEX_VPR_FACADE*>(host::registry_get(kFacadeSlot));
}

void TIBEX_ENV::clear_vpr_facade() {
  host::log_call("TIBEX_ENV::clear_vpr_facade");
  host::registry_set(kFacadeSlot, nullptr);
}

TIBEX_CLKGATE_FANOUT_REWIRER::TIBEX_CLKGATE_FANOUT_REWIRER() = default;
TIBEX_CLKGATE_FANOUT_REWIRER::~TIBEX_CLKGATE_FANOUT_REWIRER() = default;
