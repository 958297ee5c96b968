// Port translation on the periphery scene scaled x1, x4 and x16: a row of
// UIB and ESRAM blocks (one per periphery tile of a grid 10k + 2 columns
// wide), each with two inputs driven by core registers, an output feeding a
// core register, a port-map entry per terminal and a partial input chain.
// Reports the time per driver terminal; it should stay flat as k grows.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "cmp/cmp_facade.h"
#include "dev/dev_grid.h"
#include "gesk/gesk_bundle.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "testing/routing_builder.h"
#include "velmo_port_translation.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

namespace {

struct SCALED_SCENE {
  std::vector<VOK_ATOM_ITERM*> partial_sinks;
  std::vector<unsigned> partial_chain_top;
  std::vector<unsigned> partial_port;
  int drivers = 0;
};

SCALED_SCENE build(int k) {
  VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  while (!top->empty()) top->remove(top->get_atom_list().back());
  VOK_CHIP_DB_ENTRY::current()->clear();
  host::gesk::load(true, true);
  host::testing::device(host::testing::Family::KX).grid(10 * k + 2, 10).build();
  const WUMP_DIE_INFO* die = host::device::die_info();
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  auto n = host::testing::netlist();
  SCALED_SCENE s;
  const int y = grid.ny() - 1;
  for (int x = 1; x < grid.nx() - 1; ++x) {
    const int kind = grid.periphery_kind(x);
    if (kind == dev_kind::HSSI || grid.tile_kind(x, y - 1) != DEV_TILE_KIND::LAB) continue;
    const std::string id = std::to_string(x);
    auto site = [&](int sx, int sy, int z) { return die->get_place_info()->get_global_id(0, sx, sy, z); };
    VOK_ATOM_NODE* a = n.reg("a" + id).placed(site(x, y - 1, 1), dev_kind::FF);
    VOK_ATOM_NODE* b = n.reg("b" + id).placed(site(x, y - 1, 2), dev_kind::FF);
    VOK_ATOM_NODE* blk = n.atom(kind == dev_kind::UIB ? VOK_ATOM_KIND::UFI_UIB : VOK_ATOM_KIND::UFI_ESRAM, "p" + id)
                             .input(DB_INPUT_PORT_DATA_IN, 0, a)
                             .input(DB_INPUT_PORT_DATA_IN, 1, b)
                             .placed(site(x, y, 0), kind);
    n.reg("c" + id).d(blk).placed(site(x, y - 1, 4), dev_kind::FF);
    const int inst = host::testing::gesk_instance("p" + id + "_inst", x, y, 0);
    host::testing::map_port(blk->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), inst, "in[0]");
    host::testing::map_port(blk->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1), inst, "in[1]");
    host::testing::map_port(blk->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0), inst, "out[0]");
    s.partial_sinks.push_back(blk->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 1));
    s.partial_chain_top.push_back(host::testing::periphery_chain_gid(x, y, 1, 1));
    s.partial_port.push_back(host::testing::periphery_chain_gid(x, y, 1, 0));
    s.drivers += 3;
  }
  return s;
}

void reset_routing(const SCALED_SCENE& s) {
  VOK_CHIP_DB_ENTRY::current()->clear();
  auto r = host::testing::routing();
  for (std::size_t i = 0; i < s.partial_sinks.size(); ++i)
    r.virtual_source().wire_gid(s.partial_chain_top[i]).wire_gid(s.partial_port[i]).sink(s.partial_sinks[i]);
  r.attach();
}

void BM_PortTranslation(benchmark::State& state) {
  const SCALED_SCENE s = build(static_cast<int>(state.range(0)));
  auto env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  for (auto _ : state) {
    state.PauseTiming();
    reset_routing(s);
    state.ResumeTiming();
    VELMO_PORT_TRANSLATION_MGR(env.get()).perform_port_translation();
  }
  state.counters["drivers"] = s.drivers;
  state.counters["time_per_driver"] =
      benchmark::Counter(s.drivers, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PortTranslation)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);

}  // namespace
