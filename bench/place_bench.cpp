// Placement of the largest bundled benchmark (frisc: about 2,900 LUTs and
// 900 registers) on a device sized to it: the greedy pass alone and with the
// improvement passes. The design is loaded and the device generated once;
// each iteration unplaces everything and places again.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_designs.h"
#include "common/host_control.h"
#include "testing/blif_design.h"
#include "tibex/tibex_placer.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"


namespace {

bool load_frisc() {
  static bool loaded = false;
  if (loaded) return true;
  host_reset();
  try {
    host::testing::load_blif_file(bench_designs_dir() + "/mcnc/frisc.blif");
  } catch (const host::testing::DESIGN_LOAD_ERROR&) {
    return false;
  }
  host::device::configure(host::testing::size_device(host::testing::count_resources(*host::vok::top_netlist()), 46));
  (void)host::device::die_info();
  loaded = true;
  return true;
}

void place_frisc(benchmark::State& state, int passes) {
  if (!load_frisc()) {
    state.SkipWithError("frisc.blif not found");
    return;
  }
  bool ok = true;
  for (auto _ : state) {
    for (VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list()) a->clear_location();
    ok = host::placement::place(host::placement::PLACER_OPTIONS{passes, 2}) && ok;
  }
  if (!ok) state.SkipWithError("placement failed");
  state.counters["atoms"] = static_cast<double>(host::vok::top_netlist()->size());
  state.counters["wirelength"] = static_cast<double>(host::placement::wirelength());
}

void BM_PlaceFriscGreedy(benchmark::State& state) { place_frisc(state, 0); }
void BM_PlaceFrisc(benchmark::State& state) { place_frisc(state, 10); }

}  // namespace

BENCHMARK(BM_PlaceFriscGreedy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaceFrisc)->Unit(benchmark::kMillisecond);
