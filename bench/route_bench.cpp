// Whole-design routing of a generated placed design of a few thousand atoms,
// from an empty routing each iteration, and the legality check of the result.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "common/host_control.h"
#include "korrin/korrin_router.h"
#include "korrin/korrin_search.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "testing/design_builder.h"
#include "testing/route_helpers.h"
#include "vok/vok_chip_db_entry.h"

namespace {

void setup(int atoms) {
  host_reset();
  // About 1.3 atoms per LAB, on 75 % of the inner tiles.
  const int side = static_cast<int>(std::ceil(std::sqrt(atoms / 1.33 / 0.75))) + 4;
  host::testing::device(host::testing::Family::KY).scale(side, side).build();
  host::testing::generate_placed_design(atoms, 7u);
}

void BM_RouteDesign(benchmark::State& state) {
  setup(static_cast<int>(state.range(0)));
  VOK_RE_ROUTING* r = VOK_CHIP_DB_ENTRY::current()->get_routing();
  bool ok = false;
  for (auto _ : state) {
    state.PauseTiming();
    r->clear();
    state.ResumeTiming();
    std::string why;
    ok = host::router::route_design(&why);
    benchmark::DoNotOptimize(ok);
  }
  const host::router::STATS s = host::router::last_stats();
  state.counters["ok"] = ok ? 1 : 0;
  state.counters["nets"] = s.nets;
  state.counters["connections"] = s.connections;
  state.counters["rounds"] = s.rounds;
  state.counters["nodes"] = r->get_live_node_count();
  std::string why;
  state.counters["legal"] = host::routing::check(&why) ? 1 : 0;
  host_reset();
}
BENCHMARK(BM_RouteDesign)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RoutingCheck(benchmark::State& state) {
  setup(static_cast<int>(state.range(0)));
  std::string why;
  host::router::route_design(&why);
  bool ok = false;
  for (auto _ : state) {
    why.clear();
    ok = host::routing::check(&why);
    benchmark::DoNotOptimize(ok);
  }
  state.counters["legal"] = ok ? 1 : 0;
  host_reset();
}
BENCHMARK(BM_RoutingCheck)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

namespace {

// Bytes per routing element of a device as velmo-fit sizes it for the
// four-copy frisc design (44 x 42 tiles, 24 tracks): the route info's flat
// tables, the router's view of them, one search and the whole-design
// router's per-element state.
void BM_RoutingBytesPerElement(benchmark::State& state) {
  host_reset();
  host::testing::device(host::testing::Family::KY).grid(44, 42).routing_tracks(24).pins_per_pad_tile(8).build();
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  const host::korrin::GRAPH& g = host::korrin::graph();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const host::korrin::SEARCH search(g.size());
    bytes = search.memory_bytes();
    benchmark::DoNotOptimize(bytes);
  }
  const double n = info->get_num_elements();
  double edges = 0;
  for (unsigned id = 0; id < g.size(); ++id) edges += g.fanouts(id).count;
  state.counters["elements"] = n;
  state.counters["edges_per_element"] = edges / n;
  state.counters["route_info_B"] = static_cast<double>(info->memory_bytes()) / n;
  state.counters["router_view_B"] = static_cast<double>(g.memory_bytes()) / n;
  state.counters["search_B"] = static_cast<double>(bytes) / n;
  state.counters["router_state_B"] = static_cast<double>(host::router::per_element_bytes());
  host_reset();
}
BENCHMARK(BM_RoutingBytesPerElement)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
