// The modifier's tree move, and construction and copy of a routing.
#include <vector>

#include "routing_zoo.h"

using host::testing::expect_internal_error;
using routing_zoo::RoutingFixture;
using routing_zoo::ZOTA_FORM;

namespace {

const VOK_RE_ROUTING_ZOTA_SKIP SKIP;

std::vector<int> children(const VOK_RE_ROUTING& r, int id) {
  std::vector<int> out;
  for (int c = r.forest().first_child(id); c != -1; c = r.forest().next_sibling(c)) out.push_back(c);
  return out;
}

class MoveTreeTest : public RoutingFixture {};

TEST_F(MoveTreeTest, AMoveUnderTheSkipViewParentChangesNothingNotEvenTheCounter) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::SHORT);
  const VOK_RE_ROUTING before(r);
  {
    VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
    m.move_tree_under(P, X);  // X's stored parent is Q, its skip-view parent P
    EXPECT_FALSE(m.wire_changed());
    EXPECT_FALSE(m.other_changed());
  }
  EXPECT_EQ(r.get_change_counter(), 0);
  EXPECT_TRUE(r.forest() == before.forest());
  EXPECT_EQ(r.forest().parent(X), Q);
}

TEST_F(MoveTreeTest, MovingAFirstChildRelinksBothListsAndSetsTheWireFlag) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::SHORT);
  VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
  m.move_tree_under(Z, X);  // wire under wire
  EXPECT_TRUE(m.wire_changed());
  EXPECT_FALSE(m.other_changed());
  EXPECT_EQ(r.get_change_counter(), 1);
  EXPECT_EQ(r.forest().first_child(Q), Y);
  EXPECT_EQ(r.forest().prev_sibling(Y), -1);
  EXPECT_EQ(children(r, Z), (std::vector<int>{S2, X}));
  EXPECT_EQ(r.forest().parent(X), Z);
  EXPECT_EQ(r.forest().next_sibling(S2), X);
  EXPECT_EQ(r.forest().last_child(Z), X);
  EXPECT_EQ(r.get_first_child(P, SKIP), Y);
  // The subtree came along.
  EXPECT_EQ(children(r, X), std::vector<int>{S0});
}

TEST_F(MoveTreeTest, TheFlagFollowsThePayloadsOfTheNodeTheParentAndItsParent) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::SHORT);
  {
    // A sink under a wire whose skip-view parent is a wire: first flag.
    VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
    m.move_tree_under(X, S2);
    EXPECT_TRUE(m.wire_changed());
    EXPECT_FALSE(m.other_changed());
  }
  {
    // A sink under P, whose parent is the source terminal: second flag.
    VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
    m.move_tree_under(P, S2);
    EXPECT_FALSE(m.wire_changed());
    EXPECT_TRUE(m.other_changed());
  }
  {
    // Under the source terminal itself: second flag.
    VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
    m.move_tree_under(SRC, Z);
    EXPECT_TRUE(m.other_changed());
    EXPECT_FALSE(m.wire_changed());
  }
  {
    // A node moved under itself: the flag and the counter change, nothing
    // else.
    const VOK_RE_ROUTING before(r);
    VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
    m.move_tree_under(Y, Y);
    EXPECT_TRUE(m.wire_changed());
    EXPECT_TRUE(r.forest() == before.forest());
  }
  EXPECT_EQ(r.get_change_counter(), 4);
}

TEST_F(MoveTreeTest, AMoveIntoTheMovedSubtreeOrUnderNoNodeIsAnInternalError) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::OVERFLOW);
  const VOK_RE_ROUTING before(r);
  VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
  auto e = expect_internal_error([&] { m.move_tree_under(Z, P); });
  EXPECT_EQ(e.file, "vok_re_routing_sys");
  // X lies under P only through the pair (D under P, X under Q).
  expect_internal_error([&] { m.move_tree_under(X, P); });
  expect_internal_error([&] { m.move_tree_under(-1, Z); });
  EXPECT_EQ(r.get_change_counter(), 0);
  EXPECT_FALSE(m.wire_changed() || m.other_changed());
  EXPECT_TRUE(r.forest() == before.forest());
}

class RoutingCopyTest : public RoutingFixture {};

TEST_F(RoutingCopyTest, ANewRoutingIsEmpty) {
  VOK_RE_ROUTING r;
  EXPECT_EQ(r.forest().first_root(), -1);
  EXPECT_EQ(r.forest().free_list_head(), -1);
  EXPECT_EQ(r.forest().free_count(), 0);
  EXPECT_EQ(r.get_change_counter(), 0);
  EXPECT_EQ(r.get_zota_bits().size(), 0u);
  EXPECT_TRUE(r.get_zota_overflow().empty());
  EXPECT_EQ(r.get_atom_netlist(), nullptr);
}

TEST_F(RoutingCopyTest, CopiesKeepIdsPairsAndMapsAndAreIndependent) {
  VOK_RE_ROUTING r;
  build_split_net(r, ZOTA_FORM::OVERFLOW);
  host::testing::routing(&r).attach();
  {
    VOK_RE_ROUTING_MODIFIER m(r, "t", false, false);
    m.move_tree_under(Z, Y);
  }
  VOK_RE_ROUTING c;
  c = r;
  EXPECT_TRUE(c.forest() == r.forest());
  EXPECT_EQ(c.forest().nodes().size(), r.forest().nodes().size());
  EXPECT_EQ(c.get_change_counter(), 1);
  EXPECT_EQ(c.get_corresponding_zota_id(D), Q);
  EXPECT_EQ(c.get_first_child(P, SKIP), X);
  EXPECT_EQ(c.get_source_node(src->get_oterm_slot(0)), SRC);
  EXPECT_EQ(c.get_sink_nodes(sinks[1]), std::vector<int>{S1});
  EXPECT_EQ(c.get_value(P), r.get_value(P));

  // Editing the copy leaves the original alone.
  c.erase(Z);
  EXPECT_TRUE(r.is_live(Z));
  EXPECT_EQ(r.get_num_children(P, SKIP), 2);

  // Self-assignment keeps everything.
  const VOK_RE_ROUTING& alias = r;
  r = alias;
  EXPECT_EQ(r.get_corresponding_zota_id(D), Q);
  EXPECT_EQ(r.get_change_counter(), 1);
  EXPECT_EQ(r.get_source_node(src->get_oterm_slot(0)), SRC);

  VOK_RE_ROUTING constructed(r);
  EXPECT_TRUE(constructed.forest() == r.forest());
  EXPECT_EQ(constructed.get_zota_overflow().size(), r.get_zota_overflow().size());
}

}  // namespace
