// The automatic delay-chain pass's two setting searches on synthetic groups:
// 2 elements x 64 settings, 3 x 16 and 4 x 8 (arg 0: 0, 1, 2), each element
// on 10 or 1000 edge records of its own (arg 1) with random slacks, half its
// records moving one way and half the other.
// BM_..Exhaustive: the odometer over every combination (counter
// combinations/s). BM_..BranchAndBound: the best-first search (counters:
// nodes expanded and made, against combinations = the product of the
// ranges). The time ratio of the two is the branch and bound's gain; the
// nodes made are its memory (a node is a few pointers and a setting).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "hov/hov_utility.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "zel/zel_dc_table.h"

namespace {

struct SEARCH_WORLD {
  std::unique_ptr<WEXAN_ENV> env;
  std::unique_ptr<VELMO_DELAY_CHAIN_OP> owner;
  std::unique_ptr<VELMO_AUTO_DELAY_CHAIN_OP> pass;
  std::vector<VOK_ATOM_NODE*> pins;
  std::vector<std::unique_ptr<KEM_EDGE_SLACK_INFO>> records;
  std::vector<std::unique_ptr<OPTIMIZATION_ELEMENT>> elements;
  OPTIMIZATION_GROUP group;
  int shape = -1;

  void build(int elements_kind, int edges) {
    const int key = elements_kind * 10000 + edges;
    if (key == shape) return;
    if (pass == nullptr) {
      host_reset();
      // Chains of 64 settings: the newer input and output chains.
      host::dc::FAMILY_TABLE t = host::dc::table(46);
      for (int type : {446, 430, 431, 448}) t.chains[type].max_setting = 63;
      host::dc::set_table(46, t);
      host::testing::device(host::testing::Family::KY).build();
      auto n = host::testing::netlist();
      for (int i = 0; i < 4; ++i) {
        n.io_in("p" + std::to_string(i));
        pins.push_back(n.find("p" + std::to_string(i)));
      }
      n.timing();
      env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
      owner = std::make_unique<VELMO_DELAY_CHAIN_OP>(env.get());
      pass = std::make_unique<VELMO_AUTO_DELAY_CHAIN_OP>(env.get(), owner.get());
      pass->init_yeb_cell_delays();
      pass->build_auto_delay_chain_vec_new();
    }
    records.clear();
    elements.clear();
    group.opt_elements.clear();
    const int counts[3] = {2, 3, 4}, ranges[3] = {64, 16, 8}, types[4] = {446, 430, 431, 448};
    std::mt19937 rng(static_cast<unsigned>(key));
    std::uniform_int_distribution<int> slack(-2000, 2000);
    for (int i = 0; i < counts[elements_kind]; ++i) {
      auto e = std::make_unique<OPTIMIZATION_ELEMENT>();
      e->atom = pins[static_cast<std::size_t>(i)];
      e->delay_chain_type = static_cast<YOS_UINT_DATA_ENUM>(types[i]);
      e->group_type = VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN;
      e->min_setting = 0;
      e->max_setting = ranges[elements_kind] - 1;
      for (int j = 0; j < edges; ++j) {
        auto r = std::make_unique<KEM_EDGE_SLACK_INFO>();
        r->edge_id = static_cast<std::int32_t>(records.size());
        for (int k = 0; k < 2; ++k)
          for (int c = 0; c < 2; ++c) r->slack[k][c] = slack(rng) + (k == 0 ? 2500 : 0);
        r->opt_elements.emplace_back(e.get(), -1);
        (j % 2 == 0 ? e->pos_edges : e->neg_edges).push_back(r.get());
        records.push_back(std::move(r));
      }
      group.opt_elements.push_back(e.get());
      elements.push_back(std::move(e));
    }
    shape = key;
  }
};

SEARCH_WORLD& world() {
  static SEARCH_WORLD w;
  return w;
}

double combinations(const OPTIMIZATION_GROUP& g) {
  double p = 1;
  for (const OPTIMIZATION_ELEMENT* e : g.opt_elements) p *= e->max_setting - e->min_setting + 1;
  return p;
}

void BM_AutoDelayChainSearchExhaustive(benchmark::State& state) {
  SEARCH_WORLD& w = world();
  w.build(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  VELMO_AUTO_DELAY_CHAIN_OP* p = w.pass.get();
  const long before = p->get_evaluation_count();
  for (auto _ : state) {
    p->process_optimization_group_initialize(&w.group);
    p->process_optimization_group_change_setting(&w.group, true, false);
    do p->process_optimization_group_evaulate_settings(&w.group);
    while (p->process_optimization_group_change_setting(&w.group, false, false));
    p->process_optimization_group_change_setting(&w.group, false, true);
    state.PauseTiming();
    p->process_optimization_group_change_setting(&w.group, true, false);  // back to setting 0 (the atoms')
    state.ResumeTiming();
  }
  state.counters["combinations"] = combinations(w.group);
  state.counters["combinations/s"] =
      benchmark::Counter(static_cast<double>(p->get_evaluation_count() - before), benchmark::Counter::kIsRate);
  state.counters["best"] = w.group.current_best_score1_wc_slack;
}

void BM_AutoDelayChainSearchBranchAndBound(benchmark::State& state) {
  SEARCH_WORLD& w = world();
  w.build(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  VELMO_AUTO_DELAY_CHAIN_OP* p = w.pass.get();
  long expanded = 0, made = 0, runs = 0;
  for (auto _ : state) {
    const long e0 = p->get_expanded_node_count(), m0 = p->get_made_node_count();
    p->process_optimization_group_initialize(&w.group);
    p->process_optimization_group_determine_best_settings(&w.group);
    expanded += p->get_expanded_node_count() - e0;
    made += p->get_made_node_count() - m0;
    ++runs;
  }
  state.counters["combinations"] = combinations(w.group);
  state.counters["expanded"] = static_cast<double>(expanded) / static_cast<double>(runs);
  state.counters["made"] = static_cast<double>(made) / static_cast<double>(runs);
}

void shapes(benchmark::internal::Benchmark* b) {
  for (int kind : {0, 1, 2})
    for (int edges : {10, 1000}) b->Args({kind, edges});
}

BENCHMARK(BM_AutoDelayChainSearchExhaustive)->Apply(shapes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AutoDelayChainSearchBranchAndBound)->Apply(shapes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
