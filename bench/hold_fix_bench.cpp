// Finalize-stage hold fixing on a generated placed and routed design with
// two corners and a few hundred hold failures (the registers with the
// longest data connections, their clock connection slowed): the dangling-stub
// fixer with 0, 1 and 8 search workers (the same wires expected at 1 and 8),
// per corner its analysis, search and fix times; and the hold-driven re-route
// pass with about 10^3 failing connections, its traversal against the
// implement step. Args: atoms (10^5 takes about 7 minutes and 2 GB, most of it
// the one routing and the copied worlds).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "korrin/korrin_router.h"
#include "msg/msg_base.h"
#include "xab/xab_local_routing_annotator.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/route_helpers.h"
#include "velmo_finalize_parasitics.h"
#include "velmo_router.h"
#include "vok/vok_chip_db_entry.h"
#include "wexan/wexan_env.h"

namespace {

using CLOCK = std::chrono::steady_clock;
double ms_since(CLOCK::time_point t0) { return std::chrono::duration<double, std::milli>(CLOCK::now() - t0).count(); }

struct HOLD_WORLD {
  std::unique_ptr<WEXAN_ENV> env;
  int failures = 0;
  double setup_ms = 0;     // generation, placement and routing
  double analysis_ms = 0;  // the first full analysis
  int routed = 0, connections = 0;
};

void request(WEXAN_ENV* env) {
  env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false);
}

// The design, routed and analysed, with `failures` registers failing hold
// by 40 to 140 ps at their worst corner. Large designs are routed in a few
// negotiation rounds: what is left overused stays unrouted, which the hold
// fixer does not mind.
HOLD_WORLD build(int atoms, int failures, bool both_corners) {
  HOLD_WORLD w;
  host_reset();
  host::sta::verify_incremental(false);
  const auto t_setup = CLOCK::now();
  const int side = static_cast<int>(std::ceil(std::sqrt(atoms / 1.33 / 0.75))) + 4;
  host::testing::device(host::testing::Family::KY)
      .scale(side, side)
      .corners(both_corners ? std::vector<host::testing::Corner>{host::testing::Corner::slow(), host::testing::Corner::fast()}
                            : std::vector<host::testing::Corner>{host::testing::Corner::slow()})
      .build();
  host::testing::generate_placed_design(atoms, 7u);
  // The generator is deterministic: a design of the same size gets the
  // routing of the last one routed, copied.
  static std::unique_ptr<VOK_RE_ROUTING> last_routing;
  static int last_atoms = 0;
  VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  if (last_routing && last_atoms == atoms) {
    *routing = *last_routing;
  } else {
    std::string why;
    host::router::OPTIONS options;
    if (atoms > 20000) {
      options.max_rounds = 1;
      options.bound_weight = 3.0;
    }
    host::router::route_design(&why, options);
    w.routed = host::router::last_stats().routed;
    w.connections = host::router::last_stats().connections;
    last_routing = std::make_unique<VOK_RE_ROUTING>(*routing);
    last_atoms = atoms;
  }
  w.setup_ms = ms_since(t_setup);
  std::fprintf(stderr, "set-up of %d atoms: %.0f ms\n", atoms, w.setup_ms);
  routing->attach_atom_netlist(host::vok::top_netlist(), 1);
  std::vector<VOK_ATOM_NODE*> regs;
  for (VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list())
    if (a->is_ff()) regs.push_back(a);
  if (regs.empty()) return w;
  const VOK_ATOM_ITERM* clk_in = regs.front()->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
  host::timing::declare_clock("clk", 4000, clk_in->get_source(VOK_TRAVERSE_HIERARCHICAL));
  w.env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  auto t0 = CLOCK::now();
  request(w.env.get());
  w.analysis_ms = ms_since(t0);
  const KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const int corners = static_cast<int>(kem->get_corner_manager()->get_loaded_corners().size());
  // The longest data connections first: they run over wires that spare
  // fan-outs can hang on.
  auto d_delay = [&](const VOK_ATOM_NODE* r) {
    const KEM_EDGE* e = kem->get_ic_edge_to_iterm(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
    return e ? kem->get_edge_delay_ps(*e, -1) : 0;
  };
  std::stable_sort(regs.begin(), regs.end(), [&](const VOK_ATOM_NODE* x, const VOK_ATOM_NODE* y) { return d_delay(x) > d_delay(y); });
  for (std::size_t i = 0; i < regs.size() && w.failures < failures; ++i) {
    VOK_ATOM_NODE* r = regs[i];
    const KEM_EDGE* d = kem->get_ic_edge_to_iterm(r->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
    const KEM_EDGE* c = kem->get_ic_edge_to_iterm(r->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
    if (d == nullptr || c == nullptr) continue;
    int need = 0;
    bool timed = false;
    for (int k = 0; k < corners; ++k) {
      const int s = host::sta::edge_hold_slack(d->get_id(), k);
      if (s == KEM_NO_SLACK) continue;
      timed = true;
      need = std::max(need, s + kem->get_edge_delay_ps(*c, k));
    }
    if (!timed) continue;
    const int delay = need + 40 + static_cast<int>(i % 101);
    host::hov::utility()->annotate_delays_of_connection(r, DB_INPUT_PORT_CLK, 0, delay, delay);
    ++w.failures;
  }
  request(w.env.get());
  return w;
}

// The component's debug lines with the time each was printed: while a
// capture lasts the host echoes them to stdout, which is then a pipe that a
// reader thread drains.
class TIMED_LINES {
public:
  void start() {
    std::fflush(stdout);
    int fds[2];
    if (pipe(fds) != 0) return;
    m_saved = dup(1);
    dup2(fds[1], 1);
    close(fds[1]);
    m_read = fds[0];
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    m_t0 = CLOCK::now();
    m_reader = std::thread([this] { drain(); });
    host::debug::set_echo(true);
  }
  std::vector<std::pair<double, std::string>> stop() {
    host::debug::set_echo(false);
    std::fflush(stdout);
    if (m_saved >= 0) {
      dup2(m_saved, 1);  // the pipe's last writer closes: the reader sees its end
      close(m_saved);
      m_saved = -1;
    }
    if (m_reader.joinable()) m_reader.join();
    if (m_read >= 0) close(m_read);
    m_read = -1;
    return std::move(m_lines);
  }

private:
  void drain() {
    std::string part;
    char buf[1 << 16];
    for (ssize_t got; (got = read(m_read, buf, sizeof buf)) > 0;) {
      const double at = ms_since(m_t0);
      part.append(buf, static_cast<std::size_t>(got));
      std::size_t from = 0;
      for (std::size_t nl; (nl = part.find('\n', from)) != std::string::npos; from = nl + 1)
        m_lines.emplace_back(at, part.substr(from, nl - from));
      part.erase(0, from);
    }
  }
  int m_saved = -1, m_read = -1;
  CLOCK::time_point m_t0;
  std::thread m_reader;
  std::vector<std::pair<double, std::string>> m_lines;
};

// One corner of a pass, from its "Checking corner" line: analysis and search
// up to the first fix (or to the corner's end when nothing failed), the
// fixes, and the failures fixed.
struct CORNER_TIMES {
  std::string corner;
  double until_fix_ms = 0, fix_ms = 0;
  int failures = 0;
  int examined = 0;  // failing edges the search looked at (fixable or not)
  int big = 0;       // of them, too big to fix (among them those without slack)
};

std::vector<CORNER_TIMES> corner_times(const std::vector<std::pair<double, std::string>>& lines) {
  std::vector<CORNER_TIMES> out;
  double start = 0, first_fix = -1;
  for (const auto& [at, text] : lines) {
    if (text.rfind("Checking corner ", 0) == 0) {
      out.push_back(CORNER_TIMES{text.substr(16)});
      start = at;
      first_fix = -1;
    } else if (out.empty()) {
      continue;
    } else if (text.rfind("Thread ", 0) == 0 && text.find(": Fixing hold slack of ") != std::string::npos) {
      ++out.back().examined;
    } else if (text.rfind("Thread ", 0) == 0 && text.find(": Not fixing big hold violations.") != std::string::npos) {
      ++out.back().big;
    } else if (text.rfind("Fixing hold slack of ", 0) == 0) {
      if (first_fix < 0) first_fix = at;
      ++out.back().failures;
    } else if (text.find("wires to fix this corner.") != std::string::npos) {
      out.back().until_fix_ms = (first_fix < 0 ? at : first_fix) - start;
      out.back().fix_ms = first_fix < 0 ? 0 : at - first_fix;
    }
  }
  return out;
}

// The run with `threads` search workers, timed per corner.
std::vector<CORNER_TIMES> timed_run(WEXAN_ENV* env, int threads, double* total_ms) {
  cfg_set_int_value("route_fixup_flow_parasitics_num_parallel_threads", threads);
  TIMED_LINES capture;
  capture.start();
  const auto t0 = CLOCK::now();
  VELMO_FINALIZE_PARASITICS::run(env, {}, 0);
  *total_ms = ms_since(t0);
  return corner_times(capture.stop());
}

// Per corner of the first pass (the one that fixes): analysis (the run
// without workers: no annotator, no search, no fix), search (the time to the
// first fix beyond that), fix; the search's speed-up at 8 workers over 1 on
// the same design (a fresh copy per worker count).
void BM_ParasiticHoldFix(benchmark::State& state) {
  const int atoms = static_cast<int>(state.range(0));
  int wires1 = 0, wires8 = 0;
  HOLD_WORLD w;
  double setup_ms = 0;
  int routed = 0, connections = 0;
  for (auto _ : state) {
    std::vector<CORNER_TIMES> at0, at1, at8;
    double total0 = 0, total1 = 0, total8 = 0, annotator_ms = 0;
    for (int threads : {1, 8}) {
      w = build(atoms, 300, true);
      if (threads == 1) {
        setup_ms = w.setup_ms;
        routed = w.routed;
        connections = w.connections;
      }
      host::debug::set_level("VELMO", 2);
      // Without workers the run changes nothing: it times the analyses.
      std::vector<CORNER_TIMES> none = timed_run(w.env.get(), 0, &total0);
      if (at0.empty()) at0 = none;
      for (std::size_t k = 0; k < std::min(at0.size(), none.size()); ++k)
        at0[k].until_fix_ms = std::min(at0[k].until_fix_ms, none[k].until_fix_ms);
      if (threads == 1) {
        // One annotator, as each worker builds it before the search.
        const auto t0 = CLOCK::now();
        XAB_LOCAL_ROUTING_ANNOTATOR annotator(VOK_CHIP_DB_ENTRY::current(),
                                              KEM_TIMING_MODEL::create_default_timing_model(CMP_FACADE::current(), 0),
                                              CMP_FACADE::current());
        annotator_ms = ms_since(t0);
      }
      (threads == 1 ? at1 : at8) = timed_run(w.env.get(), threads, threads == 1 ? &total1 : &total8);
      std::string why;
      host::routing::check(&why);
      (threads == 1 ? wires1 : wires8) = host::routing::last_check_hold_stubs();
      host::debug::set_level("VELMO", 0);
      w.env.reset();
    }
    // The same runs without debug output (the timing above echoes every
    // line, and the search prints two per failing edge, unconstrained ones
    // included): the whole run, whose search alone differs between 1 and 8.
    for (int threads : {1, 8}) {
      w = build(atoms, 300, true);
      cfg_set_int_value("route_fixup_flow_parasitics_num_parallel_threads", threads);
      const auto t0 = CLOCK::now();
      VELMO_FINALIZE_PARASITICS::run(w.env.get(), {}, 0);
      state.counters[threads == 1 ? "quiet_run_ms_1" : "quiet_run_ms_8"] = ms_since(t0);
      w.env.reset();
    }
    double search1 = 0, search8 = 0;
    for (std::size_t k = 0; k < 2 && k < at0.size() && k < at1.size() && k < at8.size(); ++k) {
      const std::string c = at1[k].corner.substr(0, at1[k].corner.find('_'));
      const double s1 = at1[k].until_fix_ms - at0[k].until_fix_ms, s8 = at8[k].until_fix_ms - at0[k].until_fix_ms;
      state.counters[c + "_analysis_ms"] = at0[k].until_fix_ms;
      state.counters[c + "_search_ms_1"] = s1;
      state.counters[c + "_search_ms_8"] = s8;
      state.counters[c + "_fix_ms"] = at1[k].fix_ms;
      state.counters[c + "_failures"] = at1[k].failures;
      state.counters[c + "_examined"] = at1[k].examined;
      state.counters[c + "_too_big"] = at1[k].big;
      search1 += s1;
      search8 += s8;
    }
    state.counters["search_speedup"] = search8 > 0 ? search1 / search8 : 0;
    state.counters["annotator_ms"] = annotator_ms;
    state.counters["run_ms_0"] = total0;
    state.counters["run_ms_1"] = total1;
    state.counters["run_ms_8"] = total8;
    state.counters["corners_1"] = static_cast<double>(at1.size());
    state.SetIterationTime(total1 / 1000.0);
  }
  state.counters["failures"] = w.failures;
  state.counters["setup_ms"] = setup_ms;
  state.counters["routed"] = routed;
  state.counters["connections"] = connections;
  state.counters["full_analysis_ms"] = w.analysis_ms;
  state.counters["wires_1"] = wires1;
  state.counters["wires_8"] = wires8;
  host::sta::verify_incremental(true);
  host_reset();
}
BENCHMARK(BM_ParasiticHoldFix)->Arg(4000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void BM_SparReroute(benchmark::State& state) {
  const int atoms = static_cast<int>(state.range(0));
  double traversal = 0, implement = 0;
  int failures = 0;
  for (auto _ : state) {
    state.PauseTiming();
    HOLD_WORLD w = build(atoms, 1000, false);
    failures = w.failures;
    CLOCK::time_point start, at_implement;
    DUX::set_implement_observer([&] { at_implement = CLOCK::now(); });
    state.ResumeTiming();
    start = CLOCK::now();
    VELMO_SPAR(false).run();
    const CLOCK::time_point end = CLOCK::now();
    state.PauseTiming();
    DUX::set_implement_observer({});
    traversal = std::chrono::duration<double, std::milli>(at_implement - start).count();
    implement = std::chrono::duration<double, std::milli>(end - at_implement).count();
    w.env.reset();
    state.ResumeTiming();
  }
  state.counters["failures"] = failures;
  state.counters["traversal_ms"] = traversal;
  state.counters["implement_ms"] = implement;
  host::sta::verify_incremental(true);
  host_reset();
}
BENCHMARK(BM_SparReroute)->Arg(4000)->Arg(8000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
