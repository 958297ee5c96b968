// The delay-chain edge collections and the quick analysis with and without
// the STA edge filter, on timing netlists of about 10^5, 4 x 10^5 and
// 1.6 x 10^6 edges: 10^3 constrained input pins, each feeding a chain of
// two-input LUTs (the pin's buffer and the previous LUT) into a register.
// Args: (LUTs per pin, mode) with mode 0 the older collection, 1 the newer
// collection, 2 the filtered quick analysis, 3 the unfiltered one. Reports
// edges and ns per edge.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "sta/sta_io_constraints.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/timing_builder.h"
#include "velmo_delay_chain_op.h"
#include "wexan/wexan_env.h"

namespace {

constexpr int PINS = 1000;

struct EDGE_WORLD {
  int luts_per_pin = -1;
  std::unique_ptr<WEXAN_ENV> env;
  int edges = 0;

  void build(int luts) {
    if (luts == luts_per_pin) return;
    env.reset();
    host_reset();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.clock("clk", 2000, clk);
    for (int p = 0; p < PINS; ++p) {
      const std::string name = "in" + std::to_string(p);
      auto ibuf = n.io_in(name);
      host::testing::SIG prev = ibuf;
      for (int i = 0; i < luts; ++i) prev = n.lut(name + "_l" + std::to_string(i), {prev, ibuf}, 0x6);
      n.reg(name + "_q").clk(clk).d(prev);
      host::timing::set_io_delay(n.find(name)->get_id(), {"clk", 300, 100});
    }
    n.timing();
    env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    edges = hov_get_accessories()->get_kem_netlist()->get_edge_count();
    luts_per_pin = luts;
  }
};

EDGE_WORLD& world() {
  static EDGE_WORLD w;
  return w;
}

void BM_DelayChainEdges(benchmark::State& state) {
  EDGE_WORLD& w = world();
  w.build(static_cast<int>(state.range(0)));
  const int mode = static_cast<int>(state.range(1));
  HOV_ACCESSORIES* acc = hov_get_accessories();
  WEXAN_HOV_UTILITY* hov = w.env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr,
                                                                         false, false);
  VELMO_DELAY_CHAIN_OP op(w.env.get());
  hov->perform_quick_timing_analysis(false);  // the newer collection keeps edges with slack
  op.init_kem_edges_for_processing_new(acc, true);
  for (auto _ : state) {
    switch (mode) {
      case 0: op.init_kem_edges_for_processing(acc, true); break;
      case 1: op.init_kem_edges_for_processing_new(acc, true); break;
      case 2:
        acc->set_sta_edge_filter(op.get_edges_to_analyse());
        hov->perform_quick_timing_analysis(false);
        break;
      default:
        acc->clear_sta_edge_filter();
        hov->perform_quick_timing_analysis(false);
        break;
    }
  }
  acc->clear_sta_edge_filter();
  state.counters["edges"] = w.edges;
  state.counters["io_edges"] = static_cast<double>(op.get_pin_to_core_edges().size() + op.get_core_to_pin_edges().size());
  state.counters["ns_per_edge"] =
      benchmark::Counter(static_cast<double>(w.edges) * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                                   benchmark::Counter::kInvert);
}
BENCHMARK(BM_DelayChainEdges)
    ->ArgsProduct({{25}, {0, 1, 2, 3}})
    ->ArgsProduct({{100}, {0, 1, 2, 3}})
    ->ArgsProduct({{400}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
