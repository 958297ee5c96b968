// The single-corner delay-chain chooser: its flow switches, the choice of a
// setting from a chain's table and the update of related records.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/timing_builder.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_env.h"
#include "yos/yos_interface.h"
#include "zel/zel_dc_table.h"

using host::testing::Family;

namespace {

constexpr std::int32_t NO = static_cast<std::int32_t>(0x80000001u);
YOS_UINT_DATA_ENUM T(int t) { return static_cast<YOS_UINT_DATA_ENUM>(t); }

class DelayChainChooserTest : public host::testing::EnvTest {
protected:
  // An older-family device with the single-type edges of the newer atoms
  // (item 77): an input pin locked to a left pad drives a LUT through
  // pad-to-core chain 0, whose delays are given per setting.
  // The core also drives an output pin, locked to a left pad too, whose
  // output-enable chain 16 takes the first four delays; with `clock` the
  // input pin is a clock.
  void design(std::vector<int> delays, bool related = false, bool clock = false) {
    host::dc::FAMILY_TABLE t = host::dc::table(19);
    t.chains[12].delay_other = delays;
    t.chains[12].delay_horizontal = delays;
    t.chains[16].delay_other.assign(delays.begin(), delays.begin() + 4);
    t.chains[16].delay_horizontal = t.chains[16].delay_other;
    host::dc::set_table(19, t);
    auto dev = host::testing::device(Family::IO_LEGACY).basic_bool_data(77, true);
    if (related) dev.basic_bool_data(114, true);
    dev.build();
    auto n = host::testing::netlist();
    auto ibuf = n.io_in("din");
    core = n.lut("core", {ibuf}, 0x2).atom();
    core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 0);
    if (second_core) {
      core2 = n.lut("core2", {ibuf}, 0x2).atom();
      core2->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 0);
      n.io_out("dout3", core2);
    }
    if (clock) n.clock("dinclk", 2000, host::testing::SIG(n.find("din")));
    n.io_out("dout", core);
    din = n.find("din");
    dout = n.find("dout");
    for (auto [pin, y] : {std::pair<VOK_ATOM_NODE*, int>{din, 3}, {dout, 4}}) {
      TIBEX_LOCATION_CONSTRAINT lock;
      lock.add_locked(TIBEX_LOCKED_CONSTRAINT::exact(0, y, 1), host::constraints::SOURCE_USER);
      m_env->get_design()->set_atom_location_constraint(pin->get_id(), lock);
    }
    n.timing();
    KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
    edge = kem->get_edge(kem->get_kem_node_from_iterm(core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0))->begin_fanin());
    VOK_ATOM_NODE* obuf = n.find("dout~obuf");
    out_edge = kem->get_edge(kem->get_kem_node_from_iterm(obuf->get_input_term_by_type(DB_INPUT_PORT_BOX, 0))->begin_fanin());
    if (second_core)
      edge2 = kem->get_edge(
          kem->get_kem_node_from_iterm(core2->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0))->begin_fanin());
  }
  void clock_skip(bool flag3);
  void related(bool flag3);
  unsigned choose(VELMO_DELAY_CHAIN_OP& op, std::int32_t tsu, std::int32_t th, int type = 12) {
    KEM_EDGE* e = type == 16 ? out_edge : edge;
    VELMO_SLACK_INFO info{e, e, T(type), tsu, th};
    return op.get_best_delay_chain_setting(&info);
  }
  static int count(const std::string& line) {
    int c = 0;
    for (const auto& t : host::debug::texts()) c += t == line;
    return c;
  }
  VOK_ATOM_NODE* din = nullptr;
  VOK_ATOM_NODE* dout = nullptr;
  VOK_ATOM_NODE* core = nullptr;
  VOK_ATOM_NODE* core2 = nullptr;
  bool second_core = false;  // a second LUT on the same pin's chain 0
  KEM_EDGE* edge = nullptr;
  KEM_EDGE* edge2 = nullptr;
  KEM_EDGE* out_edge = nullptr;
};

TEST_F(DelayChainChooserTest, SetupOrHoldAloneAimsAtTwoAndAHalfNanoseconds) {
  // Current setting 3 (5000 ps); settings 0, 1, 2, 5, 6 give setup slacks
  // 3000, 2600, 5000, 2500 and 2499 from 1000: 3000 is taken, then 2600,
  // then 2500 (at least 2500 is enough), never 5000 or 2499.
  design({3000, 3400, 1000, 5000, 9000, 3500, 3501, 9000});
  yos_current_interface()->set_uint_data(din, T(12), 3);
  VELMO_DELAY_CHAIN_OP op(m_env);
  op.build_auto_delay_chain_vec();
  EXPECT_EQ(choose(op, 1000, NO), 5u);
  // From 3000 the others give 5000, 4600, 7000, 4500, 4499 or -1000: none
  // is below 3000 and at least 2500, so the current setting stays.
  EXPECT_EQ(choose(op, 3000, NO), 3u);
  // No setting reaches 2500: the largest, the earliest of equals, the
  // current one before the table.
  EXPECT_EQ(choose(op, -5000, NO), 2u);
  // Hold alone mirrors it: hold grows with the delay.
  EXPECT_EQ(choose(op, NO, -6000), 4u);
  EXPECT_EQ(choose(op, NO, NO), 3u);
}

TEST_F(DelayChainChooserTest, BothRequirementsBalanceWithoutOverflow) {
  design({0, 10000, 20000, 50000, 60000, 70000, 80000, 90000});
  yos_current_interface()->set_uint_data(din, T(12), 3);
  VELMO_DELAY_CHAIN_OP op(m_env);
  op.build_auto_delay_chain_vec();
  // -50000 x 50000 does not fit 32 bits; setting 0 balances both at 0.
  EXPECT_EQ(choose(op, -50000, 50000), 0u);
  // Setup 100, hold -300: the largest product of the two new slacks.
  EXPECT_EQ(choose(op, 100, -300), 3u);  // every other setting moves by 10 ns
  // Setup 20100, hold -20300: more delay; 70000 ps leaves (100, -300).
  EXPECT_EQ(choose(op, 20100, -20300), 5u);
  // Setup 15000, hold -15000: 60000 and 70000 ps tie at (5000, -5000) and
  // (-5000, 5000); the first in the table keeps the tie.
  EXPECT_EQ(choose(op, 15000, -15000), 4u);
}

// The output-enable chain (16) prefers a setting that meets setup: 1000 is
// added to the product of a setting whose setup slack turns non-negative
// (and taken from one that turns negative). From (-1, -1) at 300 ps,
// setting 2 (299 ps) gives (0, -2): product 0, not above 1 without it.
TEST_F(DelayChainChooserTest, OutputEnableChainPrefersMeetingSetup) {
  design({0, 100, 299, 300, 400, 500, 600, 700});
  yos_current_interface()->set_uint_data(din, T(12), 3);
  yos_current_interface()->set_uint_data(dout, T(16), 3);
  VELMO_DELAY_CHAIN_OP op(m_env);
  op.build_auto_delay_chain_vec();
  EXPECT_EQ(choose(op, -1, -1, 16), 2u);
  EXPECT_EQ(choose(op, -1, -1, 12), 3u);
  // The bonus only ranks a candidate; the best recorded is its product.
  // From (-200, 295): setting 0 gives (100, -5), -500 plus the bonus;
  // setting 1 then gives (0, -5), product 0, which is the better one.
  EXPECT_EQ(choose(op, -200, 295, 16), 1u);
  // The bonus is 1000: from (-1, -999) setting 2's 0 + 1000 beats 999;
  // from (-1, -1000) it only ties.
  EXPECT_EQ(choose(op, -1, -999, 16), 2u);
  EXPECT_EQ(choose(op, -1, -1000, 16), 3u);
  // A setting that makes a met setup fail pays 1000. From setting 1 at
  // (199, -1200), setting 2 gives (0, -1001), product 0; setting 3 gives
  // (-1, -1000), 1000 less 1000 only ties it; one ps more hold need wins.
  yos_current_interface()->set_uint_data(dout, T(16), 1);
  EXPECT_EQ(choose(op, 199, -1200, 16), 2u);
  EXPECT_EQ(choose(op, 199, -1201, 16), 3u);
  // Setup met from the start (0) earns no bonus: from (0, 100) setting 0
  // gives (100, 0), whose product only ties.
  EXPECT_EQ(choose(op, 0, 100, 16), 1u);
  // Nor does a setting that keeps a met setup: from (199, 1) setting 2's
  // (0, 200) stays below the current product.
  EXPECT_EQ(choose(op, 199, 1, 16), 1u);
}

// Setup records never take a clock pin's pad-to-core chains; hold records
// refuse only chains 12 and 13 (the older list form gives D3_0, 146).
void DelayChainChooserTest::clock_skip(bool flag3) {
  design({0, 1, 2, 3, 4, 5, 6, 7}, flag3, true);
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  kem->set_quick_slack(edge->get_id(), 100);
  ASSERT_TRUE(VELMO_DELAY_CHAIN_OP(m_env).is_clock_source(edge->get_src_node()));
  cfg_set_on("velmo_print_auto_delay_chain_debug_msg");  // the trace of each record and skip
  VELMO_DELAY_CHAIN_OP op(m_env);
  const std::vector<KEM_EDGE*> edges{edge};
  EXPECT_FALSE(op.collect_tsu_slack(&edges, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN));
  EXPECT_EQ(count("****             skipping the pad-to-core path delay chain processing"), 1);
  EXPECT_EQ(op.collect_th_slack(&edges, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, false), flag3);
  EXPECT_EQ(op.get_slack_map().size(), flag3 ? 1u : 0u);
  EXPECT_EQ(count("****             skipping the pad-to-core delay chain processing"), flag3 ? 0 : 1);
  if (flag3) {
    EXPECT_EQ(static_cast<int>(op.get_slack_map().begin()->first.type), 146);
    EXPECT_THAT(host::debug::texts(),
                CallSequence(std::vector<std::string>{"Adding edge:       " + std::to_string(edge->get_id()),
                                                      std::string("       delay type: ") +
                                                          velmo_get_delay_chain_string(T(146)),
                                                      "       th slack:  100"}));
  }
}

TEST_F(DelayChainChooserTest, ClockPinSkipsPadToCoreChain0) { clock_skip(false); }

// Two connections through one pin's chain make one record, which keeps the
// more critical of them (the smaller slack, with its edge) for setup and
// for hold, in whichever order they come.
TEST_F(DelayChainChooserTest, ARecordKeepsTheMostCriticalEdgeOfItsChain) {
  second_core = true;
  design({0, 1, 2, 3, 4, 5, 6, 7});
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  ASSERT_NE(edge2, nullptr);
  ASSERT_NE(edge2, edge);
  kem->set_quick_slack(edge->get_id(), 300);
  kem->set_quick_slack(edge2->get_id(), 100);
  for (const std::vector<KEM_EDGE*>& edges : {std::vector<KEM_EDGE*>{edge, edge2}, std::vector<KEM_EDGE*>{edge2, edge}}) {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.collect_tsu_slack(&edges, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN));
    EXPECT_TRUE(op.collect_th_slack(&edges, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, true));
    ASSERT_EQ(op.get_slack_map().size(), 1u);
    const VELMO_SLACK_INFO* info = op.get_slack_map().begin()->second;
    EXPECT_EQ(info->tsu_slack, 100);
    EXPECT_EQ(info->tsu_edge, edge2);
    EXPECT_EQ(info->th_slack, 100);
    EXPECT_EQ(info->th_edge, edge2);
  }
  // Hold records made without setup ones keep the most critical too.
  const std::vector<KEM_EDGE*> edges{edge, edge2};
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_TRUE(op.collect_th_slack(&edges, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN, false));
  ASSERT_EQ(op.get_slack_map().size(), 1u);
  EXPECT_EQ(op.get_slack_map().begin()->second->th_slack, 100);
  EXPECT_EQ(op.get_slack_map().begin()->second->th_edge, edge2);
}
TEST_F(DelayChainChooserTest, ClockPinKeepsD3HoldRecordsUnderFlag3) { clock_skip(true); }

// Records of one atom after a change of D2 by 30 ps, then copies from D1.
void DelayChainChooserTest::related(bool flag3) {
  design({0, 1, 2, 3, 4, 5, 6, 7}, flag3);
  VELMO_DELAY_CHAIN_OP op(m_env);
  auto& map = op.get_slack_map();
  auto add = [&](int t, std::int32_t tsu, std::int32_t th) {
    auto* info = new VELMO_SLACK_INFO{tsu == NO ? nullptr : edge, th == NO ? nullptr : edge, T(t), tsu, th};
    map[{din, T(t)}] = info;
    return info;
  };
  VELMO_SLACK_INFO* d2 = add(145, 100, 200);
  VELMO_SLACK_INFO* d30 = add(146, 10, 20);
  VELMO_SLACK_INFO* d1 = add(144, NO, 50);
  VELMO_SLACK_INFO* d31 = add(147, 7, 8);
  op.update_slack_info(din, d2, 30);
  EXPECT_EQ(d31->tsu_slack, flag3 ? 37 : 7);
  EXPECT_EQ(d31->th_slack, flag3 ? -22 : 8);
  EXPECT_EQ(d2->tsu_slack, 130);
  EXPECT_EQ(d2->th_slack, 170);
  EXPECT_EQ(d30->tsu_slack, flag3 ? 40 : 10);
  EXPECT_EQ(d30->th_slack, flag3 ? -10 : 20);
  EXPECT_EQ(d1->tsu_slack, NO);  // no value never moves
  EXPECT_EQ(d1->th_slack, flag3 ? 20 : 50);
  // A copy takes a smaller slack with its edge; a larger one only when both
  // name the same edge.
  d1->th_slack = -99;
  op.update_slack_info(din, d1, 0);
  EXPECT_EQ(d30->th_slack, flag3 ? -99 : 20);
  EXPECT_EQ(d30->tsu_slack, flag3 ? 40 : 10);
  d1->th_slack = 500;
  op.update_slack_info(din, d1, 0);
  EXPECT_EQ(d30->th_slack, flag3 ? 500 : 20);
  // An equal slack on another edge is not taken.
  d1->th_edge = out_edge;
  op.update_slack_info(din, d1, 0);
  EXPECT_EQ(d30->th_edge, edge);
  // Nor for setup; so a later, larger slack of that other edge is not
  // copied either.
  d1->tsu_slack = d30->tsu_slack;
  d1->tsu_edge = out_edge;
  op.update_slack_info(din, d1, 0);
  EXPECT_EQ(d30->tsu_edge, edge);
  d1->tsu_slack = 90;
  op.update_slack_info(din, d1, 0);
  EXPECT_EQ(d30->tsu_slack, flag3 ? 40 : 10);
  EXPECT_EQ(d30->tsu_edge, edge);
  // The same edge's larger setup slack is copied.
  d1->tsu_edge = edge;
  op.update_slack_info(din, d1, 0);
  EXPECT_EQ(d30->tsu_slack, flag3 ? 90 : 10);
  // The other family of chains: a change of D5 moves D4 and D6 alike.
  VELMO_SLACK_INFO* d5 = add(152, 100, 200);
  VELMO_SLACK_INFO* d4 = add(148, 0, 0);
  VELMO_SLACK_INFO* d6 = add(153, 1, 2);
  op.update_slack_info(din, d5, 10);
  EXPECT_EQ(d5->tsu_slack, 110);
  EXPECT_EQ(d4->tsu_slack, flag3 ? 10 : 0);
  EXPECT_EQ(d4->th_slack, flag3 ? -10 : 0);
  EXPECT_EQ(d6->tsu_slack, flag3 ? 11 : 1);
  EXPECT_EQ(d6->th_slack, flag3 ? -8 : 2);
  // And a smaller slack of D4 is copied to D5 and D6.
  d4->th_slack = -77;
  op.update_slack_info(din, d4, 0);
  EXPECT_EQ(d5->th_slack, flag3 ? -77 : 190);
  EXPECT_EQ(d6->th_slack, flag3 ? -77 : 2);
  // A change of D6 moves D4 and D5 alike.
  op.update_slack_info(din, d6, 5);
  EXPECT_EQ(d6->tsu_slack, flag3 ? 15 : 6);  // D4 copied its 10 to D5 and D6 above
  EXPECT_EQ(d4->tsu_slack, flag3 ? 15 : 0);
  EXPECT_EQ(d4->th_slack, flag3 ? -82 : -77);
  EXPECT_EQ(d5->tsu_slack, flag3 ? 15 : 110);
  EXPECT_EQ(d5->th_slack, flag3 ? -82 : 190);
  // The last pair moves each other.
  VELMO_SLACK_INFO* d7 = add(154, 0, 0);
  VELMO_SLACK_INFO* d8 = add(155, 0, 0);
  op.update_slack_info(din, d7, 3);
  EXPECT_EQ(d8->tsu_slack, flag3 ? 3 : 0);
  op.update_slack_info(din, d8, 4);
  EXPECT_EQ(d7->tsu_slack, flag3 ? 7 : 3);
  EXPECT_EQ(d7->th_slack, flag3 ? -7 : -3);
}

TEST_F(DelayChainChooserTest, RelatedChainsStayWithoutFlag3) { related(false); }
TEST_F(DelayChainChooserTest, RelatedChainsShiftAndCopyUnderFlag3) { related(true); }

TEST_F(DelayChainChooserTest, FlowSwitchesAndEmptyEdgeLists) {
  design({0, 1, 2, 3, 4, 5, 6, 7});
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.resolve_using_estimate_timing());
    EXPECT_EQ(count("AUTO DELAY CHAIN turned OFF by user"), 1);
  }
  host::hov::set_on(false);
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_FALSE(op.resolve_using_estimate_timing());
    EXPECT_EQ(count("AUTO DELAY CHAIN turned OFF by user"), 1);
  }
  host::hov::set_on(true);
  host::options::set(904, 1, "on");
  // Unconstrained pins have no slack: nothing to collect, nothing written,
  // and the edge filter is gone afterwards.
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_TRUE(op.resolve_using_estimate_timing());
  EXPECT_EQ(count("*******  NO TSU EDGES!!! ********"), 2);
  EXPECT_EQ(count("*******  NO TH EDGES!!! ********"), 2);
  EXPECT_FALSE(hov_get_accessories()->has_sta_edge_filter());
  unsigned v = 0;
  EXPECT_FALSE(yos_current_interface()->get_uint_data(din, T(12), &v));
}

TEST_F(DelayChainChooserTest, SettingPassWritesSkipsAndReportsFailures) {
  design({0, 100, 200, 300, 400, 500, 600, 700});
  VELMO_DELAY_CHAIN_OP op(m_env);
  op.build_auto_delay_chain_vec();
  auto& map = op.get_slack_map();
  // Hold -250 with no setup requirement: setting 3 (300 ps) gives +50.
  map[{din, T(12)}] = new VELMO_SLACK_INFO{nullptr, edge, T(12), NO, -250};
  EXPECT_TRUE(op.process_delay_chain_setting());
  unsigned v = 0;
  ASSERT_TRUE(yos_current_interface()->get_uint_data(din, T(12), &v));
  EXPECT_EQ(v, 7u);  // no setting reaches 2500: the largest hold slack
  EXPECT_EQ((map[{din, T(12)}]->th_slack), 450);
  // A user option or a DQ pin is left alone.
  yos_current_interface()->set_uint_data(din, T(12), 0);
  (map[{din, T(12)}])->th_slack = -250;
  host::options::set(host::dc::moz_variable_of(12), 4, "0", "din");
  EXPECT_TRUE(op.process_delay_chain_setting());
  yos_current_interface()->get_uint_data(din, T(12), &v);
  EXPECT_EQ(v, 0u);
  host::options::unset(host::dc::moz_variable_of(12), "din");
  host::drc::deny(din->get_id(), 24);  // the modification check refuses the pin
  EXPECT_TRUE(op.process_delay_chain_setting());
  yos_current_interface()->get_uint_data(din, T(12), &v);
  EXPECT_EQ(v, 0u);
  host::drc::deny(din->get_id(), 24, 0);
  host::dc::mark_dq(din->get_id());
  EXPECT_TRUE(op.process_delay_chain_setting());
  yos_current_interface()->get_uint_data(din, T(12), &v);
  EXPECT_EQ(v, 0u);
}

}  // namespace

namespace {

class DelayChainChooserFlowTest : public host::testing::EnvTest {};

// A constrained input pin of an older family whose register path fails hold:
// the chooser delays it, and a fresh analysis shows the slacks it predicted.
TEST_F(DelayChainChooserFlowTest, DelaysAFailingInputAndTimingAgrees) {
  host::testing::device(Family::IO_LEGACY).basic_bool_data(77, true).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 2000, clk);
  auto ibuf = n.io_in("din");
  VOK_ATOM_NODE* ireg = n.io_reg("ireg", 396).clk(clk).d(ibuf).atom();
  VOK_ATOM_NODE* din = n.find("din");
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(0, 3, 1, din->get_id()));
  host::timing::set_io_delay(din->get_id(), {"clk", 0, -300});
  n.timing();
  auto edge_slacks = [&] {
    KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
    const KEM_NODE* node = kem->get_kem_node_from_iterm(ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
    const int id = node->begin_fanin();
    return std::pair<int, int>{host::sta::edge_setup_slack(id, 0), host::sta::edge_hold_slack(id, 0)};
  };
  const auto [setup0, hold0] = edge_slacks();
  ASSERT_LT(hold0, 0);
  host::options::set(904, 1, "on");
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::ESTIMATE_TIMING_DELAY_CHAIN));
  unsigned s = 0;
  ASSERT_TRUE(yos_current_interface()->get_uint_data(din, T(15), &s));
  EXPECT_GT(s, 0u);
  EXPECT_FALSE(hov_get_accessories()->has_sta_edge_filter());
  // 55 ps per setting on a horizontal pad.
  m_env->indicate_that_atom_netlist_is_modified(din->get_id(), false, false);
  m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  const auto [setup1, hold1] = edge_slacks();
  EXPECT_EQ(setup1, setup0 - 55 * static_cast<int>(s));
  EXPECT_EQ(hold1, hold0 + 55 * static_cast<int>(s));
  // With hold records found, a write that fails fails the step.
  host::dc::fail_writes(din->get_id(), 15);
  VELMO_DELAY_CHAIN_OP again(m_env);
  EXPECT_FALSE(again.work(VELMO_DELAY_CHAIN_OP::ESTIMATE_TIMING_DELAY_CHAIN));
}

// On a newer family the older list form names chains of the earlier I/O
// atoms (D2, D3_0) that the device does not have: the chooser leaves them
// alone rather than writing them onto the pin.
TEST_F(DelayChainChooserFlowTest, ChainsTheDeviceLacksAreNotWritten) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 2000, clk);
  auto ibuf = n.io_in("din");
  VOK_ATOM_NODE* core = n.lut("core", {ibuf}, 0x2).atom();
  core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 0);
  n.reg("r").clk(clk).d(core);
  VOK_ATOM_NODE* din = n.find("din");
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(0, 3, 1, din->get_id()));
  host::timing::set_io_delay(din->get_id(), {"clk", 0, -300});
  n.timing();
  host::options::set(904, 1, "on");
  VELMO_DELAY_CHAIN_OP op(m_env);
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::ESTIMATE_TIMING_DELAY_CHAIN));
  EXPECT_EQ(op.get_delay_chain_info(T(145)), nullptr);
  EXPECT_EQ(op.get_delay_chain_info(T(146)), nullptr);
  unsigned v = 0;
  for (int t : {144, 145, 146, 147}) EXPECT_FALSE(yos_current_interface()->get_uint_data(din, T(t), &v)) << t;
  EXPECT_FALSE(hov_get_accessories()->has_sta_edge_filter());
}

}  // namespace

namespace {

// The timed entry: how it requests timing per family trait and mode flag, and
// the time file it appends to whether or not the switch is on.
TEST_F(DelayChainChooserFlowTest, TimedEntryRequestsTimingByFamilyAndWritesTheTimeFile) {
  cfg_set_on("velmo_write_auto_delay_chain_time_file");
  cfg_set_on("velmo_delay_chain_atom_dump");  // the atoms are dumped at the end, switch on or off
  host::options::set(904, 1, "on");
  host::testing::device(Family::IO_LEGACY).build();  // trait 158
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.resolve_using_timing_req());
  }
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 3, 5, true, false, true, false, null",
                  "CMP_FACADE::update_timing(true)", "ZEL_ATOM_DUMPER::dump_current_atom_netlist"}));
  EXPECT_EQ(host::call_count("wexan_re_annotate_delay_with_full_routing_information"), 0);
  host::clear_calls();
  host::testing::device(Family::KY).build();  // no trait 158: re-annotated first
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.resolve_using_timing_req());
  }
  EXPECT_THAT(host::call_lines(),
              CallSequence(std::vector<std::string>{
                  "wexan_re_annotate_delay_with_full_routing_information(true)",
                  "WEXAN_ENV::get_hov_utility_or_create_if_necessary(0, 2, 5, true, false, true, false, null",
                  "CMP_FACADE::update_timing(true)"}));
  host::options::set(904, 1, "off");
  {
    VELMO_DELAY_CHAIN_OP op(m_env);
    EXPECT_TRUE(op.resolve_using_timing_req());
  }
  EXPECT_EQ(host::call_count("ZEL_ATOM_DUMPER::dump_current_atom_netlist"), 2);
  std::ifstream in("auto_delay_time");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "Time spent in AUTO DELAY CHAIN: 0Time spent in AUTO DELAY CHAIN: 0Time spent in AUTO DELAY CHAIN: 0");
  EXPECT_THAT(host::debug::texts(), HasDebugLine("AUTO DELAY CHAIN: finishes in 00:00:00 (single-corner optimization)"));
}

// A PLL-compensated input keeps its input-register chain: info 16160 when
// its requirements are met, warning 16161 when one fails.
TEST_F(DelayChainChooserFlowTest, PllCompensatedPinsKeepTheirSetting) {
  host::testing::device(Family::IO_LEGACY).basic_bool_data(77, true).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto ibuf = n.io_in("din");
  VOK_ATOM_NODE* ireg = n.io_reg("ireg", 396).clk(clk).d(ibuf).atom();
  auto pll = n.atom(VOK_ATOM_KIND::IOPLL, "pll").input(DB_INPUT_PORT_PLL_REFCLK, 0, ibuf);
  pll->set_parameter(VOK_PARAMETER_TYPE::UINT, 9000, 2);
  VOK_ATOM_NODE* din = n.find("din");
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(0, 3, 1, din->get_id()));
  // Two more inputs on their own registers: "mate" is paired with the
  // compensated pin, "lone" with a pin no PLL compensates.
  VOK_ATOM_NODE* mate_reg = n.io_reg("mate_reg", 396).clk(clk).d(n.io_in("mate")).atom();
  VOK_ATOM_NODE* lone_reg = n.io_reg("lone_reg", 396).clk(clk).d(n.io_in("lone")).atom();
  n.io_in("lone_mate");
  VOK_ATOM_NODE* mate = n.find("mate");
  VOK_ATOM_NODE* lone = n.find("lone");
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(0, 4, 1, mate->get_id()));
  ASSERT_TRUE(m_env->get_device()->place_atom_at_sub_location(0, 5, 1, lone->get_id()));
  host::dc::pair(mate->get_id(), din->get_id());
  host::dc::pair(lone->get_id(), n.find("lone_mate")->get_id());
  n.timing();
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  auto data_in_edge = [&](VOK_ATOM_NODE* reg) {
    return kem->get_edge(kem->get_kem_node_from_iterm(reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0))->begin_fanin());
  };
  KEM_EDGE* edge = data_in_edge(ireg);
  VELMO_DELAY_CHAIN_OP op(m_env);
  op.build_auto_delay_chain_vec();
  auto& map = op.get_slack_map();
  map[{din, T(15)}] = new VELMO_SLACK_INFO{nullptr, edge, T(15), NO, 100};
  EXPECT_TRUE(op.process_delay_chain_setting());
  map[{din, T(15)}]->th_slack = -100;
  EXPECT_TRUE(op.process_delay_chain_setting());
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::DUMP_ATOMS));  // posts the queue
  const auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].id, 16160u);
  EXPECT_EQ(posted[1].id, 16161u);
  unsigned v = 0;
  EXPECT_FALSE(yos_current_interface()->get_uint_data(din, T(15), &v));
  EXPECT_EQ((map[{din, T(15)}]->th_slack), -100);  // not updated
  // A setup slack of exactly 0 is met: info, not the warning.
  yos_current_interface()->set_uint_data(din, T(15), 3);
  map[{din, T(15)}]->tsu_slack = 0;
  map[{din, T(15)}]->th_slack = NO;
  EXPECT_TRUE(op.process_delay_chain_setting());
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::DUMP_ATOMS));
  const auto again = host::messages::posted();
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again[2].id, 16160u);
  // So is a hold slack of exactly 0; with no requirement the setting is
  // already the best and nothing is said.
  map[{din, T(15)}]->tsu_slack = NO;
  map[{din, T(15)}]->th_slack = 0;
  EXPECT_TRUE(op.process_delay_chain_setting());
  map[{din, T(15)}]->th_slack = NO;
  EXPECT_TRUE(op.process_delay_chain_setting());
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::DUMP_ATOMS));
  const auto last = host::messages::posted();
  ASSERT_EQ(last.size(), 4u);
  EXPECT_EQ(last[3].id, 16160u);
  // Only the input-register chain is kept: the pin's pad-to-core chain is
  // set as on any pin.
  map[{din, T(12)}] = new VELMO_SLACK_INFO{nullptr, edge, T(12), NO, -3000};
  EXPECT_TRUE(op.process_delay_chain_setting());
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::DUMP_ATOMS));
  EXPECT_EQ(host::messages::posted().size(), 4u);
  EXPECT_TRUE(yos_current_interface()->get_uint_data(din, T(12), &v));
  // A pin paired with a compensated one keeps its input-register chain too;
  // a pair that no PLL compensates is set as any pin.
  map[{mate, T(15)}] = new VELMO_SLACK_INFO{nullptr, data_in_edge(mate_reg), T(15), NO, -3000};
  map[{lone, T(15)}] = new VELMO_SLACK_INFO{nullptr, data_in_edge(lone_reg), T(15), NO, -3000};
  EXPECT_TRUE(op.process_delay_chain_setting());
  EXPECT_TRUE(op.work(VELMO_DELAY_CHAIN_OP::DUMP_ATOMS));
  const auto paired = host::messages::posted();
  ASSERT_EQ(paired.size(), 5u);
  EXPECT_EQ(paired[4].id, 16161u);
  EXPECT_NE(paired[4].text.find("mate"), std::string::npos) << paired[4].text;
  EXPECT_FALSE(yos_current_interface()->get_uint_data(mate, T(15), &v));
  EXPECT_TRUE(yos_current_interface()->get_uint_data(lone, T(15), &v));
}

}  // namespace
