// The local routing annotator's note of used wires: annotators built on one
// routing state share it, and an edit of the routing is seen by the next
// annotator built but never changes the note of one built before.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "cmp/cmp_facade.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/timing_builder.h"
#include "tibex/tibex_vpr_facade.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "xab/xab_local_routing_annotator.h"

namespace {

using namespace host::testing;

class LocalRoutingAnnotatorTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    device(Family::KY).build();
    env = new WEXAN_ENV(CMP_FACADE::current(), 0, nolt_device_factory_fn);
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    const SIG clk = n->io_in("clk");
    n->clock("clk", 4000, clk);
    // Far apart, so the connection runs over several wires.
    const SIG a = n->reg("a").clk(clk).d(n->io_in("in")).placed(site_gid(2, 2, 1), 643);
    b = n->reg("b").clk(clk).d(a).placed(site_gid(9, 7, 1), 643);
    n->io_out("out", b);
    TIBEX_VPR_FACADE f;
    ASSERT_TRUE(f.place());
    ASSERT_TRUE(f.route());
    routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
    routing->attach_atom_netlist(host::vok::top_netlist(), 1);
    iterm = b->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  }
  void TearDown() override {
    delete env;
    HostTest::TearDown();
  }
  XAB_LOCAL_ROUTING_ANNOTATOR annotator() const {
    return XAB_LOCAL_ROUTING_ANNOTATOR(VOK_CHIP_DB_ENTRY::current(), KEM_TIMING_MODEL(1, 0, 900, 100),
                                       CMP_FACADE::current());
  }
  std::vector<XAB_DANGLING_RE_DELAY> candidates(const XAB_LOCAL_ROUTING_ANNOTATOR& x) const {
    std::vector<XAB_DANGLING_RE_DELAY> out;
    x.find_dangling_routes_to_increase_iterm_delay(out, iterm, -1.0);
    return out;
  }
  static bool lists(const std::vector<XAB_DANGLING_RE_DELAY>& list, unsigned gid) {
    return std::any_of(list.begin(), list.end(), [&](const XAB_DANGLING_RE_DELAY& c) { return c.stub_gid == gid; });
  }
  std::unique_ptr<NETLIST_BUILDER> n;
  WEXAN_ENV* env = nullptr;
  VOK_ATOM_NODE* b = nullptr;
  VOK_ATOM_ITERM* iterm = nullptr;
  VOK_RE_ROUTING* routing = nullptr;
};

TEST_F(LocalRoutingAnnotatorTest, EachAnnotatorKeepsTheUsedWiresOfItsOwnBuild) {
  const XAB_LOCAL_ROUTING_ANNOTATOR first = annotator();
  const XAB_LOCAL_ROUTING_ANNOTATOR second = annotator();
  const auto from_first = candidates(first);
  ASSERT_GE(from_first.size(), 2u);
  // Built on one routing state, the two propose the same stubs, and one's
  // search leaves nothing behind for the other.
  const auto from_second = candidates(second);
  ASSERT_EQ(from_second.size(), from_first.size());
  for (std::size_t i = 0; i < from_first.size(); ++i) {
    EXPECT_EQ(from_second[i].stub_gid, from_first[i].stub_gid);
    EXPECT_EQ(from_second[i].rise, from_first[i].rise);
  }

  // The first stub is attached (as the fix does) and a third annotator is
  // built: it sees the stub as used and its load on the path.
  const XAB_DANGLING_RE_DELAY taken = from_first[0];
  routing->bump_change_counter();
  const int stub_node = routing->append_child(taken.node, taken.stub_gid & 0x7FFFFFFFu);
  const XAB_LOCAL_ROUTING_ANNOTATOR third = annotator();
  const auto from_third = candidates(third);
  EXPECT_FALSE(lists(from_third, taken.stub_gid));
  ASSERT_FALSE(from_third.empty());
  EXPECT_EQ(from_third[0].stub_gid, from_first[1].stub_gid);

  // The annotators built before keep their own note: the later build did not
  // change it.
  EXPECT_TRUE(lists(candidates(first), taken.stub_gid));
  EXPECT_TRUE(lists(candidates(second), taken.stub_gid));
  EXPECT_FALSE(lists(candidates(third), taken.stub_gid));

  // Removing the stub again (no change count) is seen by the next one too.
  routing->erase(stub_node);
  EXPECT_TRUE(lists(candidates(annotator()), taken.stub_gid));
}

TEST_F(LocalRoutingAnnotatorTest, AnEditMadeAfterTheLastAnnotatorIsGoneIsSeenByTheNext) {
  const auto before = candidates(annotator());
  ASSERT_FALSE(before.empty());
  // No annotator lives now; the stub is attached without a change count, as
  // a direct edit of the tree does.
  routing->append_child(before[0].node, before[0].stub_gid & 0x7FFFFFFFu);
  const XAB_LOCAL_ROUTING_ANNOTATOR held = annotator();
  EXPECT_FALSE(lists(candidates(held), before[0].stub_gid));
  // While one is held, an attachment through the change count is seen too.
  const auto next = candidates(held);
  ASSERT_FALSE(next.empty());
  routing->bump_change_counter();
  routing->append_child(next[0].node, next[0].stub_gid & 0x7FFFFFFFu);
  EXPECT_FALSE(lists(candidates(annotator()), next[0].stub_gid));
}

}  // namespace
