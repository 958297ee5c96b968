// The solver's per-routing-element caches of the periphery-core placement on
// a generated family-48 device of about 10^6 routing elements: the parallel
// switch-delay cache at 1, 2 and 4 threads (arg = thread limit), and the
// sequential usable-wire-weight cache. Reports elements per second.
#include <benchmark/benchmark.h>
#include <tbb/global_control.h>

#include <memory>

#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "velmo_periphery_to_core_placement.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

namespace {

struct CACHE_WORLD {
  std::unique_ptr<WEXAN_ENV> env;
  unsigned elements = 0;
  CACHE_WORLD() {
    host::testing::device(host::testing::Family::KX).scale(84, 84).build();
    elements = host::device::die_info()->get_route_info()->get_num_elements();
    env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
};

CACHE_WORLD& world() {
  static CACHE_WORLD w;
  return w;
}

void BM_P2cSwitchDelayCache(benchmark::State& state) {
  CACHE_WORLD& w = world();
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    auto p = std::make_unique<VELMO_PERIPHERY_CORE_PLACEMENT>(w.env.get());
    state.ResumeTiming();
    p->build_switch_delays_cache();
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
  state.counters["elements"] = w.elements;
  state.counters["elements_per_s"] = benchmark::Counter(w.elements, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_P2cSwitchDelayCache)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_P2cUsableWireWeightCache(benchmark::State& state) {
  CACHE_WORLD& w = world();
  VELMO_PERIPHERY_CORE_PLACEMENT p(w.env.get());
  for (auto _ : state) p.build_usable_wire_weight_cache();
  state.counters["elements_per_s"] = benchmark::Counter(w.elements, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_P2cUsableWireWeightCache)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
