// The resynthesis driver's timing preparation on the largest bundled design
// (frisc): interconnect delays annotated on every timing edge from the table
// model, then the analysis; against one plain quick analysis of the same
// timing netlist. Reports the ratio of the two.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "bench_designs.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "dev/dev_spec.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "testing/blif_design.h"
#include "velmo_resyn.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {

void BM_ResynAnnotatedAnalysisVsQuick(benchmark::State& state) {
  host_reset();
  try {
    host::testing::load_blif_file(bench_designs_dir() + "/mcnc/frisc.blif");
  } catch (const host::testing::DESIGN_LOAD_ERROR& e) {
    state.SkipWithError(("frisc.blif: " + e.what()).c_str());
    return;
  }
  host::device::configure(host::testing::size_device(host::testing::count_resources(*host::vok::top_netlist()), 46));
  auto env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  double annotated = 0, quick = 0;
  int edges = 0;
  {
    VELMO_RESYN resyn(CMP_FACADE::current(), env.get(), false);
    WEXAN_HOV_UTILITY* hov = resyn.create_timing(false);
    if (KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist()) edges = kem->get_edge_count();
    using clock = std::chrono::steady_clock;
    for (auto _ : state) {
      const auto t0 = clock::now();
      resyn.perform_timing_analysis(hov, "RESYN", nullptr, false);
      const auto t1 = clock::now();
      hov->perform_quick_timing_analysis(false);
      const auto t2 = clock::now();
      const double a = std::chrono::duration<double>(t1 - t0).count();
      annotated += a;
      quick += std::chrono::duration<double>(t2 - t1).count();
      state.SetIterationTime(a);
    }
    resyn.remove_timing();
  }
  state.counters["atoms"] = static_cast<double>(host::vok::top_netlist()->size());
  state.counters["edges"] = edges;
  state.counters["quick_ms"] = benchmark::Counter(quick * 1e3, benchmark::Counter::kAvgIterations);
  state.counters["ratio"] = quick > 0 ? annotated / quick : 0;
}

}  // namespace

BENCHMARK(BM_ResynAnnotatedAnalysisVsQuick)->UseManualTime()->Unit(benchmark::kMillisecond);
