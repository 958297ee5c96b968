#include "velmo_tbff_autoborrow.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_family.h"
#include "gesk/gesk_bundle.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_option.h"
#include "pelk_scoped_symbol.h"
#include "pexa/pexa_utility.h"
#include "sta/sta_db_mgr.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_main.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_cmp_entry.h"
#include "vok/vok_re_routing.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"
#include "xab/xab_delay_annotator.h"
#include "yos/yos_interface.h"
#include "zel/zel_atom_util.h"

namespace {

[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_tbff_autoborrow", line);
}

// The switches of the optimisation, read once when the library is loaded.
struct TBFF_SWITCHES {
  bool fix_up_routing_pulse_width = cfg_is_on("velmo_tbff_fix_up_routing_pulse_width", true);
  bool fix_up_in_low_effort_mode = cfg_is_on("velmo_tbff_fix_up_in_low_effort_mode", true);
  bool disable_optimal_borrow = cfg_is_on("velmo_disable_optimal_borrow", false);
  bool analysis_mode_only = cfg_is_on("velmo_tbff_analysis_mode_only", false);
  bool debug = cfg_is_on("velmo_debug_tbff_optimization", false);
  bool open_pulse_only = cfg_is_on("velmo_tbff_open_pulse_only", false);
  bool skip_tightening_pulse = cfg_is_on("velmo_tbff_skip_tightening_pulse", false);
  bool check_hold_violation = cfg_is_on("velmo_tbff_check_hold_violation", false);
  int guardband_percentage_min = cfg_get_int_value("velmo_tbff_guardband_percentage_min", 3);
  int guardband_percentage_max = cfg_get_int_value("velmo_tbff_guardband_percentage_max", 1);
  bool assert_on_hold_violations = cfg_is_on("velmo_tbff_assert_on_hold_violations", false);
  bool skip_routing_top_level_block = cfg_is_on("velmo_tbff_skip_routing_top_level_block", false);
  bool enable_tbff_in_all_modes = cfg_is_on("velmo_enable_tbff_in_all_modes", false);
  bool empty_borrow_db = cfg_is_on("velmo_empty_borrow_db", false);
};

const MEM_INITIALIZER l_mem_initializer("VELMO");
const TBFF_SWITCHES l_switches;

// Whether the extra debug lines of the optimisation are printed.
bool debug_lines() { return l_switches.debug && msg_vdebug_is_enabled(2); }

constexpr int kTbffOption = 1175;
constexpr int kFamily26 = 26;
constexpr int kFamily46 = 46;
constexpr int kFamily48 = 48;
constexpr int kPulseLevel0Trait = 42;
constexpr unsigned long long kRecreateNetlistCase = 14010027848ULL;
constexpr int kPmuxKind = 1929;
constexpr int kLabMuxKind = 282;
constexpr unsigned kInvalidGid = 0xFFFFFFFFu;
constexpr unsigned kGidBit = 0x80000000u;

bool tbff_option_on(const WEXAN_ENV* env) {
  const CMP_FACADE* cmp = env ? env->get_cmp() : nullptr;
  const OMZ_NAMESPACE* ns = cmp ? cmp->get_option_namespace() : nullptr;
  if (ns == nullptr) return false;
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(ns, kTbffOption, true);
  return option != nullptr && option->get_bool_value();
}

// The nominal (lower, upper) pulse values of a block, ps: type 0 levels 0-2,
// then type 1 levels 0-2.
struct PULSE_BLOCK {
  const char* const* names;
  int values[6][2];
};

const char* const kSlow900Cold[] = {"1_slow_900mv_-40c", "1_slow_900mv_0c", nullptr};
const char* const kSlow900Hot[] = {"1_slow_900mv_100c", "1_slow_900mv_110c", nullptr};
const char* const kVidCold[] = {"1_slow_vid1_-40c", "1_slow_vid1_0c",   "2_slow_vid2_-40c",
                                "2_slow_vid2_0c",   "3_slow_vid3a_-40c", "3_slow_vid3a_0c", nullptr};
const char* const kVidHot[] = {"1_slow_vid1_100c", "1_slow_vid1_110c",  "2_slow_vid2_100c",
                               "2_slow_vid2_110c", "3_slow_vid3a_100c", "3_slow_vid3a_110c", nullptr};
const char* const k2Slow850Cold[] = {"2_slow_850mv_-40c", "2_slow_850mv_0c", nullptr};
const char* const k2Slow850Hot[] = {"2_slow_850mv_100c", "2_slow_850mv_110c", nullptr};
const char* const k2Slow900Cold[] = {"2_slow_900mv_-40c", "2_slow_900mv_0c", nullptr};
const char* const k2Slow900Hot[] = {"2_slow_900mv_100c", "2_slow_900mv_110c", nullptr};
const char* const k3Slow850Cold[] = {"3_slow_850mv_-40c", "3_slow_850mv_0c", nullptr};
const char* const k3Slow850Hot[] = {"3_slow_850mv_100c", "3_slow_850mv_110c", nullptr};
const char* const k3Slow900Cold[] = {"3_slow_900mv_-40c", "3_slow_900mv_0c", nullptr};
const char* const k3Slow900Hot[] = {"3_slow_900mv_100c", "3_slow_900mv_110c", nullptr};

const PULSE_BLOCK kPulseBlocks[] = {
    {kSlow900Cold, {{112, 149}, {144, 182}, {160, 197}, {130, 144}, {165, 179}, {181, 195}}},
    {kSlow900Hot, {{101, 136}, {129, 165}, {144, 180}, {122, 136}, {154, 168}, {170, 184}}},
    {kVidCold, {{110, 145}, {141, 177}, {157, 192}, {128, 141}, {160, 173}, {175, 188}}},
    {kVidHot, {{95, 128}, {122, 155}, {136, 169}, {111, 123}, {138, 150}, {152, 164}}},
    {k2Slow850Cold, {{138, 179}, {179, 220}, {197, 238}, {161, 175}, {206, 220}, {224, 238}}},
    {k2Slow850Hot, {{114, 153}, {146, 185}, {163, 202}, {142, 157}, {179, 194}, {197, 212}}},
    {k2Slow900Cold, {{133, 177}, {172, 215}, {190, 234}, {146, 160}, {185, 200}, {202, 217}}},
    {k2Slow900Hot, {{118, 159}, {152, 193}, {169, 210}, {136, 150}, {171, 186}, {188, 203}}},
    {k3Slow850Cold, {{162, 209}, {210, 257}, {230, 278}, {195, 211}, {251, 267}, {271, 287}}},
    {k3Slow850Hot, {{128, 170}, {164, 207}, {182, 225}, {162, 179}, {206, 222}, {225, 242}}},
    {k3Slow900Cold, {{147, 196}, {191, 240}, {211, 259}, {155, 171}, {197, 213}, {215, 231}}},
    {k3Slow900Hot, {{131, 175}, {168, 213}, {187, 231}, {144, 159}, {181, 197}, {199, 215}}},
};
const PULSE_BLOCK kColdBlock = {nullptr, {{75, 98}, {96, 119}, {107, 130}, {86, 94}, {107, 116}, {118, 126}}};
const PULSE_BLOCK kHotBlock = {nullptr, {{67, 92}, {86, 111}, {96, 121}, {78, 88}, {97, 106}, {107, 117}}};

// The block of a model: by name, else by condition 47 and temperature.
const PULSE_BLOCK& pulse_block_of(const KEM_TIMING_MODEL& model) {
  const std::string name = model.get_debug_string();
  for (const PULSE_BLOCK& b : kPulseBlocks)
    for (const char* const* n = b.names; *n; ++n)
      if (name == *n) return b;
  if (model.get_condition() != 47) fail("Unexpected corner when computing optimal borrow values", __LINE__);
  if (model.get_celsius() <= 0) return kColdBlock;
  if (model.get_celsius() >= 100) return kHotBlock;
  fail("Unexpected corner when computing optimal borrow values", __LINE__);
}

template <class T> ZMP_SMALL_VECTOR<T> small_vector_of(const std::vector<T>& v) {
  ZMP_SMALL_VECTOR<T> res;
  for (const T& x : v) res.push_back(x);
  return res;
}

// The analysis-only variant's common sequence for revert (a base revert run
// with the variant's undo).
void revert_with(TBFF_OPTIMIZATION_BASE& optimiser) { optimiser.revert(); }

}  // namespace

// ---------------------------------------------------------------- entry points

void velmo_optimize_tbff(WEXAN_ENV* env) {
  if (l_switches.disable_optimal_borrow) return;
  if (env == nullptr) fail("env", __LINE__);
  const int family = env->get_internal_family_code();
  const bool option = tbff_option_on(env);
  std::unique_ptr<TBFF_OPTIMIZATION_BASE> optimiser;
  auto analysis_only = [&](bool skip) {
    auto a = std::make_unique<TBFF_OPTIMIZATION_ANALYSIS_ONLY>(env);
    a->m_skip_optimization = skip;
    return a;
  };
  if (l_switches.empty_borrow_db || family == kFamily26 ||
      (family == kFamily48 && !option && !l_switches.enable_tbff_in_all_modes)) {
    optimiser = analysis_only(true);
  } else if (family == kFamily46 && !l_switches.analysis_mode_only) {
    if (option || l_switches.enable_tbff_in_all_modes)
      optimiser = std::make_unique<TBFF_OPTIMIZATION_KY>(env);
    else if (l_switches.fix_up_in_low_effort_mode)
      optimiser = std::make_unique<TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY>(env);
    else
      optimiser = analysis_only(true);
  } else {
    optimiser = analysis_only(false);
  }
  optimiser->optimize();
}

void velmo_revert_tbff(WEXAN_ENV* env) {
  if (l_switches.disable_optimal_borrow) return;
  const bool option = tbff_option_on(env);
  if (l_switches.empty_borrow_db) return;
  if (!option && !l_switches.enable_tbff_in_all_modes) return;
  if (env == nullptr) fail("env", __LINE__);
  const int family = env->get_internal_family_code();
  if (family == kFamily26) return;
  if (family == kFamily46 && !l_switches.analysis_mode_only) {
    TBFF_OPTIMIZATION_KY ky(env);
    ky.revert();
    return;
  }
  TBFF_OPTIMIZATION_ANALYSIS_ONLY analysis(env);
  analysis.m_skip_optimization = false;
  revert_with(analysis);
}

// ---------------------------------------------------------------- base

TBFF_OPTIMIZATION_BASE::TBFF_OPTIMIZATION_BASE(WEXAN_ENV* env) {
  msg_vdebug_impl(2, "TBFF: Initializing TBFF optimization");
  if (env == nullptr) fail("env", __LINE__);
  m_env = env;
  m_db_mgr = sta_get_db_mgr();
  if (m_db_mgr == nullptr) fail("m_db_mgr", __LINE__);
  m_cmp_facade = env->get_cmp();
  if (m_cmp_facade == nullptr) fail("m_cmp_facade", __LINE__);
  m_timer_engine = m_db_mgr->get_timer_engine();
  if (m_timer_engine == nullptr) fail("m_timer_engine", __LINE__);
  if (!env->hov_is_on()) return;
  if (!cfg_is_on("velmo_finalize_spar_flow", true) || !cfg_is_on("fit_finalize_runs_parasitics_hold_fixing", true))
    return;
  m_prerequisites_met = true;
  m_netlist = m_db_mgr->get_netlist();
  bool recreate = false;
  if (m_netlist == nullptr) {
    msg_vdebug_impl(2, "VELMO_TBFF: No netlist for some reason, attempting to load from disk");
    KEM_MANAGER::get()->read_kem_netlist_from_disk(true);
    m_netlist = m_db_mgr->get_netlist();
    m_timer_engine = m_db_mgr->get_timer_engine();
    if (m_timer_engine == nullptr) fail("m_timer_engine", __LINE__);
    if (m_netlist == nullptr) {
      msg_vdebug_impl(2, "VELMO_TBFF: Still no netlist, attempting to create");
      recreate = true;
    }
  }
  // A netlist there now, built or just read from disk: with the retimer
  // disabled it is re-created all the same.
  if (m_netlist != nullptr && cfg_is_on("force_disable_zento_retimer", false)) {
    if (cfg_is_on("velmo_tbff_recreate_netlist_when_no_retimer", true)) {
      static bool was_printed = false;
      velmo_print_hack_notice(was_printed, __FILE__, __LINE__, kRecreateNetlistCase,
                              "Re-creating netlist when retimer is disabled via INI, see case for context");
      recreate = true;
    }
  }
  HOV_ATOM_NETLIST_TAINT_MANAGER* hov_taint_mgr = hov_get_atom_netlist_taint_manager();
  if (hov_taint_mgr == nullptr) fail("hov_taint_mgr", __LINE__);
  if (!hov_taint_mgr->hov_reflects_atom_netlist_exactly()) {
    msg_vdebug_impl(2, "VELMO_TBFF: Timing netlist doesn't match atom netlist, attempting to recreate");
    recreate = true;
  }
  if (recreate) {
    env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, true, true, nullptr, false, false);
    m_netlist = m_db_mgr->get_netlist();
    m_timer_engine = m_db_mgr->get_timer_engine();
    if (m_timer_engine == nullptr) fail("m_timer_engine", __LINE__);
  }
  if (m_netlist == nullptr) fail("m_netlist", __LINE__);
  m_corner_manager = m_netlist->get_corner_manager();
  if (m_corner_manager == nullptr) fail("m_corner_manager", __LINE__);
  m_delay_annotator = std::make_unique<XAB_DELAY_ANNOTATOR>(m_cmp_facade, true);
}

// The annotator is the base's, so every variant deletes it exactly once.
TBFF_OPTIMIZATION_BASE::~TBFF_OPTIMIZATION_BASE() = default;

void TBFF_OPTIMIZATION_BASE::optimize() {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_optimize_tbff", "VELMO");
  if (m_already_ran) fail("!m_already_ran", __LINE__);
  m_already_ran = true;
  if (m_prerequisites_met) {
    msg_vdebug_impl(2, "TBFF: Starting TBFF optimization");
    run();
  } else {
    msg_vdebug_impl(2, "TBFF: Skipping TBFF optimization because prerequisites were not met");
  }
}

void TBFF_OPTIMIZATION_BASE::revert() {
  VELMO_SCOPED_PROFILE_BIN bin("velmo_revert_tbff", "VELMO");
  if (m_prerequisites_met) undo();
  m_already_ran = false;
}

std::vector<KEM_TIMING_MODEL> TBFF_OPTIMIZATION_BASE::load_timing_models() {
  const std::vector<KEM_TIMING_MODEL> models = get_timing_models();
  bool missing = false;
  for (const KEM_TIMING_MODEL& model : models) {
    if (m_corner_manager->has_corner(model)) continue;
    missing = true;
    if (l_switches.debug) msg_vdebug_impl(2, "TBFF: Corner not found, will run HEP: %s", model.get_debug_string().c_str());
  }
  if (missing) m_delay_annotator->build_multicorner(2, false, models, false);
  for (const KEM_TIMING_MODEL& model : models)
    if (!m_corner_manager->has_corner(model)) fail("m_corner_manager->has_corner(model)", __LINE__);
  return models;
}

// ---------------------------------------------------------------- analysis only

TBFF_OPTIMIZATION_ANALYSIS_ONLY::~TBFF_OPTIMIZATION_ANALYSIS_ONLY() = default;

std::vector<KEM_TIMING_MODEL> TBFF_OPTIMIZATION_ANALYSIS_ONLY::get_timing_models() const {
  return sta_get_default_timing_models(false, m_cmp_facade);
}

void TBFF_OPTIMIZATION_ANALYSIS_ONLY::run() {
  msg_vdebug_impl(2, "TBFF: Optimization running in analysis-only mode");
  m_db_mgr->set_analysis_state(1);
  const std::vector<KEM_TIMING_MODEL> models = load_timing_models();
  if (l_switches.debug) msg_vdebug_impl(2, "TBFF: Analyzing %d corners", static_cast<int>(models.size()));
  const std::vector<KEM_CORNER*> corners = sta_get_corners();
  const std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS> types = sta_get_long_or_short_path_types();
  const ZMP_SMALL_VECTOR<KEM_CORNER*> saved_corners = small_vector_of(corners);
  const ZMP_SMALL_VECTOR<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS> saved_types = small_vector_of(types);
  sta_set_corners_for_analysis(models, std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>(models.size(), STA_LONG_PATH_ANALYSIS));
  if (m_skip_optimization) {
    msg_vdebug_impl(2, "TBFF: Skipping TBFF optimization because of INI settings");
    sta_create_empty_borrow_db(false);
  } else {
    sta_compute_optimal_time_borrowing(false);
  }
  sta_set_corners_for_analysis(saved_corners, saved_types);
  m_db_mgr->set_analysis_state(2);
}

void TBFF_OPTIMIZATION_ANALYSIS_ONLY::undo() {
  msg_vdebug_impl(2, "TBFF: Undoing changes made in analysis-only mode");
  sta_create_empty_borrow_db(false);
}

// ---------------------------------------------------------------- KY

TBFF_OPTIMIZATION_KY::TBFF_OPTIMIZATION_KY(WEXAN_ENV* env) : TBFF_OPTIMIZATION_BASE(env) {
  if (!m_prerequisites_met) return;
  const DEV_DEVICE* current_device = PEXA_UTILITY::get_current_device();
  if (current_device == nullptr) fail("current_device", __LINE__);
  DEV_DIE_INFO* die = current_device->get_die_info();
  m_wump_die_info = die ? die->get_wump_die_info() : nullptr;
  if (m_wump_die_info == nullptr) fail("m_wump_die_info", __LINE__);
  m_route_info = m_wump_die_info->get_route_info();
  if (m_route_info == nullptr) fail("m_route_info", __LINE__);
  const DEV_BASIC_INFO* basic_info = current_device->get_basic_info();
  if (basic_info == nullptr) fail("basic_info", __LINE__);
  m_pulse_level_0_allowed = DEV_PART_MANAGER().test_part_trait_of(basic_info->get_device_enum(), kPulseLevel0Trait);
  m_routing = m_cmp_facade->get_cmp_entry()->get_db_entries()->get_chip_db_entry()->get_routing();
  m_timing_models = load_timing_models();
  if (l_switches.debug)
    msg_vdebug_impl(2, "TBFF: Analyzing %d corners including hold-only corners", static_cast<int>(m_timing_models.size()));
  m_slack_calculator.reset(m_timer_engine->create_slack_calculator());
  m_yos_interface = yos_current_interface();
  create_pulse_value_table();
}

TBFF_OPTIMIZATION_KY::~TBFF_OPTIMIZATION_KY() = default;

std::vector<KEM_TIMING_MODEL> TBFF_OPTIMIZATION_KY::get_timing_models() const {
  return sta_get_default_timing_models(true, m_cmp_facade);
}

void TBFF_OPTIMIZATION_KY::run() {
  const ZMP_SMALL_VECTOR<KEM_CORNER*> saved_corners = small_vector_of(sta_get_corners());
  const ZMP_SMALL_VECTOR<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS> saved_types =
      small_vector_of(sta_get_long_or_short_path_types());
  find_all_interested_regs();
  // Groups below the floor before the run: widening lifts them at least to
  // the floor, where the re-check cannot lower them again.
  if (!m_pulse_level_0_allowed)
    for (auto it = m_tlb_to_pw.begin(); it != m_tlb_to_pw.end(); ++it)
      if (it.value() == HOV_PULSE_WIDTH_0) m_lifted_from_below_floor.insert(it.key());
  m_db_mgr->set_analysis_state(0);
  analyse_hold_on_all_corners();
  for (auto group = m_pmux_groups.begin(); group != m_pmux_groups.end(); ++group)
    for (TBFF_REGISTER_INFO& info : group.value()) measure_hold_slack(info, &info.hold_slack);
  find_max_allowed_pw();
  if (!l_switches.open_pulse_only) {
    compute_optimal_borrowing_values();
    if (!l_switches.skip_tightening_pulse) {
      gather_optimal_borrow_values();
      tighten_pw();
    }
  }
  if (!l_switches.check_hold_violation) check_new_hold_violation();
  sta_set_corners_for_analysis(saved_corners, saved_types);
}

void TBFF_OPTIMIZATION_KY::analyse_hold_on_all_corners() {
  sta_set_corners_for_analysis(m_timing_models, std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>(
                                                    m_timing_models.size(), STA_SHORT_PATH_ANALYSIS));
  m_timer_engine->update_timing(10, nullptr, 0, true, true, true);
  m_slack_calculator->set_analysis_types(STA_SHORT_PATH_ANALYSIS, m_timing_models, true);
}

void TBFF_OPTIMIZATION_KY::measure_hold_slack(const TBFF_REGISTER_INFO& info, ZMP_HASH_LITE<KEM_CORNER*, int>* target) {
  HOLD_SLACK_PER_CORNER_HELPER callback(target);
  for (int e = info.node->begin_fanin(); e >= 0;) {
    const KEM_EDGE* edge = m_netlist->get_edge(e);
    if (edge->get_kind() != KEM_EDGE_INTERCONNECT) m_slack_calculator->iterate_over_node_or_edge_slacks(callback, edge);
    e = edge->get_next_fanin();
  }
}

void TBFF_OPTIMIZATION_KY::HOLD_SLACK_PER_CORNER_HELPER::callback_on_valid_slack(const STA_SLACK_CALCULATOR_HELPER& slack) {
  const int value = slack.compute_slack(2);
  KEM_CORNER* corner = slack.get_internal_corner();
  const auto found = m_target->find(corner);
  if (found != m_target->end())
    found.value() = std::min(found.value(), value);
  else
    m_target->insert(corner, value);
}

const std::pair<int, int>& TBFF_OPTIMIZATION_KY::pulse_value(KEM_CORNER* corner, TBFF_TYPE type, int level) const {
  const auto find = m_pulse_values.find(corner);
  if (find == m_pulse_values.end()) fail("find != m_pulse_values.end()", __LINE__);
  return find.value().find(type).value().find(static_cast<HOV_PULSE_WIDTH_ENUM>(level)).value();
}

HOV_PULSE_WIDTH_ENUM& TBFF_OPTIMIZATION_KY::level_of(int key) {
  const auto find_pw = m_tlb_to_pw.find(key);
  if (find_pw == m_tlb_to_pw.end()) fail("find_pw != m_tlb_to_pw.end()", __LINE__);
  return find_pw.value();
}

void TBFF_OPTIMIZATION_KY::find_max_allowed_pw() {
  std::vector<TBFF_REGISTER_INFO> changes;
  for (auto group = m_pmux_groups.begin(); group != m_pmux_groups.end(); ++group) {
    HOV_PULSE_WIDTH_ENUM& current = level_of(group.key());
    int level = HOV_PULSE_WIDTH_2;
    for (const TBFF_REGISTER_INFO& info : group.value()) {
      int allowed = HOV_PULSE_WIDTH_2;
      bool failing = false;
      for (auto it = info.hold_slack.begin(); it != info.hold_slack.end(); ++it) failing |= it.value() <= 0;
      if (failing) {
        allowed = current;
        if (debug_lines()) msg_vdebug_impl(2, "TBFF: find hold violation, skip widening pulse width for current tbff");
      } else {
        bool below_level_1 = false, below_level_2 = false;
        for (auto it = info.hold_slack.begin(); it != info.hold_slack.end(); ++it) {
          const auto u = [&](int l) { return pulse_value(it.key(), info.type, l).second; };
          if (current == HOV_PULSE_WIDTH_0 && it.value() < static_cast<long long>(u(1)) - u(0)) below_level_1 = true;
          if (it.value() < static_cast<long long>(u(2)) - u(current)) below_level_2 = true;
        }
        allowed = below_level_1 ? 0 : below_level_2 ? 1 : 2;
      }
      level = std::min(level, allowed);
      if (level == 0) {
        level = floor_level();
        break;
      }
    }
    if (debug_lines()) msg_vdebug_impl(2, "TBFF: pmux %d group pulse width is set to level %d", group.key(), level);
    if (level != current) {
      current = static_cast<HOV_PULSE_WIDTH_ENUM>(level);
      changes.insert(changes.end(), group.value().begin(), group.value().end());
    }
  }
  if (!m_fix_up_registers.empty() && l_switches.fix_up_routing_pulse_width) {
    changes.insert(changes.end(), m_fix_up_registers.begin(), m_fix_up_registers.end());
    msg_vdebug_impl(2, "TBFF: changing %d zota registers of all modifiable pmux groups to the same pulse width as unmodifiable groups",
                    static_cast<int>(m_fix_up_registers.size()));
  }
  if (!changes.empty()) set_pw_on_atoms_and_update(changes);
}

void TBFF_OPTIMIZATION_KY::compute_optimal_borrowing_values() {
  m_db_mgr->set_analysis_state(1);
  std::vector<KEM_TIMING_MODEL> setup_models;
  for (const KEM_TIMING_MODEL& model : m_timing_models)
    if (!model.is_hold_only_corner()) setup_models.push_back(model);
  sta_set_corners_for_analysis(setup_models, std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>(setup_models.size(),
                                                                                            STA_LONG_PATH_ANALYSIS));
  sta_compute_optimal_time_borrowing(false);
  m_db_mgr->set_analysis_state(2);
  if (debug_lines()) msg_vdebug_impl(2, "TBFF: Done calculating optimal borrow values");
}

void TBFF_OPTIMIZATION_KY::set_pw_on_atoms_and_update(const std::vector<TBFF_REGISTER_INFO>& registers) {
  // Read once per process, on whichever thread comes first.
  static const bool use_incr_w3j3 = cfg_is_on("velmo_tbff_use_incr_w3j3", true);
  static const bool use_global_taint = cfg_is_on("velmo_tbff_use_global_taint", false);
  std::vector<VOK_ATOM_NODE*> changed;
  std::set<int> locations;
  for (const TBFF_REGISTER_INFO& info : registers) {
    const HOV_PULSE_WIDTH_ENUM level = level_of(info.pmux_id);
    m_yos_interface->set_enum_data(info.atom, static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL), level);
    changed.push_back(info.atom);
    if (use_incr_w3j3) locations.insert(info.atom->get_location_index());
  }
  if (debug_lines())
    msg_vdebug_impl(2, "TBFF: Changing pulse width parameter for %d atoms", static_cast<int>(changed.size()));
  m_env->set_post_spar_flag(true);
  if (use_incr_w3j3) {
    m_env->run_w3j3(true, locations, {}, nullptr, nullptr);
  } else {
    if (use_global_taint) m_env->indicate_that_atom_netlist_is_modified();
    m_env->run_w3j3(false, {}, {}, nullptr, nullptr);
  }
  m_delay_annotator->rebuild_netlist_for_atoms({}, changed, {}, {}, {});
}

void TBFF_OPTIMIZATION_KY::undo() {
  find_all_interested_regs();
  std::vector<TBFF_REGISTER_INFO> changes;
  for (auto group = m_pmux_groups.begin(); group != m_pmux_groups.end(); ++group)
    for (const TBFF_REGISTER_INFO& info : group.value()) {
      int level = -1;
      m_yos_interface->get_enum_data(info.atom, static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL), &level);
      if (level == floor_level() || level <= HOV_PULSE_WIDTH_0) continue;
      changes.push_back(info);
      m_tlb_to_pw[info.pmux_id] = floor_level();
    }
  if (!changes.empty()) set_pw_on_atoms_and_update(changes);
  sta_create_empty_borrow_db(false);
}

void TBFF_OPTIMIZATION_KY::tighten_pw() {
  std::vector<TBFF_REGISTER_INFO> changes;
  for (auto group = m_pmux_groups.begin(); group != m_pmux_groups.end(); ++group) {
    HOV_PULSE_WIDTH_ENUM& current = level_of(group.key());
    if (current == HOV_PULSE_WIDTH_0 || (current == HOV_PULSE_WIDTH_1 && !m_pulse_level_0_allowed)) {
      if (debug_lines())
        msg_vdebug_impl(2, "TBFF: pmux %d group pulse width already at tightest pulse. No need to tighten more",
                        group.key());
      continue;
    }
    int required = 0;
    for (const TBFF_REGISTER_INFO& info : group.value()) {
      int need = 0;
      auto& borrows = m_optimal_borrow_values[info.node];
      for (auto it = borrows.begin(); it != borrows.end() && need < 2; ++it) {
        const int p = pulse_value(it.key(), info.type, current).first;
        const int p1 = pulse_value(it.key(), info.type, 1).first;
        const int p0 = pulse_value(it.key(), info.type, 0).first;
        for (int side = 0; side < 2; ++side) {
          int side_need = 0;
          for (int e = info.node->begin_fanin(); e >= 0 && side_need < 2;) {
            const KEM_EDGE* edge = m_netlist->get_edge(e);
            e = edge->get_next_fanin();
            if (edge->get_kind() == KEM_EDGE_INTERCONNECT) continue;
            const int md = edge->get_src_node()->get_micro_delay(side == 0 ? 3 : 4, it.key());
            if (md == 0) continue;
            const int b = std::min(md, it.value()[side]);
            const long long d = static_cast<long long>(p) - md;  // 64 bits: p may be clamped
            if (b > p1 - d)
              side_need = 2;
            else if (b > p0 - d)
              side_need = 1;
          }
          need = std::max(need, side_need);
        }
      }
      required = std::max(required, need);
      if (required == 2) break;
    }
    if (required < 2) required = std::max(required, static_cast<int>(floor_level()));
    if (required == current) {
      if (debug_lines())
        msg_vdebug_impl(2, "TBFF: pmux %d group pulse width stays at level %d", group.key(), static_cast<int>(current));
    } else if (required < current) {
      if (debug_lines()) msg_vdebug_impl(2, "TBFF: pmux %d group pulse width is tightened to level %d", group.key(), required);
      current = static_cast<HOV_PULSE_WIDTH_ENUM>(required);
      changes.insert(changes.end(), group.value().begin(), group.value().end());
    } else {
      fail("min_possible_pw < pulse_width", __LINE__);
    }
  }
  if (!changes.empty()) set_pw_on_atoms_and_update(changes);
}

void TBFF_OPTIMIZATION_KY::check_new_hold_violation() {
  for (;;) {
    analyse_hold_on_all_corners();
    std::vector<TBFF_REGISTER_INFO> violations;
    for (auto group = m_pmux_groups.begin(); group != m_pmux_groups.end(); ++group)
      for (TBFF_REGISTER_INFO& info : group.value()) {
        info.new_hold_slack = ZMP_HASH_LITE<KEM_CORNER*, int>();
        measure_hold_slack(info, &info.new_hold_slack);
        for (auto it = info.new_hold_slack.begin(); it != info.new_hold_slack.end(); ++it) {
          if (it.value() >= 0) continue;
          // A corner without an earlier slack passed before the run.
          const auto before = info.hold_slack.insert(it.key(), 0).first;
          if (before.value() >= 0) violations.push_back(info);
        }
      }
    msg_vdebug_impl(2, "TBFF: find %d new hold violations after opening pulse width for time borrowing",
                    static_cast<int>(violations.size()));
    if (l_switches.assert_on_hold_violations) {
      if (!violations.empty()) fail("new_hold_violations.empty()", __LINE__);
      return;
    }
    std::set<int> tightened;
    std::vector<TBFF_REGISTER_INFO> changes;
    for (const TBFF_REGISTER_INFO& violation : violations) {
      if (!tightened.insert(violation.pmux_id).second) continue;
      HOV_PULSE_WIDTH_ENUM& level = level_of(violation.pmux_id);
      static const char* const kCannotTighten =
          "TBFF: Pulse width of the pmux is causing hold violation. But can't tighten the pulse width further";
      if (level == HOV_PULSE_WIDTH_2) {
        level = HOV_PULSE_WIDTH_1;
      } else if (level == HOV_PULSE_WIDTH_1 && m_pulse_level_0_allowed) {
        level = HOV_PULSE_WIDTH_0;
      } else if (level == HOV_PULSE_WIDTH_1 || level == HOV_PULSE_WIDTH_0) {
        // A group the run lifted to the floor from below it cannot go back:
        // its failure is the part's, and the check goes on.
        if (level == floor_level() && m_lifted_from_below_floor.count(violation.pmux_id)) {
          msg_vdebug_impl(2, "%s", kCannotTighten);
          continue;
        }
        fail(kCannotTighten, __LINE__);
      } else {
        fail("Unexpected pulse width", __LINE__);
      }
      if (debug_lines())
        msg_vdebug_impl(2, "TBFF: pmux %d group pulse width is further tightened to level %d", violation.pmux_id,
                        static_cast<int>(level));
      const auto group = m_pmux_groups.find(violation.pmux_id);
      if (group != m_pmux_groups.end()) changes.insert(changes.end(), group.value().begin(), group.value().end());
    }
    if (changes.empty()) return;
    set_pw_on_atoms_and_update(changes);
    clip_borrow_values(changes);
  }
}

void TBFF_OPTIMIZATION_KY::clip_borrow_values(const std::vector<TBFF_REGISTER_INFO>& changes) {
  for (const KEM_TIMING_MODEL& model : m_timing_models) {
    KEM_CORNER* corner = m_corner_manager->get_internal_corner(model);
    KEM_BORROW_DB& db = m_corner_manager->get_current_borrow_db(corner);
    for (const TBFF_REGISTER_INFO& info : changes) {
      const auto entries = db.find(static_cast<unsigned>(info.node->get_id()));
      if (entries == db.end()) continue;
      int rise_limit = 0, fall_limit = 0;
      for (int e = info.node->begin_fanin(); e >= 0;) {
        const KEM_EDGE* edge = m_netlist->get_edge(e);
        e = edge->get_next_fanin();
        if (edge->get_kind() == KEM_EDGE_INTERCONNECT) continue;
        rise_limit = std::max(rise_limit, edge->get_src_node()->get_micro_delay(3, corner));
        fall_limit = std::max(fall_limit, edge->get_src_node()->get_micro_delay(4, corner));
      }
      bool lowered = false;
      for (std::array<int, 4>& entry : entries.value())
        for (int i = 0; i < 4; ++i) {
          const int limit = i < 2 ? rise_limit : fall_limit;
          if (entry[i] > limit) {
            entry[i] = limit;
            lowered = true;
          }
        }
      if (!lowered) continue;
      m_optimal_borrow_values[info.node][corner] = {rise_limit, fall_limit};
      if (debug_lines())
        msg_vdebug_impl(2, "TBFF: Clipping the borrow value to %d for rise %d for fall signal", rise_limit, fall_limit);
    }
  }
}

void TBFF_OPTIMIZATION_KY::create_pulse_value_table() {
  const int min_pct = l_switches.guardband_percentage_min;
  const int max_pct = l_switches.guardband_percentage_max;
  for (const KEM_TIMING_MODEL& model : m_timing_models) {
    KEM_CORNER* corner = m_corner_manager->get_internal_corner(model);
    const PULSE_BLOCK& block = pulse_block_of(model);
    auto& by_type = m_pulse_values[corner];
    for (int type = 0; type < 2; ++type)
      for (int level = 0; level < 3; ++level) {
        const int a = block.values[type * 3 + level][0];
        const int b = block.values[type * 3 + level][1];
        // In 64 bits and clamped to int: the guardband percentages may be any
        // int.
        auto clamped = [](long long v) {
          return static_cast<int>(std::clamp<long long>(v, std::numeric_limits<int>::min(),
                                                        std::numeric_limits<int>::max()));
        };
        by_type[static_cast<TBFF_TYPE>(type)][static_cast<HOV_PULSE_WIDTH_ENUM>(level)] = {
            clamped((100LL - min_pct) * a / 100), clamped(((100LL + max_pct) * b + 99) / 100)};
      }
  }
}

void TBFF_OPTIMIZATION_KY::gather_optimal_borrow_values() {
  for (const KEM_TIMING_MODEL& model : m_timing_models) {
    KEM_CORNER* corner = m_corner_manager->get_internal_corner(model);
    const KEM_BORROW_DB& db = m_corner_manager->get_current_borrow_db(corner);
    for (auto it = db.begin(); it != db.end(); ++it) {
      // Several entries give the larger rise and fall over all of them; a
      // record without entries says nothing and is passed over.
      if (it.value().empty()) continue;
      int rise = it.value().front()[0];
      int fall = it.value().front()[2];
      for (const std::array<int, 4>& entry : it.value()) {
        rise = std::max({rise, entry[0], entry[1]});
        fall = std::max({fall, entry[2], entry[3]});
      }
      const unsigned id = it.key();
      KEM_NODE* node = static_cast<int>(id) >= 0 && static_cast<int>(id) < m_netlist->get_node_count()
                           ? m_netlist->get_node(static_cast<int>(id))
                           : nullptr;
      if (node == nullptr) fail("node", __LINE__);
      auto& per_corner = m_optimal_borrow_values[node];
      if (per_corner.find(corner) == per_corner.end()) per_corner.insert(corner, {rise, fall});
    }
  }
}

void TBFF_OPTIMIZATION_KY::find_all_interested_regs() {
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  const std::shared_ptr<ZEL_DEV_WUMP_GESK_UTIL> gesk_util =
      zel_dev_obtain_wump_gesk_util(m_wump_die_info, bundle ? bundle->get_device() : nullptr);
  ZMP_HASH_LITE<int, HOV_PULSE_WIDTH_ENUM> unmodifiable;
  std::set<int> seen;
  ZMP_HASH_LITE<int, std::vector<int>> used;
  ZMP_HASH_LITE<int, std::vector<unsigned>> pmux_of_block;
  auto block_of = [&](unsigned gid) {
    const int instance_id = gesk_util->get_top_level_gesk_instance_id(gid);
    if (instance_id == -1) fail("instance_id != GESK_TREE::INVALID", __LINE__);
    return instance_id;
  };
  auto block_name = [&](int block) {
    return PELK_SCOPED_SYMBOL<JEV_INSTANCE_NAMESPACE>(gesk_util->get_instance_name(block)).get();
  };

  // Every pipeline register, its group key (the PMUX or LAB mux on its clock
  // routing) and its present level.
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  for (int id = 0; id < m_netlist->get_node_count(); ++id) {
    KEM_NODE* node = m_netlist->get_node(id);
    if (node == nullptr || !(node->get_flags() & KEM_NODE_FLAG_REGISTER_KEEPER)) continue;
    VOK_ATOM_NODE* atom = kem_get_atom_from_node(m_netlist, node);
    if (atom == nullptr) fail("atom", __LINE__);
    if (!ZEL_ATOM_UTIL::is_zota_marked_reg(atom)) continue;
    VOK_ATOM_ITERM* iterm = atom->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
    if (iterm == nullptr) fail("iterm", __LINE__);
    const ZMP_TINY_VECTOR<int> sinks =
        m_routing->get_iterm_mappings(iterm, W3J3_LOGICAL_PORT_FACTORY::create(iterm), skip);
    const int re_id = sinks.empty() ? -1 : sinks[0];
    if (re_id == -1) fail("re_id != JUK::INVALID_ID", __LINE__);
    int pmux_re_id = -1;
    unsigned pmux_gid = kInvalidGid;
    TBFF_TYPE type = TBFF_TYPE_PMUX;
    int previous_fanins = 0;
    for (int n = m_routing->get_parent(re_id, skip); n != -1; n = m_routing->get_parent(n, skip)) {
      const unsigned gid = static_cast<unsigned>(m_routing->get_value(n));
      if (!(gid & kGidBit) || gid == kInvalidGid) continue;
      const int kind = static_cast<int>(m_route_info->get_dev_element_from_gid(gid));
      if (kind == kPmuxKind) {
        pmux_re_id = n;
        pmux_gid = gid;
        type = TBFF_TYPE_PMUX;
        break;
      }
      if (kind == kLabMuxKind && previous_fanins >= 2) {
        pmux_re_id = n;
        type = TBFF_TYPE_LAB_CLOCK;
        break;
      }
      previous_fanins = 0;
      for (auto f = m_route_info->begin_fanin_gids(gid); f != m_route_info->end_fanin_gids(gid); ++f) ++previous_fanins;
    }
    if (pmux_re_id == -1) fail("pmux_re_id != JUK::INVALID_ID", __LINE__);
    if (type == TBFF_TYPE_PMUX && seen.count(pmux_re_id) == 0) used[block_of(pmux_gid)].push_back(pmux_re_id);
    seen.insert(pmux_re_id);
    // An atom without the parameter is at level 0 (the read leaves -1).
    int level = -1;
    m_yos_interface->get_enum_data(atom, static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL), &level);
    if (level < 0) level = HOV_PULSE_WIDTH_0;
    if (level > HOV_PULSE_WIDTH_2) fail("existing_pulse <= HOV_PULSE_WIDTH_ENUM::HOV_PULSE_WIDTH_2", __LINE__);
    const HOV_PULSE_WIDTH_ENUM existing_pulse = static_cast<HOV_PULSE_WIDTH_ENUM>(level);
    if (atom->is_modifiable()) {
      if (unmodifiable.find(pmux_re_id) != unmodifiable.end()) {
        if (l_switches.debug) msg_vdebug_impl(2, "TBFF: atom belongs to an unmodifiable pmux group");
        continue;
      }
      TBFF_REGISTER_INFO info;
      info.atom = atom;
      info.node = node;
      info.type = type;
      info.pmux_id = pmux_re_id;
      m_pmux_groups[pmux_re_id].push_back(std::move(info));
      const auto insert = m_tlb_to_pw.insert(pmux_re_id, existing_pulse);
      if (existing_pulse != insert.first.value()) fail("existing_pulse == insert.first.value()", __LINE__);
    } else {
      const auto insert = unmodifiable.insert(pmux_re_id, existing_pulse);
      if (insert.first.value() != existing_pulse) fail("insert.first.value() == existing_pulse", __LINE__);
      if (l_switches.debug) msg_vdebug_impl(2, "TBFF: found unmodifiable atom");
      m_pmux_groups.erase(pmux_re_id);
      m_tlb_to_pw.erase(pmux_re_id);
    }
  }

  bool partial_recompile = false;
  if (JOV_DESIGN* design = JOV_ROOT::get()->get_design(""))
    if (JOV_PARTITION* root = design->find_partition_by_name("|"))
      partial_recompile = root->is_partial_recompile();
  if (partial_recompile)
    msg_vdebug_impl(2, "TBFF: Skipping all routing top level block because this is a partial recompile design");

  for (unsigned gid : m_route_info->gids(kPmuxKind)) pmux_of_block[block_of(gid)].push_back(gid);

  // Per routing top-level block: fix up to an unmodifiable group's pulse,
  // skip, or merge its groups into the first.
  for (auto it = used.begin(); it != used.end(); ++it) {
    const int block = it.key();
    const std::vector<int>& keys = it.value();
    const bool named = debug_lines();
    const char* name = named ? block_name(block).cname() : "";
    bool has_unmodifiable = false;
    HOV_PULSE_WIDTH_ENUM unmodifiable_pw = HOV_PULSE_WIDTH_0;
    for (int key : keys) {
      const auto unmodifiable_found = unmodifiable.find(key);
      if (unmodifiable_found == unmodifiable.end()) continue;
      if (!has_unmodifiable) {
        has_unmodifiable = true;
        unmodifiable_pw = unmodifiable_found.value();
        if (named)
          msg_vdebug_impl(2, "TBFF: %s routing top level block contains unmodifiable PMUX group with pulse width %d",
                          name, static_cast<int>(unmodifiable_pw));
      } else if (unmodifiable_pw != unmodifiable_found.value()) {
        fail("unmodifiable_pw == unmodifiable_found.value()", __LINE__);
      }
    }
    bool skipped = false;
    if (has_unmodifiable) {
      for (int key : keys) {
        if (unmodifiable.find(key) != unmodifiable.end()) continue;
        const auto pw_found = m_tlb_to_pw.find(key);
        if (pw_found == m_tlb_to_pw.end()) fail("pw_found != m_tlb_to_pw.end()", __LINE__);
        if (pw_found.value() == unmodifiable_pw) continue;
        pw_found.value() = unmodifiable_pw;
        if (const auto group = m_pmux_groups.find(key); group != m_pmux_groups.end())
          m_fix_up_registers.insert(m_fix_up_registers.end(), group.value().begin(), group.value().end());
      }
      skipped = true;
    } else if (partial_recompile) {
      skipped = true;
    } else {
      const auto all = pmux_of_block.find(block);
      const int all_count = all == pmux_of_block.end() ? 0 : static_cast<int>(all.value().size());
      if (all_count != static_cast<int>(keys.size())) {
        if (named)
          msg_vdebug_impl(2, "TBFF: %s routing top level block contains %d PMUX, found %d used", name, all_count,
                          static_cast<int>(keys.size()));
        skipped = l_switches.skip_routing_top_level_block;
      }
    }
    if (skipped) {
      for (int key : keys) m_pmux_groups.erase(key);
      if (named) msg_vdebug_impl(2, "TBFF: %s routing top level block is skipped for pulse width change", name);
      continue;
    }
    const int first = keys.front();
    std::vector<TBFF_REGISTER_INFO>& target = m_pmux_groups[first];
    for (std::size_t k = 1; k < keys.size(); ++k) {
      const auto group = m_pmux_groups.find(keys[k]);
      if (group == m_pmux_groups.end()) continue;
      for (const TBFF_REGISTER_INFO& info : group.value()) {
        target.push_back(info);
        target.back().pmux_id = first;
      }
      m_pmux_groups.erase(keys[k]);
    }
    if (named)
      msg_vdebug_impl(2, "TBFF: %s routing top level block is processed, put all zota registers under pmux %d", name,
                      first);
  }
  if (l_switches.debug)
    msg_vdebug_impl(2, "TBFF: found %d pmux groups to set pulse width", static_cast<int>(m_pmux_groups.size()));
}

// ---------------------------------------------------------------- KY low effort

TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY::~TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY() = default;

std::vector<KEM_TIMING_MODEL> TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY::get_timing_models() const {
  return sta_get_default_timing_models(false, m_cmp_facade);
}

void TBFF_OPTIMIZATION_KY_LE_FIX_UP_ONLY::run() {
  msg_vdebug_impl(2, "TBFF: Optimization running in fix_up mode");
  m_db_mgr->set_analysis_state(1);
  const std::vector<KEM_TIMING_MODEL> models = load_timing_models();
  if (l_switches.debug) msg_vdebug_impl(2, "TBFF: Analyzing %d corners", static_cast<int>(models.size()));
  const ZMP_SMALL_VECTOR<KEM_CORNER*> saved_corners = small_vector_of(sta_get_corners());
  const ZMP_SMALL_VECTOR<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS> saved_types =
      small_vector_of(sta_get_long_or_short_path_types());
  sta_set_corners_for_analysis(models, std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>(models.size(), STA_LONG_PATH_ANALYSIS));
  find_all_interested_regs();
  if (!m_fix_up_registers.empty() && l_switches.fix_up_routing_pulse_width) {
    msg_vdebug_impl(2, "TBFF: changing %d zota registers of all modifiable pmux groups to the same pulse width as unmodifiable groups",
                    static_cast<int>(m_fix_up_registers.size()));
    set_pw_on_atoms_and_update(m_fix_up_registers);
  }
  sta_create_empty_borrow_db(false);
  sta_set_corners_for_analysis(saved_corners, saved_types);
  m_db_mgr->set_analysis_state(2);
}
