// Element building of the automatic delay-chain pass: one input pin on 10^4
// timed edges (arg 0) and 10^3 pins of 10 edges each (arg 1). BM_..Build
// times build_optimization_elements; BM_..Hashed the element lists alone
// (edge records kept once per element: a short list scanned, a long one
// with a hash set beside it);
// BM_..LinearScan fills the same lists from the same records with the
// linear duplicate scan, for the ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "hov/hov_utility.h"
#include "omz/omz_option.h"
#include "sta/sta_io_constraints.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/timing_builder.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_delay_chain_op.h"
#include "wexan/wexan_env.h"

namespace {

struct ELEMENT_WORLD {
  int shape = -1;
  std::unique_ptr<WEXAN_ENV> env;
  std::unique_ptr<VELMO_DELAY_CHAIN_OP> owner;

  void build(int which) {
    if (which == shape) return;
    owner.reset();
    env.reset();
    host_reset();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.clock("clk", 2000, clk);
    const int pins = which == 0 ? 1 : 1000;
    const int fanout = which == 0 ? 10000 : 10;
    for (int p = 0; p < pins; ++p) {
      const std::string name = "in" + std::to_string(p);
      auto ibuf = n.io_in(name);
      for (int i = 0; i < fanout; ++i)
        n.reg(name + "_q" + std::to_string(i))
            .clk(clk)
            .d(ibuf)
            ->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0)
            ->set_delay_chain_connection(8, 0);
      host::timing::set_io_delay(n.find(name)->get_id(), {"clk", 300, 100});
    }
    n.timing();
    env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false)
        ->perform_quick_timing_analysis(false);
    owner = std::make_unique<VELMO_DELAY_CHAIN_OP>(env.get());
    owner->init_kem_edges_for_processing_new(hov_get_accessories(), false);
    shape = which;
  }
};

ELEMENT_WORLD& world() {
  static ELEMENT_WORLD w;
  return w;
}

void BM_AutoDelayChainElementsBuild(benchmark::State& state) {
  ELEMENT_WORLD& w = world();
  w.build(static_cast<int>(state.range(0)));
  VELMO_AUTO_DELAY_CHAIN_OP pass(w.env.get(), w.owner.get());
  for (auto _ : state) {
    pass.build_optimization_elements();
    state.PauseTiming();
    pass.process_optimization_cleanup();
    state.ResumeTiming();
  }
  state.counters["edges"] = static_cast<double>(w.owner->get_pin_to_core_edges().size());
}

// The element lists alone: the pass's fill (hash set beside the list).
void BM_AutoDelayChainElementsHashed(benchmark::State& state) {
  ELEMENT_WORLD& w = world();
  w.build(static_cast<int>(state.range(0)));
  VELMO_AUTO_DELAY_CHAIN_OP pass(w.env.get(), w.owner.get());
  pass.build_optimization_elements();
  for (auto _ : state) {
    for (OPTIMIZATION_ELEMENT* e : pass.get_optimization_elements()) {
      e->pos_edges.clear();
      e->pos_edge_set.clear();
    }
    pass.update_optimization_elements_kem_edge_lists();
  }
}

void BM_AutoDelayChainElementsLinearScan(benchmark::State& state) {
  ELEMENT_WORLD& w = world();
  w.build(static_cast<int>(state.range(0)));
  VELMO_AUTO_DELAY_CHAIN_OP pass(w.env.get(), w.owner.get());
  pass.build_optimization_elements();
  for (auto _ : state) {
    for (OPTIMIZATION_ELEMENT* e : pass.get_optimization_elements()) e->pos_edges.clear();
    for (KEM_EDGE_SLACK_INFO* info : pass.get_kem_edge_slack_infos())
      for (auto& [e, rel] : info->opt_elements)
        if (std::find(e->pos_edges.begin(), e->pos_edges.end(), info) == e->pos_edges.end()) e->pos_edges.push_back(info);
  }
  state.counters["edges"] = static_cast<double>(w.owner->get_pin_to_core_edges().size());
}

BENCHMARK(BM_AutoDelayChainElementsBuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AutoDelayChainElementsHashed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AutoDelayChainElementsLinearScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
