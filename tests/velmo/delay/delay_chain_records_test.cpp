// Which chains the single-corner chooser records for an edge, the DDIO input
// path of the single-type chooser, and edge records after the timing netlist
// was rebuilt.
#include <vector>

#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "msg/msg_internal_error.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/io_delay_scene.h"
#include "testing/netlist_builder.h"
#include "velmo_delay_chain_op.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

using host::testing::Family;

namespace {

constexpr std::int32_t NO = static_cast<std::int32_t>(0x80000001u);
constexpr auto P2C = VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN;
YOS_UINT_DATA_ENUM T(int t) { return static_cast<YOS_UINT_DATA_ENUM>(t); }

class DelayChainRecordsTest : public host::testing::EnvTest {
protected:
  // An older family with the newer edge form (item 77): the clock pin "din"
  // feeds an I/O input register (chain 15) and a LUT through pad-to-core
  // chain 0 (12); the plain pin "din2" feeds another LUT through its chain 0.
  void design() {
    host::testing::device(Family::IO_LEGACY).basic_bool_data(77, true).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    auto ibuf = n.io_in("din");
    VOK_ATOM_NODE* ireg = n.io_reg("ireg", 396).clk(clk).d(ibuf).atom();
    VOK_ATOM_NODE* core = n.lut("core", {ibuf}, 0x2).atom();
    VOK_ATOM_NODE* core2 = n.lut("core2", {n.io_in("din2")}, 0x2).atom();
    for (VOK_ATOM_NODE* lut : {core, core2})
      lut->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0)->set_delay_chain_connection(8, 0);
    n.io_out("dout", core);
    n.io_out("dout2", core2);
    n.clock("dinclk", 2000, host::testing::SIG(n.find("din")));
    din = n.find("din");
    din2 = n.find("din2");
    n.timing();
    kem = hov_get_accessories()->get_kem_netlist();
    to_reg = into(ireg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0));
    to_core = into(core->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
    to_core2 = into(core2->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  }
  KEM_EDGE* into(const VOK_ATOM_ITERM* t) const { return kem->get_edge(kem->get_kem_node_from_iterm(t)->begin_fanin()); }
  void slacks(std::int32_t reg, std::int32_t lut, std::int32_t lut2) const {
    kem->set_quick_slack(to_reg->get_id(), reg);
    kem->set_quick_slack(to_core->get_id(), lut);
    kem->set_quick_slack(to_core2->get_id(), lut2);
  }
  static const VELMO_SLACK_INFO* record(VELMO_DELAY_CHAIN_OP& op, VOK_ATOM_NODE* atom, int type) {
    const auto it = op.get_slack_map().find({atom, T(type)});
    return it == op.get_slack_map().end() ? nullptr : it->second;
  }
  KEM_NETLIST* kem = nullptr;
  VOK_ATOM_NODE *din = nullptr, *din2 = nullptr;
  KEM_EDGE *to_reg = nullptr, *to_core = nullptr, *to_core2 = nullptr;
};

// A clock pin keeps out of the setup records only its pad-to-core chains: its
// input-register chain is recorded like any pin's. Hold slacks found after a
// setup pass go to the setup records, and a chain that has no setup record
// gets a hold record of its own.
TEST_F(DelayChainRecordsTest, ClockPinsLoseOnlyPadToCoreChainsAndHoldFillsWhatSetupLeft) {
  design();
  VELMO_DELAY_CHAIN_OP op(m_env);
  ASSERT_TRUE(op.is_clock_source(to_reg->get_src_node()));
  ASSERT_FALSE(op.is_clock_source(to_core2->get_src_node()));
  slacks(400, 300, 200);
  const std::vector<KEM_EDGE*> clock_edges{to_reg, to_core};
  EXPECT_TRUE(op.collect_tsu_slack(&clock_edges, P2C));
  ASSERT_EQ(op.get_slack_map().size(), 1u);
  const VELMO_SLACK_INFO* reg = record(op, din, 15);
  ASSERT_NE(reg, nullptr);
  EXPECT_EQ(reg->tsu_edge, to_reg);
  EXPECT_EQ(reg->tsu_slack, 400);
  EXPECT_EQ(reg->th_slack, NO);

  // The hold analysis: the plain pin's chain had no setup edge in this pass.
  slacks(-30, -20, -10);
  const std::vector<KEM_EDGE*> all{to_reg, to_core, to_core2};
  EXPECT_TRUE(op.collect_th_slack(&all, P2C, true));
  EXPECT_EQ(op.get_slack_map().size(), 2u);
  EXPECT_EQ(reg->th_edge, to_reg);
  EXPECT_EQ(reg->th_slack, -30);
  EXPECT_EQ(reg->tsu_slack, 400);
  EXPECT_EQ(record(op, din, 12), nullptr);  // the clock pin's pad-to-core chain
  const VELMO_SLACK_INFO* plain = record(op, din2, 12);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->th_edge, to_core2);
  EXPECT_EQ(plain->th_slack, -10);
  EXPECT_EQ(plain->tsu_edge, nullptr);
  EXPECT_EQ(plain->tsu_slack, NO);
}

// The DDIO input path (item 119): an edge from a DDIO input's data input to
// its buried register output takes a chain only when that input is used as
// the DDIO data input (20) and the output as a register output (510, 511).
// A chain taken there is looked up on the DDIO atom, which carries none in
// this host, so taking one shows as "atom != 0".
TEST_F(DelayChainRecordsTest, DdioInputPathNeedsItsDataInputBuriedRegisterAndRegisterOutput) {
  host::testing::device(Family::code(30)).basic_bool_data(77, true).basic_bool_data(119, true).build();
  auto n = host::testing::netlist();
  auto clk = n.input_port("clk");
  auto ddio = n.atom(VOK_ATOM_KIND::COMB_CELL, "ddio").input(DB_INPUT_PORT_BOX, 0, n.io_in("din"));
  VOK_ATOM_NODE* atom = ddio.atom();
  atom->set_io_roles(VOK_ATOM_NODE::IO_ROLE_DDIO_IN | VOK_ATOM_NODE::IO_ROLE_BURIED_IO_REGISTER);
  n.reg("r").clk(clk).d(ddio);
  n.clock("clk", 2000, clk);
  n.timing();
  kem = hov_get_accessories()->get_kem_netlist();
  VOK_ATOM_ITERM* data = atom->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
  VOK_ATOM_OTERM* out = atom->get_oterm_slot(0);
  const KEM_NODE* in_node = kem->get_kem_node_from_iterm(data);
  KEM_EDGE* through = nullptr;
  for (int id = in_node->begin_fanout(); id != -1 && through == nullptr;) {
    KEM_EDGE* e = kem->get_edge(id);
    if (e->get_dst_node() != nullptr && e->get_dst_node()->get_oterm() == out) through = e;
    id = e->get_next_fanout();
  }
  ASSERT_NE(through, nullptr);
  ASSERT_TRUE(through->get_dst_node()->is_buried_io_register());
  auto takes_a_chain = [&] {
    VELMO_DELAY_CHAIN_OP op(m_env);
    try {
      return op.get_pin_to_core_delay_chain_type(through) != VELMO_NO_DELAY_CHAIN;
    } catch (const HOST_INTERNAL_ERROR& e) {
      EXPECT_EQ(e.condition, "atom != 0");
      return true;
    }
  };
  data->set_usage(20);
  for (int usage : {510, 511}) {
    out->set_usage(usage);
    EXPECT_TRUE(takes_a_chain()) << usage;
  }
  out->set_usage(9);
  EXPECT_FALSE(takes_a_chain());
  out->set_usage(510);
  for (int usage : {9, 22, 68}) {
    data->set_usage(usage);
    EXPECT_FALSE(takes_a_chain()) << usage;
  }
  data->set_usage(20);
  atom->set_io_roles(VOK_ATOM_NODE::IO_ROLE_BURIED_IO_REGISTER);  // not a DDIO input
  EXPECT_FALSE(takes_a_chain());
}

// After the host rebuilt the timing netlist every id names its new edge,
// the first and the last id of the netlist included.
TEST_F(DelayChainRecordsTest, RebuiltNetlistGivesEveryIdItsNewEdge) {
  host::testing::device(Family::KY).build();
  const auto sc = host::testing::scenes::io_delay_chains();
  VELMO_DELAY_CHAIN_OP op(m_env);
  op.init_kem_edges_for_processing(hov_get_accessories(), false);
  ASSERT_FALSE(op.get_pin_to_core_edge_ids().empty());
  kem = hov_get_accessories()->get_kem_netlist();
  const int last = kem->get_edge_count() - 1;
  ASSERT_NE(kem->get_edge(0), nullptr);
  ASSERT_NE(kem->get_edge(last), nullptr);
  auto& records = op.get_pll_delay_chain_edges();
  records[0] = PLL_AFFECTED_KEM_EDGE{kem->get_edge(0), {sc.din}, {0}};
  records[last] = PLL_AFFECTED_KEM_EDGE{kem->get_edge(last), {sc.din}, {0}};
  m_env->indicate_that_atom_netlist_is_modified();
  m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  kem = hov_get_accessories()->get_kem_netlist();
  ASSERT_EQ(kem->get_edge_count() - 1, last);
  op.rebuild_kem_edges_for_processing();
  EXPECT_EQ(records[0].edge, kem->get_edge(0));
  EXPECT_EQ(records[last].edge, kem->get_edge(last));
  const auto& ids = op.get_pin_to_core_edge_ids();
  ASSERT_EQ(op.get_pin_to_core_edges().size(), ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(op.get_pin_to_core_edges()[i], kem->get_edge(ids[i])) << ids[i];
}

}  // namespace
