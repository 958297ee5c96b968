// Breadth-first search over a routing graph of more than a million elements,
// in the three route-info modes, and generation of the largest device.
#include <benchmark/benchmark.h>

#include "juk_bfs.h"
#include "testing/design_builder.h"
#include "wump/wump_die_info.h"

namespace {

WUMP_ROUTE_INFO* large_device() {
  host::testing::device(host::testing::Family::KY).scale(100, 80).build();
  return host::device::die_info()->get_route_info();
}

void BM_RouteGraphBfs(benchmark::State& state) {
  WUMP_ROUTE_INFO* info = large_device();
  WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().activate(info, static_cast<int>(state.range(0)));
  const WUMP_ROUTE_GRAPH& graph = info->get_route_graph();
  const int start = static_cast<int>(host::testing::lab_output_gid(1, 1, 0) & ~WUMP_GID_BIT);
  const int target = static_cast<int>(info->get_gid(282, 97, 77, 3) & ~WUMP_GID_BIT);
  size_t path = 0, reached = 0;
  for (auto _ : state) {
    JUK::DETAIL::BFS_ENGINE<WUMP_ROUTE_GRAPH> engine(graph);
    // An unreachable target makes the search visit everything it can reach.
    const bool found = engine.search(start, state.range(1) ? target : -1);
    path = found ? engine.path(start, target).size() : 0;
    reached = engine.predecessors().size();
    benchmark::DoNotOptimize(path);
  }
  state.counters["elements"] = static_cast<double>(info->get_num_elements());
  state.counters["reached"] = static_cast<double>(reached);
  state.counters["path"] = static_cast<double>(path);
  WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().activate(info, 0);
}
BENCHMARK(BM_RouteGraphBfs)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"mode", "to_target"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_GenerateDevice(benchmark::State& state) {
  DeviceSpec spec;
  spec.nx = static_cast<int>(state.range(0));
  spec.ny = static_cast<int>(state.range(1));
  unsigned elements = 0;
  for (auto _ : state) {
    WUMP_DIE_INFO die(spec);
    elements = die.get_route_info()->get_num_elements();
    benchmark::DoNotOptimize(elements);
  }
  state.counters["elements"] = elements;
}
BENCHMARK(BM_GenerateDevice)->Args({80, 70})->Args({200, 150})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
