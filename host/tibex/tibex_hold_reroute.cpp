#include "tibex/tibex_hold_reroute.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "swavo/swavo_recompile_op.h"
#include "wexan/wexan_env.h"

namespace {
struct HOLD_REROUTE_STATE {
  int rerouted = 0;
  std::vector<std::string> reports;
};
HOLD_REROUTE_STATE& l_state() { return host_world_slot<HOLD_REROUTE_STATE>(); }

constexpr int kPasses = 3;

// Whether an input pin feeds a keeper (a data, enable or clear pin).
bool l_feeds_keeper(const KEM_NETLIST& kem, const KEM_NODE& pin) {
  for (int id = pin.begin_fanout(); id != -1;) {
    const KEM_EDGE* e = kem.get_edge(id);
    if (e == nullptr) break;
    if (e->get_kind() == 1) return true;
    id = e->get_next_fanout();
  }
  return false;
}

struct FAILURE {
  VOK_ATOM_ITERM* sink;
  int old_delay;  // slow-corner ps
  int deficit;    // slow-corner ps
};

// The failing connections (edge order), the largest deficit of each.
std::vector<FAILURE> l_failures(const KEM_NETLIST& kem, bool endpoints_only, const std::set<const VOK_ATOM_ITERM*>& skip) {
  const auto& corners = kem.get_corner_manager()->get_loaded_corners();
  std::vector<FAILURE> out;
  for (int id = 0; id < kem.get_edge_count(); ++id) {
    const KEM_EDGE* e = kem.get_edge(id);
    if (e == nullptr || !e->is_live() || e->is_excluded() || e->get_kind() != 0) continue;
    VOK_ATOM_ITERM* t = e->get_iterm();
    if (t == nullptr || skip.count(t)) continue;
    int deficit = 0;
    for (std::size_t c = 0; c < corners.size(); ++c) {
      const std::int32_t s = host::sta::edge_hold_slack(id, static_cast<int>(c));
      if (s == KEM_NO_SLACK || s >= 0) continue;
      const double scale = corners[c].get_delay_scale();
      deficit = std::max(deficit, static_cast<int>(std::ceil(-static_cast<double>(s) / (scale > 0 ? scale : 1.0))));
    }
    if (deficit == 0) continue;
    if (endpoints_only && !(e->get_dst_node() && l_feeds_keeper(kem, *e->get_dst_node()))) continue;
    out.push_back({t, kem.get_edge_delay_ps(*e, -1), deficit});
  }
  return out;
}
}  // namespace

namespace host::hold_reroute {

int last_rerouted() { return l_state().rerouted; }
const std::vector<std::string>& last_reports() { return l_state().reports; }

int run() {
  HOLD_REROUTE_STATE& st = l_state();
  st = {};
  host::log_call("host::hold_reroute::run");
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (env == nullptr || host::hov::current_kem_netlist() == nullptr) return 0;
  // The routing changed under the timing netlist: read all of it again.
  hov_get_atom_netlist_taint_manager()->taint_all();
  sta_full_update_timing(true);

  std::set<const VOK_ATOM_ITERM*> rerouted;
  std::set<const VOK_ATOM_ITERM*> out_of_reach;  // endpoint budgets not met
  std::vector<unsigned>& spar = SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids();
  for (int pass = 0; pass < kPasses; ++pass) {
    const KEM_NETLIST* kem = host::hov::current_kem_netlist();
    if (kem == nullptr) break;
    const std::vector<FAILURE> failures = l_failures(*kem, pass == 0, out_of_reach);
    if (failures.empty()) break;
    DUX dux(DUX_STATE_1, false, env);
    DUX_IMPLEMENT_ARGS args;
    for (const FAILURE& f : failures) {
      dux.reroute(f.sink);
      KORRIN::DELAY_BUDGET b;
      b.first = f.old_delay + f.deficit;
      args.delay_budgets[f.sink] = {b};
    }
    DUX_RESULT res = dux.implement(args);
    if (!res.succeeded()) {
      // Nothing is lost: the connections get their old routing back.
      dux.restore_checkpoint(0);
      sta_increm_update_timing();
      st.reports.push_back("hold-fix re-route pass " + std::to_string(pass + 1) + " undone (status " +
                           std::to_string(res.get_status()) + ")");
      break;
    }
    int changed = 0;
    if (const KORRIN::IR_RESULT* ir = res.get_ir_result()) {
      for (const std::string& line : ir->reports()) st.reports.push_back(line);
      for (const KORRIN::IR_RESULT::PATH& p : ir->paths()) {
        if (p.status != KORRIN::IR_RESULT::ROUTED || p.sink == nullptr) continue;
        ++changed;
        if (!p.budget_met && pass == 0) out_of_reach.insert(p.sink);
        rerouted.insert(p.sink);
        const unsigned atom = static_cast<unsigned>(p.sink->get_my_node()->get_id());
        if (std::find(spar.begin(), spar.end(), atom) == spar.end()) spar.push_back(atom);
      }
    }
    if (changed == 0) break;
  }
  st.rerouted = static_cast<int>(rerouted.size());
  return st.rerouted;
}

}  // namespace host::hold_reroute
