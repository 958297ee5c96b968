#include "tibex/tibex_hold_reroute.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <utility>

#include "common/host_call_log.h"
#include "common/host_progress.h"
#include "common/host_world.h"
#include "dev/dev_grid.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "kem/kem_build_inputs.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "swavo/swavo_recompile_op.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "zel/zel_atom_util.h"

namespace {
using host::hold_reroute::HELD_REASON;

struct HOLD_REROUTE_STATE {
  int rerouted = 0;
  std::vector<std::string> reports;
  // Failing connections the re-route left alone, and why.
  std::vector<std::pair<VOK_ATOM_LOGICAL_PORT, HELD_REASON>> held;
};
HOLD_REROUTE_STATE& l_state() { return host_world_slot<HOLD_REROUTE_STATE>(); }

// Connections the steps after the first take, one at a time, at most.
constexpr int kSerialLimit = 400;

// Whether an input pin feeds a keeper (a data, enable or clear pin).
bool l_feeds_keeper(const KEM_NETLIST& kem, const KEM_NODE& pin) {
  for (int id = pin.begin_fanout(); id != -1;) {
    const KEM_EDGE* e = kem.get_edge(id);
    if (e == nullptr) break;
    if (e->get_kind() == KEM_EDGE_KEEPER_DATA) return true;
    id = e->get_next_fanout();
  }
  return false;
}

// Whether a connection is routed (a dedicated one, such as an output buffer
// into its pad, is not and cannot be re-routed).
bool l_routed(const VOK_ATOM_ITERM* t) {
  const VOK_CHIP_DB_ENTRY* entry = VOK_CHIP_DB_ENTRY::current();
  if (t == nullptr || entry == nullptr) return false;
  // A pipeline register's input is routed into its slot.
  return ZEL_ATOM_UTIL::is_zota_marked_reg(t->get_my_node()) || !entry->get_routing()->get_sink_nodes(t).empty();
}

// Whether a connection's sink pin leads to an output port without another
// routed connection: through cell arcs and dedicated connections only.
bool l_reaches_port(const KEM_NETLIST& kem, const KEM_NODE& pin, int depth) {
  if (pin.get_type() == KEM_NODE_DEVICE_PIN) return true;
  if (depth == 0 || pin.get_type() == KEM_NODE_KEEPER) return false;
  for (int id = pin.begin_fanout(); id != -1;) {
    const KEM_EDGE* e = kem.get_edge(id);
    if (e == nullptr) break;
    id = e->get_next_fanout();
    const KEM_NODE* dst = e->get_dst_node();
    if (dst == nullptr || e->get_kind() == KEM_EDGE_KEEPER_DATA) continue;
    if (e->get_kind() == KEM_EDGE_INTERCONNECT && l_routed(e->get_iterm())) continue;
    if (l_reaches_port(kem, *dst, depth - 1)) return true;
  }
  return false;
}

// How deep the walk to a port looks: a dedicated run into a port stays at
// one pad pin, through the cells on its sites (an input and an output node
// each) to the device pin.
constexpr int kPortWalkDepth = 2 * DEV_GRID::SITES_PER_PIN + 1;

// Whether a connection ends a timing path: into a keeper's pin or, through
// the dedicated connections of its pad (buffer, I/O cells), into an output
// port.
bool l_is_endpoint(const KEM_NETLIST& kem, const KEM_NODE* dst) {
  return dst != nullptr && (l_feeds_keeper(kem, *dst) || l_reaches_port(kem, *dst, kPortWalkDepth));
}

// What the partitions keep: the routing elements reserved by a partition
// whose netlist may not change or that is blackboxed.
std::set<int> l_kept_elements() {
  std::set<int> out;
  const JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  if (design == nullptr) return out;
  for (const auto& p : design->get_partitions()) {
    const JOV_STATE* state = p->get_state(JOV_PARTITION::s_unspecified);
    if (state == nullptr) continue;
    const bool blackboxed = p->get_active_state() == JOV_PARTITION::BBIC_DEPOPULATED;
    const bool locked = state->get_atom_netlist() != nullptr && !state->get_atom_netlist()->is_modifiable();
    if (blackboxed || locked) out.insert(state->get_reserved_re_ids().begin(), state->get_reserved_re_ids().end());
  }
  return out;
}

// Whether a partition keeps the connection: an end the legality engine may
// not touch, or routing a kept partition reserves.
bool l_kept_by_partition(const KEM_EDGE& e, const VOK_ATOM_ITERM* t, const std::set<int>& kept) {
  for (const KEM_NODE* n : {e.get_src_node(), e.get_dst_node()})
    if (n != nullptr && n->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH)) return true;
  if (kept.empty()) return false;
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  for (int sink : routing->get_sink_nodes(t))
    for (int id = sink; id >= 0; id = routing->forest().parent(id)) {
      const unsigned gid = static_cast<unsigned>(routing->get_value(id));
      if ((gid & 0x80000000u) && gid != 0xFFFFFFFFu && kept.count(static_cast<int>(gid & 0x7FFFFFFFu))) return true;
    }
  return false;
}

struct FAILURE {
  VOK_ATOM_ITERM* sink;
  int old_delay;  // slow-corner ps
  int deficit;    // slow-corner ps
  // What the connection may take before its setup fails, slow-corner ps
  // (none when no corner constrains its setup; 0 when setup fails already).
  int setup_room;
};
constexpr int kNoRoom = std::numeric_limits<int>::max();

// The failing connections (edge order), the largest deficit of each; those
// a partition keeps go to `held` instead. With `first_only`, the scan ends
// at the first.
std::vector<FAILURE> l_failures(const KEM_NETLIST& kem, bool endpoints_only, const std::set<const VOK_ATOM_ITERM*>& skip,
                                const std::set<int>& kept, std::vector<const VOK_ATOM_ITERM*>* held, bool first_only) {
  const auto& corners = kem.get_corner_manager()->get_loaded_corners();
  std::vector<const std::vector<std::int32_t>*> hold;
  for (std::size_t c = 0; c < corners.size(); ++c) hold.push_back(&host::sta::edge_hold_slacks(static_cast<int>(c)));
  std::vector<FAILURE> out;
  for (int id = 0; id < kem.get_edge_count(); ++id) {
    // Most edges pass hold: their slacks (an array read per corner) are all
    // a passing edge costs; the edge record, its sink and its routing are
    // read only for a failing one.
    int deficit = 0;
    for (std::size_t c = 0; c < corners.size(); ++c) {
      const std::int32_t s = static_cast<std::size_t>(id) < hold[c]->size() ? (*hold[c])[static_cast<std::size_t>(id)] : KEM_NO_SLACK;
      if (s == KEM_NO_SLACK || s >= 0) continue;
      const double scale = corners[c].get_delay_scale() > 0 ? corners[c].get_delay_scale() : 1.0;
      deficit = std::max(deficit, static_cast<int>(std::ceil(-static_cast<double>(s) / scale)));
    }
    if (deficit == 0) continue;
    const KEM_EDGE* e = kem.get_edge(id);
    if (e == nullptr || !e->is_live() || e->is_excluded() || e->get_kind() != KEM_EDGE_INTERCONNECT) continue;
    VOK_ATOM_ITERM* t = e->get_iterm();
    if (t == nullptr || skip.count(t) || !l_routed(t)) continue;
    if (endpoints_only && !l_is_endpoint(kem, e->get_dst_node())) continue;
    if (l_kept_by_partition(*e, t, kept)) {
      if (held) held->push_back(t);
      continue;
    }
    int room = kNoRoom;
    for (std::size_t c = 0; c < corners.size(); ++c) {
      const double scale = corners[c].get_delay_scale() > 0 ? corners[c].get_delay_scale() : 1.0;
      const std::int32_t setup = host::sta::edge_setup_slack(id, static_cast<int>(c));
      if (setup != KEM_NO_SLACK) room = std::min(room, std::max(0, static_cast<int>(std::floor(setup / scale))));
    }
    out.push_back({t, kem.get_edge_delay_ps(*e, -1), deficit, room});
    if (first_only) break;
  }
  return out;
}

// One implement step over `failures` on the run's engine; a step that fails
// is undone (back to the checkpoint taken before it) and, when it held more
// than one connection, tried again in halves, so that one connection no
// detour can route does not hold the others back. A step that routes a
// connection past its setup cap is undone and tried again without it. The
// connections routed, and the budget reports.
void l_implement(DUX& dux, const std::vector<FAILURE>& failures, int pass,
                 std::vector<KORRIN::IR_RESULT::PATH>& routed, std::vector<std::string>& reports) {
  if (failures.empty()) return;
  bool ok = false;
  std::set<const VOK_ATOM_ITERM*> over_cap;
  const std::uint64_t checkpoint = dux.get_checkpoint_id();
  {
    DUX_IMPLEMENT_ARGS args;
    for (const FAILURE& f : failures) {
      dux.reroute(f.sink);
      // The detour may not make a passing setup fail: at most the setup
      // room, the hold deficit as far as that allows. A room no larger than
      // the deficit is asked for whole first (the window's top), then from
      // three quarters of it up: a window of one delay value alone is met
      // by few detours, and only after searches widened to the whole
      // device, which on a design failing setup widely cost minutes.
      KORRIN::DELAY_BUDGET b;
      b.first = f.old_delay + f.deficit;
      if (f.setup_room != kNoRoom) {
        b.second = f.old_delay + f.setup_room;
        if (b.first >= b.second) {
          b.first = b.second - f.setup_room / 4;
          b.top = b.second;
        }
      }
      args.delay_budgets[f.sink] = {b};
    }
    DUX_RESULT res = dux.implement(args);
    ok = res.succeeded();
    // A connection routed longer than its setup cap (the others' detours
    // took its old way), or shorter than it was (a later step's search that
    // met no detour in its window, on a connection an earlier step had
    // lengthened): the step is undone and tried again without it, so that
    // it keeps its old routing. A hold fix never shortens a connection.
    std::size_t shorter = 0;
    if (const KORRIN::IR_RESULT* ir = ok ? res.get_ir_result() : nullptr) {
      for (const KORRIN::IR_RESULT::PATH& p : ir->paths()) {
        if (p.status != KORRIN::IR_RESULT::ROUTED || p.sink == nullptr) continue;
        const auto f = std::find_if(failures.begin(), failures.end(), [&](const FAILURE& x) { return x.sink == p.sink; });
        if (f == failures.end()) continue;
        if (f->setup_room != kNoRoom && p.delay_ps > f->old_delay + f->setup_room) {
          over_cap.insert(p.sink);
        } else if (p.delay_ps < f->old_delay) {
          over_cap.insert(p.sink);
          ++shorter;
        }
      }
      if (!over_cap.empty()) {
        dux.restore_checkpoint(checkpoint);
        sta_increm_update_timing();
        const std::string undone = "hold-fix re-route pass " + std::to_string(pass + 1) + " undone (";
        const std::string of = " of " + std::to_string(failures.size()) + " connections ";
        if (over_cap.size() > shorter)
          reports.push_back(undone + std::to_string(over_cap.size() - shorter) + of +
                            "over their setup cap keep their routing)");
        if (shorter > 0)
          reports.push_back(undone + std::to_string(shorter) + of + "routed shorter than before keep their routing)");
      }
    }
    if (!ok) {
      // Nothing is lost: the connections get their old routing back.
      dux.restore_checkpoint(checkpoint);
      sta_increm_update_timing();
      reports.push_back("hold-fix re-route pass " + std::to_string(pass + 1) + " undone (status " +
                        std::to_string(res.get_status()) + ", " + std::to_string(failures.size()) + " connections)");
    } else if (const KORRIN::IR_RESULT* ir = over_cap.empty() ? res.get_ir_result() : nullptr) {
      for (const std::string& line : ir->reports()) reports.push_back(line);
      for (const KORRIN::IR_RESULT::PATH& p : ir->paths())
        if (p.status == KORRIN::IR_RESULT::ROUTED && p.sink != nullptr) routed.push_back(p);
    }
  }
  if (!over_cap.empty()) {
    std::vector<FAILURE> rest;
    for (const FAILURE& f : failures)
      if (!over_cap.count(f.sink)) rest.push_back(f);
    l_implement(dux, rest, pass, routed, reports);
    return;
  }
  // Each half on its own, the failed step undone.
  if (!ok && failures.size() > 1) {
    const auto mid = failures.begin() + static_cast<std::ptrdiff_t>(failures.size() / 2);
    l_implement(dux, std::vector<FAILURE>(failures.begin(), mid), pass, routed, reports);
    l_implement(dux, std::vector<FAILURE>(mid, failures.end()), pass, routed, reports);
  }
}
}  // namespace

namespace host::hold_reroute {

int last_rerouted() { return l_state().rerouted; }
const std::vector<std::string>& last_reports() { return l_state().reports; }

std::vector<std::pair<std::string, HELD_REASON>> still_failing_held() {
  std::vector<std::pair<std::string, HELD_REASON>> out;
  const KEM_NETLIST* kem = host::hov::current_kem_netlist();
  const VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  if (kem == nullptr || top == nullptr) return out;
  const int corners = static_cast<int>(kem->get_corner_manager()->get_loaded_corners().size());
  std::set<std::string> seen;
  for (const auto& [port, why] : l_state().held) {
    const VOK_ATOM_ITERM* t = vok_find_iterm(top, port);
    const KEM_EDGE* e = t ? kem->get_ic_edge_to_iterm(t) : nullptr;
    if (e == nullptr) continue;
    bool failing = false;
    for (int c = 0; c < corners && !failing; ++c) {
      const std::int32_t s = host::sta::edge_hold_slack(e->get_id(), c);
      failing = s != KEM_NO_SLACK && s < 0;
    }
    const std::string name = t->get_my_node()->get_string_hpath();
    if (failing && seen.insert(name).second) out.emplace_back(name, why);
  }
  return out;
}

int run() {
  HOLD_REROUTE_STATE& st = l_state();
  st = {};
  host::log_call("host::hold_reroute::run");
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (env == nullptr || host::hov::current_kem_netlist() == nullptr) return 0;
  // When the routing changed under the timing netlist since its last whole
  // build, the netlist reads all of it again (in place when only the
  // routing changed, KEM_NETLIST::refresh_routing); otherwise the atoms
  // tainted since are rebuilt, and nothing else has to be. The analysis
  // then follows what moved: its results are a full analysis's.
  if (!host::kem::routing_followed()) hov_get_atom_netlist_taint_manager()->taint_all();
  sta_update_timing_after_stage(true);

  const std::set<int> kept = l_kept_elements();
  std::set<const VOK_ATOM_ITERM*> rerouted;
  std::vector<VOK_ATOM_LOGICAL_PORT> endpoints;  // the first step's
  std::set<const VOK_ATOM_ITERM*> taken;  // endpoints out of reach, connections taken one by one
  std::vector<unsigned>& spar = SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids();
  std::optional<DUX> dux;
  // What the run has to do, for the progress reports: the connections
  // failing hold as it starts (more may fail as it goes).
  long long to_take = 0;
  if (const KEM_NETLIST* kem = host::hov::current_kem_netlist())
    to_take = static_cast<long long>(l_failures(*kem, false, {}, kept, nullptr, false).size());
  host::progress::OPERATION progress("hold-fix re-route", "connection", to_take);
  long long taken_so_far = 0;
  // The first pass: the endpoint connections, together (each ends a path of
  // its own). Then the failing connections further up, one at a time, each
  // with the slacks the one before it left, so that two connections on one
  // path do not spend the same setup room twice.
  for (int step = 0; step <= kSerialLimit; ++step) {
    const KEM_NETLIST* kem = host::hov::current_kem_netlist();
    if (kem == nullptr) break;
    const bool first = step == 0;
    std::vector<const VOK_ATOM_ITERM*> held;
    std::vector<FAILURE> failures = l_failures(*kem, first, taken, kept, first ? &held : nullptr, !first);
    for (const VOK_ATOM_ITERM* t : held) st.held.emplace_back(vok_get_logical_port(t), HELD_REASON::PARTITION);
    if (failures.empty()) {
      if (first) continue;
      break;
    }
    if (first) {
      // An endpoint connection whose setup room is below its deficit can be
      // helped only part of the way.
      for (const FAILURE& f : failures) {
        if (f.setup_room < f.deficit) st.held.emplace_back(vok_get_logical_port(f.sink), HELD_REASON::SETUP);
        endpoints.push_back(vok_get_logical_port(f.sink));
      }
    } else {
      taken.insert(failures[0].sink);
    }
    taken_so_far += static_cast<long long>(failures.size());
    progress.set(taken_so_far, std::max(to_take, taken_so_far));
    // Without any setup room a detour cannot help.
    failures.erase(std::remove_if(failures.begin(), failures.end(), [](const FAILURE& f) { return f.setup_room == 0; }),
                   failures.end());
    if (failures.empty()) continue;
    std::vector<KORRIN::IR_RESULT::PATH> routed;
    // One engine for the whole run: its constructor reads the routing's
    // terminal maps whole, and from then on its own edits (and undos) keep
    // them current, so the steps cost what their connections cost.
    if (!dux) dux.emplace(DUX_STATE_1, false, env);
    l_implement(*dux, failures, first ? 0 : 1, routed, st.reports);
    // The step stands: its undo records are not needed any more.
    dux->clear_checkpoint_data();
    for (const KORRIN::IR_RESULT::PATH& p : routed) {
      if (!p.budget_met && first) {
        taken.insert(p.sink);  // its budget is out of reach: the later steps work above it
        st.held.emplace_back(vok_get_logical_port(p.sink), HELD_REASON::OUT_OF_REACH);
      }
      rerouted.insert(p.sink);
      const unsigned atom = static_cast<unsigned>(p.sink->get_my_node()->get_id());
      if (std::find(spar.begin(), spar.end(), atom) == spar.end()) spar.push_back(atom);
    }
    if (first && routed.empty()) break;
  }
  // An endpoint re-routed within its budget that still fails: the detours
  // did not reach it either.
  for (const VOK_ATOM_LOGICAL_PORT& p : endpoints) st.held.emplace_back(p, HELD_REASON::OUT_OF_REACH);
  st.rerouted = static_cast<int>(rerouted.size());
  return st.rerouted;
}

}  // namespace host::hold_reroute

