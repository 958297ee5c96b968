// Finalize-stage hold fixing on a generated placed and routed design with
// two corners and a few hundred hold failures (the registers with the
// longest data connections, their clock connection slowed): the dangling-stub fixer with 1 and 8 search
// workers (same wires expected), and the hold-driven re-route pass with
// about 10^3 failing connections, its traversal against the implement step.
// Args: atoms (the set-up routes the whole design with the stand-in
// router: 20,000 atoms already take over a quarter of an hour of it; add
// ->Arg(100000) to run that size).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "korrin/korrin_router.h"
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
  double analysis_ms = 0;
};

void request(WEXAN_ENV* env) {
  env->get_hov_utility_or_create_if_necessary(0, 3, 5, false, false, false, false, nullptr, false, false);
}

// The design, routed and analysed, with `failures` registers failing hold
// by 40 to 140 ps at their worst corner.
HOLD_WORLD build(int atoms, int failures, bool both_corners) {
  HOLD_WORLD w;
  host_reset();
  host::sta::verify_incremental(false);
  const int side = static_cast<int>(std::ceil(std::sqrt(atoms / 1.33 / 0.75))) + 4;
  host::testing::device(host::testing::Family::KY)
      .scale(side, side)
      .corners(both_corners ? std::vector<host::testing::Corner>{host::testing::Corner::slow(), host::testing::Corner::fast()}
                            : std::vector<host::testing::Corner>{host::testing::Corner::slow()})
      .build();
  host::testing::generate_placed_design(atoms, 7u);
  std::string why;
  host::router::route_design(&why);
  VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), 1);
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

void BM_ParasiticHoldFix(benchmark::State& state) {
  const int atoms = static_cast<int>(state.range(0));
  double t1 = 0, t8 = 0;
  int wires1 = 0, wires8 = 0, failures = 0;
  double analysis = 0;
  for (auto _ : state) {
    for (int threads : {1, 8}) {
      state.PauseTiming();
      HOLD_WORLD w = build(atoms, 300, true);
      failures = w.failures;
      analysis = w.analysis_ms;
      cfg_set_int_value("route_fixup_flow_parasitics_num_parallel_threads", threads);
      state.ResumeTiming();
      const auto t0 = CLOCK::now();
      VELMO_FINALIZE_PARASITICS::run(w.env.get(), {}, 0);
      const double ms = ms_since(t0);
      state.PauseTiming();
      std::string why;
      host::routing::check(&why);
      (threads == 1 ? t1 : t8) = ms;
      (threads == 1 ? wires1 : wires8) = host::routing::last_check_hold_stubs();
      w.env.reset();
      state.ResumeTiming();
    }
  }
  state.counters["failures"] = failures;
  state.counters["full_analysis_ms"] = analysis;
  state.counters["run_ms_1"] = t1;
  state.counters["run_ms_8"] = t8;
  state.counters["speedup"] = t8 > 0 ? t1 / t8 : 0;
  state.counters["wires_1"] = wires1;
  state.counters["wires_8"] = wires8;
  host::sta::verify_incremental(true);
  host_reset();
}
BENCHMARK(BM_ParasiticHoldFix)->Arg(4000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

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
BENCHMARK(BM_SparReroute)->Arg(4000)->Arg(8000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
