// The automatic delay-chain pass: construction, switches, the flow, the
// incremental-update self test and the setting writers.
#include "velmo_auto_delay_chain_op.h"

#include <climits>
#include <cstdio>
#include <fstream>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_family.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "kem/kem_timing_model.h"
#include "mem/mem_segment.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_utilities.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "swavo/swavo_recompile_director.h"
#include "velmo_auto_delay_chain_internal.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_fitter_ops.h"
#include "wexan/wexan_msgr.h"

namespace velmo_auto_dc {
[[noreturn]] void internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_auto_delay_chain_op", line);
}

BIN::BIN(const char* name) : m_name(name) { GEN_PROFILE_BINS::open_with_tag(nullptr, name, 0x7FFFFFFF, "VELMO"); }
BIN::~BIN() { GEN_PROFILE_BINS::close(m_name); }

GEN_STOPWATCH& processing_stopwatch() {
  static GEN_STOPWATCH watch;
  return watch;
}

GEN_STOPWATCH& timing_analyzer_stopwatch() {
  static GEN_STOPWATCH watch;
  return watch;
}
}  // namespace velmo_auto_dc

using velmo_auto_dc::BIN;
using velmo_auto_dc::internal_error;

namespace {
// Accumulates over every run of the pass in the process.
GEN_STOPWATCH delay_annotation_stopwatch;

const OMZ_OPTION* option_of(const OMZ_NAMESPACE* section, int variable) {
  return section ? OMZ_DERIVED_OPTION::get_single_option(section, variable, true) : nullptr;
}

// The configured corner of a timing-model kind (0 slow, 1 fast), else the
// part's default model of the kind.
KEM_TIMING_MODEL model_of_kind(const CMP_FACADE* cmp, int kind) {
  for (const KEM_TIMING_MODEL& m : KEM_TIMING_MODEL::get_list_of_timing_models(0))
    if ((m.get_corner() == KEM_TIMING_MODEL::FAST) == (kind == 1)) return m;
  return KEM_TIMING_MODEL::create_default_timing_model(cmp, kind);
}

// Makes the timing utility's annotated corner the model of a kind.
void switch_model(WEXAN_ENV* env, int kind) {
  WEXAN_HOV_UTILITY* hov = env->get_hov_utility_ptr();
  if (hov && hov_get_accessories()->get_kem_netlist())
    hov->switch_annotated_timing_model(env, model_of_kind(env->get_cmp(), kind));
}

void truncate_file(const char* name) {
  if (std::FILE* f = std::fopen(name, "w")) std::fclose(f);
}
}  // namespace

// ---------------------------------------------------------------- records

VELMO_AUTO_DELAY_CHAIN_OP::SLACK_INFO::SLACK_INFO() {
  for (int k = 0; k < 2; ++k)
    for (int c = 0; c < 3; ++c) {
      edge_id[k][c] = -1;
      slack[k][c] = VELMO_NO_SLACK_VALUE;
    }
}

KEM_EDGE* VELMO_AUTO_DELAY_CHAIN_OP::SLACK_INFO::get_edge() const {
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 2; ++k) {
      if (edge_id[k][c] < 0 || kem == nullptr) continue;
      if (kem->get_edge_count() >= INT_MAX) internal_error("kem_netlist->get_edge_count() < INT_MAX", __LINE__);
      if (edge_id[k][c] >= kem->get_edge_count()) internal_error("num_edge > this->edge_id[j][i]", __LINE__);
      if (KEM_EDGE* e = kem->get_edge(edge_id[k][c])) return e;
    }
  return nullptr;
}

// ---------------------------------------------------------------- construction

VELMO_AUTO_DELAY_CHAIN_OP::VELMO_AUTO_DELAY_CHAIN_OP(WEXAN_ENV* env, VELMO_DELAY_CHAIN_OP* owner)
    : m_env(env), m_owner(owner) {
  // An internal error leaves the constructor without the destructor running.
  try {
    construct(owner);
  } catch (...) {
    release();
    throw;
  }
}

void VELMO_AUTO_DELAY_CHAIN_OP::construct(VELMO_DELAY_CHAIN_OP* owner) {
  m_debug = cfg_is_on("velmo_auto_dc_debug", false);
  m_verbose = cfg_is_on("velmo_auto_dc_verbose", false);
  m_verbose_optimizations = cfg_is_on("velmo_auto_dc_verbose_optimizations", false);
  m_slack_file = cfg_is_on("velmo_auto_dc_slack_file", false);
  m_test_incremental = cfg_is_on("velmo_test_incremental_r5v_updates", false);
  m_pll_compensation_check = owner->get_flag(5);
  m_pll_delay_chains = owner->get_flag(6);
  m_pll_phase_shift = owner->get_flag(7);

  const OMZ_NAMESPACE* root = OMZ_NAMESPACE::get_default();
  const OMZ_NAMESPACE* section = OMZ_SECTION::find_section(12, "");
  if (const OMZ_OPTION* on = option_of(section, 904)) m_enabled = on->get_bool_value() && m_env->hov_is_on();

  if (WEXAN_INCREMENTAL_UTILITY* reuse = m_env->get_netlist_reuse_utility();
      reuse != nullptr && !reuse->any_optimizable_delay_chains()) {
    m_enabled = false;
    msg_vdebug_impl(2, "Disabled AUTO_DELAY_CHAIN because all chains are preserved!");
  }
  if (m_enabled && SWAVO_RECOMPILE_DIRECTOR::instance() != nullptr &&
      !SWAVO_RECOMPILE_DIRECTOR::instance()->is_auto_delay_chain_needed()) {
    m_enabled = false;
    msg_vdebug_impl(2, "Disabled AUTO_DELAY_CHAIN because SR says it's not needed!");
  }

  if (const OMZ_OPTION* fanout = option_of(section, 905)) {
    const int v = fanout->get_value() & 0xFFFF;
    if (v == 2)
      m_high_fanout_mode = 2;
    else if (v == 3)
      m_high_fanout_mode = 0;
    else
      internal_error("Unrecognized high fanout input pin enum option", __LINE__);
  }
  bool multi_default = false;
  if (const OMZ_OPTION* o = option_of(root, 802)) multi_default = o->get_bool_value();
  m_multi_corner = cfg_is_on("velmo_auto_dc_multi_corner", multi_default);
  bool hold_default = false;
  if (const OMZ_OPTION* o = option_of(root, 801)) hold_default = (o->get_value() & 0xFFFF) != 3;
  m_hold = cfg_is_on("velmo_auto_dc_hold_time", hold_default);
  m_clk_delay_ctrl =
      cfg_is_on("velmo_auto_dc_clk_delay_ctrl", m_env->get_device()->has_at_least_one_element_of_type(581));

  m_msgr = new WEXAN_MSGR(m_env);
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  m_dev_basic_info = device ? device->get_basic_info() : nullptr;
  if (m_dev_basic_info == nullptr) internal_error("m_dev_basic_info != 0", __LINE__);
  m_family = m_dev_basic_info->get_family_enum();
  m_base_family = DEV_FAMILY_MANAGER().get_base_family_enum(m_family);
  yos_init_for(m_family);
  m_yos = yos_current_interface();
  if (ZEL_ATOM_IO::is_available(m_base_family)) {
    m_zel_atom_io_util = ZEL_ATOM_IO::create_util(MEM_SEGMENT::get_default(), m_base_family, false);
    if (m_zel_atom_io_util == nullptr) internal_error("m_zel_atom_io_util != 0", __LINE__);
  }
  m_body = new NOLT_DELAY_CHAIN_UTIL_BODY(m_family);
  m_util = ZEL_DELAY_CHAIN_UTIL::create_util(MEM_SEGMENT::get_default(), m_family);
  m_corner_count = m_util->get_num_timing_models();
  m_corner_models = m_util->get_timing_models();
  // Every per-corner array holds three corners.
  if (m_corner_count > 3) internal_error("num_timing_models <= 3", __LINE__);

  m_all_types = owner->get_all_delay_types();
  m_auto_types = owner->get_auto_delay_types();
  if (m_clk_delay_ctrl) m_all_types.push_back(static_cast<YOS_UINT_DATA_ENUM>(19));
  m_b_and_b = cfg_is_on("velmo_auto_dc_use_b_and_b", false);
}

VELMO_AUTO_DELAY_CHAIN_OP::~VELMO_AUTO_DELAY_CHAIN_OP() { release(); }

void VELMO_AUTO_DELAY_CHAIN_OP::release() {
  // Elements, groups and slack records a pass left (it stopped early, or its
  // builders were called on their own).
  process_optimization_cleanup();
  delete m_zel_atom_io_util;
  m_zel_atom_io_util = nullptr;
  delete m_msgr;
  m_msgr = nullptr;
  delete m_body;
  m_body = nullptr;
  delete m_util;
  m_util = nullptr;
  delete_auto_delay_chain_vec();
  delete_slack_info_map();
  delete m_search_moves;
  m_search_moves = nullptr;
}

// ---------------------------------------------------------------- flow

bool VELMO_AUTO_DELAY_CHAIN_OP::work_new() {
  BIN bin("Auto Delay Chain");
  const bool use_incremental = cfg_is_on("velmo_auto_delay_chain_uses_ir5v_and_sta_filter", true);
  GEN_STOPWATCH total;
  total.start();
  bool result = true;
  if (!m_enabled) {
    msg_vdebug_impl(2, "AUTO DELAY CHAIN: turned OFF by user");
  } else {
    if (m_verbose) {
      if (std::FILE* f = std::fopen("velmo_auto_dc.out", "w")) {
        std::fputs("\n", f);
        std::fclose(f);
      }
    }
    velmo_auto_dc::processing_stopwatch().start();
    init_yeb_cell_delays();
    build_auto_delay_chain_vec_new();
    velmo_auto_dc::processing_stopwatch().stop();

    CMP_FACADE* cmp = m_env->get_cmp();
    int invoke_mode = 2;
    bool request_flag = false;
    if (!cmp->get_timing_mode_flag()) {
      invoke_mode = 3;
      request_flag = cmp->query_timing();
    }
    const int t0 = static_cast<int>(velmo_auto_dc::timing_analyzer_stopwatch().get_elapsed_seconds());
    velmo_auto_dc::timing_analyzer_stopwatch().start();
    if (!use_incremental) m_env->indicate_that_atom_netlist_is_modified();
    WEXAN_HOV_UTILITY* hov = m_env->get_hov_utility_or_create_if_necessary(0, invoke_mode, 5, request_flag, false,
                                                                           true, false, nullptr, false, false);
    if (hov == nullptr) internal_error("hov_utility != NULL", __LINE__);
    HOV_ACCESSORIES* accessories = hov_get_accessories();
    if (use_incremental) accessories->update();
    velmo_auto_dc::timing_analyzer_stopwatch().stop();
    const int t1 = static_cast<int>(velmo_auto_dc::timing_analyzer_stopwatch().get_elapsed_seconds());
    msg_vdebug_impl(2, "AUTO DELAY CHAIN: Created HOV UTILITY... %d sec", t1 - t0);
    hov->perform_quick_timing_analysis(false);

    velmo_auto_dc::processing_stopwatch().start();
    m_owner->init_kem_edges_for_processing_new(accessories, use_incremental);
    if (m_pll_delay_chains || m_pll_phase_shift) m_owner->init_pll_kem_edges_for_processing(accessories, use_incremental);
    velmo_auto_dc::processing_stopwatch().stop();

    if (!m_owner->get_pin_to_core_edges().empty() || !m_owner->get_core_to_pin_edges().empty()) {
      build_optimization_elements();
      build_optimization_groups();
      identify_pin_to_core_optimization_groups_with_high_fanout_pins();
      if (m_verbose) dump_optimization_info();
      if (m_verbose_optimizations) truncate_file(velmo_optimization_timing_info_for_opt_element);

      for (int i = 0; i < m_corner_count; ++i) {
        msg_vdebug_impl(2, "AUTO DELAY CHAIN: Collect pin to core edges");
        perform_timing_corner_analysis(m_corner_models[i], i, hov, accessories, use_incremental,
                                       VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
        msg_vdebug_impl(2, "AUTO DELAY CHAIN: Collect core to pin edges");
        perform_timing_corner_analysis(m_corner_models[i], i, hov, accessories, use_incremental,
                                       VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN);
      }

      HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
      msg_vdebug_impl(2, "AUTO DELAY CHAIN: process core to pin edges (%d)", 0);
      char tag[100];
      if (m_verbose) {
        std::snprintf(tag, sizeof tag, "before_core_to_pin_%d", 0);
        dump_optimization_timing_info(tag);
      }
      velmo_auto_dc::processing_stopwatch().start();
      const bool c = process_optimization_groups(VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN);
      velmo_auto_dc::processing_stopwatch().stop();
      if (m_verbose) {
        std::snprintf(tag, sizeof tag, "after_core_to_pin_%d", 0);
        dump_optimization_timing_info(tag);
      }
      if (taints->get_num_tainted_atoms() > 0) {
        delay_annotation_stopwatch.start();
        incrementally_update_tainted_atoms();
        delay_annotation_stopwatch.stop();
        cmp->update_timing(true);
      }

      msg_vdebug_impl(2, "AUTO DELAY CHAIN: process pin to core edges");
      if (m_verbose) dump_optimization_timing_info("before_pin_to_core");
      velmo_auto_dc::processing_stopwatch().start();
      const bool p = process_optimization_groups(VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN);
      velmo_auto_dc::processing_stopwatch().stop();
      if (m_verbose) dump_optimization_timing_info("after_pin_to_core");
      result = taints->get_num_tainted_atoms() > 0 ? (c && p) : true;

      process_optimization_cleanup();
      if (taints->get_num_tainted_atoms() > 0) {
        velmo_auto_dc::timing_analyzer_stopwatch().start();
        incrementally_update_tainted_atoms();
        cmp->update_timing(true);
        velmo_auto_dc::timing_analyzer_stopwatch().stop();
      }
      m_msgr->post();
      total.stop();
      msg_vdebug_impl(2, "AUTO DELAY CHAIN: finishes in %s", total.get_elapsed_time_str().c_str());
      msg_vdebug_impl(2, "AUTO DELAY CHAIN: Seconds spent in delay chain processing: %s",
                      velmo_auto_dc::processing_stopwatch().get_elapsed_time_str().c_str());
      msg_vdebug_impl(2, "AUTO DELAY CHAIN: Seconds spent in delay annotation: %s",
                      delay_annotation_stopwatch.get_elapsed_time_str().c_str());
      msg_vdebug_impl(2, "AUTO DELAY CHAIN: Seconds spent in timing analysis: %s",
                      velmo_auto_dc::timing_analyzer_stopwatch().get_elapsed_time_str().c_str());
      if (m_debug) dump_atoms();
      test_incremental_r5v();
      switch_model(m_env, 0);
      accessories->update();
    }
    accessories->clear_sta_edge_filter();
  }
  total.stop();
  if (cfg_is_on("velmo_write_auto_delay_chain_time_file", false)) {
    std::ofstream out("auto_delay_time", std::ios::app);
    if (out) out << "Time spent in AUTO DELAY CHAIN: " << total.get_elapsed_seconds();
  }
  return result;
}

void VELMO_AUTO_DELAY_CHAIN_OP::test_incremental_r5v() {
  if (!m_test_incremental) return;
  if (!m_multi_corner) internal_error("Testing fitter ir5v requires fast corner optimization", __LINE__);
  HOV_ACCESSORIES* accessories = hov_get_accessories();
  auto request = [this] {
    return m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, true, false, true, false, nullptr, false, false);
  };
  switch_model(m_env, 1);
  m_env->delete_hov_utility_completely();
  WEXAN_HOV_UTILITY* u = request();
  KEM_NETLIST* n = accessories->get_kem_netlist();
  u->perform_quick_timing_analysis(false);
  if (n) n->dump_to_file("fast_build_fit", false);

  switch_model(m_env, 0);
  m_env->delete_hov_utility_completely();
  u = request();
  n = accessories->get_kem_netlist();
  u->perform_quick_timing_analysis(false);
  switch_model(m_env, 1);
  accessories->update();
  u->perform_quick_timing_analysis(false);
  if (n) n->dump_to_file("fast_ir5v_fit", false);

  switch_model(m_env, 0);
  accessories->update();
  delete_slack_info_map();
}

void VELMO_AUTO_DELAY_CHAIN_OP::process_optimization_cleanup() {
  for (KEM_EDGE_SLACK_INFO* info : m_kem_edge_slack_infos) delete info;
  m_kem_edge_slack_infos.clear();
  for (OPTIMIZATION_ELEMENT* element : m_optimization_elements) delete element;
  m_optimization_elements.clear();
  for (OPTIMIZATION_GROUP* group : m_optimization_groups) delete group;
  m_optimization_groups.clear();
  m_element_map.clear();
  m_group_map.clear();
}

void VELMO_AUTO_DELAY_CHAIN_OP::delete_slack_info_map() {
  for (auto& [key, info] : m_chain_slack_infos) delete info;
  m_chain_slack_infos.clear();
  for (auto& [atom, info] : m_atom_slack_infos) delete info;
  m_atom_slack_infos.clear();
}

// ---------------------------------------------------------------- one setting

bool VELMO_AUTO_DELAY_CHAIN_OP::set_delay_chain(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, int setting) {
  if (m_body->is_fake_pll_enum(type))
    return m_body->set_delay_chain_time_value_on_atom(atom, m_body->convert_fake_uint_enum_to_time_enum(type),
                                                     static_cast<unsigned>(setting));
  unsigned present = 0;
  m_yos->get_uint_data(atom, type, &present);
  if (present == static_cast<unsigned>(setting)) return true;
  const bool ok = m_body->set_delay_chain_setting(atom, type, static_cast<unsigned>(setting));
  m_env->indicate_that_atom_netlist_is_modified(atom->get_id(), false, false);
  return ok;
}

bool VELMO_AUTO_DELAY_CHAIN_OP::set_best_delay_chain_setting_new(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type,
                                                                 unsigned setting) {
  const int t = static_cast<int>(type);
  if (t == 12 || t == 13) {
    m_yos->set_uint_data(atom, type, setting);
    return true;
  }
  return set_delay_chain(atom, type, static_cast<int>(setting));
}

bool VELMO_AUTO_DELAY_CHAIN_OP::set_best_delay_chain_setting(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type,
                                                             unsigned setting) {
  YOS_UINT_DATA_ENUM fine = VELMO_NO_DELAY_CHAIN;
  unsigned coarse_part = setting, fine_part = 0;
  if (m_util->has_fine_delay_chain(type) && static_cast<unsigned>(m_util->get_fine_delay_chain(type)) != 0xFFFFFFFFu) {
    fine = m_util->get_fine_delay_chain(type);
    const unsigned f = m_body->get_max_setting(fine);
    if (f != 0) {
      coarse_part = setting / (f + 1);
      fine_part = setting % (f + 1);
    }
  }
  const int t = static_cast<int>(type);
  if (t == 12 || t == 13) {
    m_yos->set_uint_data(atom, type, coarse_part);
    return true;
  }
  const bool ok = set_delay_chain(atom, type, static_cast<int>(coarse_part));
  if (ok && fine != VELMO_NO_DELAY_CHAIN) return set_delay_chain(atom, fine, static_cast<int>(fine_part));
  return ok;
}

unsigned VELMO_AUTO_DELAY_CHAIN_OP::get_delay_chain_setting(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const {
  if (m_body->is_fake_pll_enum(type))
    return m_body->get_delay_chain_setting_for_time_data(atom, m_body->convert_fake_uint_enum_to_time_enum(type));
  return m_body->get_delay_chain_setting_of_atom(atom, type);
}

bool VELMO_AUTO_DELAY_CHAIN_OP::has_user_option(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const {
  if (m_body->is_fake_pll_enum(type)) return false;
  return m_body->has_user_delay_chain_option(atom, type);
}

// Only the newer pin chains are asked of the I/O atom utility; the PLL delay
// chains never count.
bool VELMO_AUTO_DELAY_CHAIN_OP::is_delay_chain_used(YOS_UINT_DATA_ENUM type, const VOK_ATOM_NODE* atom,
                                                    bool flag) const {
  switch (static_cast<int>(type)) {
    case 430:
    case 431:
    case 446:
    case 448:
      return m_zel_atom_io_util != nullptr && m_zel_atom_io_util->is_delay_chain_used_on_atom(atom, type, flag);
    case 414:
    case 415:
    case 416:
    case 417:
      return false;
    default:
      internal_error("Unknown Delay Chain", __LINE__);
  }
}

int VELMO_AUTO_DELAY_CHAIN_OP::translate_delay_type(YOS_UINT_DATA_ENUM type) const {
  return m_body->translate_delay_chain_from_yos_to_zav(type);
}

unsigned VELMO_AUTO_DELAY_CHAIN_OP::translate_delay_value(unsigned setting) const {
  return m_body->translate_delay_value(setting);
}
