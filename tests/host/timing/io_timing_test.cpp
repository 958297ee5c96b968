// I/O paths in the stand-in analysis: input and output delays relative to a
// clock, and the delay chains of pins on the edges they act on.
#include <gtest/gtest.h>

#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/timing_builder.h"
#include "wexan/wexan_env.h"
#include "yos/yos_interface.h"

namespace {

class IoTimingTest : public host::testing::EnvTest {
protected:
  // din -> ireg (I/O input register) -> q -> dout, all on clock clk (2 ns).
  void SetUp() override {
    EnvTest::SetUp();
    host::testing::device(host::testing::Family::KY).build();
    auto n = host::testing::netlist();
    auto clk = n.input_port("clk");
    n.clock("clk", 2000, clk);
    auto ibuf = n.io_in("din");
    ireg = n.io_reg("ireg", 396).clk(clk).d(ibuf).atom();
    q = n.reg("q").clk(clk).d(ireg).atom();
    n.io_out("dout", q);
    din = n.find("din");
    dout = n.find("dout");
    obuf = n.find("dout~obuf");
  }
  void analyse() {
    m_env->indicate_that_atom_netlist_is_modified();
    m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  }
  void update() { m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false); }
  const KEM_EDGE* into(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type) const {
    KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
    const KEM_NODE* node = kem->get_kem_node_from_iterm(atom->get_input_term_by_type(type, 0));
    return kem->get_edge(node->begin_fanin());
  }
  const KEM_EDGE* in_edge() const { return into(ireg, DB_INPUT_PORT_DATA_IN); }
  const KEM_EDGE* out_edge() const { return into(obuf, DB_INPUT_PORT_BOX); }
  static int setup(const KEM_EDGE* e, int corner) { return host::sta::edge_setup_slack(e->get_id(), corner); }
  static int hold(const KEM_EDGE* e, int corner) { return host::sta::edge_hold_slack(e->get_id(), corner); }
  VOK_ATOM_NODE *din = nullptr, *dout = nullptr, *ireg = nullptr, *obuf = nullptr, *q = nullptr;
};

TEST_F(IoTimingTest, ConstrainedPinsTakePartInTheirClocksDomain) {
  analyse();
  for (int c : {0, 1}) {
    EXPECT_EQ(setup(in_edge(), c), KEM_NO_SLACK);  // unconstrained: unclocked
    EXPECT_EQ(setup(out_edge(), c), KEM_NO_SLACK);
  }
  host::timing::set_io_delay(din->get_id(), {"clk", 300, 100});
  host::timing::set_io_delay(dout->get_id(), {"clk", 400, 50});
  analyse();
  int in_setup[2], in_hold[2], out_setup[2], out_hold[2];
  for (int c : {0, 1}) {
    in_setup[c] = setup(in_edge(), c);
    in_hold[c] = hold(in_edge(), c);
    out_setup[c] = setup(out_edge(), c);
    out_hold[c] = hold(out_edge(), c);
    ASSERT_NE(in_setup[c], KEM_NO_SLACK);
    ASSERT_NE(in_hold[c], KEM_NO_SLACK);
    ASSERT_NE(out_setup[c], KEM_NO_SLACK);
    ASSERT_NE(out_hold[c], KEM_NO_SLACK);
  }
  // Each delay moves its slacks by exactly its change, at both corners.
  host::timing::set_io_delay(din->get_id(), {"clk", 500, 0});
  host::timing::set_io_delay(dout->get_id(), {"clk", 600, 150});
  analyse();
  for (int c : {0, 1}) {
    EXPECT_EQ(setup(in_edge(), c), in_setup[c] - 200) << c;
    EXPECT_EQ(hold(in_edge(), c), in_hold[c] - 100) << c;
    EXPECT_EQ(setup(out_edge(), c), out_setup[c] - 200) << c;
    EXPECT_EQ(hold(out_edge(), c), out_hold[c] + 100) << c;
  }
  // A clock nobody declared leaves the pin unclocked.
  host::timing::set_io_delay(dout->get_id(), {"other", 600, 150});
  analyse();
  EXPECT_EQ(setup(out_edge(), 0), KEM_NO_SLACK);
}

TEST_F(IoTimingTest, ChainSettingsMoveExactlyTheirEdges) {
  host::timing::set_io_delay(din->get_id(), {"clk", 300, 100});
  host::timing::set_io_delay(dout->get_id(), {"clk", 400, 50});
  analyse();
  const KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  int in_delay[2], out_delay[2], in_setup[2], in_hold[2], out_setup[2];
  for (int c : {0, 1}) {
    in_delay[c] = kem->get_edge_delay_ps(*in_edge(), c);
    out_delay[c] = kem->get_edge_delay_ps(*out_edge(), c);
    in_setup[c] = setup(in_edge(), c);
    in_hold[c] = hold(in_edge(), c);
    out_setup[c] = setup(out_edge(), c);
  }
  // Chain 446 at setting 3: 216 ps slow, 3 x 72 x 0.76 = 164 ps fast; the
  // output edge does not move. The taint on the pin reaches its buffer, so
  // the incremental update (checked against a full analysis) sees it.
  // Only the edges out of the input buffer and into the output buffer are
  // marked, when made, as able to carry a chain; the chain's delay follows
  // the setting at once, read on the delay read (no rebuild in between).
  EXPECT_TRUE(in_edge()->may_carry_chain());
  EXPECT_TRUE(out_edge()->may_carry_chain());
  EXPECT_FALSE(into(q, DB_INPUT_PORT_DATA_IN)->may_carry_chain());
  EXPECT_FALSE(into(ireg, DB_INPUT_PORT_CLK)->may_carry_chain());
  yos_current_interface()->set_uint_data(din, static_cast<YOS_UINT_DATA_ENUM>(446), 3);
  const int added[2] = {216, 164};
  for (int c : {0, 1}) EXPECT_EQ(kem->get_edge_delay_ps(*in_edge(), c), in_delay[c] + added[c]) << c;
  m_env->indicate_that_atom_netlist_is_modified(din->get_id(), false, false);
  update();
  kem = hov_get_accessories()->get_kem_netlist();
  for (int c : {0, 1}) {
    EXPECT_EQ(kem->get_edge_delay_ps(*in_edge(), c), in_delay[c] + added[c]) << c;
    EXPECT_EQ(kem->get_edge_delay_ps(*out_edge(), c), out_delay[c]) << c;
    EXPECT_EQ(setup(in_edge(), c), in_setup[c] - added[c]) << c;
    EXPECT_EQ(hold(in_edge(), c), in_hold[c] + added[c]) << c;
  }
  // Chain 430 of the output pin: 5 x 72 = 360 ps slow.
  yos_current_interface()->set_uint_data(dout, static_cast<YOS_UINT_DATA_ENUM>(430), 5);
  m_env->indicate_that_atom_netlist_is_modified(dout->get_id(), false, false);
  update();
  kem = hov_get_accessories()->get_kem_netlist();
  EXPECT_EQ(kem->get_edge_delay_ps(*out_edge(), 0), out_delay[0] + 360);
  EXPECT_EQ(setup(out_edge(), 0), out_setup[0] - 360);
}

// A path from pin to pin, without a cell: the input pin is the design's
// first node and its connection the first edge. The analysis after a stage
// keeps its results when nothing moved, and follows a moved input delay and
// a delay annotated on the connection without a whole analysis (each update
// checked against a full one).
using host::testing::HostTest;
TEST_F(HostTest, APinToPinPathFollowsItsInputDelayAndItsConnectionAfterAStage) {
  host::testing::device(host::testing::Family::KY).build();
  auto n = host::testing::netlist();
  auto din = n.input_port("din");
  auto clk = n.input_port("clk");
  n.clock("clk", 2000, clk);
  VOK_ATOM_NODE* dout = n.output_port("dout", din).atom();
  host::timing::set_io_delay(n.find("din")->get_id(), {"clk", 300, 100});
  host::timing::set_io_delay(dout->get_id(), {"clk", 400, 50});
  n.timing();
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  ASSERT_EQ(kem->get_node(0), kem->get_kem_node_from_oterm(din.oterm));
  ASSERT_EQ(kem->get_edge_count(), 1);
  const KEM_EDGE* edge = kem->get_edge(0);
  ASSERT_EQ(edge->get_dst_node()->get_iterm(), dout->get_iterm_slot(0));
  const int setup = host::sta::edge_setup_slack(0, 0), hold = host::sta::edge_hold_slack(0, 0);
  ASSERT_NE(setup, KEM_NO_SLACK);
  ASSERT_NE(hold, KEM_NO_SLACK);
  const int fulls = host::sta::full_analysis_count(), updates = host::sta::incremental_update_count();
  sta_update_timing_after_stage(true);  // nothing moved
  EXPECT_EQ(host::sta::incremental_update_count(), updates);
  host::timing::set_io_delay(n.find("din")->get_id(), {"clk", 500, 0});
  sta_update_timing_after_stage(true);
  EXPECT_EQ(host::sta::edge_setup_slack(0, 0), setup - 200);
  EXPECT_EQ(host::sta::edge_hold_slack(0, 0), hold - 100);
  const int delay = kem->get_edge_delay_ps(*edge, 0);
  host::kem::annotate_iterm_delay(dout->get_iterm_slot(0), delay + 150, delay + 150);
  sta_update_timing_after_stage(true);
  EXPECT_EQ(host::sta::edge_setup_slack(0, 0), setup - 200 - 150);
  EXPECT_EQ(host::sta::full_analysis_count(), fulls);
  EXPECT_EQ(host::sta::incremental_update_count(), updates + 2);
}

}  // namespace
