// The register queue with registers the retimer keeps no object for, and
// the queue's internal errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "irtm_fixture.h"
#include "testing/design_builder.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "testing/timing_builder.h"
#include "velmo_irtm_test.h"

namespace {

using namespace host::testing;

// A register failing by a fixed slack, whatever the analysis says.
class FAILING_FF : public IRTM_FF {
public:
  FAILING_FF(VOK_ATOM_NODE* atom, int slack) : IRTM_FF(atom), m_slack(slack) {}
  bool update_slack(bool full) override {
    if (m_deleted || !full) return IRTM_FF::update_slack(full);
    m_data_slack = m_slack;
    m_output_slack = 10;
    return true;
  }
  int m_slack;
};

class QueueRulesTest : public velmo_test::IrtmFixture {};

// The factory has no object for some registers (the retimer's makes none
// for an unplaced one): they are neither queued nor in the way of the
// others, at the first fill and when they change.
TEST_F(QueueRulesTest, RegistersWithoutAnObjectStayOutOfTheQueue) {
  device(Family::KY).build();
  NETLIST_BUILDER n(netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  std::vector<VOK_ATOM_NODE*> regs;
  for (int i = 0; i < 4; ++i) {
    auto r = n.reg("r" + std::to_string(i)).clk(clk).d(n.input_port("in" + std::to_string(i)));
    n.reg("s" + std::to_string(i)).clk(clk).d(r);
    regs.push_back(r);
  }
  n.timing();
  make_util(KEM_MANAGER::get()->get_kem_netlist());
  std::map<int, std::unique_ptr<FAILING_FF>> ffs;
  const VOK_ATOM_NODE* without = regs[1];
  IRTM_FF_QUEUE queue;
  queue.set_factory([&](VOK_ATOM_NODE* a) -> IRTM_FF* {
    if (a == without) return nullptr;
    auto& ff = ffs[a->get_id()];
    const bool failing = std::find(regs.begin(), regs.end(), a) != regs.end();
    if (!ff) ff = std::make_unique<FAILING_FF>(a, failing ? -10 - a->get_id() : 5);
    return ff.get();
  });
  const HOV_INCR_WNS_DOMAIN domain{0, 0, 0, 0};
  queue.initialize(&domain);
  std::vector<VOK_ATOM_NODE*> queued;
  for (const IRTM_FF* ff : queue.m_ff_list) queued.push_back(ff->get_atom());
  EXPECT_EQ(queued, (std::vector<VOK_ATOM_NODE*>{regs[3], regs[2], regs[0]}));
  std::vector<VOK_ATOM_NODE*> changed{regs[1], regs[0]};
  EXPECT_TRUE(queue.update(&changed, true));
  EXPECT_EQ(queue.m_ff_list.size(), 3u);
  EXPECT_EQ(queue.m_ff_to_iter.count(static_cast<std::uint32_t>(regs[1]->get_id())), 0u);

  // A broken list is reported as the retimer's own internal error.
  const auto e = expect_internal_error([&] { queue.remove_ff(queue.m_ff_list.end()); });
  EXPECT_EQ(e.tag, "VELMO");
  EXPECT_EQ(e.file, "velmo_irtm_test_queue");
}

// A changed register's feeders are found through the logic in front of it,
// whatever place that logic's edges hold in the timing netlist (here the
// very first: the LUT is the first cell made).
TEST_F(QueueRulesTest, FeedersThroughTheFirstCellOfTheTimingNetlistAreFound) {
  device(Family::KY).build();
  NETLIST_BUILDER n(netlist());
  SIG clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  auto l = n.lut("l", {n.input_port("a")}, [](const LUT_INPUTS& x) { return !x[0]; });
  auto g = n.reg("g").clk(clk).d(n.input_port("b"));
  VOK_ATOM_ITERM* l_in = l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0);
  l_in->disconnect_from_source(VOK_NET_ITERM::OPEN);
  vok_connect(g->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), l_in);
  auto c = n.reg("c").clk(clk).d(l);
  place_at(l, 2, 2, 0);
  place_at(g, 2, 2, 1);
  place_at(c, 2, 2, 2);
  n.timing();
  make_util(KEM_MANAGER::get()->get_kem_netlist());
  ASSERT_EQ(util->get_kem_netlist()->get_edge(0)->get_dst_node()->get_atom(), l.atom());
  FF_CHANGE_MANAGER tracker(util->get_kem_netlist());
  sta_incr_track_changed_flops(true, true);
  sta_incr_reset_changed_flops();
  c->set_location(site_gid(5, 5, 1), 643);
  env->indicate_that_atom_netlist_is_modified(c->get_id());
  sta_increm_update_timing();
  EXPECT_EQ(*tracker.get_changed_flops(false, true), (std::vector<VOK_ATOM_NODE*>{g}));
  tracker.reset();
  sta_incr_reset_changed_flops();
}

}  // namespace
