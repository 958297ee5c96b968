// The periphery-core placement passes on a wide family-48 device whose top row
// holds one UIB or ESRAM block per tile: arg transfers, each an unplaced core
// register fed by a block output with a four-wire requirement (one group),
// placed and routed by the main pass; and the same destinations given to the
// host's solver alone, for its share. A second benchmark runs the LCELL
// periphery router on arg wire LUTs feeding block inputs. Reports time per
// transfer.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/netlist_builder.h"
#include "testing/periphery_scene.h"
#include "velmo_periphery_to_core_placement.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

namespace {

constexpr int kRow = 9;

// A world with `n` periphery blocks, each with its one transfer (P2C: block
// output -> register; LCELL: wire LUT -> block input).
struct P2C_WORLD {
  std::unique_ptr<WEXAN_ENV> env;
  std::vector<VOK_ATOM_NODE*> registers;
  P2C_WORLD(int n, bool lcell) {
    const int nx = n * 3 / 2 + 4;
    host::testing::device(host::testing::Family::KX).scale(nx, kRow + 1).build();
    env = std::make_unique<WEXAN_ENV>(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
    auto n_b = host::testing::netlist();
    VOK_ATOM_NODE* src = n_b.reg("src").placed(place->get_global_id(0, 1, 1, 1), dev_kind::FF);
    int made = 0;
    for (int x = 1; x < nx - 1 && made < n; ++x) {
      if (x % 3 == 2) continue;  // HSSI tiles
      const std::string name = "blk" + std::to_string(x);
      const bool uib = x % 3 == 0;
      const unsigned site = place->get_global_id(0, x, kRow, 0);
      const int inst = host::testing::gesk_instance(name + "_inst", x, kRow, 0);
      if (lcell) {
        VOK_ATOM_NODE* w = n_b.lut("w" + std::to_string(x), {src}, std::uint64_t{2});
        VOK_ATOM_NODE* b = n_b.atom(uib ? VOK_ATOM_KIND::UFI_UIB : VOK_ATOM_KIND::UFI_ESRAM, name)
                               .input(DB_INPUT_PORT_DATA_IN, 0, w)
                               .placed(site, uib ? dev_kind::UIB : dev_kind::ESRAM);
        host::testing::map_port(b->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0), inst, "in[0]");
        host::options::set(844, 4, "2", w->get_string_hpath());
      } else {
        VOK_ATOM_NODE* b = n_b.atom(uib ? VOK_ATOM_KIND::UFI_UIB : VOK_ATOM_KIND::UFI_ESRAM, name)
                               .placed(site, uib ? dev_kind::UIB : dev_kind::ESRAM);
        VOK_ATOM_NODE* r = n_b.reg("r" + std::to_string(x)).d(b).clk(src);
        host::testing::map_port(b->get_output_term_by_type(DB_OUTPUT_PORT_DATA, 0), inst, "out[0]");
        host::options::set(838, 4, "4", r->get_string_hpath());
        registers.push_back(r);
      }
      ++made;
    }
  }
  ~P2C_WORLD() {
    env.reset();
    host_reset();
  }
  void unplace() {
    for (VOK_ATOM_NODE* r : registers) r->clear_location();
  }
};

void BM_P2cMainPass(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  P2C_WORLD w(n, false);
  cfg_set_on("velmo_p2c_publish_routing_for_wire_based");
  int placed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    w.unplace();
    auto p = std::make_unique<VELMO_PERIPHERY_CORE_PLACEMENT>(w.env.get());
    state.ResumeTiming();
    p->periphery_to_core_register_placement();
    state.PauseTiming();
    placed = 0;
    for (VOK_ATOM_NODE* r : w.registers) placed += r->is_placed();
    p.reset();
    state.ResumeTiming();
  }
  state.counters["transfers"] = n;
  state.counters["placed"] = placed;
  state.counters["per_transfer"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_P2cMainPass)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// The solver alone on the group the main pass hands it.
void BM_P2cSolverAlone(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  P2C_WORLD w(n, false);
  for (auto _ : state) {
    state.PauseTiming();
    w.unplace();
    auto p = std::make_unique<VELMO_PERIPHERY_CORE_PLACEMENT>(w.env.get());
    std::vector<std::vector<int>> p2c, c2p;
    std::vector<P2C_MATRIX_STRUCT> pm, cm;
    p->get_interested_dst_locs(p2c, c2p, pm, cm);
    p->build_switch_delays_cache();
    state.ResumeTiming();
    for (std::size_t g = 0; g < p2c.size(); ++g) benchmark::DoNotOptimize(p->solve_group(p2c[g], pm[g], true, true));
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
  state.counters["per_transfer"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_P2cSolverAlone)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_LcellPeripheryRouter(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  P2C_WORLD w(n, true);
  for (auto _ : state) {
    state.PauseTiming();
    auto p = std::make_unique<VELMO_PERIPHERY_CORE_PLACEMENT>(w.env.get());
    state.ResumeTiming();
    p->place_and_route_c2p_lcell();
    state.PauseTiming();
    p.reset();
    state.ResumeTiming();
  }
  state.counters["per_wire_lut"] =
      benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LcellPeripheryRouter)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
