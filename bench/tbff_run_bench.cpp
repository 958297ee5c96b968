// The time-borrowing run on generated pipelines: N pipeline registers
// (arg: 1000 or 10000), ten per LAB behind their LAB's PMUX group, each fed by
// a launching register in the same LAB; four corners (slow and fast, two
// voltages). Counters: the re-check passes (timing updates of the run),
// groups, and the time of one full analysis for comparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_control.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "korrin/korrin_router.h"
#include "sta/sta_analysis.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "velmo_tbff_autoborrow.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"

namespace {

using host::testing::place_at;
using host::testing::place_in_slot;

std::unique_ptr<WEXAN_ENV> build_pipelines(int registers) {
  host_reset();
  const int labs = registers / 10;
  const int nx = 40, ny = labs / 38 + 5;
  host::testing::device(host::testing::Family::KY)
      .grid(nx, ny)
      .dsp_columns({})
      .ram_columns({})
      .routing_tracks(8)
      .corners({DeviceCorner{1, DeviceCorner::SLOW, 900, 100, false}, DeviceCorner{1, DeviceCorner::FAST, 900, -40, false},
                DeviceCorner{2, DeviceCorner::SLOW, 850, 0, false}, DeviceCorner{1, DeviceCorner::FAST, 900, -40, true}})
      .build();
  auto n = host::testing::netlist();
  auto pin = n.io_in("clk");
  place_at(n.find("clk"), 0, 1, 1);
  place_at(pin, 0, 1, 2);
  auto pll = n.iopll("pll").ref(pin).outputs(1);
  place_at(pll, 0, 0, 0);
  const auto clk = pll.out(DB_OUTPUT_PORT_DATA, 0);
  for (int k = 0; k < registers; ++k) {
    const int lab = k / 10, x = 1 + lab % 38, y = 2 + lab / 38;
    auto a = n.reg("a" + std::to_string(k)).clk(clk).d(pin);
    place_at(a, x, y, 1 + 3 * (k % 10));
    auto p = n.zota_reg("p" + std::to_string(k)).clk(clk).d(a);
    place_in_slot(p, x, y, 60 + (k % 10));
  }
  n.clock("clk", 300, clk);
  std::string why;
  if (!host::router::route_design(&why)) return nullptr;
  VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(), VOK_TRAVERSE_HIERARCHICAL);
  host::hov::set_on(true);
  n.timing();
  host::sta::verify_incremental(false);
  return std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
}

void BM_TbffRun(benchmark::State& state) {
  int updates = 0, groups = 0;
  double analysis_ms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<WEXAN_ENV> env = build_pipelines(static_cast<int>(state.range(0)));
    if (!env) {
      state.SkipWithError("routing failed");
      return;
    }
    const auto t0 = std::chrono::steady_clock::now();
    host::sta::analyze(KEM_MANAGER::get()->get_kem_netlist());
    analysis_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    TBFF_OPTIMIZATION_KY ky(env.get());
    host::clear_calls();
    state.ResumeTiming();
    ky.optimize();
    state.PauseTiming();
    const auto names = host::call_names();
    updates = static_cast<int>(std::count(names.begin(), names.end(), "STA_TIMER_ENGINE::update_timing"));
    groups = static_cast<int>(ky.pmux_groups().size());
    state.ResumeTiming();
  }
  state.counters["hold_updates"] = updates;
  state.counters["groups"] = groups;
  state.counters["full_analysis_ms"] = analysis_ms;
}

BENCHMARK(BM_TbffRun)->Arg(100)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
