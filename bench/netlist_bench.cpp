// Walks over a netlist of 1,000,000 atoms: as stored (mode 0) and
// hierarchically (mode 1), over a flat netlist and over one whose atoms sit
// in 1,000 black boxes; and the fanout walk of a clock that reaches every
// register.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "testing/netlist_builder.h"
#include "vok/vok_atom_netlist.h"

namespace {

constexpr int ATOMS = 1000000;
constexpr int BOXES = 1000;

// One netlist at a time (about half a gigabyte each).
struct BENCH_NETLIST {
  bool hierarchical = false;
  std::unique_ptr<VOK_ATOM_NETLIST> netlist;
  VOK_ATOM_OTERM* clock = nullptr;
};

BENCH_NETLIST& bench_netlist(bool hierarchical) {
  static BENCH_NETLIST b;
  if (b.netlist && b.hierarchical == hierarchical) return b;
  b.netlist.reset();
  b.netlist = std::make_unique<VOK_ATOM_NETLIST>();
  b.hierarchical = hierarchical;
  host::testing::NETLIST_BUILDER top(b.netlist.get());
  auto clk = top.input_port("clk");
  b.clock = clk.oterm;
  if (!hierarchical) {
    // Registers in a shift chain, every 4th position a LUT.
    host::testing::SIG prev = clk;
    for (int i = 1; i < ATOMS; ++i) {
      const std::string name = "n" + std::to_string(i);
      if (i % 4 == 0)
        prev = top.lut(name, {prev}, 0x1);
      else
        prev = top.reg(name).clk(clk).d(prev);
    }
  } else {
    // Boxes of one input port and 998 registers; each box's clock port is
    // driven by the top clock.
    const int per_box = ATOMS / BOXES - 2;
    for (int k = 0; k < BOXES; ++k) {
      auto box = top.blackbox("u" + std::to_string(k), [&](host::testing::NETLIST_BUILDER& c) {
        auto cclk = c.input("clk");
        for (int i = 0; i < per_box; ++i) c.reg("r" + std::to_string(i)).clk(cclk);
      });
      box.in("clk", clk);
    }
  }
  return b;
}

void walk_atoms(benchmark::State& state, bool hierarchical, VOK_TRAVERSE mode) {
  BENCH_NETLIST& b = bench_netlist(hierarchical);
  const VOK_ATOM_NETLIST* n = b.netlist.get();
  std::int64_t atoms = 0;
  for (auto _ : state) {
    std::int64_t count = 0;
    for (const VOK_ATOM_NODE* a : n->nodes(mode)) count += a->get_id() >= 0;
    benchmark::DoNotOptimize(count);
    atoms += count;
  }
  state.counters["atoms_per_walk"] = static_cast<double>(atoms) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(atoms);
}

void walk_clock_fanout(benchmark::State& state, bool hierarchical, VOK_TRAVERSE mode) {
  BENCH_NETLIST& b = bench_netlist(hierarchical);
  std::int64_t terms = 0;
  for (auto _ : state) {
    std::int64_t count = 0;
    for (VOK_ATOM_ITERM* t : b.clock->fanout(mode)) count += t != nullptr;
    benchmark::DoNotOptimize(count);
    terms += count;
  }
  state.counters["fanouts_per_walk"] = static_cast<double>(terms) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(terms);
}

void BM_NetlistFlatMode0(benchmark::State& s) { walk_atoms(s, false, VOK_TRAVERSE_AS_STORED); }
void BM_NetlistFlatMode1(benchmark::State& s) { walk_atoms(s, false, VOK_TRAVERSE_HIERARCHICAL); }
void BM_NetlistFlatClockFanoutMode0(benchmark::State& s) { walk_clock_fanout(s, false, VOK_TRAVERSE_AS_STORED); }
void BM_NetlistFlatClockFanoutMode1(benchmark::State& s) { walk_clock_fanout(s, false, VOK_TRAVERSE_HIERARCHICAL); }
void BM_NetlistBoxesMode0(benchmark::State& s) { walk_atoms(s, true, VOK_TRAVERSE_AS_STORED); }
void BM_NetlistBoxesMode1(benchmark::State& s) { walk_atoms(s, true, VOK_TRAVERSE_HIERARCHICAL); }
void BM_NetlistBoxesClockFanoutMode1(benchmark::State& s) { walk_clock_fanout(s, true, VOK_TRAVERSE_HIERARCHICAL); }

}  // namespace

BENCHMARK(BM_NetlistFlatMode0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetlistFlatMode1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetlistFlatClockFanoutMode0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetlistFlatClockFanoutMode1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetlistBoxesMode0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetlistBoxesMode1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetlistBoxesClockFanoutMode1)->Unit(benchmark::kMillisecond);
