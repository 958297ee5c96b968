#include "velmo_register_packer.h"

#include "cfg/cfg.h"
#include "dev/dev_family.h"
#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "mub/mub_periph_flow.h"
#include "nolt/nolt_register_packer.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_register_packer", line);
}

constexpr unsigned kIoPackingSource = 0x200;
constexpr int kKeepOutOfPackingBit = 46;

// Both runs are gated by the same two switches; each run reads them once per
// process (RUN tells the two runs' copies apart).
template <int RUN> bool l_packing_enabled() {
  static const bool regpack = cfg_is_on("velmo_enable_regpack", true);
  static const bool all_prefit_ops = cfg_is_on("velmo_enable_all_prefit_ops", true);
  return regpack && all_prefit_ops;
}

bool l_allow_early_exit() {
  static const bool allow = cfg_is_on("velmo_allow_early_exit_skip_of_user_regpack", true);
  return allow;
}
}  // namespace

bool VELMO_REGISTER_PACKER::do_packing(WEXAN_ENV* env) {
  if (!l_packing_enabled<0>() || WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter()) return true;
  const bool periph_ok = MUB_PERIPH_FLOW::pre_regpack();
  bool result = false;
  {
    NOLT_FF_REGISTER_PACKER_OP op(false);
    op.perform_timing_analysis();
    if (periph_ok && do_user_register_packing(env, &op)) result = do_opportunistic_register_packing(env, &op);
  }
  NOLT_FF_REGISTER_PACKER_OP::free_permanent_data();
  return result;
}

bool VELMO_REGISTER_PACKER::do_packing_with_w3j3(WEXAN_ENV*) {
  if (!l_packing_enabled<1>() || WEXAN_SWAVO_RECOMPILE_UTILITY::all_partitions_can_skip_fitter()) return true;
  const bool periph_ok = MUB_PERIPH_FLOW::pre_regpack();
  bool result = false;
  {
    NOLT_FF_REGISTER_PACKER_OP op(true);
    if (periph_ok) result = op.pack_ram_register_aggressively();
  }
  NOLT_FF_REGISTER_PACKER_OP::free_permanent_data();
  return result;
}

bool VELMO_REGISTER_PACKER::do_user_register_packing(WEXAN_ENV* env, NOLT_FF_REGISTER_PACKER_OP* op) {
  VELMO_SCOPED_PROFILE_BIN bin("Register Packing (User)", "Prefit - Regpack");
  if (env == nullptr) l_internal_error("env", __LINE__);
  DEV_FAMILY_MANAGER family_mgr;
  if (family_mgr.test_trait_of(WEXAN_ENV::get_env()->get_base_family_code(),
                               DEV_FAMILY_TRAIT_HAS_TECHNOLOGY_MIGRATION_SUPPORT))
    l_internal_error(
        "!family_mgr.test_trait_of(WEXAN_ENV::get_env()->get_base_family_code(), "
        "DEV_FAMILY_TRAIT_HAS_TECHNOLOGY_MIGRATION_SUPPORT)",
        __LINE__);
  if (!check_for_user_locked_ffs(env) && l_allow_early_exit()) return true;
  {
    VELMO_SCOPED_PROFILE_BIN sweep_bin("Sweep inverters and wire LUTs at packable boundaries", "Prefit - Regpack");
    NOLT_RP_UTIL::sweep_inverters_and_wire_luts_at_packable_boundaries();
  }
  bool result = op->initialize_and_sweep_netlist();
  if (result) result = op->pack_registers_due_to_location_assignments();
  return result;
}

bool VELMO_REGISTER_PACKER::do_opportunistic_register_packing(WEXAN_ENV*, NOLT_FF_REGISTER_PACKER_OP* op) {
  VELMO_SCOPED_PROFILE_BIN bin("Register Packing (Opportunistic)", "Prefit - Regpack");
  return op->pack_registers_opportunistically();
}

bool VELMO_REGISTER_PACKER::check_for_user_locked_ffs(WEXAN_ENV* env) {
  WEXAN_DESIGN* design = env->get_design();
  for (VOK_ATOM_NODE* atom : env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_ff() || (atom->bit_is_legal(kKeepOutOfPackingBit) && atom->test_bit(kKeepOutOfPackingBit))) continue;
    TIBEX_LOCATION_CONSTRAINT c = design->get_atom_location_constraint(atom->get_id());
    if (c.has_locked_constraint(kIoPackingSource) || c.has_floating_constraint(kIoPackingSource)) return true;
  }
  return false;
}
