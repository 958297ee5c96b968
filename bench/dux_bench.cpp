// The legality engine's round trip on the pipeline scene scaled x1 to x160
// (the device grows with it): one edit (a register's data input moved to
// another LUT), implement (legality, routing, incremental timing) and the
// restore to the checkpoint (routing and incremental timing again). One
// engine serves every round trip, as the retimer's does. Incremental
// verification is off. The "full_ms" counter is one full timing analysis of
// the same design, for the ratio; "cone" the nodes the implement's update
// visited; "timing_ms" the part of a round trip in its two timing updates
// (the host's accumulated timers).
#include <benchmark/benchmark.h>

#include <chrono>

#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "dux/dux.h"
#include "sta/sta_analysis.h"
#include "sta/sta_timers.h"
#include "testing/scenes.h"
#include "vok/vok_re_logical_port.h"
#include "wexan/wexan_env.h"

namespace {

void BM_DuxRoundTrip(benchmark::State& state) {
  host_reset();
  host::sta::verify_incremental(false);
  host::testing::scenes::KY_PIPELINE s = host::testing::scenes::ky_pipeline(static_cast<int>(state.range(0)));
  WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  const auto& c = s[0];
  const VOK_ATOM_LOGICAL_PORT src = vok_get_logical_port(c.luts[1]->get_oterm_slot(0));
  const VOK_ATOM_LOGICAL_PORT dst = vok_get_logical_port(c.after->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
  int cone = 0;
  DUX dux(1, true, &env);
  host::timers::reset();
  for (auto _ : state) {
    dux.connect(src, dst, false, 0);
    DUX_RESULT r = dux.implement();
    cone = host::sta::last_cone_size();
    dux.restore_checkpoint(0);
    benchmark::DoNotOptimize(r.get_status());
  }
  const host::timers::SPLIT split = host::timers::split();
  state.counters["timing_ms"] =
      split.engine_calls > 0 ? 2000.0 * split.timing_in_engine_seconds / split.engine_calls : 0.0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) sta_full_update_timing(true);
  const double full_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / 10;
  state.counters["full_ms"] = full_ms;
  state.counters["cone"] = cone;
  state.counters["atoms"] = static_cast<double>(s.copies.size() * 15);
  host::sta::verify_incremental(true);
  host_reset();
}
BENCHMARK(BM_DuxRoundTrip)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Arg(160)->Unit(benchmark::kMillisecond);

}  // namespace
