// The retimer's driver: construction and tear-down of the manager, setup,
// the loop over clock domains, rounds and register iterations, and the two
// entry points.
#include <algorithm>
#include <cstdio>
#include <exception>

#include <tbb/global_control.h>

#include "cfg/cfg.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"
#include "velmo_debug.h"
#include "velmo_eco_tcl.h"
#include "velmo_expert.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "zel/zel_atom_dumper.h"

namespace {
[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irtm_test_manager", line);
}

bool is_hold_repair(const IRTM_OBJ* obj) { return obj->m_move_type != IRTM_MOVE::None && obj->m_hold; }

// One run of the retimer inside its profiling bin.
int run_retimer(CMP_FACADE* cmp, WEXAN_ENV* env, const char* bin_name) {
  if (env->get_base_family_code() != 46) return 1;
  VELMO_SCOPED_PROFILE_BIN bin(bin_name, "");
  // The register queue's parallel work starts worker threads; they are
  // joined before the run returns, so that the host may unload the library
  // (and the thread library with it) once the stage is over.
  tbb::task_scheduler_handle workers{tbb::attach{}};
  int result;
  {
    IRTM_MANAGER manager(cmp, env);
    result = manager.retime();
  }
  tbb::finalize(workers, std::nothrow);
  return result;
}
}  // namespace

std::uint32_t IRTM_MANAGER::s_dump_counter = 0;

int VELMO_EXPERT::test_incremental_retiming() {
  return run_retimer(m_cmp, m_env, "Post-Route Incremental Retimer");
}

int VELMO_ECO_TCL::test_incremental_retiming() {
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (!env) ie("m_env", __LINE__);
  return run_retimer(env->get_cmp(), env, "ECO Incremental Retimer");
}

IRTM_MANAGER::IRTM_MANAGER(WEXAN_ENV* env) : m_env(env) {}

IRTM_MANAGER::IRTM_MANAGER(CMP_FACADE* cmp, WEXAN_ENV* env)
    : m_env(env),
      m_cmp(cmp),
      m_atoms(env->get_atom_netlist()),
      m_full(true),
      m_iter(std::make_unique<IRTM_ITERATION>(env)),
      m_queue(std::make_unique<IRTM_FF_QUEUE>()) {
  m_dump_kem_memory = cfg_is_on("velmo_irtm_dump_kem_memory", false);
  // Without a timing netlist nothing is switched: the error leaves the
  // environment's tainting as it was.
  m_kem_netlist = hov_get_accessories()->get_kem_netlist();
  if (!m_kem_netlist) ie("m_kem_netlist != nullptr", __LINE__);
  m_tainting_was_enabled = env->is_hov_tainting_enabled();
  env->set_hov_tainting_enabled(false);
  if (!IRTM_UTIL::s_instance) IRTM_UTIL::s_instance = new IRTM_UTIL(env, m_kem_netlist);
  m_dux = std::make_unique<DUX>(1, true, env);
  m_dux->set_implement_skip_ista(true);
  m_ff_change = std::make_unique<FF_CHANGE_MANAGER>(m_kem_netlist);
  m_dump = cfg_is_on("muvo_zota_dump", false);
  m_verbose = cfg_is_on("muvo_zota_verbose", true);
  m_hold_costing = cfg_is_on("muvo_zota_hold_costing", true);
  m_wirelut_hold_fix = cfg_is_on("muvo_zota_wirelut_hold_fix", true);
  m_reroute_setup_fix = cfg_is_on("muvo_zota_reroute_setup_fix", true);
  m_tco_gb = cfg_get_int_value("muvo_zota_tco_gb", 60);
  m_debug_atom_id = cfg_get_int_value("muvo_zota_debug_atom_id", 0);
  m_allow_stale = cfg_is_on("muvo_zota_allow_stale_sta_updates", true);
  m_queue->set_factory([this](VOK_ATOM_NODE* atom) { return create_irtm_ff(atom); });
  m_init_state = std::make_unique<INITIAL_STATE_MANAGER>(cfg_is_on("muvo_zota_preserve_initial_state", true));
  dump_atom_netlist(false);
}

IRTM_MANAGER::~IRTM_MANAGER() {
  if (m_full) {
    m_dux.reset();
    if (m_allow_stale) sta_allow_stale_timing_when_unable_to_incrementally_update(false);
    if (m_dump_kem_memory) msg_vdebug_impl(2, "Dumping KEM memory after Retime:");
    // A manager left by an internal error still gives everything back; the
    // missing cleanup is reported once the state is restored.
    const bool released = !m_amu && !m_siv;
    if (m_amu) m_amu->set_checking_enabled(true);
    m_amu = m_siv = nullptr;
    delete IRTM_UTIL::s_instance;
    IRTM_UTIL::s_instance = nullptr;
    m_ff_change.reset();
    m_init_state.reset();
    if (m_tainting_was_enabled) m_env->set_hov_tainting_enabled(true);
    m_queue.reset();
    m_iter.reset();
    clear_yun_stack();
    for (auto& [id, ff] : m_live) delete ff;
    for (auto& [id, ff] : m_retired) delete ff;
    m_live.clear();
    m_retired.clear();
    if (!released && std::uncaught_exceptions() == 0) ie("!m_amu", __LINE__);
    return;
  }
  for (auto& [id, ff] : m_live) delete ff;
  for (auto& [id, ff] : m_retired) delete ff;
}

void IRTM_MANAGER::clear_yun_stack() {
  for (IRTM_MOVE* move : m_yun_stack) delete move;
  m_yun_stack.clear();
}

void IRTM_MANAGER::setup() {
  IRTM_UTIL* util = IRTM_UTIL::s_instance;
  if (!cfg_is_on("muvo_zota_skip_load_all_corners", false))
    HOV_INCR::enable_timing_on_all_corners(m_kem_netlist, m_cmp, util->get_all_corners());
  // Loading the corners applies pending netlist changes, for which the host
  // may give a new timing netlist: go on with the one it holds now.
  if (KEM_NETLIST* now = hov_get_accessories()->get_kem_netlist(); now != nullptr && now != m_kem_netlist) {
    m_kem_netlist = now;
    util->set_kem_netlist(now);
    m_ff_change = std::make_unique<FF_CHANGE_MANAGER>(now);
  }
  util->set_hov_incr(HOV_INCR::create_hov_incr(m_atoms, m_kem_netlist, m_cmp));
  sta_incr_track_changed_flops(true, true);
  util->update_multi_corner_info();
  if (m_siv) ie("!m_siv", __LINE__);
  m_siv = ZEL_UTIL::get_atom_mod_manager();
  m_siv->notify();
  if (m_amu) ie("!m_amu", __LINE__);
  m_amu = ZEL_UTIL::get_atom_mod_manager();
  m_amu->set_checking_enabled(false);
  m_re_manager.clear();
  sta_full_update_timing(util->get_all_corners());
  if (m_dump_kem_memory) msg_vdebug_impl(2, "Dumping KEM memory before Retime:");
  if (m_allow_stale) sta_allow_stale_timing_when_unable_to_incrementally_update(true);
}

int IRTM_MANAGER::retime() {
  setup();
  const bool report = cfg_is_on("report_fmax_per_phase", false);
  if (report) HOV_INCR::print_fmax_across_loaded_corners("Incremental Retimer (Before)", 0, 0);
  const bool result = retime_design();
  if (report) HOV_INCR::print_fmax_across_loaded_corners("Incremental Retimer", 0, 0);
  cleanup(result);
  return 1;
}

bool IRTM_MANAGER::retime_design() {
  const int rounds = cfg_get_int_value("muvo_zota_inner_loop", 1);
  const int max_try = cfg_get_int_value("muvo_zota_max_try", 3);
  const bool verbose = cfg_is_on("muvo_zota_siv_verbose", false);
  bool previous_suppress = false;
  if (!verbose) previous_suppress = m_siv->set_suppress_messages(true);
  bool result = false;
  std::vector<HOV_INCR_WNS_DOMAIN> domains = sta_get_wns_domains();
  for (HOV_INCR_WNS_DOMAIN& domain : domains) {
    if (domain.is_unclocked()) continue;
    std::int64_t previous = IRTM_NO_SLACK;
    int unchanged = 0;
    int k = 0;
    for (;;) {
      const bool r = retime_domain(&domain, k);
      result = result || r;
      const std::int64_t sum = IRTM_UTIL::s_instance->get_wns_cost();
      unchanged = sum == previous ? unchanged + 1 : 0;
      previous = sum;
      ++k;
      if (k >= rounds || !r || unchanged >= max_try) break;
    }
  }
  if (!verbose) m_siv->set_suppress_messages(previous_suppress);
  return result;
}

bool IRTM_MANAGER::retime_domain(HOV_INCR_WNS_DOMAIN* domain, int round) {
  IRTM_UTIL* util = IRTM_UTIL::s_instance;
  sta_increm_update_timing();
  m_ff_change->reset();
  sta_incr_reset_changed_flops();
  m_queue->initialize(domain);
  if (m_queue->m_ff_list.empty()) return false;
  IRTM_ITERATION& it = *m_iter;
  it.m_domain = domain;
  const std::int32_t first = m_queue->m_ff_list.front()->min_slack();
  it.m_initial_cost = {util->get_wns_cost(), first};
  it.m_ff_wns = it.m_current_worst_slack = it.m_previous_worst_slack = first;
  it.m_slack_margin = 0;
  it.m_hold_moves = it.m_non_critical_iterations = it.m_critical_iterations = 0;
  it.m_object_counter = it.m_accepted_moves = 0;
  it.m_critical = true;
  char name[64];
  std::snprintf(name, sizeof name, "[%d %d][%d]", domain->reserved0, domain->reserved1, round);
  it.m_name = name;
  print_domain_info(true);
  bool last = false;
  for (;;) {
    const std::int32_t dw = util->get_domain_wns(*domain);
    if (dw < it.m_ff_wns) {
      msg_vdebug_impl(2, "Skipping Retiming %d (domain {%s} WNS) < %d (FF WNS)", dw, it.m_name.c_str(), it.m_ff_wns);
      break;
    }
    if ((static_cast<std::int64_t>(it.m_non_critical_iterations) >= it.m_max_non_crit_iterations &&
         it.m_slack_margin >= it.m_crit_range) ||
        static_cast<std::int64_t>(it.m_critical_iterations) >= it.m_crit_iterations)
      break;
    m_queue->update(m_ff_change->get_changed_flops(true, true), last);
    m_ff_change->reset();
    sta_incr_reset_changed_flops();
    if (m_queue->m_ff_list.empty() || m_queue->m_ff_list.front()->min_slack() >= 0) break;
    IRTM_FF* ff = nullptr;
    while (!m_queue->m_ff_list.empty()) {
      IRTM_FF* front = m_queue->m_ff_list.front();
      front->m_move_type = IRTM_MOVE::None;
      front->m_hold = 0;
      m_queue->remove_ff(m_queue->m_ff_list.begin());
      if (!front->is_deleted()) {
        ff = front;
        break;
      }
    }
    if (!ff) break;
    std::vector<IRTM_OBJ*> objects{ff};
    last = retime_iteration(&objects);
  }
  print_domain_info(false);
  m_ff_change->reset();
  sta_incr_reset_changed_flops();
  cleanup_irtm_ffs();
  return it.m_accepted_moves > 0;
}

bool IRTM_MANAGER::retime_iteration(std::vector<IRTM_OBJ*>* objects) {
  if (objects->size() != 1) ie("obj_vec->size() == 1", __LINE__);
  clear_yun_stack();
  IRTM_ITERATION& it = *m_iter;
  const std::int32_t s = objects->front()->min_slack();
  it.m_move_cost = it.m_undo_cost = {it.m_initial_cost.cost, s};
  it.m_critical = it.m_current_worst_slack == s;
  if (s != IRTM_NO_SLACK && it.m_ff_wns != IRTM_NO_SLACK)
    it.m_slack_margin = std::max<std::int64_t>(it.m_slack_margin, static_cast<std::int64_t>(s) - it.m_ff_wns);
  it.m_hold_moves = 0;
  it.m_scratch.clear();
  it.m_setup_candidates.clear();
  it.m_pending_hold.clear();
  if (it.m_critical)
    ++it.m_critical_iterations;
  else
    ++it.m_non_critical_iterations;
  if (m_dux->get_checkpoint_id() != 0) ie("dux()->get_checkpoint_id() == 0", __LINE__);
  bool result = false;
  for (std::size_t k = 0; k < objects->size(); ++k) {
    if (!retime_kth_iteration(static_cast<int>(k), objects)) {
      undo_all_retiming(0);
      result = false;
      break;
    }
    result = true;
  }
  if (!m_yun_stack.empty()) {
    msg_vdebug_impl(2, "Retiming move has not been accepted");
    undo_all_retiming(0);
    clear_yun_stack();
    result = false;
  }
  if (!it.m_pending_hold.empty()) msg_vdebug_impl(2, "    hold fix FAILED");
  m_dux->clear_checkpoint_data();
  return result;
}

bool IRTM_MANAGER::retime_kth_iteration(int k, std::vector<IRTM_OBJ*>* objects) {
  IRTM_OBJ* obj = objects->at(static_cast<std::size_t>(k));
  if (obj->is_deleted()) ie("!obj->is_deleted()", __LINE__);
  obj->update_slack(true);
  m_iter->next_object(obj);
  VOK_ATOM_NODE* atom = obj->get_atom();
  if (atom && atom->get_id() == m_debug_atom_id) msg_vdebug_impl(2, "Found debug ID: %d", m_debug_atom_id);
  const bool ok = retime_ff(obj);
  if (m_yun_stack.empty()) ie("!yun_stack_empty()", __LINE__);
  IRTM_MOVE* move = m_yun_stack.back();
  if (!ok) {
    if (move->failure.get_reason() != IRTM_FAILURE::NONE)
      msg_vdebug_impl(2, "    Failed reason: %s", IRTM_FAILURE::reason_text(move->failure.get_reason()));
    const bool r = batch_retiming_moves(k, objects);
    if (move->type != IRTM_MOVE::None) obj->m_failure_mask |= 1u << move->type;
    // The batch step may have changed the stack; pop this move only.
    auto pos = std::find(m_yun_stack.begin(), m_yun_stack.end(), move);
    if (pos != m_yun_stack.end()) {
      m_yun_stack.erase(pos);
      delete move;
    }
    return r;
  }
  const bool hold = is_hold_repair(obj);
  if (!annotate_delays(move, nullptr)) {
    if (!hold) return false;
    undo_all_retiming(move->m_checkpoint_id);
    return update_hold_voilations(k, objects);
  }
  bool c = check_retiming(move, &m_iter->m_move_cost, &m_iter->m_initial_cost, true);
  if (!c) {
    if (!hold) return update_setup_voilations(k, objects);
    undo_all_retiming(move->m_checkpoint_id);
    return update_hold_voilations(k, objects);
  }
  if (!m_iter->m_pending_hold.empty()) {
    c = update_hold_voilations(k, objects);
    if (m_iter->m_pending_hold.empty()) finalize_retiming();
  } else {
    finalize_retiming();
  }
  return c;
}

bool IRTM_MANAGER::retime_ff(IRTM_OBJ* obj) {
  auto* move = new IRTM_MOVE(m_dux->get_checkpoint_id());
  m_yun_stack.push_back(move);
  m_re_manager.clear();
  if (obj->m_type == IRTM_OBJ::IPIN) {
    auto* pin = static_cast<IRTM_IPIN*>(obj);
    if (obj->m_move_type == IRTM_MOVE::Wirelut) {
      move->type = IRTM_MOVE::Wirelut;
      return insert_wirelut(pin, move);
    }
    if (obj->m_move_type == IRTM_MOVE::Reroute) {
      move->type = IRTM_MOVE::Reroute;
      return reroute_load(pin, move);
    }
    return false;
  }
  if (obj->m_type != IRTM_OBJ::FF) ie("m_type == FF", __LINE__);
  auto* ff = static_cast<IRTM_FF*>(obj);
  if (!is_retimable_ff(ff->get_atom())) {
    ff->m_failure_mask = 31;
    return false;
  }
  IRTM_MOVE::TYPE t;
  if (is_hold_repair(ff)) {
    t = static_cast<IRTM_MOVE::TYPE>(ff->m_move_type);
    if (t != IRTM_MOVE::Forward && t != IRTM_MOVE::Backward)
      ie("irtm_ff->m_move_type == Forward || irtm_ff->m_move_type == Backward", __LINE__);
  } else {
    t = ff->compute_move();
    if (t == IRTM_MOVE::None) return false;
    if (t == IRTM_MOVE::Forward && ff->m_last_move == IRTM_MOVE::Backward) return false;
    if (t == IRTM_MOVE::Backward && ff->m_last_move == IRTM_MOVE::Forward) return false;
  }
  // The search clears the move first; the direction is recorded after it,
  // so that undo, repair queueing and commit see which way it went.
  const bool found = t == IRTM_MOVE::Forward ? forward_retime(ff, move) : backward_retime(ff, move);
  move->type = t;
  return found;
}

void IRTM_MANAGER::print_domain_info(bool at_start) {
  const IRTM_ITERATION& it = *m_iter;
  const char* n = it.m_name.c_str();
  IRTM_UTIL* util = IRTM_UTIL::s_instance;
  const std::int32_t dw = util->get_domain_wns(*it.m_domain);
  if (at_start) {
    const auto& list = m_queue->m_ff_list;
    msg_vdebug_impl(2, "%s FF Queue Size : %d", n, static_cast<int>(list.size()));
    msg_vdebug_impl(2, "%s Min FF Slack  : %d", n, list.empty() ? 0 : list.front()->min_slack());
    msg_vdebug_impl(2, "%s Domain Wns    : %d", n, dw);
    msg_vdebug_impl(2, "%s WNS Cost      : %d", n, util->get_wns_cost());
    return;
  }
  if (it.m_critical_iterations == 0) return;
  const unsigned total = it.m_critical_iterations + it.m_non_critical_iterations;
  msg_vdebug_impl(2, "%s Domain Wns Improved : %d", n, static_cast<int>(static_cast<std::int64_t>(dw) - it.m_ff_wns));
  msg_vdebug_impl(2, "%s Critical Moves      : %d", n, static_cast<int>(it.m_critical_iterations));
  msg_vdebug_impl(2, "%s Non Critical Moves  : %d", n, static_cast<int>(it.m_non_critical_iterations));
  msg_vdebug_impl(2, "%s Accepted Moves      : %d (%d%%)", n, static_cast<int>(it.m_accepted_moves),
                  static_cast<int>(it.m_accepted_moves * 100.0 / total));
}

void IRTM_MANAGER::cleanup(bool) {
  for (auto& [id, ff] : m_live) {
    if (ff->is_deleted()) ie("!ff->is_deleted()", __LINE__);
    delete ff;
  }
  m_live.clear();
  m_iter->cleanup_irtm_ipins();
  dump_atom_netlist(false);
  if (m_amu) m_amu->set_checking_enabled(true);
  m_amu = nullptr;
  m_siv = nullptr;
  IRTM_UTIL* util = IRTM_UTIL::s_instance;
  if (HOV_INCR* incr = util ? util->get_hov_incr() : nullptr) {
    incr->release();
    sta_incr_track_changed_flops(false, false);
    incr->stop(false);
    util->set_hov_incr(nullptr);
  }
}

void IRTM_MANAGER::dump_atom_netlist(bool force) {
  if (!force && !cfg_is_on("muvo_zota_dump", false)) return;
  char file[64];
  std::snprintf(file, sizeof file, "muvo_zota_yun_%03u.atom", s_dump_counter++);
  msg_vdebug_impl(2, "Dumping atom netlist to %s", file);
  ZEL_ATOM_DUMPER dumper(m_env ? m_env->get_chip_db_entry() : nullptr);
  dumper.dump_atom_netlist(file, m_atoms, true);
}

