// Keep sets of a generated partition of 10^4 and 10^5 atoms (rows of LUTs
// between registers, carry chains, LUT-RAMs, logic modules sharing their ALM
// with a register): the seeding from the boundary (determine_keep_set), one
// call of the expansion (expand_nodes_to_keep), and the floor, one plain
// breadth-first traversal of the same netlist along the fanouts.
#include <benchmark/benchmark.h>

#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/host_control.h"
#include "jov/jov_design.h"
#include "testing/design_builder.h"
#include "testing/partition_builder.h"
#include "velmo_bbic_keep_set.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"

namespace {

using host::testing::LUT_INPUTS;
using host::testing::NETLIST_BUILDER;
using host::testing::SIG;

bool pass(const LUT_INPUTS& x) { return x[0]; }

struct SCENE {
  int atoms = 0;
  JOV_PARTITION* partition = nullptr;
};

// A partition "P" of about `atoms` atoms: 64 input ports, rows of four LUTs
// ending in a register, a carry chain of eight every 100 atoms, a LUT-RAM
// every 50, and a placed logic module with a register in its ALM every 100.
SCENE& scene(int atoms) {
  static SCENE s;
  if (s.atoms == atoms) return s;
  host_reset();
  const int side = atoms >= 100000 ? 60 : 20;
  host::testing::device(host::testing::Family::KY).scale(side, side).build();
  NETLIST_BUILDER top = host::testing::netlist();
  auto box = top.blackbox("P", [&](NETLIST_BUILDER& c) {
    std::vector<SIG> ports;
    for (int i = 0; i < 64; ++i) ports.push_back(c.input("i" + std::to_string(i)));
    auto clk = c.input("clk");
    const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
    int made = 66, lm = 0;
    SIG prev = ports[0];
    for (int k = 0; made < atoms; ++k) {
      const std::string n = std::to_string(k);
      for (int j = 0; j < 4; ++j) prev = c.lut("l" + n + "_" + std::to_string(j), {prev}, pass);
      prev = c.reg("r" + n).clk(clk).d(prev);
      made += 5;
      if (k % 20 == 0) {
        auto chain = c.carry_chain("ch" + n, 8);
        chain.head().input(DB_INPUT_PORT_TYPE(12), 0, prev);
        made += 8;
      }
      if (k % 10 == 0) {
        c.lutram("m" + n).data_in(prev).clk(clk);
        ++made;
      }
      if (k % 20 == 10) {
        // Logic module and register in one ALM of the next free LAB slot.
        const int x = 1 + (lm / 10) % (side - 2), y = 1 + (lm / 10) / (side - 2) % (side - 2), alm = lm % 10;
        const unsigned g = place->get_global_id(0, x, y, alm * 6);
        const unsigned gr = place->get_global_id(0, x, y, alm * 6 + 1);
        ++lm;
        if (g != 0xFFFFFFFFu && gr != 0xFFFFFFFFu) {
          auto m = c.atom(VOK_ATOM_KIND::LOGIC_MODULE, "lm" + n);
          m->set_location(g, 644);
          c.reg("lr" + n).clk(clk).d(m).placed(gr, 643);
          made += 2;
        }
      }
      if (k % 50 == 49) prev = ports[static_cast<std::size_t>(k / 50) % ports.size()];
    }
    c.output("o", prev);
  });
  host::testing::top_partition();
  s.partition = host::testing::partition("P", box);
  s.atoms = atoms;
  return s;
}

VOK_ATOM_NETLIST* netlist_of(const SCENE& s) { return s.partition->get_state()->get_atom_netlist(); }

void BM_DetermineKeepSet(benchmark::State& state) {
  SCENE& s = scene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    VELMO_BBIC_KEEP_SET k;
    velmo_bbic_determine_keep_set(s.partition, netlist_of(s), k);
    benchmark::DoNotOptimize(k.size());
  }
  state.counters["atoms"] = static_cast<double>(netlist_of(s)->size());
}

void BM_ExpandNodesToKeep(benchmark::State& state) {
  SCENE& s = scene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    auto k = std::make_unique<VELMO_BBIC_KEEP_SET>();
    velmo_bbic_determine_keep_set(s.partition, netlist_of(s), *k);
    state.ResumeTiming();
    velmo_bbic_expand_nodes_to_keep(s.partition, netlist_of(s), *k);
    benchmark::DoNotOptimize(k->size());
    state.PauseTiming();
    k.reset();
    state.ResumeTiming();
  }
  state.counters["atoms"] = static_cast<double>(netlist_of(s)->size());
}

// One round of the logic-module ALM expansion (its ordered map rebuilt from
// the whole netlist), on the seeded keep set.
void BM_LogicModuleRound(benchmark::State& state) {
  SCENE& s = scene(static_cast<int>(state.range(0)));
  VELMO_BBIC_KEEP_SET k;
  velmo_bbic_determine_keep_set(s.partition, netlist_of(s), k);
  const VELMO_BBIC_ALM_KEY_FN key = velmo_bbic_alm_key_function(6);
  for (auto _ : state) benchmark::DoNotOptimize(velmo_bbic_expand_logic_modules_by_ffs(netlist_of(s), k, key));
}

// The floor: every atom reached once from the netlist's atoms along fanouts.
void BM_TraversalFloor(benchmark::State& state) {
  SCENE& s = scene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::unordered_set<const VOK_ATOM_NODE*> seen;
    std::deque<const VOK_ATOM_NODE*> queue;
    for (const VOK_ATOM_NODE* a : netlist_of(s)->get_atom_list()) {
      if (!seen.insert(a).second) continue;
      queue.push_back(a);
      while (!queue.empty()) {
        const VOK_ATOM_NODE* n = queue.front();
        queue.pop_front();
        for (const VOK_ATOM_OTERM* o : n->coterms())
          for (const VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); f; f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
            if (seen.insert(f->get_my_node()).second) queue.push_back(f->get_my_node());
      }
    }
    benchmark::DoNotOptimize(seen.size());
  }
}

}  // namespace

BENCHMARK(BM_DetermineKeepSet)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpandNodesToKeep)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogicModuleRound)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraversalFloor)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
