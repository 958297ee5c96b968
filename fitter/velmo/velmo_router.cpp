#include "velmo_router.h"

#include <algorithm>
#include <string>
#include <vector>

#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "juk_forest_detail_sys.h"
#include "kem/kem_netlist.h"
#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_env.h"
#include "cmp/cmp_facade.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_atom_util.h"
#include "zmp_dense_hash.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_router", line);
}

using FOREST = JUK::FOREST<int, VOK_ATOM_ITERM*>;

bool l_is_pipeline_register(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_ff() && ZEL_ATOM_UTIL::is_zota_marked_reg(atom);
}

VOK_ATOM_NODE* l_source_node(const VOK_ATOM_ITERM* t) {
  const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
  return src ? src->get_my_node() : nullptr;
}

VOK_ATOM_ITERM* l_data_input(const VOK_ATOM_NODE* reg) {
  return reg->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(20), 0);
}

bool l_usable(int slack) { return slack != VELMO_SPAR::INVALID_SLACK && slack != VELMO_SPAR::NO_SLACK; }

// The leftmost leaf under a node, and the leaf after one (-1 at the end).
int l_leftmost_leaf(const FOREST& f, int n) {
  while (f.first_child(n) != -1) n = f.first_child(n);
  return n;
}
int l_next_leaf(const FOREST& f, int n) {
  for (int a = n; a != -1; a = f.parent(a))
    if (f.next_sibling(a) != -1) return l_leftmost_leaf(f, f.next_sibling(a));
  return -1;
}

using BUDGETS = std::vector<KORRIN::DELAY_BUDGET>;

// Lowers a hop's minimum by the slack (raises it by the violation) and caps
// its maximum; an index past the vector's end is left alone.
void l_raise(BUDGETS& b, int k, int slack) {
  if (k < 0 || static_cast<std::size_t>(k) >= b.size()) {
    msg_vdebug_impl(2, "VELMO_SPAR: no budget for hop %d of %d; left as it is", k, static_cast<int>(b.size()));
    return;
  }
  b[static_cast<std::size_t>(k)].first -= slack;
  b[static_cast<std::size_t>(k)].second = 1000;
}

}  // namespace

int VELMO_SPAR::get_iterm_hold_slack(VOK_ATOM_ITERM* iterm) {
  const KEM_EDGE* edge = m_kem_netlist ? m_kem_netlist->get_ic_edge_to_iterm(iterm) : nullptr;
  if (edge == nullptr) return NO_SLACK;
  return m_edge_slack_data[edge->get_id()].second;
}

int VELMO_SPAR::get_iterm_worst_hold_slack(VOK_ATOM_ITERM* iterm) {
  int worst = get_iterm_hold_slack(iterm);
  if (iterm->get_source(VOK_TRAVERSE_HIERARCHICAL) == nullptr) return worst;
  for (const VOK_ATOM_NODE* src = l_source_node(iterm); l_is_pipeline_register(src);) {
    VOK_ATOM_ITERM* d = l_data_input(src);
    if (d == nullptr) break;
    if (m_kem_netlist->get_ic_edge_to_iterm(d) != nullptr) worst = std::min(worst, get_iterm_hold_slack(d));
    if (d->get_source(VOK_TRAVERSE_HIERARCHICAL) == nullptr) break;
    src = l_source_node(d);
  }
  return worst;
}

VOK_ATOM_ITERM* VELMO_SPAR::get_iterm_for_reroute(VOK_ATOM_ITERM* iterm) {
  VOK_ATOM_ITERM* r = iterm;
  if (iterm->get_source(VOK_TRAVERSE_HIERARCHICAL) == nullptr) return r;
  for (const VOK_ATOM_NODE* src = l_source_node(iterm); l_is_pipeline_register(src);) {
    VOK_ATOM_ITERM* d = l_data_input(src);
    if (d == nullptr) break;
    if (m_kem_netlist->get_ic_edge_to_iterm(d) != nullptr) {
      const int s = get_iterm_hold_slack(d);
      if (s < 0 && s != INVALID_SLACK) r = d;
    }
    if (d->get_source(VOK_TRAVERSE_HIERARCHICAL) == nullptr) break;
    src = l_source_node(d);
  }
  return r;
}

bool VELMO_SPAR::run() {
  VELMO_SCOPED_PROFILE_BIN bin("Korrin IR SPaR", "");
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (env == nullptr) l_internal_error("env", __LINE__);
  const std::string prefix = env->get_cmp() ? env->get_cmp()->get_project_name() : std::string();
  if (m_dump_netlist)
    ZEL_ATOM_DUMPER(env->get_chip_db_entry()).dump_current_atom_netlist(prefix + ".spar_pre_atom_netlist.txt", true);

  HOV_ACCESSORIES* acc = hov_get_accessories();
  m_kem_netlist = acc->get_kem_netlist();
  if (m_dump_netlist) acc->write_kem_netlist(prefix + ".spar_pre_kem_netlist", true, true);
  m_edge_slack_data = acc->get_edge_slack_data();
  if (m_edge_slack_data == nullptr) l_internal_error("m_edge_slack_data", __LINE__);

  m_dux = new DUX(DUX_STATE_1, false, env);
  DUX_IMPLEMENT_ARGS dux_args;
  dux_args.clear();
  ZMP::DENSE_HASH_SET<VOK_ATOM_ITERM*> handled;

  {
    VELMO_SCOPED_PROFILE_BIN timing_bin("Timing Analysis", "");
    HOV_ACCESSORIES::DRASK_OPTIONS options = acc->get_drask_options();
    options.flags[0] = true;
    acc->run_drask_analysis(1, options, true);
    // The analysis may have brought a new timing netlist: read slacks
    // against the one it analysed.
    m_kem_netlist = acc->get_kem_netlist();
  }

  {
    VELMO_SCOPED_PROFILE_BIN traversal_bin("Traversal", "");
    VOK_ATOM_NETLIST* netlist = env->get_atom_netlist();
    for (VOK_ATOM_ITERATOR<false> it(netlist, VOK_TRAVERSE_HIERARCHICAL, false),
         end(netlist, VOK_TRAVERSE_HIERARCHICAL, true);
         it != end; ++it) {
      VOK_ATOM_NODE* atom = *it;
      if (l_is_pipeline_register(atom)) continue;
      const bool comb = atom->is_lcell_comb();
      if (!comb && !atom->is_ff()) continue;
      for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
        VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
        if (t == nullptr || (!comb && t->get_port_type() != 20)) continue;
        if (handled.exists(t)) continue;
        const int w = get_iterm_worst_hold_slack(t);
        if (w >= 0 || w == INVALID_SLACK) continue;
        VOK_ATOM_ITERM* r = get_iterm_for_reroute(t);
        const FOREST forest = DUX_UTIL::get_iterm_forest_for_reroute(r);
        if (!m_dux->get_current_delays_for_iterm_forest(forest, dux_args.delay_budgets)) l_internal_error("ok", __LINE__);
        for (int leaf = forest.first_root() == -1 ? -1 : l_leftmost_leaf(forest, forest.first_root()); leaf != -1;
             leaf = l_next_leaf(forest, leaf)) {
          int depth = 0;
          for (int a = forest.parent(leaf); a != -1; a = forest.parent(a)) ++depth;
          VOK_ATOM_ITERM* term = forest.payload(leaf);
          auto db_iter = dux_args.delay_budgets.find(term);
          if (db_iter == dux_args.delay_budgets.end())
            l_internal_error("db_iter != dux_args.delay_budgets.end()", __LINE__);
          BUDGETS& b = db_iter->second;
          if (m_kem_netlist->get_ic_edge_to_iterm(term) != nullptr) {
            const int s = get_iterm_hold_slack(term);
            if (l_usable(s)) l_raise(b, depth, s);
          }
          handled.insert(term);
          VOK_ATOM_ITERM* cur = term;
          for (int k = depth - 1; k >= 0; --k) {
            const VOK_ATOM_NODE* src_node = l_source_node(cur);
            if (!l_is_pipeline_register(src_node))
              l_internal_error("src_node->is_ff() && ZEL_ATOM_UTIL::is_zota_marked_reg(src_node)", __LINE__);
            VOK_ATOM_ITERM* d = l_data_input(src_node);
            if (d == nullptr) l_internal_error("src_node->is_ff() && ZEL_ATOM_UTIL::is_zota_marked_reg(src_node)", __LINE__);
            if (m_kem_netlist->get_ic_edge_to_iterm(d) != nullptr) {
              const int s = get_iterm_hold_slack(d);
              if (l_usable(s)) {
                l_raise(b, k, s);
                handled.insert(d);
              }
            }
            cur = d;
          }
        }
        m_dux->reroute(r);
      }
    }
  }

  bool result = false;
  {
    VELMO_SCOPED_PROFILE_BIN reroute_bin("Re-route", "");
    int connections = 0;
    int through_zotas = 0;
    for (VOK_ATOM_ITERM* t : handled) {
      if (l_is_pipeline_register(t->get_my_node())) continue;
      ++connections;
      if (t->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr && l_is_pipeline_register(l_source_node(t))) ++through_zotas;
    }
    msg_vdebug_impl(2, "Re-routing %d connections for hold (%d w/ ZOTAs)", connections, through_zotas);
    const DUX_RESULT status = m_dux->implement(dux_args);
    result = status.get_status() == DUX_RESULT::SUCCESS;
  }

  acc->close_edge_slack_data();
  delete m_dux;
  m_dux = nullptr;
  m_edge_slack_data = nullptr;
  return result;
}
