// Pipeline-register (ZOTA) depopulation, repopulation and merging through the
// outside retiming engine. Each operation makes its engine utility for one
// call and deletes it on every path.
#include "velmo_retimer.h"

#include <algorithm>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "belq/belq_env.h"
#include "cfg/cfg.h"
#include "jov/jov_design.h"
#include "kem/kem_netlist.h"
#include "soj/soj_stage.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_early_retime.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_family.h"
#include "hov/hov_utility.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "piz/piz_table.h"
#include "r5t/r5t_interface.h"
#include "siv/siv_atom_mod_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "velmo_debug.h"
#include "velmo_dedicated_repopulation_manager.h"
#include "velmo_dup_reg_for_retiming.h"
#include "velmo_eqcheck_netlist.h"
#include "velmo_expert.h"
#include "velmo_msgs.h"
#include "velmo_yun_env.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"

namespace {

constexpr int kMetadataNamespace = 4;
constexpr int kHoldOptimizationOption = 801;
constexpr int kHoldOptimizationOff = 3;
constexpr int kUserDepopAssignment = 1177;
constexpr int kUserDepopValue = 424;
constexpr int kLutramFamilyTrait = 203;
constexpr int kLutramDeviceTrait = 42;
constexpr int kCoreRegisterType = 392;
constexpr int kTableAlgorithm = 5;
constexpr int kTableReason = 17;
constexpr int kMergeAtomModAlgorithm = 9;
constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};
constexpr int kGobbleOperation = 39;
constexpr int kFormalVerificationOption = 627;
constexpr int kRulewardenOption = 189;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_retimer", line);
}

using ENGINE = std::unique_ptr<YUN_UTILITY>;

// The engine utility over a fresh adaptor; null is an internal error.
ENGINE l_create_engine(VELMO_YUN_ENV& yun_env, WEXAN_PIZ_TABLE* table) {
  ENGINE util(yun_env.create_yun_utility(table));
  if (!util) l_internal_error("yun_util", __LINE__);
  return util;
}

WEXAN_HOV_UTILITY* l_hov_utility(WEXAN_ENV* env) {
  WEXAN_HOV_UTILITY* hov =
      env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  if (hov == nullptr) l_internal_error("hov_utility", __LINE__);
  return hov;
}

R5T_INTERFACE* l_r5t() {
  R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
  if (r5t == nullptr) l_internal_error("r5t", __LINE__);
  return r5t;
}

bool l_metadata_is(const VOK_ATOM_NODE* atom, const char* key, const char* value) {
  return l_r5t()->get_atom_metadata(atom->get_id(), PELK::intern(kMetadataNamespace, key)) ==
         PELK::intern(kMetadataNamespace, value);
}

void l_set_metadata(const VOK_ATOM_NODE* atom, const char* key, const char* value) {
  l_r5t()->set_atom_metadata(atom->get_id(), PELK::intern(kMetadataNamespace, key),
                             PELK::intern(kMetadataNamespace, value));
}

bool l_has_zota_marked_reg(VOK_ATOM_NETLIST* netlist) {
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) return true;
  return false;
}

// Taints the whole netlist, or each ZOTA-marked register, for the next
// timing rebuild.
void l_taint_after_repopulation(WEXAN_ENV* env, bool global) {
  if (global) {
    env->indicate_that_atom_netlist_is_modified();
    return;
  }
  for (VOK_ATOM_NODE* atom : env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) env->indicate_that_atom_netlist_is_modified(atom->get_id(), false, false);
}

// The signed five-bit signal-routing code of an input term.
int l_signal_routing_code(const VOK_ATOM_ITERM* iterm) {
  const int code = iterm->get_connection_code() & 0x1F;
  return code >= 16 ? code - 32 : code;
}

bool l_has_user_depop_assignment(const VOK_ATOM_NODE* reg) {
  const VOK_ATOM_OTERM* out = reg->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  if (out == nullptr) return false;
  const OMZ_INSTANCE_NAME* name = reg->get_instance_name();
  const OMZ_OPTION* option =
      OMZ_DERIVED_OPTION::get_single_option(name ? name->path() : std::string(), kUserDepopAssignment, true);
  return option != nullptr && option->get_value() == kUserDepopValue;
}

using TERM_PATH = std::unordered_set<const VOK_ATOM_OTERM*>;

// A term on the current recursion path answers false: a ring of ZOTA
// registers would otherwise be walked without end.
bool l_contains_unlocked_zotas(const VOK_ATOM_OTERM* driver, TERM_PATH& path) {
  if (!path.insert(driver).second) return false;
  bool result = false;
  for (const VOK_ATOM_ITERM* t : driver->cfanout(VOK_TRAVERSE_HIERARCHICAL)) {
    const VOK_ATOM_NODE* atom = t->get_my_node();
    if (!ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) continue;
    if (atom->is_placed() && SWAVO_RECOMPILE_OP::is_routing_resource_containing_zotas(atom->get_location_gid())) {
      const VOK_ATOM_OTERM* out = atom->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
      if (out == nullptr || !l_contains_unlocked_zotas(out, path)) continue;
    }
    result = true;
    break;
  }
  path.erase(driver);
  return result;
}

void l_merge_zotas(VOK_ATOM_OTERM* driver, SIV_ATOM_MOD_UTILITY* util, int& checks, int& merges, TERM_PATH& path) {
  static const bool s_manage_p2c = cfg_is_on("route_zota_manage_p2c_zota", true);
  if (!path.insert(driver).second) return;
  // The participants first: merging edits the driver's fanout list.
  std::vector<VOK_ATOM_NODE*> participants;
  for (VOK_ATOM_ITERM* t : driver->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
    VOK_ATOM_NODE* atom = t->get_my_node();
    if (atom->get_location_index() >= 0 || !atom->is_modifiable() || !ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) continue;
    if (std::find(participants.begin(), participants.end(), atom) == participants.end()) participants.push_back(atom);
  }
  std::vector<VOK_ATOM_NODE*> representatives;
  std::vector<VOK_ATOM_NODE*> locked;
  for (VOK_ATOM_NODE* reg : participants) {
    const bool mergeable = !l_metadata_is(reg, "RETIMER_NO_TOUCH", "LOCKED") ||
                           (s_manage_p2c && l_metadata_is(reg, "P2C_ZOTA", "P2C"));
    if (!mergeable) {
      locked.push_back(reg);
      continue;
    }
    bool merged = false;
    for (VOK_ATOM_NODE*& rep : representatives) {
      ++checks;
      if (util->merge_zota_registers(rep, reg)) {
        ++merges;
        rep = reg;
        merged = true;
        break;
      }
    }
    if (!merged) representatives.push_back(reg);
  }
  for (const std::vector<VOK_ATOM_NODE*>* list : {&representatives, &locked})
    for (VOK_ATOM_NODE* reg : *list)
      if (VOK_ATOM_OTERM* out = reg->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0))
        l_merge_zotas(out, util, checks, merges, path);
  path.erase(driver);
}

}  // namespace

// File-local by role: the two walks of the ZOTA merge.
static bool velmo_retimer_contains_unlocked_zotas(const VOK_ATOM_OTERM* driver) {
  TERM_PATH path;
  return l_contains_unlocked_zotas(driver, path);
}

static void velmo_retimer_merge_zotas(VOK_ATOM_OTERM* driver, SIV_ATOM_MOD_UTILITY* util, int& checks, int& merges) {
  TERM_PATH path;
  l_merge_zotas(driver, util, checks, merges, path);
}

bool VELMO_RETIMER::depopulate_netlist_for_retiming_flow(CMP_FACADE* cmp, WEXAN_ENV* env) {
  VOK_ATOM_NETLIST* netlist = env->get_atom_netlist();
  if (!ZEL_DEV_ZOTA_UTIL::is_zota_depopulation_enabled(cmp, netlist) || env->get_yun_env() == nullptr) return true;
  if (!ZEL_DEV_ZOTA_UTIL::is_zento_retimer_enabled(cmp) &&
      !ZEL_DEV_ZOTA_UTIL::is_zota_depopulation_enabled_by_instance(cmp, netlist)) {
    msg_post(MSG_VELMO::W::DEPOP_ENABLED_WITH_ZENTO_RETIMER_OFF(), nullptr);
    return true;
  }
  const OMZ_OPTION* hold = OMZ_DERIVED_OPTION::get_single_option(cmp->get_option_namespace(), kHoldOptimizationOption, true);
  if (hold != nullptr && hold->get_value() == kHoldOptimizationOff) {
    msg_post(MSG_VELMO::W::DEPOP_ENABLED_WITH_HOLD_OPTIMIZATION_OFF(), nullptr);
    return true;
  }
  VELMO_SCOPED_PROFILE_BIN bin("Depopulate Netlist", "Prefit - Other", "VELMO");
  l_hov_utility(env);
  WEXAN_PIZ_TABLE table("Depopulate Netlist");
  table.set_table_algorithm(kTableAlgorithm);
  table.push_reason(kTableReason);
  bool result = false;
  {
    VELMO_YUN_ENV yun_env;
    ENGINE util = l_create_engine(yun_env, &table);
    result = util->depopulate_netlist(hov_get_atom_netlist_taint_manager());
    if (result && cfg_is_on("duplicate_high_fanout_depop_signals", false))
      env->get_design()->update_atom_info_for_high_fanout_depop();
  }
  table.pop_reason();
  return result;
}

bool VELMO_RETIMER::force_depop_ffs_for_zota(WEXAN_ENV* env) {
  VELMO_SCOPED_PROFILE_BIN bin("Force Depopulate Netlist (early)", "Prefit - Other", "VELMO");
  static const bool s_verbose = cfg_is_on("lutram_zota_debug_verbose", false);
  static bool s_user_depop = cfg_is_on("yun_depopulate_force_user_depop", false);
  static const bool s_lutram = cfg_is_on(
      "velmo_depop_lutram_port_a_data_in_register",
      DEV_FAMILY_MANAGER().test_trait_of(env->get_base_family_code(), kLutramFamilyTrait) ||
          DEV_PART_MANAGER().test_device_trait(PEXA_UTILITY::get_current_device()->get_device_enum(),
                                              kLutramDeviceTrait));
  CMP_FACADE* cmp = env->get_cmp();
  VOK_ATOM_NETLIST* netlist = env->get_atom_netlist();
  if (ZEL_DEV_ZOTA_UTIL::is_zota_depopulation_enabled_by_instance(cmp, netlist)) s_user_depop = true;
  if (!s_lutram && !s_user_depop) return true;

  std::vector<VOK_ATOM_NODE*> depop;
  int lutram_count = 0;
  int user_count = 0;
  bool error = false;
  std::unique_ptr<SIV_ATOM_MOD_UTILITY> amu;
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (s_user_depop && atom->is_ff() && l_has_user_depop_assignment(atom)) {
      depop.push_back(atom);
      ++user_count;
      const VOK_ATOM_ITERM* clk = atom->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
      const VOK_ATOM_OTERM* clk_src = clk ? clk->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
      if (clk_src != nullptr) {
        const int code = l_signal_routing_code(clk);
        if (code == 0 || code == 3 || code == 4) {
          msg_post(MSG_VELMO::E::CANNOT_DEPOP_ZOTA_DUE_TO_GLOBAL(atom->get_string_hpath(),
                                                                  clk_src->get_my_node()->get_string_hpath()),
                   nullptr);
          error = true;
        }
      }
    }
    if (!s_lutram || !atom->is_lutram()) continue;
    VOK_ATOM_ITERM* port_a = atom->get_input_term_by_type(DB_INPUT_PORT_LUTRAM_DATA_A, 0);
    VOK_ATOM_OTERM* port_a_src =
        port_a && port_a->is_connected() ? port_a->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    if (port_a_src == nullptr) continue;
    VOK_ATOM_NODE* ff = port_a_src->get_my_node();
    if (!ff->is_modifiable()) {
      if (s_verbose) msg_vdebug_impl(2, "lutram depop: input ff %d is not modifiable", ff->get_id());
      continue;
    }
    if (!ZEL_ZOTA_UTIL::is_ff_atom_a_simple_ff(ff)) {
      if (s_verbose) msg_vdebug_impl(2, "lutram depop: input ff %d is not a simple ff", ff->get_id());
      continue;
    }
    VOK_ATOM_ITERM* ff_iterm = ff->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    if (ff_iterm == nullptr || !ff_iterm->is_connected()) {
      if (s_verbose) msg_vdebug_impl(2, "lutram depop: input ff %d is unconnected or gnd", ff->get_id());
      continue;
    }
    if (ff_iterm->get_source(VOK_TRAVERSE_AS_STORED) == nullptr) {
      // Tied to a constant: a cell driving that constant takes its place, so
      // the register keeps a driven data input once it is depopulated.
      if (!amu) amu.reset(env->create_atom_mod_utility_for_algorithm(kMergeAtomModAlgorithm, nullptr));
      if (!amu) l_internal_error("atom_mod_util", __LINE__);
      VOK_ATOM_NODE* cell = amu->create_comb_cell(ff->get_parent_netlist(), ff->get_string_hpath() + "~FITTER_INSERTED");
      amu->copy_location_constraints(ff, cell);
      if (!ff_iterm->is_vcc_or_gnd()) l_internal_error("ff_iterm->is_vcc_or_gnd()", __LINE__);
      const bool low = ff_iterm->is_tie_low();
      ff_iterm->disconnect_from_source(VOK_NET_ITERM::OPEN);
      amu->connect_output_to_input(cell, DB_OUTPUT_PORT_COMB, 0, ff, DB_INPUT_PORT_DATA_IN, 0);
      amu->set_lut_mask(cell, low ? 0 : kAllOnes);
    }
    if (ff->get_atom_type() == kCoreRegisterType) {
      depop.push_back(ff);
      ++lutram_count;
      msg_vdebug_impl(2, "preparing to depop lutram input register %d", ff->get_id());
    } else {
      msg_vdebug_impl(2, "lutram depop: input ff %d is already zota", ff->get_id());
    }
    l_set_metadata(ff, "RETIMER_NO_TOUCH", "LOCKED");
  }
  amu.reset();
  if (error) return false;
  if (depop.empty()) return true;

  msg_vdebug_impl(2, "Force Depop flow depoped %d LUTRAM data in ff, and %d user assignments", lutram_count, user_count);
  VELMO_YUN_ENV yun_env;
  ENGINE util = l_create_engine(yun_env, nullptr);
  if (s_verbose && VELMO_EXPERT::exists()) VELMO_EXPERT::get()->dump_netlists("", "after_lutram_depop");
  return util->depopulate_registers(depop, hov_get_atom_netlist_taint_manager());
}

bool VELMO_RETIMER::dedicated_depop_repop_for_p2c2p_zota(WEXAN_ENV* env) {
  VELMO_SCOPED_PROFILE_BIN bin("P2C Depopulation", "Prefit - Other", "VELMO");
  static const bool s_depop_p2c = cfg_is_on("velmo_depop_p2c_ff", true);
  if (!s_depop_p2c) return true;
  VELMO_DEDICATED_REPOPULATION_MGR manager(env);
  return manager.work();
}

bool VELMO_RETIMER::generate_zento_reg_restriction_report(WEXAN_ENV* env) {
  VELMO_SCOPED_PROFILE_BIN bin("Generate_zento_reg_restrictions_report", "Prefit - Other", "VELMO");
  static const bool s_dump_statistics = cfg_is_on("dump_retiming_capability_register_statistics", false);
  CMP_FACADE* cmp = env->get_cmp();
  if (!env->hov_is_on() ||
      !(s_dump_statistics || ZEL_DEV_ZOTA_UTIL::is_zota_depopulation_enabled(cmp, env->get_atom_netlist()) ||
        ZEL_DEV_ZOTA_UTIL::is_rfpar_enabled(cmp)))
    return true;
  l_hov_utility(env);
  std::unique_ptr<PIZ_TABLE> table(PIZ_TABLE::create(PIZ_ZENTO_REGISTER_RESTRICTIONS_TABLE));
  if (!table) l_internal_error("table_object != nullptr", __LINE__);
  table->set_creator_module("FIT");
  {
    VELMO_YUN_ENV yun_env;
    ENGINE util = l_create_engine(yun_env, nullptr);
    util->fill_register_restriction_table(table.get());
  }
  PIZ_REPORT_DATABASE::of(cmp)->get_current_folder()->add_table(table.release());
  return true;
}

bool VELMO_RETIMER::retimer_prep_update_netlist_for_depopulation(bool repopulate, WEXAN_ENV* env) {
  if (env->get_yun_env() == nullptr) return true;
  VELMO_YUN_ENV yun_env;
  ENGINE util = l_create_engine(yun_env, nullptr);
  util->prepare_repopulation();
  if (!l_has_zota_marked_reg(env->get_atom_netlist())) return true;

  VELMO_SCOPED_PROFILE_BIN bin("Depopulation Atom Netlist Modifications", "VPR - Other", "VELMO");
  static const bool s_force_repop_ea = cfg_is_on("yun_depopulate_force_repop_ea", true);
  const bool zota = ZEL_DEV_ZOTA_UTIL::is_zota_device(env->get_cmp(), 0);
  bool result = true;
  YUN_UTILITY::ATOM_LIST atoms;
  if ((repopulate && zota) || (!repopulate && s_force_repop_ea)) {
    if (!util->repopulate(atoms)) {
      msg_vdebug_impl(2, "Error: Repopulation failed to find locations for depop FF!");
      msg_post(MSG_VELMO::E::VELMO_ZENTO_RETIMER_FAILED_RETMING_PREPERATION(), nullptr);
      result = false;
    }
  }
  for (VOK_ATOM_NODE* atom : atoms) env->get_design()->insert_atom(atom, false);
  util.reset();
  if (result && zota) l_taint_after_repopulation(env, cfg_is_on("velmo_post_repop_global_taint", true));
  return result;
}

void VELMO_RETIMER::retimer_merge_zotas(WEXAN_ENV* env) {
  VELMO_SCOPED_PROFILE_BIN bin("retimer_merge_zotas", "VPR - Other", "VELMO");
  if (env->get_yun_env() == nullptr) return;
  const bool verbose = cfg_is_on("route_fixup_flow_verbose", false);
  ZEL_ATOM_DUMPER dumper(env->get_chip_db_entry());
  if (verbose) dumper.dump_current_atom_netlist("velmo_retimer_merge_zotas_before.echo", true);

  std::vector<VOK_ATOM_OTERM*> heads;
  for (VOK_ATOM_NODE* atom : env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) continue;
    const VOK_ATOM_ITERM* d = atom->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    VOK_ATOM_OTERM* driver_oterm = d ? d->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    const VOK_ATOM_NODE* driver_atom = driver_oterm ? driver_oterm->get_my_node() : nullptr;
    if (!driver_oterm || !driver_atom) l_internal_error("driver_oterm && driver_atom", __LINE__);
    if (!ZEL_ATOM_UTIL::is_zota_marked_reg(driver_atom) || driver_atom->get_location_index() >= 0)
      heads.push_back(driver_oterm);
  }
  std::stable_sort(heads.begin(), heads.end(), [](const VOK_ATOM_OTERM* a, const VOK_ATOM_OTERM* b) {
    return a->get_my_node()->get_id() < b->get_my_node()->get_id();
  });
  heads.erase(std::unique(heads.begin(), heads.end()), heads.end());

  std::unique_ptr<SIV_ATOM_MOD_UTILITY> util(env->create_atom_mod_utility_for_algorithm(kMergeAtomModAlgorithm, nullptr));
  if (!util) l_internal_error("atom_mod_util", __LINE__);
  int checks = 0;
  int merges = 0;
  for (VOK_ATOM_OTERM* head : heads)
    if (velmo_retimer_contains_unlocked_zotas(head)) velmo_retimer_merge_zotas(head, util.get(), checks, merges);
  msg_vdebug_impl(2, "Info: ZOTA FF merge performed %d checks and %d merges", checks, merges);
  util.reset();
  if (verbose) dumper.dump_current_atom_netlist("velmo_retimer_merge_zotas_after.echo", true);
}

void VELMO_RETIMER::dedicated_repopulate_uib_esram_c2p_core_atoms(WEXAN_ENV* env, VOK_RE_ROUTING_MODIFIER& modifier) {
  VELMO_SCOPED_PROFILE_BIN bin("dedicated_repopulate_uib_esram_c2p_core_atoms", "VPR - Other", "VELMO");
  YUN_UTILITY::ATOM_LIST registers;
  for (VOK_ATOM_NODE* atom : env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (l_metadata_is(atom, "P2C_ZOTA", "UIB_ESRAM_C2P_ORIG")) registers.push_back(atom);
  YUN_UTILITY::ATOM_LIST created;
  {
    VELMO_YUN_ENV yun_env;
    ENGINE util = l_create_engine(yun_env, nullptr);
    created = util->repopulate_uib_esram_c2p_registers(registers, modifier);
    for (VOK_ATOM_NODE* atom : created) env->get_design()->insert_atom(atom, false);
  }
  if (!created.empty()) l_taint_after_repopulation(env, cfg_is_on("velmo_post_uib_esram_retimer_global_taint", true));
}

void VELMO_RETIMER::dup_regs_for_retiming(WEXAN_ENV* env) {
  VELMO_DUP_REG_FOR_RETIMING pass(env);
  pass.dup_regs_for_retiming();
}

namespace {

bool l_without_fanout(const VOK_ATOM_NODE* atom) {
  for (const VOK_ATOM_OTERM* o : atom->coterms())
    if (!o->has_fanout_less_than(1, VOK_TRAVERSE_AS_STORED)) return false;
  return true;
}

// Deletes the timing utility and builds it again over the changed netlist.
void l_rebuild_hov(WEXAN_ENV* env) {
  if (HOV_KELD_UTILITY* keld = hov_accessories_get_keld_utility(hov_get_accessories())) {
    msg_vdebug_impl(2, "HOV utility: deleting KELD utility nodes and assignments");
    keld->delete_nodes_and_assignments();
  }
  env->delete_hov_utility_completely();
  WEXAN_HOV_UTILITY* hov = env->get_hov_utility_or_create_if_necessary(0, 2, std::vector<KEM_TIMING_MODEL>{}, false,
                                                                       false, true, true, nullptr, false, false);
  if (hov == nullptr) l_internal_error("hov_utility", __LINE__);
}

void l_dump(const char* label, const char* kem_file, bool with_kem) {
  if (VELMO_EXPERT::exists()) VELMO_EXPERT::get()->dump_netlists("", label);
  if (!with_kem) return;
  if (const KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist()) kem->dump_to_file(kem_file, true);
}

// Disconnects the clock enables and asynchronous clears of every register;
// with `gobble`, deletes the LUTs this leaves without fan-out, generation by
// generation.
void l_hack_ce_aclr(WEXAN_ENV* env) {
  VELMO_SCOPED_PROFILE_BIN bin("Early Retiming HACK", "Prefit - Other", "VELMO");
  static const bool s_delete_iterms = cfg_is_on("fit_hack_ce_aclr_delete_iterms", false);
  static const bool s_gobble = cfg_is_on("fit_hack_ce_aclr_gobble", false);
  std::vector<VOK_ATOM_NODE*> dangling;
  std::unordered_set<const VOK_ATOM_NODE*> listed;
  auto note_source = [&](VOK_ATOM_OTERM* src, std::vector<VOK_ATOM_NODE*>& list) {
    VOK_ATOM_NODE* s = src ? src->get_my_node() : nullptr;
    if (s != nullptr && s->is_lcell_comb() && l_without_fanout(s) && listed.insert(s).second) list.push_back(s);
  };
  int counts[2] = {0, 0};
  for (VOK_ATOM_NODE* atom : env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_ff()) continue;
    const DB_INPUT_PORT_TYPE ports[2] = {DB_INPUT_PORT_ENA, DB_INPUT_PORT_ACLR};
    for (int k = 0; k < 2; ++k) {
      VOK_ATOM_ITERM* t = atom->get_input_term_by_type(ports[k], 0);
      if (t == nullptr) continue;
      VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
      t->disconnect_from_source(VOK_NET_ITERM::OPEN);
      if (s_delete_iterms) atom->remove_input_term(t);
      env->indicate_that_atom_netlist_is_modified(atom->get_id(), false, false);
      note_source(src, dangling);
      ++counts[k];
    }
  }
  if (s_gobble) {
    std::unique_ptr<SIV_ATOM_MOD_UTILITY> amu(env->create_atom_mod_utility_for_algorithm(kMergeAtomModAlgorithm, nullptr));
    if (!amu) l_internal_error("atom_mod_util", __LINE__);
    const WEXAN_ATOM_MOD_DRC* drc = env->get_atom_mod_drc();
    while (!dangling.empty()) {
      msg_vdebug_impl(2, "Deleting %d luts left dangling by ce/alcr removal", static_cast<int>(dangling.size()));
      std::vector<VOK_ATOM_NODE*> next;
      for (VOK_ATOM_NODE* lut : dangling) {
        if (!drc->atom_mod_allowed_for_operation(lut->get_id(), kGobbleOperation)) continue;
        for (VOK_ATOM_ITERM* t : lut->iterms()) {
          VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
          t->disconnect_from_source(VOK_NET_ITERM::OPEN);
          note_source(src, next);
        }
        amu->remove_node(lut, false);
      }
      dangling.swap(next);
    }
  }
  msg_vdebug_impl(2, "Info: Removed %d CE iterms and %d ACLR iterms", counts[0], counts[1]);
}

}  // namespace

void VELMO_RETIMER::update_atoms_after_early_retime(WEXAN_DESIGN* design, const std::list<VOK_ATOM_NODE*>& atoms,
                                                    bool flag) {
  design->update_atom_info_for_early_retime(atoms, flag);
}

bool VELMO_RETIMER::run_early_retiming_flow(WEXAN_ENV* env, const YUN_UTILITY::ITERM_SET& first,
                                            const YUN_UTILITY::ITERM_SET& second, bool& hov_rebuilt, bool run_retimer,
                                            bool hack_ce_aclr, bool pre_dup_regs) {
  static const bool s_dump = cfg_is_on("yun_dump_early_retiming_netlists", false);
  static const bool s_eqcheck = cfg_is_on("yun_early_retime_eqcheck_legacy", false);
  static const bool s_fit_report = cfg_is_on("yun_early_retime_update_fit_report", false);
  if (env->get_yun_env() == nullptr || (!run_retimer && !hack_ce_aclr && !pre_dup_regs)) {
    msg_vdebug_impl(2, "Skip early retimer (it's off)");
    return true;
  }
  if (!env->hov_is_on()) {
    msg_vdebug_impl(2, "Skip early retimer (HOV is off)");
    return true;
  }
  std::unique_ptr<WEXAN_PIZ_TABLE> table;
  if (s_fit_report) {
    table = std::make_unique<WEXAN_PIZ_TABLE>("Early Retiming");
    table->set_table_algorithm(kTableAlgorithm);
    table->push_reason(kTableReason);
  }
  if (hack_ce_aclr) {
    if (s_dump) l_dump("early_yun_atom_dump_pre_hack", nullptr, false);
    l_hack_ce_aclr(env);
  }
  if (pre_dup_regs) dup_regs_for_retiming(env);
  l_hov_utility(env);
  if (s_dump) l_dump("early_yun_atom_dump_pre_retime", "early_yun_pre_retime", true);

  bool result = true;
  if (run_retimer) {
    VELMO_SCOPED_PROFILE_BIN bin("Early Retiming Flow", "Prefit - Other", "VELMO");
    msg_vdebug_impl(2, "Running Early Retiming Flow");
    const OMZ_OPTION* fv = OMZ_DERIVED_OPTION::get_single_option(env->get_cmp()->get_option_namespace(),
                                                                 kFormalVerificationOption, true);
    const bool formal = fv != nullptr && fv->get_bool_value();
    BELQ_ENV belq(env->get_atom_netlist(), nullptr, nullptr, nullptr);
    belq.report_stats("BEFORE_EARLY_RETIMING");
    {
      VELMO_YUN_ENV yun_env;
      ENGINE util = l_create_engine(yun_env, table.get());
      if (s_dump) l_dump("early_yun_atom_dump_post_delays", "early_yun_post_delays", true);
      WEXAN_DESIGN* design = env->get_design();
      design->clear_early_retime_atoms();
      const VELMO_EQCHECK_NETLIST eqcheck(env->get_cmp());
      FITTER::SOJ::PLAN_EARLY_RETIME_STAGE* stage = nullptr;
      if (formal) {
        if (s_eqcheck) eqcheck.write("_golden");
        stage = FITTER::SOJ::PLAN_EARLY_RETIME_STAGE::get_instance();
        stage->initialize();
      }
      YUN_UTILITY::ATOM_LIST changed;
      result = util->retime(first, second, changed);
      if (formal && s_eqcheck) eqcheck.write("_revised");
      if (result) update_atoms_after_early_retime(design, changed, true);
      if (formal) stage->finalize(result);
      belq.report_stats("AFTER_EARLY_RETIMING");
      if (stage != nullptr) stage->release();
    }
  }
  env->indicate_that_atom_netlist_is_modified();
  if (cfg_is_on("early_retiming_skip_hov_rebuild", true) && !s_dump) {
    if (table) table->pop_reason();
    return result;
  }
  l_rebuild_hov(env);
  if (s_dump) l_dump("early_yun_atom_dump_post_retime", "early_yun_post_retime", true);
  hov_rebuilt = true;
  if (table) table->pop_reason();
  return result;
}

bool VELMO_RETIMER::run_prefit_early_retiming_flow(WEXAN_ENV* env) {
  VELMO_SCOPED_PROFILE_BIN bin("Prefit Early Retimer Flow", "Prefit - Other", "VELMO");
  CMP_FACADE* cmp = env->get_cmp();
  bool run_retimer = ZEL_DEV_ZOTA_UTIL::is_early_retiming_enabled(cmp);
  if (run_retimer && SWAVO_RECOMPILE_OP::is_user_swavo_recompile_flow() &&
      !cfg_is_on("velmo_retimer_allow_early_retimer_with_swavo_recompile", false)) {
    msg_vdebug_impl(2, "Skipping Early Retime since we are in SR mode.");
    run_retimer = false;
  }
  static const bool s_skip_pr = cfg_is_on("yun_skip_early_yun_pr", false);
  if (run_retimer && s_skip_pr) {
    for (const auto& partition : JOV_ROOT::get()->get_design("")->get_partitions()) {
      if (!jov_partition_is_partial_reconfiguration(partition.get())) continue;
      msg_vdebug_impl(2, "Skipping Early Retime since we are in PR mode.");
      run_retimer = false;
      break;
    }
  }
  static const bool s_hack = cfg_is_on("fit_hack_ce_aclr", false);
  static const bool s_pre_dup = cfg_is_on("early_retiming_pre_dup_regs", false);
  const YUN_UTILITY::ITERM_SET first;
  const YUN_UTILITY::ITERM_SET second;
  bool hov_rebuilt = false;
  const bool result = run_early_retiming_flow(env, first, second, hov_rebuilt, run_retimer, s_hack, s_pre_dup);
  const OMZ_OPTION* rules = OMZ_DERIVED_OPTION::get_single_option(cmp->get_option_namespace(), kRulewardenOption, true);
  if (!hov_rebuilt && rules != nullptr && rules->get_bool_value() &&
      rw_drc_contains_enabled_rules("planned", "torvika_fit")) {
    msg_vdebug_impl(2, "Rulewarden is enabled, force KEM netlist update");
    l_rebuild_hov(env);
  }
  return result;
}

bool VELMO_RETIMER::collect_candidate_list(CMP_FACADE*, WEXAN_ENV* env, std::vector<VOK_ATOM_NODE*>& out) {
  if (env->get_yun_env() == nullptr) return true;
  VELMO_SCOPED_PROFILE_BIN bin("Collect Candidate List", "Prefit - Other", "VELMO");
  l_hov_utility(env);
  VELMO_YUN_ENV yun_env;
  ENGINE util = l_create_engine(yun_env, nullptr);
  YUN_UTILITY::ATOM_LIST candidates;
  const bool result = util->collect_candidates(hov_get_atom_netlist_taint_manager(), candidates);
  out.insert(out.end(), candidates.begin(), candidates.end());
  return result;
}
