// A blackboxed run on generated partitioned designs of 10^4 and 10^5 atoms
// (partition P, nine tenths of the design, preserved and blackboxed; Q
// recompiled): velmo_bbic_initialize, then Q's connections routed against
// P's shell, then push_routing_to_partitions. Each profiling bin opened on
// the way is reported in milliseconds per run (counter "<bin> ms"); the
// wall time is the two steps together. Set-up (building and recording the
// design, routing Q) is not timed.
#include <benchmark/benchmark.h>

#include <map>
#include <set>
#include <string>

#include "bbic_scene.h"
#include "gen/gen_profile.h"
#include "gen/gen_profile_time.h"
#include "jov/jov_design.h"
#include "testing/design_builder.h"
#include "velmo_bbic.h"
#include "velmo_bbic_states.h"

namespace {

void BM_BlackboxedRun(benchmark::State& state) {
  const int atoms = static_cast<int>(state.range(0));
  std::map<std::string, double> seconds;
  double atoms_seen = 0, shell_atoms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    bench_bbic::SCENE s = bench_bbic::build(atoms, true, true);
    atoms_seen = static_cast<double>(s.big->get_state()->get_atom_netlist()->size());
    state.ResumeTiming();
    const bool ok = velmo_bbic_initialize(JOV_SNAPSHOT_BASE::PLACED, false,
                                          static_cast<DEV_FAMILY_ENUM>(host::testing::Family::KY));
    state.PauseTiming();
    if (!ok || !velmo_bbic_is_active()) {
      state.SkipWithError("the design was not blackboxed");
      break;
    }
    shell_atoms = static_cast<double>(s.big->get_state()->get_atom_netlist()->size());
    bench_bbic::route_open_connections(s);
    state.ResumeTiming();
    VELMO_BBIC::push_routing_to_partitions();
    state.PauseTiming();
    std::set<std::string> names;
    for (const BIN_EVENT& e : host::bins::events())
      if (e.action == "open") names.insert(e.name);
    for (const std::string& n : names) seconds[n] += host::bins::seconds_in(n);
    velmo_bbic_shutdown();
    velmo_bbic_set_active(false);
    s.env.reset();
    state.ResumeTiming();
  }
  for (const auto& [name, total] : seconds)
    state.counters[name + " ms"] = benchmark::Counter(1000.0 * total, benchmark::Counter::kAvgIterations);
  state.counters["P atoms"] = atoms_seen;
  state.counters["P shell atoms"] = shell_atoms;
}

}  // namespace

BENCHMARK(BM_BlackboxedRun)->Arg(10000)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);
