// The resynthesiser: TTBL<12> variable exchange and inversion over every
// variable pair against a bit-by-bit reference (the "ratio" counter is
// reference time / table time), and the three passes on the pipeline scene
// scaled (copies): attempts per second, accepted changes and the setup WNS
// of the failing domain before and after.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "sta/sta_analysis.h"
#include "testing/scenes.h"
#include "velmo_irsyn_test.h"
#include "wexan/wexan_env.h"

namespace {

TTBL<12> reference_swap(const TTBL<12>& f, int a, int b) {
  TTBL<12> r;
  for (unsigned x = 0; x < 4096; ++x) {
    unsigned y = x & ~((1u << a) | (1u << b));
    y |= ((x >> a) & 1u) << b;
    y |= ((x >> b) & 1u) << a;
    if (f.value(y)) r.word(static_cast<int>(x >> 6)) |= 1ull << (x & 63u);
  }
  return r;
}

void BM_Ttbl12SwapAndInvert(benchmark::State& state) {
  std::mt19937_64 rng(1);
  TTBL<12> f;
  for (int w = 0; w < 64; ++w) f.word(w) = rng();
  std::uint64_t sink = 0;
  for (auto _ : state)
    for (int a = 0; a < 12; ++a) {
      sink ^= f.invert(a).word(a);
      for (int b = a + 1; b < 12; ++b) sink ^= f.swap(a, b).word(b);
    }
  benchmark::DoNotOptimize(sink);
  const auto t0 = std::chrono::steady_clock::now();
  for (int a = 0; a < 12; ++a)
    for (int b = a + 1; b < 12; ++b) sink ^= reference_swap(f, a, b).word(b);
  const double ref = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  benchmark::DoNotOptimize(sink);
  const auto t1 = std::chrono::steady_clock::now();
  for (int a = 0; a < 12; ++a)
    for (int b = a + 1; b < 12; ++b) sink ^= f.swap(a, b).word(b);
  const double fast = std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
  state.counters["ratio"] = fast > 0 ? ref / fast : 0;
}
BENCHMARK(BM_Ttbl12SwapAndInvert)->Unit(benchmark::kMicrosecond);

void BM_ResynPasses(benchmark::State& state) {
  double attempts = 0, accepted = 0, wns_before = 0, wns_after = 0, seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    host_reset();
    host::sta::verify_incremental(false);
    host::testing::scenes::KY_PIPELINE s = host::testing::scenes::ky_pipeline(static_cast<int>(state.range(0)));
    WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    cfg_set_value("post_route_resyn_num_reroute_passes", "2");
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    IRSYN_MANAGER m(CMP_FACADE::current(), &env);
    m.m_domain = HOV_INCR_WNS_DOMAIN{0, 0, 0, 0};
    wns_before = m.get_domain_wns();
    m.resyn();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.m_domain = HOV_INCR_WNS_DOMAIN{0, 0, 0, 0};
    wns_after = m.get_domain_wns();
    attempts = m.m_num_tries;
    accepted = m.m_num_better;
  }
  state.counters["attempts_per_s"] = seconds > 0 ? attempts / seconds : 0;
  state.counters["accepted"] = accepted;
  state.counters["wns_before"] = wns_before;
  state.counters["wns_after"] = wns_after;
  host::sta::verify_incremental(true);
  host_reset();
}
BENCHMARK(BM_ResynPasses)->Arg(1)->Arg(8)->Arg(32)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
