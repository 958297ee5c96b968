// The incremental retimer alone (resynthesis off) on designs with a global
// clock they fail: the pipeline scene scaled ×16, s298 (2000 ps) and the
// largest bundled design (frisc, 8000 ps). Counters: seconds of the run,
// moves implemented (DUX implements), incremental timing updates, atoms the
// kept moves added, and setup WNS and TNS of the slow corner before and
// after. The time split
// (the host's accumulated timers): "engine_s" in DUX::implement and
// restore_checkpoint (their timing updates included, "engine_timing_s" of
// it), "timing_s" in timing updates outside them, "own_s" the rest (the
// retimer's own work), and each one's share of the run ("*_pct").
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench_designs.h"
#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "dux/dux.h"
#include "hov/hov_utility.h"
#include "korrin/korrin_router.h"
#include "sta/sta_analysis.h"
#include "sta/sta_timers.h"
#include "testing/blif_design.h"
#include "testing/design_settings.h"
#include "testing/netlist_builder.h"
#include "testing/scenes.h"
#include "tibex/tibex_placer.h"
#include "velmo_eco_tcl.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {

// Registers read their clocks over a global network (as a design's settings
// file asks), which makes them retimable.
void globalise_clocks() {
  for (VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list())
    if (a->is_ff())
      if (VOK_ATOM_ITERM* clk = a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0)) clk->set_connection_code(5);
}

// A bundled design with a global clock at the given period, placed and
// routed in-process.
bool load_design(const std::string& name, const std::string& clock, int period_ps) {
  try {
    host::testing::load_blif_file(bench_designs_dir() + "/mcnc/" + name + ".blif");
  } catch (const host::testing::DESIGN_LOAD_ERROR&) {
    return false;
  }
  std::string why;
  if (!host::testing::configure_fit_device(46, &why)) return false;
  host::testing::apply_design_settings(
      host::testing::parse_design_settings("{\"global_clocks\": [\"" + clock + "\"], \"clocks\": {\"" + clock +
                                               "\": " + std::to_string(period_ps) + "}}",
                                           name + ".json"),
      *host::vok::top_netlist(), name + ".json");
  host::placement::PLACER_OPTIONS options;
  options.lab_atom_limit = host::testing::kFitLabAtomLimit;
  if (!host::placement::place(options) || !host::router::route_design(&why)) return false;
  host::testing::NETLIST_BUILDER(host::vok::top_netlist()).timing();
  return true;
}

struct SLOW {
  double wns = 0, tns = 0;
};
SLOW slow_corner() {
  host::sta::analyze(host::hov::current_kem_netlist());
  for (const host::timing::CORNER_SUMMARY& s : host::timing::summary())
    if (s.setup_wns != KEM_NO_SLACK) return {static_cast<double>(s.setup_wns), static_cast<double>(s.setup_tns)};
  return {};
}

// design: empty for the pipeline scene.
void run_retimer(benchmark::State& state, const std::string& design, const std::string& clock, int period_ps) {
  double seconds = 0, implements = 0, updates = 0;
  host::timers::SPLIT split;
  SLOW before, after;
  int created = 0;
  for (auto _ : state) {
    state.PauseTiming();
    host_reset();
    host::sta::verify_incremental(false);
    if (!design.empty()) {
      if (!load_design(design, clock, period_ps)) {
        state.SkipWithError("the design could not be placed and routed");
        return;
      }
    } else {
      host::testing::scenes::ky_pipeline(16);
      globalise_clocks();
      sta_full_update_timing(true);
    }
    WEXAN_ENV env(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    cfg_set_value("test_incremental_resynthesis", "off");
    before = slow_corner();
    const std::size_t atoms = host::vok::top_netlist()->size();
    int implement_calls = 0;
    DUX::set_implement_observer([&] { ++implement_calls; });
    const int updates0 = host::sta::incremental_update_count();
    state.ResumeTiming();
    host::timers::reset();
    const auto t0 = std::chrono::steady_clock::now();
    VELMO_ECO_TCL::test_incremental_retiming();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    split = host::timers::split();
    state.PauseTiming();
    DUX::set_implement_observer({});
    implements = implement_calls;
    updates = host::sta::incremental_update_count() - updates0;
    created = static_cast<int>(host::vok::top_netlist()->size()) - static_cast<int>(atoms);
    after = slow_corner();
    state.ResumeTiming();
  }
  state.counters["seconds"] = seconds;
  state.counters["implements"] = implements;
  state.counters["timing_updates"] = updates;
  state.counters["atoms_added"] = created;
  state.counters["wns_before"] = before.wns;
  state.counters["wns_after"] = after.wns;
  state.counters["tns_before"] = before.tns;
  state.counters["tns_after"] = after.tns;
  const double timing_outside = split.timing_seconds - split.timing_in_engine_seconds;
  const double own = seconds - split.engine_seconds - timing_outside;
  auto pct = [&](double part) { return seconds > 0 ? 100.0 * part / seconds : 0.0; };
  state.counters["engine_s"] = split.engine_seconds;
  state.counters["engine_pct"] = pct(split.engine_seconds);
  state.counters["engine_timing_s"] = split.timing_in_engine_seconds;
  state.counters["timing_s"] = timing_outside;
  state.counters["timing_pct"] = pct(timing_outside);
  state.counters["own_s"] = own;
  state.counters["own_pct"] = pct(own);
  host::sta::verify_incremental(true);
  host_reset();
}

void BM_IrtmPipelineX16(benchmark::State& state) { run_retimer(state, "", "", 0); }
void BM_IrtmS298(benchmark::State& state) { run_retimer(state, "s298", "clock", 2000); }
void BM_IrtmFrisc(benchmark::State& state) { run_retimer(state, "frisc", "pclk", 8000); }
BENCHMARK(BM_IrtmPipelineX16)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IrtmS298)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IrtmFrisc)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
