// Prefit MAC merging of 10,000 MACs on a device with 10,000 DSP locations
// (100 DSP columns of 100 locations): the whole run with spreading (merges
// undone wherever a free location in reach remains), and merging for density
// (every compatible pair merged). The netlist is rebuilt before each run.
// Beside it the physical merge on 10,000 compatible MACs at analytic
// locations, and the compatibility calls its grouping makes on its own.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "velmo_mac_merge_op.h"
#include "velmo_mac_merge_physical_op.h"
#include "velmo_mac_merge_util_ky.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {

constexpr int MACS = 10000;
constexpr int COLUMNS = 100;

void build_device() {
  std::vector<int> columns;
  for (int x = 1; x <= COLUMNS; ++x) columns.push_back(x);
  // DSP blocks sit on odd rows 1 .. ny-3: 100 per column with 202 rows.
  host::testing::device(host::testing::Family::KY).grid(COLUMNS + 2, 202).dsp_columns(columns).ram_columns({}).build();
}

// Mode-2 MACs (mergeable), one in ten that cannot merge, and one in fifty
// locked to a box of four columns.
void build_macs() {
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  while (!top->empty()) top->remove(top->get_atom_list().back());
  auto n = host::testing::netlist();
  for (int i = 0; i < MACS; ++i) {
    auto m = n.mac("m" + std::to_string(i)).mode(i % 10 == 9 ? 9 : 2);
    if (i % 50 == 0) {
      const int x = 1 + (i / 50) % (COLUMNS - 4);
      m.locked_box(x, 1, x + 3, 199);
    }
  }
}

struct BENCH_WORLD {
  std::unique_ptr<WEXAN_ENV> env;
  BENCH_WORLD() {
    build_device();
    env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
};

BENCH_WORLD& world() {
  static BENCH_WORLD w;
  return w;
}

void BM_MacMerge_Spread(benchmark::State& state) {
  WEXAN_ENV* env = world().env.get();
  host::cfg::unset("velmo_mac_merge_for_density");
  for (auto _ : state) {
    state.PauseTiming();
    build_macs();
    state.ResumeTiming();
    VELMO_MAC_MERGE_OP op(env, false);
    benchmark::DoNotOptimize(op.work());
  }
}
BENCHMARK(BM_MacMerge_Spread)->Unit(benchmark::kMillisecond);

void BM_MacMerge_Density(benchmark::State& state) {
  WEXAN_ENV* env = world().env.get();
  cfg_set_on("velmo_mac_merge_for_density");
  for (auto _ : state) {
    state.PauseTiming();
    build_macs();
    state.ResumeTiming();
    VELMO_MAC_MERGE_OP op(env, false);
    benchmark::DoNotOptimize(op.work());
  }
  host::cfg::unset("velmo_mac_merge_for_density");
}
BENCHMARK(BM_MacMerge_Density)->Unit(benchmark::kMillisecond);

// Compatible mode-2 MACs spread over the grid by their analytic locations;
// one in ten given a bus of its own, so grouping makes ten groups' worth of
// seeds compare against the rest.
void build_placed_macs() {
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  while (!top->empty()) top->remove(top->get_atom_list().back());
  auto n = host::testing::netlist();
  std::vector<host::testing::SIG> bus;
  for (int k = 0; k < 10; ++k) bus.push_back(n.input_port("bus" + std::to_string(k)));
  for (int i = 0; i < MACS; ++i) {
    auto m = n.mac("m" + std::to_string(i)).mode(2);
    m.analytic(static_cast<float>(1 + (i * 37) % COLUMNS), static_cast<float>((i * 53) % 200));
    m.data(DB_INPUT_PORT_ACLR, {bus[static_cast<std::size_t>(i % 10)]}, false, 1);
  }
}

void BM_PhysicalMacMerge_Spread(benchmark::State& state) {
  WEXAN_ENV* env = world().env.get();
  host::cfg::unset("velmo_mac_merge_for_density");
  for (auto _ : state) {
    state.PauseTiming();
    build_placed_macs();
    state.ResumeTiming();
    VELMO_MAC_MERGE_PHYSICAL_OP op(env);
    benchmark::DoNotOptimize(op.do_transformation());
  }
}
BENCHMARK(BM_PhysicalMacMerge_Spread)->Unit(benchmark::kMillisecond);

void BM_PhysicalMacMerge_Density(benchmark::State& state) {
  WEXAN_ENV* env = world().env.get();
  cfg_set_on("velmo_mac_merge_for_density");
  for (auto _ : state) {
    state.PauseTiming();
    build_placed_macs();
    state.ResumeTiming();
    VELMO_MAC_MERGE_PHYSICAL_OP op(env);
    benchmark::DoNotOptimize(op.do_transformation());
  }
  host::cfg::unset("velmo_mac_merge_for_density");
}
BENCHMARK(BM_PhysicalMacMerge_Density)->Unit(benchmark::kMillisecond);

// The grouping's compatibility calls alone: each seed against every later
// ungrouped MAC.
void BM_PhysicalMacMerge_GroupingCalls(benchmark::State& state) {
  WEXAN_ENV* env = world().env.get();
  build_placed_macs();
  std::vector<VOK_ATOM_NODE*> macs;
  for (VOK_ATOM_NODE* a : host::vok::top_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (a->is_mac()) macs.push_back(a);
  VELMO_QDSP_MERGE_UTIL_KY util(env);
  for (auto _ : state) {
    std::vector<int> group(macs.size(), -1);
    std::vector<VOK_MAC_MODE_ENUM> modes{VOK_MAC_MODE_M18X18_FULL, VOK_MAC_MODE_M18X18_FULL};
    int groups = 0;
    for (std::size_t i = 0; i < macs.size(); ++i) {
      if (group[i] != -1) continue;
      group[i] = groups;
      for (std::size_t j = i + 1; j < macs.size(); ++j) {
        if (group[j] != -1) continue;
        std::vector<VOK_ATOM_NODE*> pair{macs[i], macs[j]};
        if (util.mac_atoms_are_compatible(&pair, &modes)) group[j] = groups;
      }
      ++groups;
    }
    benchmark::DoNotOptimize(groups);
  }
}
BENCHMARK(BM_PhysicalMacMerge_GroupingCalls)->Unit(benchmark::kMillisecond);

}  // namespace
