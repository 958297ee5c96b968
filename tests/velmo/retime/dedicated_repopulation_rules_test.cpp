// The rules of the dedicated-register candidate test a user would see
// broken: which devices run it, what counts as a secondary signal, what a
// forced register with one is, which loads are periphery, the recompile
// duplicates, the switches that turn a kind off, the delay-chain values a
// register may carry and the bookkeeping of a register met twice.
#include <string>
#include <utility>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "dedicated_repopulation_fixture.h"
#include "gesk/gesk_bundle.h"
#include "swavo/swavo_recompile_op.h"
#include "testing/own_process.h"
#include "velmo_dedicated_repopulation_manager.h"
#include "vok/vok_atom_term.h"
#include "w3j3/w3j3_port_map_db.h"

using host::testing::expect_internal_error;
using host::testing::place_at;
using MGR = VELMO_DEDICATED_REPOPULATION_MGR;

namespace {

class DedicatedRepopulationRulesTest : public DedicatedRepopulationTest {
protected:
  // A register fed by a placed periphery cell and driving an output pin.
  VOK_ATOM_NODE* p2c_reg(host::testing::NETLIST_BUILDER& n, const std::string& name, int x) {
    auto p = periphery(n, name + "_p", n.input_port(name + "_in"), x);
    VOK_ATOM_NODE* r = n.reg(name).clk(n.input_port(name + "_clk")).d(p).atom();
    n.io_out(name + "_o", r);
    return r;
  }
  // A register fed by core logic whose one load is a placed periphery cell.
  VOK_ATOM_NODE* c2p_reg(host::testing::NETLIST_BUILDER& n, const std::string& name, int x) {
    VOK_ATOM_NODE* r =
        n.reg(name).clk(n.input_port(name + "_clk")).d(n.lut(name + "_core", {n.input_port(name + "_in")}, 0x2)).atom();
    n.io_out(name + "_o", periphery(n, name + "_q", r, x));
    return r;
  }
  // One forced register of each kind: P2C at x = 2, C2P at x = 4.
  std::pair<VOK_ATOM_NODE*, VOK_ATOM_NODE*> forced_pair(host::testing::NETLIST_BUILDER& n) {
    VOK_ATOM_NODE* p2c = p2c_reg(n, "p2c", 2);
    assign(p2c, 833, 2);
    VOK_ATOM_NODE* c2p = c2p_reg(n, "c2p", 4);
    assign(c2p, 835, 2);
    return {p2c, c2p};
  }
  static VOK_ATOM_ITERM* load_term_of(VOK_ATOM_NODE* r) {
    for (VOK_ATOM_ITERM* t : r->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0)->fanout(VOK_TRAVERSE_AS_STORED)) return t;
    return nullptr;
  }
  static VOK_ATOM_NODE* load_of(VOK_ATOM_NODE* r) { return load_term_of(r)->get_my_node(); }
};

// The pass runs on every device with pipeline-register sites in its
// routing, whether or not the retimer flow is supported there.
TEST_F(DedicatedRepopulationRulesTest, DevicesWithRoutingSlotsRunThePassWithoutRetimerSupport) {
  host::testing::device(host::testing::Family::KY).zota_flow_supported(false).build();
  m_env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
  auto n = host::testing::netlist();
  VOK_ATOM_NODE* r = p2c_reg(n, "r", 2);
  assign(r, 833, 2);
  assign(r, 835, 2);
  MGR mgr(m_env);
  EXPECT_FALSE(mgr.work());
  EXPECT_EQ(error_ids(), std::vector<unsigned>{20777});
}

// A secondary signal is a connected input other than clock and data that
// is not tied to ground: an input left open or tied low is none, one tied
// high is one. The candidate test rejects on it, for the P2C and for the
// C2P kind, forced or not.
TEST_F(DedicatedRepopulationRulesTest, SecondarySignalsAreConnectedInputsNotTiedLow) {
  start();
  auto n = host::testing::netlist();
  MGR mgr(m_env);

  // An enable connected and opened again leaves an input term that is not
  // connected.
  VOK_ATOM_NODE* opened = p2c_reg(n, "opened", 2);
  host::testing::REG_BUILDER(opened).ce(n.input_port("opened_en"));
  VOK_ATOM_ITERM* ce = host::testing::ATOM_HANDLE(opened).iterm(DB_INPUT_PORT_ENA);
  ASSERT_NE(ce, nullptr);
  EXPECT_TRUE(mgr.has_secondary_signal(opened));
  ce->disconnect_from_source(VOK_NET_ITERM::OPEN);
  ASSERT_FALSE(ce->is_connected());
  ASSERT_NE(host::testing::ATOM_HANDLE(opened).iterm(DB_INPUT_PORT_ENA), nullptr);
  EXPECT_FALSE(mgr.has_secondary_signal(opened));

  auto tied_low = n.reg("tied_low").clk(n.input_port("l_clk")).d(n.input_port("l_in")).tie(DB_INPUT_PORT_ACLR, 0, true);
  auto tied_high = n.reg("tied_high").clk(n.input_port("h_clk")).d(n.input_port("h_in")).tie(DB_INPUT_PORT_ACLR, 0, false);
  EXPECT_FALSE(mgr.has_secondary_signal(tied_low));
  EXPECT_TRUE(mgr.has_secondary_signal(tied_high));

  // Through the candidate test: an open input is accepted, an enable is not,
  // on either kind, also when only the periphery cell asks.
  assign(opened, 833, 2);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(opened), MGR::DEPOPULATE);
  VOK_ATOM_NODE* c2p_enabled = c2p_reg(n, "c2p_enabled", 4);
  host::testing::REG_BUILDER(c2p_enabled).ce(n.input_port("c_en"));
  assign(load_of(c2p_enabled), 835, 2);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(c2p_enabled), MGR::SECONDARY_SIGNAL);
  VOK_ATOM_NODE* p2c_high = p2c_reg(n, "p2c_high", 6);
  host::testing::REG_BUILDER(p2c_high).tie(DB_INPUT_PORT_ACLR, 0, false);
  assign(p2c_high, 833, 2);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(p2c_high), MGR::SECONDARY_SIGNAL);
  EXPECT_EQ(mgr.get_p2c_candidates(), std::vector<VOK_ATOM_NODE*>{opened});
  EXPECT_TRUE(mgr.get_c2p_candidates().empty());
}

// A forced register with a secondary signal is rejected for it before
// anything else is looked at: no location error, and placed or not.
TEST_F(DedicatedRepopulationRulesTest, AForcedRegisterWithASecondarySignalIsRejectedFirst) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto located = n.reg("located")
                     .clk(clk)
                     .d(n.lut("core", {n.input_port("in")}, 0x2))
                     .ce(n.input_port("en"))
                     .locked(3, 4, 1, 0x80)
                     .atom();
  n.io_out("o", periphery(n, "q", located, 4));
  assign(located, 835, 2);
  auto placed = n.reg("placed").clk(clk).d(periphery(n, "p", n.input_port("in2"), 2)).ce(n.input_port("en2")).atom();
  n.io_out("o2", placed);
  place_at(placed, 3, 6, 1);
  assign(placed, 833, 2);
  MGR mgr(m_env);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(located), MGR::SECONDARY_SIGNAL);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(placed), MGR::SECONDARY_SIGNAL);
  EXPECT_TRUE(host::messages::posted().empty());
}

// Only a placed cell that is not a register is periphery: a forced C2P
// register whose one load is a placed register, and one without a data
// input source, are not taken.
TEST_F(DedicatedRepopulationRulesTest, C2pNeedsAPeripheryLoadAndADataSource) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto to_reg = n.reg("to_reg").clk(clk).d(n.lut("core", {n.input_port("in")}, 0x2)).atom();
  auto next = n.reg("next").clk(clk).d(to_reg).atom();
  place_at(next, 3, 6, 1);
  n.io_out("o", next);
  assign(to_reg, 835, 2);
  // Not forced: the periphery asks, but the register has no data source.
  auto undriven = n.reg("undriven").clk(clk).atom();
  VOK_ATOM_NODE* q = periphery(n, "q", undriven, 4);
  n.io_out("o2", q);
  assign(q, 835, 2);
  MGR mgr(m_env);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(to_reg), MGR::MULTIPLE_FANOUT);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(undriven), MGR::DISCONNECTED);
  EXPECT_TRUE(mgr.get_c2p_candidates().empty());
  EXPECT_EQ(metadata(to_reg, "P2C_ZOTA"), "");
  EXPECT_EQ(metadata(undriven, "P2C_ZOTA"), "");
}

// The duplicate of a forced register is taken as P2C only in a user
// recompile flow.
TEST_F(DedicatedRepopulationRulesTest, DuplicatesAreTakenOnlyInAUserRecompile) {
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  VOK_ATOM_NODE* p = periphery(n, "p", n.input_port("in"), 8);
  auto orig = n.reg("orig").clk(clk).d(p).atom();
  n.io_out("o", orig);
  auto dup = n.reg("orig~_Duplicate").clk(clk).d(p).atom();
  n.io_out("o2", dup);
  assign(orig, 833, 2);
  host::swavo::set_user_flow(false);
  MGR plain(m_env);
  EXPECT_NE(plain.is_depop_p2c_ff_candidate(dup), MGR::DEPOPULATE);
  EXPECT_TRUE(plain.get_p2c_candidates().empty());
  host::swavo::set_user_flow(true);
  MGR recompile(m_env);
  EXPECT_EQ(recompile.is_depop_p2c_ff_candidate(dup), MGR::DEPOPULATE);
}

// A register is recorded once: meeting an accepted register again, of
// either kind, is an internal error.
TEST_F(DedicatedRepopulationRulesTest, ARegisterMetTwiceIsAnInternalError) {
  start();
  auto n = host::testing::netlist();
  const auto [p2c, c2p] = forced_pair(n);
  MGR mgr(m_env);
  ASSERT_EQ(mgr.is_depop_p2c_ff_candidate(p2c), MGR::DEPOPULATE);
  ASSERT_EQ(mgr.is_depop_p2c_ff_candidate(c2p), MGR::DEPOPULATE);
  EXPECT_EQ(expect_internal_error([&] { mgr.is_depop_p2c_ff_candidate(p2c); }).condition,
            "m_candidate_to_p2c_periphery_atom_oterm_map.count(atom) == 0");
  EXPECT_EQ(expect_internal_error([&] { mgr.is_depop_p2c_ff_candidate(c2p); }).condition,
            "m_candidate_to_c2p_periphery_atom_iterm_map.count(atom) == 0");
  EXPECT_EQ(mgr.get_p2c_candidates().size(), 1u);
  EXPECT_EQ(mgr.get_c2p_candidates().size(), 1u);
}

// Only 220, 221 and 222 are delay-chain values: 0 on the register is as
// unsupported as any other.
TEST_F(DedicatedRepopulationRulesTest, ADelayChainValueOfZeroIsUnsupported) {
  start();
  auto n = host::testing::netlist();
  auto r = n.reg("r").d(n.input_port("in")).atom();
  assign(r, 834, 0);
  MGR mgr(m_env);
  EXPECT_EQ(expect_internal_error([&] { mgr.process_c2p_zota_delay_chain_setting(r, HOV_PULSE_WIDTH_1); }).condition,
            "Unsupported zento register delay chain setting");
}

// With P2C turned off a register fed by the periphery is no P2C candidate,
// while a C2P register is still taken.
TEST_F(DedicatedRepopulationRulesTest, P2cTurnedOffLeavesC2p) {
  if (!host::testing::in_own_process()) return;
  cfg_set_on("ky_disable_depop_emif_p2c");
  start();
  auto n = host::testing::netlist();
  const auto [p2c, c2p] = forced_pair(n);
  MGR mgr(m_env);
  EXPECT_NE(mgr.is_depop_p2c_ff_candidate(p2c), MGR::DEPOPULATE);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(c2p), MGR::DEPOPULATE);
  EXPECT_TRUE(mgr.get_p2c_candidates().empty());
}

// With C2P turned off a register feeding the periphery is no candidate at
// all, while a P2C register is still taken.
TEST_F(DedicatedRepopulationRulesTest, C2pTurnedOffLeavesP2c) {
  if (!host::testing::in_own_process()) return;
  cfg_set_on("ky_disable_depop_emif_c2p");
  start();
  auto n = host::testing::netlist();
  const auto [p2c, c2p] = forced_pair(n);
  MGR mgr(m_env);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(p2c), MGR::DEPOPULATE);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(c2p), MGR::NOT_A_CANDIDATE);
  EXPECT_TRUE(mgr.get_c2p_candidates().empty());
}

// An error cap of 0 caps nothing: every conflicting register is reported.
TEST_F(DedicatedRepopulationRulesTest, AnErrorCapOfZeroScansEverything) {
  if (!host::testing::in_own_process()) return;
  cfg_set_value("velmo_ded_depop_max_errors", "0");
  start();
  auto n = host::testing::netlist();
  for (int i = 0; i < 7; ++i) {
    auto r = n.reg("r" + std::to_string(i)).d(n.input_port("in" + std::to_string(i))).atom();
    assign(r, 833, 2);
    assign(r, 835, 2);
  }
  MGR mgr(m_env);
  EXPECT_FALSE(mgr.depopulation());
  EXPECT_EQ(error_ids(), std::vector<unsigned>(7, 20777));
}

}  // namespace

namespace {

// With the boundary rule switched off, a register whose connection runs
// through a black-box port is taken like any other, on both kinds.
TEST_F(DedicatedRepopulationRulesTest, BoundaryPortsRejectOnlyWhileTheRuleIsOn) {
  if (!host::testing::in_own_process()) return;
  cfg_set_off("ky_p2c_dedicated_depopulation_skip_boundary_port");
  start();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  VOK_ATOM_NODE* p = periphery(n, "p", n.input_port("in"), 2);
  auto into_box = n.reg("into_box").clk(clk).d(p).atom();
  assign(into_box, 833, 2);
  auto box = n.blackbox("u", [](auto& c) { c.output("o", c.input("i")); });
  box.in("i", into_box);
  auto from_box = n.reg("from_box").clk(clk).d(box.out("o")).atom();
  n.io_out("o", periphery(n, "q", from_box, 4));
  assign(from_box, 835, 2);
  MGR mgr(m_env);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(into_box), MGR::DEPOPULATE);
  EXPECT_EQ(mgr.is_depop_p2c_ff_candidate(from_box), MGR::DEPOPULATE);
}

// Repopulation hands the engine the P2C registers as P2C and the C2P ones
// as C2P, each with the port of its own periphery terminal.
TEST_F(DedicatedRepopulationRulesTest, EachKindReachesTheEngineAsItself) {
  start();
  auto n = host::testing::netlist();
  std::vector<VOK_ATOM_NODE*> p2c;
  for (int i = 0; i < 2; ++i) {
    p2c.push_back(p2c_reg(n, "p2c" + std::to_string(i), 2 + i));
    assign(p2c.back(), 833, 2);
  }
  VOK_ATOM_NODE* c2p = c2p_reg(n, "c2p", 6);
  assign(c2p, 835, 2);
  host::gesk::load(true, true);
  W3J3_PORT_MAP_DB* db = GESK_BUNDLE_SINGLETON::get_bundle()->get_port_map_db();
  int value = 7;
  auto map = [&](const VOK_ATOM_LOGICAL_PORT& port, unsigned gid) {
    db->add_entry(port, W3J3_PORT_MAP_ENTRY{1, value});
    GESK_BUNDLE_SINGLETON::get_bundle()->get_device()->set_port_gid(value++, gid);
  };
  for (int i = 0; i < 2; ++i) {
    VOK_ATOM_NODE* src = n.find("p2c" + std::to_string(i) + "_p");
    map(W3J3_LOGICAL_PORT_FACTORY::create(src->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0)),
        host::testing::lab_output_gid(2 + i, 3, 0));
  }
  map(W3J3_LOGICAL_PORT_FACTORY::create(load_term_of(c2p)),
      host::testing::lab_output_gid(3, 4, 0));
  MGR mgr(m_env);
  EXPECT_TRUE(mgr.work());
  EXPECT_THAT(host::call_lines(),
              ::testing::Contains("YUN_UTILITY::repopulate_periphery_transfer_registers(2, 1)"));
  for (VOK_ATOM_NODE* r : {p2c[0], p2c[1], c2p}) EXPECT_TRUE(r->is_placed()) << r->get_string_hpath();
}

}  // namespace
