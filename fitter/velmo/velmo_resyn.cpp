#include "velmo_resyn.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_set>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "ewt/ewt_table_timing_model.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "moz/moz_variable.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_option.h"
#include "pelk/puve_enum_string.h"
#include "siv/siv_atom_mod_utility.h"
#include "tibex/tibex_env.h"
#include "velmo_debug.h"
#include "velmo_eqcheck_netlist.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "xab/xab_dem.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_dev_zota_util.h"

namespace {
constexpr int kResynOption = 1166;
constexpr int kNoTouchOperation = 42;
constexpr int kRegisterDataPort = 20;
constexpr int kHighFanout = 16;

[[noreturn]] void l_internal_error(const char *condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_resyn", line);
}

bool l_located(const VOK_ATOM_NODE *atom) {
  return atom->get_analytic_x() >= 0 && atom->get_analytic_y() >= 0;
}

// The delay switches read once, on first use, and kept for the process
// (until velmo_resyn_forget_switches); each first-use line is printed once
// per reading.
struct ONCE_SWITCHES {
  bool zero = cfg_is_on("belq_use_ic_delay_zero", false);
  bool penalty = cfg_is_on("velmo_use_fanout_delay_penalty", false);
  bool verbose = cfg_is_on("velmo_ic_delays_verbose", false);
  bool hard = cfg_is_on("tosk_phys_delay_hard_boundaries", false);
  bool hard_or_fanout =
      cfg_is_on("tosk_phys_delay_hard_boundaries_or_high_fanout", false);
  bool except_dff =
      cfg_is_on("tosk_phys_delay_hard_boundaries_except_dff_dest", false);
  int threshold = cfg_get_int_value("tosk_phys_delay_distance_threshold", -1);
  bool delay_mode_said = false;
  bool physical_mode_said = false;
};

std::unique_ptr<ONCE_SWITCHES> &l_once_slot() {
  static std::unique_ptr<ONCE_SWITCHES> s_switches;
  return s_switches;
}

ONCE_SWITCHES &l_once() {
  std::unique_ptr<ONCE_SWITCHES> &slot = l_once_slot();
  if (!slot)
    slot = std::make_unique<ONCE_SWITCHES>();
  return *slot;
}

// The delay estimator's view of one connection: its two pin locations.
class VELMO_DEM_CALLBACKS : public XAB_DEM::CONNECTION_CALLBACKS {
public:
  VELMO_DEM_CALLBACKS(int sx, int sy, int dx, int dy)
      : m_sx(static_cast<std::int16_t>(sx)),
        m_sy(static_cast<std::int16_t>(sy)),
        m_dx(static_cast<std::int16_t>(dx)),
        m_dy(static_cast<std::int16_t>(dy)) {}
  bool get_pin_locations(int *x1, int *y1, int *x2, int *y2, const void *,
                         int) override {
    *x1 = m_sx;
    *y1 = m_sy;
    *x2 = m_dx;
    *y2 = m_dy;
    return true;
  }
  bool get_atom_locations(int *x1, int *y1, int *z1, int *x2, int *y2, int *z2,
                          const void *, int) override {
    *x1 = m_sx;
    *y1 = m_sy;
    *z1 = 0;
    *x2 = m_dx;
    *y2 = m_dy;
    *z2 = 0;
    return true;
  }
  bool get_dedicated(bool *dedicated, const void *, int) override {
    *dedicated = false;
    return true;
  }
  bool get_iport(int *port, const void *, int) override {
    *port = puve_get_max_enum();
    return true;
  }

private:
  std::int16_t m_sx, m_sy, m_dx, m_dy;
};

void l_dump(VOK_ATOM_NETLIST *netlist, const char *file);

// Every clock edge into a keeper whose source node stands for an input term.
template <class FN> void l_for_each_clock_edge(KEM_NETLIST *kem, FN fn) {
  for (int n = 0; kem && n < kem->get_node_count(); ++n) {
    KEM_NODE *node = kem->get_node(n);
    if (node == nullptr || node->get_type() != KEM_NODE_KEEPER)
      continue;
    for (int e = node->begin_clock_edges(); e != -1;
         e = kem->get_edge(e)->get_next_fanin()) {
      KEM_EDGE *edge = kem->get_edge(e);
      KEM_NODE *src = edge->get_src_node();
      if (VOK_ATOM_ITERM *iterm = src ? src->get_iterm() : nullptr)
        fn(edge, iterm);
    }
  }
}

bool l_high_fanout(const VOK_ATOM_OTERM *src) {
  return !src->has_fanout_less_than(kHighFanout + 1, VOK_TRAVERSE_HIERARCHICAL);
}
} // namespace

// ---------------------------------------------------------------- wrapper

bool VELMO_RESYN_WRAPPER::is_netlist_placed(VOK_ATOM_NETLIST *netlist) {
  for (VOK_ATOM_NODE *atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if ((atom->is_lcell_comb() || atom->is_ff()) && l_located(atom))
      return true;
  return false;
}

void VELMO_RESYN_WRAPPER::clear_placement(VOK_ATOM_NETLIST *netlist) {
  int count = 0;
  if (!cfg_is_on("velmo_resyn_keep_placement", false)) {
    for (VOK_ATOM_NODE *atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
      if (atom->get_analytic_x() != -1.0f && atom->get_analytic_y() != -1.0f) {
        atom->set_analytic_xy(-1.0f, -1.0f);
        ++count;
      }
    }
  }
  msg_vdebug_impl(2, "Cleared location on %d nodes\n", count);
}

bool VELMO_RESYN_WRAPPER::run(CMP_FACADE *cmp, WEXAN_ENV *env, bool physical) {
  if (is_netlist_placed(env->get_atom_netlist()) && !physical)
    return true;

  auto resynthesize = [&]() {
    if (physical && cfg_is_on("belq_resyn_no_phys_data", false))
      physical = false;
    msg_vdebug_impl(2, "SYN_TAG: DRASK mapper is running %s",
                    physical ? "(Physical MOde)" : "");
    VELMO_SCOPED_PROFILE_BIN bin("BELQ Resynthesis", "BELQ Resyn");
    VELMO_RESYN resyn(cmp, env, physical);
    return resyn.resynthesize_netlist();
  };

  bool running = false;
  const int family = static_cast<int>(cmp->get_family());
  const OMZ_OPTION *option =
      moz_variable_includes_family(kResynOption, family)
          ? OMZ_DERIVED_OPTION::get_single_option(cmp->get_option_namespace(),
                                                  kResynOption, true)
          : nullptr;
  if (option == nullptr || !option->get_bool_value()) {
    msg_vdebug_impl(2, "SYN_TAG: DRASK mapper is not running. MOZ is OFF");
  } else {
    const bool p = cfg_is_on("belq_resyn_physical", false);
    if (physical == p ||
        (!physical && p && cfg_is_on("belq_resyn_force_non_physical", false))) {
      if (!env->hov_is_on())
        msg_vdebug_impl(2, "SYN_TAG: DRASK mapper is not running. "
                           "Timing-driven compile is OFF");
      else
        running = true;
    }
  }
  const bool had_yun = hov_get_accessories()->get_yun_utility() != nullptr;
  if (running || cfg_is_on("belq_resyn", false)) {
    if (!resynthesize())
      return false;
  } else if (cfg_is_on("belq_resyn_timing_analysis_only", false)) {
    VELMO_SCOPED_PROFILE_BIN bin("BELQ Resynthesis", "BELQ Resyn");
    VELMO_RESYN resyn(cmp, env, physical);
    if (!resyn.run_timing_analysis_only())
      return false;
  }
  HOV_ACCESSORIES *hov = hov_get_accessories();
  if (had_yun && hov->get_yun_utility() == nullptr) {
    msg_vdebug_impl(2, "Setting up yun utility at end of resyn");
    hov->setup_yun_utility();
    if (hov->get_yun_utility() == nullptr)
      l_internal_error("hov->get_yun_utility() != nullptr", __LINE__);
  }
  if (physical)
    clear_placement(env->get_atom_netlist());
  return true;
}

bool VELMO_EXPERT::run_resynthesis() {
  return VELMO_RESYN_WRAPPER::run(m_cmp, m_env, false);
}

// ---------------------------------------------------------------- driver

VELMO_RESYN::VELMO_RESYN(CMP_FACADE *cmp, WEXAN_ENV *env, bool physical)
    : m_atom_netlist(env->get_atom_netlist()), m_cmp(cmp), m_env(env),
      m_amu(env->get_algorithm_independent_amu()),
      m_hov_accessories(hov_get_accessories()),
      m_timing_model(std::make_unique<EWT_TABLE_TIMING_MODEL>()),
      m_physical(physical), m_debug(belq_debug_is_on()) {
  // The resynthesis engine builds LUTs of at most six inputs.
  VOK_LUTMASK::max_num_inputs = 6;
  m_sta_cmd = cfg_get_value("belq_resyn_sta_cmd");
  if (m_sta_cmd.empty()) {
    if (cfg_is_on("velmo_belq_report_all_clocks", m_debug))
      m_sta_cmd = "foreach_in_collection c [get_clocks {*}] { report_timing "
                  "-to_clock $c }";
    else if (m_debug)
      m_sta_cmd = "report_timing";
  }
  if (m_sta_cmd.size() >= 2 && m_sta_cmd.front() == '"' &&
      m_sta_cmd.back() == '"')
    m_sta_cmd = m_sta_cmd.substr(1, m_sta_cmd.size() - 2);
  msg_vdebug_impl(2, "The tcl command to run is: %s", m_sta_cmd.c_str());
  m_timing_model->initialize(static_cast<int>(cmp->get_family()), "", false,
                             false, false);
  if (cfg_is_on("velmo_resyn_enable_drask", true)) {
    const int family = static_cast<int>(cmp->get_family());
    if (family == 26 || family == 46) {
      if (!ZEL_DEV_ZOTA_UTIL::is_zento_aware_optimize_timing_enabled())
        msg_vdebug_impl(2, "SYN_TAG: Not running DRASK because zento-aware "
                           "timing optimization is OFF");
      else if (!ZEL_DEV_ZOTA_UTIL::is_zento_retimer_enabled(cmp))
        msg_vdebug_impl(2, "SYN_TAG: Not running DRASK because we're not "
                           "running the zento retimer");
      else
        m_use_drask = true;
    }
    msg_vdebug_impl(2, "SYN_TAG: DRASK is %s", m_use_drask ? "ON" : "OFF");
  }
  if (physical) {
    m_dem = XAB_DEM::get_instance(cmp, 0);
    m_vpr = TIBEX_ENV::get_vpr_facade();
  }
}

VELMO_RESYN::~VELMO_RESYN() = default;

WEXAN_HOV_UTILITY *VELMO_RESYN::create_timing(bool reuse) {
  if (!reuse)
    remove_timing();
  return m_env->get_hov_utility_or_create_if_necessary(
      2, 2, 0, !reuse, !reuse, false, false, nullptr, false, false);
}

void VELMO_RESYN::remove_drask_timing() {
  if (!m_use_drask)
    return;
  if (HOV_YUN_UTILITY *yun = m_hov_accessories->get_yun_utility()) {
    yun->remove_timing(true, false);
    m_hov_accessories->release_yun_utility();
  }
}

void VELMO_RESYN::remove_timing() {
  remove_drask_timing();
  if (m_env->get_hov_utility_ptr() != nullptr)
    m_env->delete_hov_utility_completely();
}

bool VELMO_RESYN::perform_timing_analysis(WEXAN_HOV_UTILITY *hov,
                                          const char *label,
                                          VELMO_RESYN_SKEW_MAP *skews,
                                          bool zero_global_delays) {
  VELMO_SCOPED_PROFILE_BIN bin("perform_timing_analysis", "VELMO");
  set_or_reset_ic_delays(true, zero_global_delays);
  if (m_use_drask) {
    HOV_ACCESSORIES::DRASK_SETTINGS settings =
        m_hov_accessories->get_drask_settings();
    settings.report_paths = true;
    settings.check_consistency = false;
    settings.router_mode = false;
    if (skews) {
      VELMO_SCOPED_PROFILE_BIN reused(
          "perform_timing_analysis_with_reused_skews", "VELMO");
      set_or_reset_skews(skews, false);
      m_hov_accessories->run_drask(settings);
    } else {
      VELMO_SCOPED_PROFILE_BIN fresh("perform_timing_analysis_with_drask",
                                     "VELMO");
      m_hov_accessories->setup_yun_utility();
      HOV_YUN_UTILITY *yun = m_hov_accessories->get_yun_utility();
      yun->prepare();
      if (cfg_is_on("velmo_resyn_balance_slacks", false)) {
        msg_vdebug_impl(2, "Slack balancing is on");
        yun->balance_slacks();
      }
      yun->finish_preparation();
      m_hov_accessories->run_drask(settings);
    }
  } else {
    hov->perform_quick_timing_analysis(false);
  }
  if (!m_sta_cmd.empty()) {
    m_hov_accessories->prepare_for_sta_cmd();
    m_hov_accessories->prepare_sta_report(label);
    m_hov_accessories->run_sta_tcl_cmd(m_sta_cmd);
  }
  return true;
}

VOK_ATOM_ITERM *VELMO_RESYN::get_kem_edge_iterm(KEM_EDGE *edge) {
  if (!edge->is_for_hov())
    return nullptr;
  KEM_NODE *dst = edge->get_dst_node();
  return dst ? dst->get_iterm() : nullptr;
}

bool VELMO_RESYN::is_global_iterm(const VOK_ATOM_ITERM *iterm) {
  const int code = iterm->get_connection_code();
  return code != 0 && code != 3;
}

void VELMO_RESYN::set_or_reset_ic_delays(bool set, bool zero_global_delays) {
  KEM_NETLIST *kem = m_hov_accessories->get_kem_netlist();
  if (kem == nullptr)
    return;
  int physical = 0, table = 0;
  for (int id = 0; id < kem->get_edge_count(); ++id) {
    KEM_EDGE *edge = kem->get_edge(id);
    if (edge == nullptr)
      continue;
    VOK_ATOM_ITERM *iterm = get_kem_edge_iterm(edge);
    if (iterm == nullptr)
      continue;
    if (is_global_iterm(iterm)) {
      if (zero_global_delays) {
        const int zero[4] = {0, 0, 0, 0};
        edge->set_4_delays(zero);
      }
      continue;
    }
    const int d = set ? get_ic_delay(iterm, &physical, &table) : 0;
    const int four[4] = {d, d, d, d};
    edge->set_4_delays(four);
  }
  if (set)
    msg_vdebug_impl(2, "Set %d IC delays. %d physical, %d non-physical",
                    physical + table, physical, table);
}

int VELMO_RESYN::get_ic_delay(VOK_ATOM_ITERM *dst, int *physical_count,
                              int *table_count) {
  ONCE_SWITCHES &once = l_once();
  const bool s_zero = once.zero;
  const bool s_penalty = once.penalty;
  const bool s_verbose = once.verbose;
  if (!once.delay_mode_said) {
    once.delay_mode_said = true;
    if (s_zero)
      msg_vdebug_impl(
          2,
          "Timing analysis using ic delay 0 on atom netlist for DRASK mapper");
    else if (s_penalty)
      msg_vdebug_impl(2, "Timing analysis using fanout delay penalty on atom "
                         "netlist for DRASK mapper");
  }
  if (s_zero)
    return 0;
  VOK_ATOM_NODE *dst_atom = dst->get_my_node();
  VOK_ATOM_OTERM *src = dst->get_source(VOK_TRAVERSE_HIERARCHICAL);
  VOK_ATOM_NODE *src_atom = src ? src->get_my_node() : nullptr;
  if (dst_atom == nullptr || src_atom == nullptr)
    return 0;
  if (m_physical && m_dem && l_located(src_atom) && l_located(dst_atom)) {
    const int sx = static_cast<int>(std::roundf(src_atom->get_analytic_x()));
    const int sy = static_cast<int>(std::roundf(src_atom->get_analytic_y()));
    const int dx = static_cast<int>(std::roundf(dst_atom->get_analytic_x()));
    const int dy = static_cast<int>(std::roundf(dst_atom->get_analytic_y()));
    if (velmo_can_use_physical_delays(src, dst, sx, sy, dx, dy)) {
      VELMO_DEM_CALLBACKS callbacks(sx, sy, dx, dy);
      double d1 = 0, d2 = 0;
      m_dem->get_delay(dst, -1, &callbacks, &d1, &d2);
      const int delay = static_cast<int>(
          std::roundf(static_cast<float>((d1 + d2) * 0.5) * 999999995904.0f));
      if (physical_count)
        ++*physical_count;
      if (s_verbose)
        msg_vdebug_impl(
            2, "Using physical delay %d. Src %s dst %s (%d,%d) -> (%d,%d)",
            delay, velmo_get_oterm_string(src).c_str(),
            velmo_get_iterm_string(dst).c_str(), sx, sy, dx, dy);
      return delay;
    }
  }
  if (!m_timing_model)
    return 0;
  int delay =
      m_timing_model
          ->get_ic_delay(src_atom->get_atom_type(),
                         static_cast<int>(src->get_port_type()),
                         dst_atom->get_atom_type(), dst->get_any_usage_as())
          .values[5];
  if (table_count)
    ++*table_count;
  if (s_verbose)
    msg_vdebug_impl(2, "Using non-physical delay %d. Src %s dst %s", delay,
                    velmo_get_oterm_string(src).c_str(),
                    velmo_get_iterm_string(dst).c_str());
  if (s_penalty)
    delay += belq_get_fanout_delay_penalty(src);
  return delay;
}

bool velmo_can_use_physical_delays(const VOK_ATOM_OTERM *src,
                                   const VOK_ATOM_ITERM *dst, int x1, int y1,
                                   int x2, int y2) {
  ONCE_SWITCHES &s = l_once();
  if (!s.physical_mode_said) {
    s.physical_mode_said = true;
    const char *mode = s.hard             ? "hard boundaries"
                       : s.hard_or_fanout ? "hard boundaries or high fanout"
                       : s.except_dff     ? "hard boundaries except DFF din"
                                          : "all";
    msg_vdebug_impl(
        2, "VELMO is using physical delays. Mode = %s, distance threshold = %d",
        mode, s.threshold);
  }
  if (s.threshold != -1 && s.threshold > std::abs(x1 - x2) + std::abs(y1 - y2))
    return false;
  if (!s.hard && !s.hard_or_fanout && !s.except_dff)
    return true;
  if (!src->get_my_node()->is_lcell_comb())
    return true;
  if (dst->get_my_node()->is_lcell_comb())
    return s.hard_or_fanout && l_high_fanout(src);
  if (!s.except_dff)
    return true;
  if (dst->get_my_node()->is_ff() &&
      static_cast<int>(dst->get_port_type()) == kRegisterDataPort)
    return s.hard_or_fanout && l_high_fanout(src);
  return true;
}

std::unique_ptr<VELMO_RESYN_SKEW_MAP> VELMO_RESYN::get_skews() {
  auto skews = std::make_unique<VELMO_RESYN_SKEW_MAP>();
  FILE *file = cfg_is_on("velmo_resyn_show_skews", false)
                   ? std::fopen("skews.txt", "w")
                   : nullptr;
  l_for_each_clock_edge(
      m_hov_accessories->get_kem_netlist(),
      [&](KEM_EDGE *edge, VOK_ATOM_ITERM *iterm) {
        VELMO_RESYN_DELAY_STRUCT delays;
        edge->get_4_delays(delays.d);
        const std::string text = get_kem_edge_string(edge);
        if (file) {
          std::fprintf(file, "Skew (%4d, %4d, %4d, %4d) : %s\n", delays.d[0],
                       delays.d[1], delays.d[2], delays.d[3], text.c_str());
          auto seen = skews->find(iterm);
          if (seen != skews->end()) {
            const int *p = seen->second.d;
            if (std::equal(p, p + 4, delays.d))
              std::fprintf(
                  file,
                  "Found iterm %s for a second time. Prev delays are same\n",
                  velmo_get_iterm_string(iterm).c_str());
            else
              std::fprintf(file,
                           "Found iterm %s for a second time. Prev delays are "
                           "different (%4d, %4d, %4d, %4d) : %s\n",
                           velmo_get_iterm_string(iterm).c_str(), p[0], p[1],
                           p[2], p[3], text.c_str());
          }
        }
        (*skews)[iterm] = delays;
      });
  if (file)
    std::fclose(file);
  int non_zero = 0;
  for (const auto &[iterm, delays] : *skews)
    if (delays.d[0] || delays.d[1] || delays.d[2] || delays.d[3])
      ++non_zero;
  msg_vdebug_impl(2, "Saved skew on %d (%d non zero) clock iterms",
                  static_cast<int>(skews->size()), non_zero);
  return skews;
}

bool VELMO_RESYN::set_or_reset_skews(VELMO_RESYN_SKEW_MAP *skews, bool reset) {
  std::unordered_set<VOK_ATOM_ITERM *> found;
  int count = 0;
  l_for_each_clock_edge(m_hov_accessories->get_kem_netlist(),
                        [&](KEM_EDGE *edge, VOK_ATOM_ITERM *iterm) {
                          auto it = skews->find(iterm);
                          if (it == skews->end())
                            return;
                          const int zero[4] = {0, 0, 0, 0};
                          edge->set_4_delays(reset ? zero : it->second.d);
                          found.insert(iterm);
                          ++count;
                        });
  msg_vdebug_impl(2, "%s skew on %d clock iterms", reset ? "Reset" : "Restored",
                  count);
  return found.size() == skews->size();
}

void VELMO_RESYN::clear_timing(VELMO_RESYN_SKEW_MAP *skews) {
  remove_drask_timing();
  if (skews)
    set_or_reset_skews(skews, true);
  set_or_reset_ic_delays(false, false);
}

void VELMO_RESYN::get_atom_fit_info(BELQ_FIT_INFO_MAP *fit,
                                    VELMO_RESYN_SKEW_MAP *skews) {
  std::unordered_set<std::string> dont_touch;
  int user_count = 0;
  if (cfg_is_on("velmo_read_dont_touch_atom_names", false)) {
    std::ifstream file("dont_touch.txt");
    if (file) {
      msg_vdebug_impl(2, "Reading don't touch atoms from file %s",
                      "dont_touch.txt");
      // Whitespace-separated names of any length: a long hierarchical name
      // keeps its mark whole.
      std::string name;
      while (file >> name)
        dont_touch.insert(name);
      msg_vdebug_impl(2, "Found %d don't touch names",
                      static_cast<int>(dont_touch.size()));
    }
  }
  const WEXAN_ATOM_MOD_DRC *drc = m_env->get_atom_mod_drc();
  for (VOK_ATOM_NODE *atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_lcell_comb() && !atom->is_ff())
      continue;
    BELQ_FIT_INFO info;
    if (drc) {
      for (const VOK_ATOM_OTERM *o : atom->coterms())
        if (!drc->atom_mod_allowed_for_operation(o, kNoTouchOperation))
          info.restricted = true;
    }
    if (!dont_touch.empty() && dont_touch.count(atom->get_string_hpath())) {
      info.restricted = true;
      ++user_count;
    }
    if (atom->is_ff() && skews) {
      VOK_ATOM_ITERM *clk =
          atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(7), 0);
      if (clk == nullptr)
        l_internal_error("iterm", __LINE__);
      auto it = skews->find(clk);
      if (it != skews->end())
        info.skew = it->second.d[0];
    }
    if (m_physical && l_located(atom)) {
      info.x = atom->get_analytic_x();
      info.y = atom->get_analytic_y();
    }
    if (info.restricted || info.skew != 0 || info.x != -1.0f)
      (*fit)[atom] = info;
  }
  msg_vdebug_impl(2, "Found %d restricted lcell combs. %d from user file",
                  static_cast<int>(fit->size()), user_count);
}

void VELMO_RESYN::insert_atoms(std::vector<VOK_ATOM_NODE *> *atoms) {
  for (VOK_ATOM_NODE *atom : *atoms)
    m_env->get_design()->insert_atom(atom, true);
  msg_vdebug_impl(2, "Added %d new lcells", static_cast<int>(atoms->size()));
}

void VELMO_RESYN::delete_atoms(std::vector<VOK_ATOM_NODE *> *atoms) {
  m_amu->set_batch_mode(true);
  for (VOK_ATOM_NODE *atom : *atoms) {
    m_env->get_design()->delete_atom_no_free(atom, false);
    m_amu->remove_node(atom, true);
  }
  m_amu->flush();
  m_amu->set_batch_mode(false);
  msg_vdebug_impl(2, "Deleted %d existing lcells",
                  static_cast<int>(atoms->size()));
}

bool VELMO_RESYN::resynthesize_netlist() {
  const bool reuse_export = cfg_is_on("velmo_resyn_reuse_kem_for_export", true);
  const bool reuse_import = cfg_is_on("velmo_resyn_reuse_kem_for_import", true);
  const VELMO_EQCHECK_NETLIST eqcheck(m_cmp);
  WEXAN_HOV_UTILITY *hov = create_timing(reuse_export);
  if (hov == nullptr || hov->get_had_hov_init_errors())
    return false;
  perform_timing_analysis(hov, "Before RESYN", nullptr, reuse_export);
  std::unique_ptr<VELMO_RESYN_SKEW_MAP> skews =
      m_use_drask ? get_skews() : nullptr;

  BELQ_ENV belq(m_atom_netlist, m_cmp, m_amu, m_dem);
  msg_vdebug_impl(
      2, "before resynthesize_netlist cookie: %llu",
      static_cast<unsigned long long>(m_env->get_design()->get_cookie()));
  belq.report_stats("BEFORE_DRASK_MAPPER");
  const bool dump = cfg_is_on("belq_dump", false);
  if (dump) {
    l_dump(m_atom_netlist, "before_belq.atom");
    eqcheck.write("_belq_golden");
  }

  const int n = cfg_get_int_value("velmo_resyn_max_iterations", 1);
  const bool kavu = cfg_is_on("velmo_kavu_resyn", false);
  const bool recover_all =
      cfg_is_on("velmo_resyn_all_iterations_recover_area", false);
  for (int r = 1; r <= n; ++r) {
    const bool last = r == n;
    const std::string label =
        last ? std::string("RESYN") : "RESYN-iter-" + std::to_string(r);
    const int type = kavu ? 2 : (last || recover_all) ? 0 : 1;
    static const char *const kTypeText[] = {
        "map with area recovery", "map for pure timing", "kavu-resyn"};
    msg_vdebug_impl(2, "SYN_TAG: VELMO_RESYN Step %s - running %s",
                    label.c_str(), kTypeText[type]);

    BELQ_FIT_INFO_MAP fit;
    get_atom_fit_info(&fit, skews.get());
    belq.export_netlist(hov, &fit);
    if (!belq.resynthesize(type))
      continue;
    std::vector<VOK_ATOM_NODE *> added, deleted, changed;
    belq.import_netlist(&added, &deleted, &changed);
    if (last && skews && reuse_import)
      set_or_reset_skews(skews.get(), true);
    for (auto *list : {&added, &deleted, &changed})
      for (VOK_ATOM_NODE *atom : *list)
        m_env->indicate_that_atom_netlist_is_modified(atom->get_id(), false,
                                                      false);
    insert_atoms(&added);
    delete_atoms(&deleted);
    belq.report_stats("AFTER_DRASK_MAPPER");
    msg_vdebug_impl(
        2, "after resynthesize_netlist cookie: %llu",
        static_cast<unsigned long long>(m_env->get_design()->get_cookie()));
    if (dump) {
      l_dump(m_atom_netlist, "after_belq.atom");
      eqcheck.write("_belq_revised");
    }

    if (!last) {
      hov = create_timing(reuse_import);
      perform_timing_analysis(hov, label.c_str(), nullptr, false);
      if (skews && r + 1 == n)
        skews = get_skews();
    } else if (m_debug) {
      hov = create_timing(reuse_import);
      perform_timing_analysis(hov, label.c_str(), skews.get(), false);
    } else if (!reuse_import) {
      hov = create_timing(false);
    }
  }
  if (m_use_drask && m_debug) {
    msg_vdebug_impl(2, "Running final timing analysis with DRASK");
    clear_timing(skews.get());
    perform_timing_analysis(hov, "RESYN-FINAL", nullptr, false);
    skews = get_skews();
    if (reuse_import)
      set_or_reset_skews(skews.get(), true);
  }
  if (reuse_import)
    remove_drask_timing();
  else
    clear_timing(skews.get());
  return true;
}

bool VELMO_RESYN::run_timing_analysis_only() {
  WEXAN_HOV_UTILITY *hov = create_timing(false);
  if (hov == nullptr || hov->get_had_hov_init_errors())
    return false;
  perform_timing_analysis(hov, "RESYN-FINAL", nullptr, false);
  std::unique_ptr<VELMO_RESYN_SKEW_MAP> skews =
      m_use_drask ? get_skews() : nullptr;
  if (m_debug) {
    BELQ_ENV belq(m_atom_netlist, m_cmp, m_amu, nullptr);
    belq.report_stats("AFTER_DRASK_MAPPER");
  }
  clear_timing(skews.get());
  return true;
}

void velmo_resyn_forget_switches() { l_once_slot().reset(); }

// ---------------------------------------------------------------- texts

std::string velmo_get_iterm_string(const VOK_ATOM_ITERM *iterm) {
  if (iterm == nullptr)
    return "I";
  return iterm->get_my_node()->get_string_hpath() + "/" +
         puve_enum_to_string(iterm->get_port_type(), 1);
}

std::string velmo_get_oterm_string(const VOK_ATOM_OTERM *oterm) {
  if (oterm == nullptr)
    return "O";
  return oterm->get_my_node()->get_string_hpath() + "/" +
         std::to_string(static_cast<int>(oterm->get_port_type()));
}

std::string get_kem_edge_string(const KEM_EDGE *edge) {
  const KEM_NODE *src = edge ? edge->get_src_node() : nullptr;
  const KEM_NODE *dst = edge ? edge->get_dst_node() : nullptr;
  return (src ? src->get_string_name() : std::string("NIL")) + "->" +
         (dst ? dst->get_string_name() : "NIL");
}

std::string velmo_get_synth_dump_path() {
  std::error_code ec;
  if (!std::filesystem::is_directory("synth_dumps") &&
      !std::filesystem::create_directory("synth_dumps", ec))
    l_internal_error("WEZ_FILE_SYSTEM::create(\"synth_dumps\")", __LINE__);
  return "synth_dumps";
}

namespace {
void l_dump(VOK_ATOM_NETLIST *netlist, const char *file) {
  ZEL_ATOM_DUMPER dumper(nullptr);
  dumper.dump_atom_netlist(velmo_get_synth_dump_path() + "/" + file, netlist,
                           true);
}
} // namespace
