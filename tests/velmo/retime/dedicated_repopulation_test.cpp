// Dedicated-register depopulation and repopulation of periphery-transfer
// registers: the candidate test, the run's summary and errors, what an
// accepted register carries, and the port gids handed to the engine.
#include <algorithm>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "thr/thr_drl.h"
#include "common/host_script.h"
#include "gen/gen_profile.h"
#include "gesk/gesk_bundle.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/own_process.h"
#include "testing/route_helpers.h"
#include "dedicated_repopulation_fixture.h"
#include "velmo_dedicated_repopulation_manager.h"
#include "vok/vok_atom_netlist.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_env.h"
#include "yos/yos_interface.h"

using host::testing::expect_internal_error;
using host::testing::place_at;
using MGR = VELMO_DEDICATED_REPOPULATION_MGR;

namespace {

TEST_F(DedicatedRepopulationTest, NonZotaDeviceChangesNothing) {
  start(host::testing::Family::KX);
  auto n = host::testing::netlist();
  auto p = periphery(n, "p", n.input_port("in"), 2);
  auto r = n.reg("r").clk(n.input_port("clk")).d(p).atom();
  n.io_out("o", r);
  assign(r, 833, 2);
  MGR mgr(m_env);
  EXPECT_TRUE(mgr.work());
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
  EXPECT_EQ(metadata(r, "P2C_ZOTA"), "");
  EXPECT_THAT(host::debug::texts(), HasDebugLine("DEDICATED_REPOPULATION: not a real zota device, skip"));
  // The run's profiling bin, in its group with the component's tag.
  int opened = 0;
  for (const auto& e : host::bins::events())
    if (e.action == "open" && e.name == "P2C Dedicated Depopulation") {
      ++opened;
      EXPECT_EQ(e.group, "VPR - Other");
      EXPECT_EQ(e.tag, "VELMO");
    }
  EXPECT_EQ(opened, 1);
}

TEST_F(DedicatedRepopulationTest, BothForcingsAreAnErrorAndTheEngineIsNeverMade) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.input_port("in")).atom();
  n.io_out("o", r);
  assign(r, 833, 2);
  assign(r, 835, 2);
  MGR mgr(m_env);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(r), MGR::CONFLICTING_ASSIGNMENTS);
  EXPECT_FALSE(mgr.work());
  EXPECT_EQ(error_ids(), (std::vector<unsigned>{20777, 20777}));
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
}

TEST_F(DedicatedRepopulationTest, AcceptedRegistersAreRecordedMarkedAndHandedToTheEngine) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  // P2C: the periphery source has a second fan-out, which does not reject.
  auto p = periphery(n, "p", n.input_port("in"), 2);
  auto p2c = n.reg("p2c").clk(clk).d(p).atom();
  n.io_out("side", p);
  n.io_out("o1", p2c);
  assign(p, 833, 2);
  // C2P: one fan-out, a placed periphery cell asking for it with a pulse width.
  auto c2p = n.reg("c2p").clk(clk).d(n.lut("core", {n.input_port("in2")}, 0x2)).atom();
  auto q = periphery(n, "q", c2p, 4);
  n.io_out("o2", q);
  assign(q, 835, 2);
  assign(q, 834, 222);
  // Not a candidate: a plain register between core cells.
  auto plain = n.reg("plain").clk(clk).d(n.input_port("in3")).atom();
  n.io_out("o3", plain);
  // Nor one whose only load asks for C2P but is not placed: no periphery.
  auto loose = n.reg("loose").clk(clk).d(n.input_port("in4")).atom();
  auto unplaced = n.lut("unplaced", {loose}, 0x2).atom();
  n.io_out("o4", unplaced);
  assign(unplaced, 835, 2);

  MGR mgr(m_env);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(loose), MGR::MULTIPLE_FANOUT);
  EXPECT_TRUE(mgr.depopulation());
  EXPECT_EQ(mgr.get_depopulated_atoms(), (std::vector<VOK_ATOM_NODE*>{p2c, c2p}));
  EXPECT_EQ(mgr.get_p2c_candidates(), (std::vector<VOK_ATOM_NODE*>{p2c}));
  EXPECT_EQ(mgr.get_c2p_candidates(), (std::vector<VOK_ATOM_NODE*>{c2p}));
  EXPECT_EQ(metadata(p2c, "P2C_ZOTA"), "P2C");
  EXPECT_EQ(metadata(c2p, "P2C_ZOTA"), "C2P");
  for (auto* a : {p2c, c2p}) {
    EXPECT_EQ(metadata(a, "RETIMER_NO_TOUCH"), "LOCKED");
    EXPECT_TRUE(a->test_bit(42));
  }
  EXPECT_EQ(metadata(plain, "P2C_ZOTA"), "");
  EXPECT_FALSE(plain->test_bit(42));
  unsigned level = 9;
  ASSERT_TRUE(yos_current_interface()->get_uint_data(c2p, static_cast<YOS_UINT_DATA_ENUM>(72), &level));
  EXPECT_EQ(level, 2u);
  EXPECT_EQ(host::call_count("YUN_UTILITY::depopulate_registers"), 1);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("P2C dedicated depopulation depops 2 core ff"));
  EXPECT_EQ(host::counters::get("yun_utility"), 0);
  // The engine's answer is the pass's: a refusal is no success.
  MGR refused(m_env);
  host::script::queue<bool>("YUN_UTILITY::depopulate_registers").push(false);
  EXPECT_FALSE(refused.depopulation());
  EXPECT_EQ(host::call_count("YUN_UTILITY::depopulate_registers"), 2);
}

TEST_F(DedicatedRepopulationTest, RejectionsAreSummarisedPerStatusWithAtMostFivePaths) {
  // The candidate switches are read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_on("ky_emif_depop_ff_for_every_p2c");
  cfg_set_on("velmo_dedicated_repopulation_verbose_debug");
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto p = periphery(n, "p", n.input_port("in"), 2);
  // Seven registers whose output has two loads, one of them the periphery.
  for (int i = 0; i < 7; ++i) {
    auto r = n.reg("multi" + std::to_string(i)).clk(clk).d(n.input_port("m" + std::to_string(i))).atom();
    auto q = periphery(n, "q" + std::to_string(i), r, 5, 1 + i);
    n.io_out("qo" + std::to_string(i), q);
    n.io_out("ro" + std::to_string(i), r);
  }
  // Fed by the periphery but with a clock enable; and one without loads.
  auto sec = n.reg("sec").clk(clk).d(p).ce(n.input_port("en")).atom();
  n.io_out("so", sec);
  n.reg("dead").clk(clk).d(p);
  // A P2C register whose output crosses into a black box.
  auto bound = n.reg("bound").clk(clk).d(p).atom();
  auto box = n.blackbox("u", [](auto& c) { c.output("o", c.input("i")); });
  box.in("i", bound);
  n.io_out("bo", box.out("o"));
  // A C2P register fed straight from a black box's output port.
  auto cross = n.reg("cross").clk(clk).d(box.out("o")).atom();
  periphery(n, "cq", cross, 9, 1);
  // Three periphery loads: the search stops at the second.
  auto tri = n.reg("tri").clk(clk).d(n.input_port("t")).atom();
  for (int i = 0; i < 3; ++i) periphery(n, "t" + std::to_string(i), tri, 7, 1 + i);
  // Not forced and placed already.
  auto placed = n.reg("placed").clk(clk).d(p).atom();
  n.io_out("po", placed);
  place_at(placed, 3, 6, 1);

  MGR mgr(m_env);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(placed), MGR::NOT_A_CANDIDATE);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Dedicated Repopulation: found one candidate but already placed " +
                                                 std::to_string(placed->get_id())));
  const std::size_t before = host::debug::texts().size();
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(tri), MGR::MULTIPLE_FANOUT);
  const auto after = host::debug::texts();
  EXPECT_EQ(std::count_if(after.begin() + static_cast<std::ptrdiff_t>(before), after.end(),
                          [](const std::string& l) { return l.rfind("Dedicated Repopulation:  moz on fanout", 0) == 0; }),
            2);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Dedicated Repopulation: found more than one c2p connection on core ff " +
                                                 std::to_string(tri->get_id())));
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(sec), MGR::SECONDARY_SIGNAL);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(n.find("dead")), MGR::DISCONNECTED);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(bound), MGR::BOUNDARY_CROSSING);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(cross), MGR::BOUNDARY_CROSSING);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(n.find("multi0")), MGR::MULTIPLE_FANOUT);
  MGR run(m_env);
  EXPECT_TRUE(run.depopulation());
  EXPECT_TRUE(run.get_depopulated_atoms().empty());
  const auto lines = host::debug::texts();
  EXPECT_THAT(lines, HasDebugLine("1 paths cannot be implemented as ZOTA because of secondary signal usage"));
  EXPECT_THAT(lines, HasDebugLine("1 paths cannot be implemented as ZOTA because of disconnected core register"));
  EXPECT_THAT(lines, HasDebugLine("8 paths cannot be implemented as ZOTA because of multiple fan-out on connection"));
  EXPECT_THAT(lines, HasDebugLine("2 paths cannot be implemented as ZOTA because of partition boundary crossing"));
  EXPECT_THAT(lines, HasDebugLine("\tmulti4"));
  EXPECT_THAT(lines, ::testing::Not(HasDebugLine("   has_p2c_depopulation_moz_on on it")));
  EXPECT_THAT(lines, ::testing::Not(HasDebugLine("\tmulti5")));
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
}

TEST_F(DedicatedRepopulationTest, ForcedRegisterWithExactUserLocationIsReportedAndStillTested) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto r = n.reg("r").clk(clk).d(n.lut("core", {n.input_port("in")}, 0x2)).locked(3, 4, 1, 0x80).atom();
  auto q = periphery(n, "q", r, 4);
  n.io_out("o", q);
  assign(r, 835, 2);
  MGR mgr(m_env);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(r), MGR::DEPOPULATE);
  ASSERT_EQ(host::messages::posted().size(), 1u);
  EXPECT_EQ(host::messages::posted()[0].id, 20776u);
  EXPECT_THAT(host::messages::posted()[0].text, ::testing::HasSubstr("FORCE_ZENTO_REGISTER_FOR_CORE_PERIPHERY_TRANSFER"));
  EXPECT_EQ(mgr.get_c2p_candidates(), (std::vector<VOK_ATOM_NODE*>{r}));

  // An input tied to ground is no secondary signal.
  auto tied =
      n.reg("tied").clk(clk).d(n.lut("core2", {n.input_port("in2")}, 0x2)).tie(DB_INPUT_PORT_ACLR, 0, true).atom();
  n.io_out("o2", periphery(n, "q2", tied, 5));
  assign(tied, 835, 2);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(tied), MGR::DEPOPULATE);
  // Forced but already placed: no candidate.
  auto placed = n.reg("placed").clk(clk).d(n.lut("core3", {n.input_port("in3")}, 0x2)).atom();
  n.io_out("o3", periphery(n, "q3", placed, 6));
  assign(placed, 835, 2);
  place_at(placed, 3, 6, 1);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(placed), MGR::NOT_A_CANDIDATE);
  // Forced P2C from a placed register: a register is no periphery source.
  auto from_reg = n.reg("from_reg").clk(clk).d(placed).atom();
  n.io_out("o4", from_reg);
  assign(from_reg, 833, 2);
  EXPECT_NE(mgr.is_depop_p2c_ff_candidate(from_reg), MGR::DEPOPULATE);
  EXPECT_EQ(mgr.get_p2c_candidates(), std::vector<VOK_ATOM_NODE*>{});
  EXPECT_EQ(mgr.get_c2p_candidates(), (std::vector<VOK_ATOM_NODE*>{r, tied}));
  // A user location that is not exact is not reported.
  const std::size_t posted = host::messages::posted().size();
  auto boxed = n.reg("boxed").clk(clk).d(n.lut("core5", {n.input_port("in5")}, 0x2)).locked_box(3, 4, 5, 6, 0x80).atom();
  n.io_out("o5", periphery(n, "q5", boxed, 7));
  assign(boxed, 835, 2);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(boxed), MGR::DEPOPULATE);
  EXPECT_EQ(host::messages::posted().size(), posted);
  // In a user recompile a duplicate register is taken as P2C when another
  // load of its periphery source is forced so, and only then.
  host::swavo::set_user_flow(true);
  cfg_set_on("velmo_dedicated_repopulation_verbose_debug");
  MGR recompile(m_env);
  auto p6 = periphery(n, "p6", n.input_port("in6"), 8);
  auto orig = n.reg("orig").clk(clk).d(p6).atom();
  n.io_out("o6", orig);
  auto dup = n.reg("orig~_Duplicate").clk(clk).d(p6).atom();
  n.io_out("o7", dup);
  EXPECT_NE(recompile.is_depop_p2c_ff_candidate(dup), MGR::DEPOPULATE);
  assign(orig, 833, 2);
  EXPECT_EQ(recompile.is_depop_p2c_ff_candidate(dup), MGR::DEPOPULATE);
  EXPECT_EQ(recompile.get_p2c_candidates(), std::vector<VOK_ATOM_NODE*>{dup});
  EXPECT_THAT(host::debug::texts(),
              HasDebugLine("Depopulation on P2C from Periphery atom " + std::to_string(p6->get_id()) + " placed on " +
                           std::to_string(p6->get_location_gid()) + " to k-aware duplicated core ff " +
                           std::to_string(dup->get_id())));
  // The verbose trace of an accepted P2C register whose source has no other
  // load, and of an accepted C2P register.
  auto p8 = periphery(n, "p8", n.input_port("in8"), 9);
  auto lone = n.reg("lone").clk(clk).d(p8).atom();
  n.io_out("o8", lone);
  assign(lone, 833, 2);
  const std::size_t before = host::debug::texts().size();
  EXPECT_EQ(recompile.is_depop_p2c_ff_candidate(lone), MGR::DEPOPULATE);
  EXPECT_EQ(recompile.is_depop_p2c_ff_candidate(boxed), MGR::DEPOPULATE);
  const auto trace = host::debug::texts();
  EXPECT_EQ(std::vector<std::string>(trace.begin() + static_cast<std::ptrdiff_t>(before), trace.end()),
            (std::vector<std::string>{
                "Dedicated Repopulation: working on core ff " + std::to_string(lone->get_id()) + " - lone",
                "   has_p2c_depopulation_moz_on on it",
                "Depopulation on P2C from Periphery atom " + std::to_string(p8->get_id()) + " placed on " +
                    std::to_string(p8->get_location_gid()) + " to core ff " + std::to_string(lone->get_id()),
                "Dedicated Repopulation: working on core ff " + std::to_string(boxed->get_id()) + " - boxed",
                "   has_c2p_depopulation_moz_on on it",
                "Dedicated Repopulation:  moz on fanout " + std::to_string(n.find("q5")->get_id()) + " - q5",
                "Depopulation on C2P from Periphery atom " + std::to_string(n.find("q5")->get_id()) + " placed on " +
                    std::to_string(n.find("q5")->get_location_gid()) + " to core ff " + std::to_string(boxed->get_id())}));
}

TEST_F(DedicatedRepopulationTest, ErrorCapStopsTheScan) {
  // The error cap is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_value("velmo_ded_depop_max_errors", "2");
  start();
  auto n = host::testing::netlist();
  for (int i = 0; i < 4; ++i) {
    auto r = n.reg("r" + std::to_string(i)).d(n.input_port("in" + std::to_string(i))).atom();
    assign(r, 833, 2);
    assign(r, 835, 2);
  }
  MGR mgr(m_env);
  EXPECT_FALSE(mgr.depopulation());
  EXPECT_EQ(host::messages::posted().size(), 2u);
  // Without an environment there is nothing to scan.
  EXPECT_EQ(expect_internal_error([] { MGR(nullptr).depopulation(); }).condition, "m_env");
}

TEST_F(DedicatedRepopulationTest, DelayChainLevelsOfTheRegisterAndOfItsFanout) {
  start();
  auto n = host::testing::netlist();
  auto r = n.reg("r").d(n.input_port("in")).atom();
  auto s = n.reg("s").d(n.input_port("in2")).atom();
  auto t = n.reg("t").d(n.input_port("in3")).atom();
  assign(r, 834, 221);
  MGR mgr(m_env);
  unsigned v = 9;
  mgr.process_c2p_zota_delay_chain_setting(r, HOV_PULSE_WIDTH_2);  // own assignment wins
  ASSERT_TRUE(yos_current_interface()->get_uint_data(r, static_cast<YOS_UINT_DATA_ENUM>(72), &v));
  EXPECT_EQ(v, 1u);
  mgr.process_c2p_zota_delay_chain_setting(s, HOV_PULSE_WIDTH_0);  // nothing to write
  EXPECT_FALSE(yos_current_interface()->get_uint_data(s, static_cast<YOS_UINT_DATA_ENUM>(72), &v));
  assign(t, 834, 7);
  EXPECT_EQ(expect_internal_error([&] { mgr.process_c2p_zota_delay_chain_setting(t, HOV_PULSE_WIDTH_0); }).condition,
            "Unsupported zento register delay chain setting");
}

// Repopulation hands the engine each register with its periphery terminal's
// top-level port gid, from the one port mapping of that terminal.
class RepopulationTest : public DedicatedRepopulationTest {
protected:
  void build() {
    start();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    auto p = periphery(n, "p", n.input_port("in"), 2);
    reg = n.reg("r").clk(clk).d(p).atom();
    n.io_out("o", reg);
    assign(reg, 833, 2);
    src = p;
    host::gesk::load(true, true);
  }
  void map_port(int mappings) {
    W3J3_PORT_MAP_DB* db = GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db();
    const VOK_ATOM_LOGICAL_PORT port =
        W3J3_LOGICAL_PORT_FACTORY::create(src->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0));
    for (int i = 0; i < mappings; ++i) db->add_entry(port, W3J3_PORT_MAP_ENTRY{1, 7 + i});
    GESK_BUNDLE_SINGLETON::get_bundle()->get_device()->set_port_gid(7, host::testing::lab_output_gid(2, 3, 0));
  }
  VOK_ATOM_NODE* reg = nullptr;
  VOK_ATOM_NODE* src = nullptr;
};

TEST_F(RepopulationTest, ThePortGidReachesTheEngineWhichPlacesTheRegisterInASlot) {
  build();
  map_port(1);
  MGR mgr(m_env);
  EXPECT_TRUE(mgr.work());
  EXPECT_EQ(host::call_count("WEXAN_ENV::run_w3j3_prefit"), 0);
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate_periphery_transfer_registers"), 1);
  EXPECT_TRUE(reg->is_placed());
  EXPECT_NE(reg->get_location_gid() & 0x80000000u, 0u);
  EXPECT_EQ(host::counters::get("yun_utility"), 0);
}

TEST_F(RepopulationTest, AnEmptyPortMapIsBuiltFirstAndAnUnmappedTerminalIsAnInternalError) {
  build();
  MGR mgr(m_env);
  const HOST_INTERNAL_ERROR e = expect_internal_error([&] { mgr.work(); });
  EXPECT_EQ(e.condition, "top_level_port_gid != DEV_ILLEGAL_GLOBAL_ID");
  EXPECT_EQ(host::call_count("WEXAN_ENV::run_w3j3_prefit"), 1);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("running w3j3 for p2c/c2p zota repop at post-plan"));
  EXPECT_EQ(host::counters::get("yun_utility"), 0);
}

TEST_F(RepopulationTest, NothingDepopulatedLeavesNothingToRepopulate) {
  start();
  auto n = host::testing::netlist();
  auto r = n.reg("r").clk(n.input_port("clk")).d(n.input_port("in")).atom();
  n.io_out("o", r);
  host::gesk::load(true, true);
  MGR mgr(m_env);
  EXPECT_TRUE(mgr.work());
  EXPECT_EQ(host::call_count("WEXAN_ENV::run_w3j3_prefit"), 0);
  EXPECT_EQ(host::call_count("yun_utility_factory"), 0);
  EXPECT_EQ(metadata(r, "P2C_ZOTA"), "");
}

TEST_F(RepopulationTest, TwoPortMappingsAreAnInternalError) {
  build();
  map_port(2);
  MGR mgr(m_env);
  EXPECT_EQ(expect_internal_error([&] { mgr.work(); }).condition, "top_level_port_gid != DEV_ILLEGAL_GLOBAL_ID");
  EXPECT_THAT(host::debug::texts(), ::testing::Contains(::testing::HasSubstr("it has 2 port mappings")));
}

TEST_F(RepopulationTest, WithRepopulationOffOnlyDepopulationRuns) {
  // The repopulation switch is read once per process.
  if (!host::testing::in_own_process()) return;
  cfg_set_off("yun_do_p2c_repopulation_in_post_plan");
  build();
  MGR mgr(m_env);
  EXPECT_TRUE(mgr.work());
  EXPECT_EQ(host::call_count("YUN_UTILITY::depopulate_registers"), 1);
  EXPECT_EQ(host::call_count("YUN_UTILITY::repopulate_periphery_transfer_registers"), 0);
}

}  // namespace
