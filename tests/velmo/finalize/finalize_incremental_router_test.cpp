// The incremental router in finalize: the ECO re-route of the recompile skip
// path (what it routes, in which order, and a connection it cannot route)
// and the router test hook.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../prefit/expert_fixture.h"
#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "dev/dev_spec.h"
#include "gesk/gesk_bundle.h"
#include "korrin/korrin_graph.h"
#include "msg/msg_internal_error.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "w3j3/w3j3_port_map_db.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using host::testing::place_at;
using ::testing::Contains;
using ::testing::Not;

namespace {

class FinalizeIncrementalRouterTest : public velmo_test::ExpertTest {
protected:
  // An input pin feeding two LUTs in distant LABs (and, when asked, a
  // pipeline register beside the near one), nothing routed; a
  // pipeline-register device without the retimer, so finalize routes
  // nothing else.
  VELMO_EXPERT* begin(bool with_pipeline = false) {
    host::testing::device(Family::KY).zota_flow_supported(false).build();
    auto n = host::testing::netlist();
    auto a = n.io_in("a");
    place_at(n.find("a"), 0, 2, 1);
    place_at(a, 0, 2, 2);
    n.lut("near", {a}, 0x2);
    n.lut("far", {a}, 0x2);
    place_at(n.find("near"), 2, 2, 0);
    place_at(n.find("far"), 9, 7, 0);
    near_in = n.find("near")->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
    far_in = n.find("far")->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
    if (with_pipeline) {
      n.zota_reg("pipe").d(a);
      place_at(n.find("pipe"), 2, 2, 1);
      pipe_in = n.find("pipe")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
      n.reg("core").d(a);
      place_at(n.find("core"), 2, 2, 2);
      core_in = n.find("core")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    }
    return start();
  }
  static void recompile_skip_path() {
    host::swavo::set_user_flow(true);
    host::swavo::set_skippable_snapshot(9, true);
    host::swavo::set_skippable_snapshot(10, true);
    cfg_set_on("sr_finalize_use_ir");
  }
  static void map_to_device_port(const VOK_ATOM_ITERM* iterm) {
    GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db()->add_entry(W3J3_LOGICAL_PORT_FACTORY::create(iterm),
                                                                      {1, 7});
  }
  static bool routed(const VOK_ATOM_ITERM* iterm) {
    return !VOK_CHIP_DB_ENTRY::current()->get_routing()->get_sink_nodes(iterm).empty();
  }
  // Every input mux of the far LUT's LAB blacklisted: its input cannot be
  // routed.
  static void block_far_lab() {
    DeviceSpec spec = host::device::spec();
    for (unsigned id : host::korrin::graph().tile(9, 7).in) spec.blacklist_gids.push_back(id | 0x80000000u);
    host::device::configure(spec);
  }
  const VOK_ATOM_ITERM* near_in = nullptr;
  const VOK_ATOM_ITERM* far_in = nullptr;
  const VOK_ATOM_ITERM* pipe_in = nullptr;
  const VOK_ATOM_ITERM* core_in = nullptr;
};

TEST_F(FinalizeIncrementalRouterTest, EcoRerouteRoutesMappedUnroutedInputsAndCommits) {
  VELMO_EXPERT* expert = begin(true);
  recompile_skip_path();
  map_to_device_port(near_in);
  map_to_device_port(pipe_in);
  map_to_device_port(core_in);
  // An input with no driver has nothing to route, mapped or not.
  const VOK_ATOM_ITERM* undriven = host::testing::netlist().find("core")->add_input_term(DB_INPUT_PORT_ENA, 0);
  map_to_device_port(undriven);
  // The pipeline register's clock is not routed: no time borrowing on it.
  cfg_set_off("fit_finalize_runs_parasitics_hold_fixing");
  EXPECT_TRUE(expert->finalize());
  EXPECT_TRUE(routed(near_in));
  EXPECT_TRUE(routed(core_in)) << "only pipeline registers keep their routing";
  // An input that maps to no device port is not the re-route's business, nor
  // is a pipeline register's input, mapped or not.
  EXPECT_FALSE(routed(far_in));
  EXPECT_FALSE(routed(pipe_in));
  EXPECT_FALSE(routed(undriven));
  EXPECT_EQ(count_calls("KORRIN::INCREMENTAL_ROUTER::add_connection"), 2);
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "WEXAN_INCREMENTAL_UTILITY::process_postfit_tracelyn_assignments_if_necessary",
                                      "KORRIN::INCREMENTAL_ROUTER::INCREMENTAL_ROUTER",
                                      "KORRIN::INCREMENTAL_ROUTER::add_connection",
                                      "KORRIN::INCREMENTAL_ROUTER::route_all_new_connections(false",
                                      "KORRIN::INCREMENTAL_ROUTER::commit",
                                      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1",
                                      "WEXAN_ENV::run_w3j3"}));
  EXPECT_THAT(host::call_names(), Not(Contains("TIBEX_VPR_FACADE::begin_flow")));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("ECO: add_connection(a~ibuf -> near)"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("ECO will re-route 2 connections"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("ECO: Successfully committed routing.\n"));

  // Run again: what is routed now is not added a second time.
  host::clear_calls();
  EXPECT_TRUE(expert->finalize());
  EXPECT_EQ(count_calls("KORRIN::INCREMENTAL_ROUTER::add_connection"), 0);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("ECO will re-route 0 connections"));
}

TEST_F(FinalizeIncrementalRouterTest, EcoRerouteThatCannotRouteEndsTheCompileWithoutCommitting) {
  VELMO_EXPERT* expert = begin();
  recompile_skip_path();
  map_to_device_port(near_in);
  map_to_device_port(far_in);
  block_far_lab();
  EXPECT_EQ(expect_internal_error([&] { expert->finalize(); }).condition, "eco_ok");
  EXPECT_THAT(host::debug::texts(), HasDebugLine("ECO: route_all_new_connections did not succeed."));
  EXPECT_THAT(host::call_names(), Not(Contains("KORRIN::INCREMENTAL_ROUTER::commit")));
  EXPECT_FALSE(routed(near_in));
  EXPECT_FALSE(routed(far_in));
  // Without the design bundle there is no port map to route by.
  host::gesk::load(false, false);
  host::clear_calls();
  EXPECT_EQ(expect_internal_error([&] { expert->finalize(); }).condition, "bundle");
  EXPECT_THAT(host::call_names(), Not(Contains("KORRIN::INCREMENTAL_ROUTER::add_connection")));
}

TEST_F(FinalizeIncrementalRouterTest, RouterTestHookRoutesTheDesignThenRebuildsTiming) {
  VELMO_EXPERT* expert = begin();
  cfg_set_on("korrin_incremental_router");
  EXPECT_TRUE(expert->finalize());
  EXPECT_TRUE(routed(near_in));
  EXPECT_TRUE(routed(far_in));
  // The re-route through the incremental router is a hook of its own.
  EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Korrin IR SPaR\""))));
  EXPECT_THAT(host::call_lines(), CallSequence(std::vector<std::string>{
                                      "KORRIN::test_korrin_incremental_router",
                                      "WEXAN_ENV::indicate_that_atom_netlist_is_modified(-1",
                                      "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3",
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\""}));

  // A design the router cannot complete is reported, and the stage goes on.
  VOK_CHIP_DB_ENTRY::current()->get_routing()->clear();
  block_far_lab();
  host::clear_calls();
  EXPECT_TRUE(expert->finalize());
  EXPECT_FALSE(routed(far_in));
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("KORRIN::test_korrin_incremental_router did not route every connection."));
  EXPECT_THAT(host::call_names(), Contains("WEXAN_ENV::report_fitter_status"));

  // Each hook has its own switch: the router's, the full timing update's
  // (a global taint and a rebuild) and the hold-fix re-route's, off by
  // default.
  const auto rebuilds_before_post_ops = [] {
    const std::vector<std::string> lines = host::call_lines();
    const auto post = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.rfind("GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"VELMO_EXPERT::do_post_finalize_ops\"", 0) == 0;
    });
    return std::count(lines.begin(), post, "CMP_FACADE::notify_timing_netlist_changed(1)");
  };
  const std::string incomplete = "KORRIN::test_korrin_incremental_router did not route every connection.";
  struct CASE {
    bool router, full_update;
  };
  for (const CASE& c : {CASE{true, true}, CASE{false, true}, CASE{true, false}}) {
    SCOPED_TRACE(::testing::Message() << "router " << c.router << " full update " << c.full_update);
    c.router ? cfg_set_on("korrin_test_incremental_router") : cfg_set_off("korrin_test_incremental_router");
    c.full_update ? cfg_set_on("korrin_test_force_full_hep") : cfg_set_off("korrin_test_force_full_hep");
    host::clear_calls();
    const int incomplete_before = count_lines(incomplete);
    EXPECT_TRUE(expert->finalize());
    EXPECT_EQ(count_calls("KORRIN::test_korrin_incremental_router"), c.router ? 1 : 0);
    // The far LAB is still blocked: a router run reports it, no run says nothing.
    EXPECT_EQ(count_lines(incomplete) - incomplete_before, c.router ? 1 : 0);
    EXPECT_EQ(rebuilds_before_post_ops(), c.full_update ? 1 : 0);
    EXPECT_THAT(host::call_lines(), Not(Contains(::testing::StartsWith(
                                        "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Korrin IR SPaR\""))));
  }
  host::cfg::unset("korrin_test_incremental_router");
  host::cfg::unset("korrin_test_force_full_hep");
  cfg_set_on("korrin_test_spar");
  host::clear_calls();
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::call_lines(), Contains(::testing::StartsWith(
                                      "GEN_PROFILE_BINS::open_with_tag(\"VELMO\", \"Korrin IR SPaR\"")));
  EXPECT_THAT(host::call_names(), Not(Contains("ZEL_ATOM_DUMPER::dump_current_atom_netlist"))) << "no dump by default";
  cfg_set_off("korrin_test_spar");

  // Without the hooks switched on, the router is not run.
  cfg_set_off("korrin_incremental_router");
  host::clear_calls();
  EXPECT_TRUE(expert->finalize());
  EXPECT_THAT(host::call_names(), Not(Contains("KORRIN::test_korrin_incremental_router")));
}

}  // namespace
