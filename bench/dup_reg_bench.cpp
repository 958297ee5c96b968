// Register duplication ahead of early retiming on generated netlists:
// 10^5 registers whose second load is a LUT cone shared by `share` registers
// (1, 2 or 4) ending in a register on another clock, so every register gets a
// copy and each cone's record is computed once; and one register driving a
// 10^4-deep LUT chain (the record walk's depth). Reported per atom.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "velmo_retimer.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {

void clear_netlist() {
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  while (!top->empty()) top->remove(top->get_atom_list().back());
}

struct BENCH_WORLD {
  std::unique_ptr<WEXAN_ENV> env;
  BENCH_WORLD() {
    host::testing::device(host::testing::Family::KY).build();
    env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  }
};

BENCH_WORLD& world() {
  static BENCH_WORLD w;
  return w;
}

// Registers r_i (clock c1) feed r_i's own-clock load and LUT l_(i/share),
// which feeds a register on clock c2.
int build_shared_cones(int regs, int share) {
  clear_netlist();
  auto n = host::testing::netlist();
  auto c1 = n.input_port("c1");
  auto c2 = n.input_port("c2");
  auto in = n.input_port("in");
  std::vector<host::testing::SIG> group;
  int atoms = 3;
  for (int i = 0; i < regs; ++i) {
    auto r = n.reg("r" + std::to_string(i)).clk(c1).d(in);
    n.reg("own" + std::to_string(i)).clk(c1).d(r);
    group.push_back(r);
    atoms += 2;
    if (static_cast<int>(group.size()) == share) {
      auto l = n.lut("l" + std::to_string(i), group, [](auto x) { return x[0]; });
      n.reg("far" + std::to_string(i)).clk(c2).d(l);
      group.clear();
      atoms += 2;
    }
  }
  return atoms;
}

void BM_DupRegs_SharedCones(benchmark::State& state) {
  WEXAN_ENV* env = world().env.get();
  const int share = static_cast<int>(state.range(0));
  int atoms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    atoms = build_shared_cones(100000, share);
    state.ResumeTiming();
    VELMO_RETIMER::dup_regs_for_retiming(env);
  }
  state.counters["atoms"] = atoms;
  state.counters["per_atom"] =
      benchmark::Counter(static_cast<double>(atoms) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DupRegs_SharedCones)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DupRegs_DeepChain(benchmark::State& state) {
  WEXAN_ENV* env = world().env.get();
  constexpr int DEPTH = 10000;
  for (auto _ : state) {
    state.PauseTiming();
    clear_netlist();
    auto n = host::testing::netlist();
    auto c1 = n.input_port("c1");
    auto r = n.reg("r").clk(c1).d(n.input_port("in"));
    n.reg("own").clk(c1).d(r);
    host::testing::SIG s = r;
    for (int i = 0; i < DEPTH; ++i) s = n.lut("l" + std::to_string(i), {s}, 0x2);
    n.reg("end").clk(n.input_port("c2")).d(s);
    state.ResumeTiming();
    VELMO_RETIMER::dup_regs_for_retiming(env);
  }
  state.counters["depth"] = DEPTH;
}
BENCHMARK(BM_DupRegs_DeepChain)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
