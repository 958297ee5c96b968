// Route-graph accessors and iterators in the three route-info modes.
#include <tuple>
#include <vector>

#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

using host::testing::Family;
using host::testing::HostTest;

namespace {

class RouteGraphTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    die = host::device::die_info();
    info = die->get_route_info();
    graph = &info->get_route_graph();
  }
  void activate(int mode) { WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().activate(info, mode); }

  std::vector<WUMP_ROUTE_EDGE> fanouts(unsigned id) const {
    std::vector<WUMP_ROUTE_EDGE> res;
    for (auto it = graph->begin_fanout(id), end = graph->end_fanout(id); it != end; ++it) res.push_back(*it);
    return res;
  }
  std::vector<WUMP_ROUTE_EDGE> fanins(unsigned id) const {
    std::vector<WUMP_ROUTE_EDGE> res;
    for (auto it = graph->begin_fanin(id), end = graph->end_fanin(id); it != end; ++it) res.push_back(*it);
    return res;
  }

  WUMP_DIE_INFO* die = nullptr;
  WUMP_ROUTE_INFO* info = nullptr;
  WUMP_ROUTE_GRAPH* graph = nullptr;
};

struct ELEMENT_VIEW {
  int kind, index, size;
  WUMP_ROUTE_NODE node;
  std::vector<WUMP_ROUTE_EDGE> out, out_redundant, in;
  bool operator==(const ELEMENT_VIEW&) const = default;
};

}  // namespace

TEST_F(RouteGraphTest, ThreeModesGiveTheSameElementsAndNeighbours) {
  auto snapshot = [&] {
    std::vector<ELEMENT_VIEW> views;
    for (unsigned id = 0; id < info->get_num_elements(); ++id) {
      const WUMP_ROUTE_ELEMENT* e = graph->get_wump_route_element(id);
      ELEMENT_VIEW v{e->get_element_enum(), e->get_index(), e->get_fanout_size(), e->get_route_node(), {}, {}, {}};
      graph->set_include_purely_redundant_edges(false);
      v.out = fanouts(id);
      graph->set_include_purely_redundant_edges(true);
      v.out_redundant = fanouts(id);
      graph->set_include_purely_redundant_edges(false);
      v.in = fanins(id);
      views.push_back(std::move(v));
    }
    std::vector<unsigned> gids;
    for (auto it = info->begin_elements(); it != info->end_elements(); ++it) gids.push_back(*it);
    return std::make_pair(views, gids);
  };
  activate(0);
  const auto flat = snapshot();
  activate(1);
  const auto kop = snapshot();
  activate(2);
  const auto hier = snapshot();
  ASSERT_EQ(flat.first.size(), info->get_num_elements());
  EXPECT_TRUE(flat == kop);
  EXPECT_TRUE(flat == hier);
  // The walks agree with the flat tables the host built, and element walks
  // hand out gids.
  const unsigned wire = info->get_gid(701, 5, 5, 9) & ~WUMP_GID_BIT;
  const auto& view = flat.first[wire];
  ASSERT_FALSE(view.out.empty());
  EXPECT_EQ(view.out.size(), static_cast<size_t>(info->get_fanout_table()[info->element(wire).get_fanout_range()]));
  for (const auto& e : view.out) {
    EXPECT_EQ(e.from, wire);
    EXPECT_EQ(e.to & WUMP_GID_BIT, 0u);
  }
  EXPECT_EQ(flat.second.size(), info->get_num_elements());
  EXPECT_EQ(flat.second[17], 17u | WUMP_GID_BIT);
  // Elements whose fanouts leave their tile use the hierarchy boundary.
  EXPECT_GE(info->get_kop_hier().hier_element(wire).get_kop_offset_array().offsets[0] +
                info->get_kop_hier().hier_element(wire).get_kop_offset_array().base_id,
            info->get_num_elements());
}

TEST_F(RouteGraphTest, RedundantEdgesAreFlaggedPastTheOrdinaryCount) {
  const unsigned long_wire = info->get_gid(700, 2, 4, 2) & ~WUMP_GID_BIT;
  const unsigned short_before_end = info->get_gid(700, 5, 4, 0) & ~WUMP_GID_BIT;
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    activate(mode);
    graph->set_include_purely_redundant_edges(false);
    auto plain = fanouts(long_wire);
    graph->set_include_purely_redundant_edges(true);
    auto with = fanouts(long_wire);
    ASSERT_EQ(with.size(), plain.size() + 1);
    for (size_t i = 0; i < plain.size(); ++i) {
      EXPECT_EQ(with[i].to, plain[i].to);
      EXPECT_FALSE(with[i].redundant);
      EXPECT_FALSE(plain[i].redundant);
    }
    EXPECT_TRUE(with.back().redundant);
    EXPECT_EQ(with.back().to, short_before_end);
    EXPECT_EQ(graph->get_wump_route_element(long_wire)->get_fanout_size(), static_cast<int>(with.size()));
    graph->set_include_purely_redundant_edges(false);
  }
}

TEST_F(RouteGraphTest, SingleVirtualEdgeAndMissingRangeGiveEmptyWalks) {
  // A periphery block's input port has one virtual edge to its output port.
  const unsigned port_in = info->get_gid(659, 2, 9, 0) & ~WUMP_GID_BIT;
  ASSERT_EQ(info->get_fanout_edge_flags(port_in, 0), WUMP_EDGE_VIRTUAL);
  // A LAB input mux has no fanout range at all.
  const unsigned lab_in = info->get_gid(282, 3, 4, 5) & ~WUMP_GID_BIT;
  ASSERT_LT(info->element(lab_in).get_fanout_range(), 0);
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    activate(mode);
    for (bool redundant : {false, true}) {
      graph->set_include_purely_redundant_edges(redundant);
      EXPECT_TRUE(graph->begin_fanout(port_in) == graph->end_fanout(port_in));
      EXPECT_TRUE(fanouts(port_in).empty());
      EXPECT_TRUE(fanouts(lab_in).empty());
    }
    EXPECT_EQ(graph->get_wump_route_element(port_in)->get_fanout_size(), 1);
    EXPECT_EQ(graph->get_wump_route_element(lab_in)->get_fanout_size(), 0);
    EXPECT_TRUE(info->begin_fanout_gids(port_in | WUMP_GID_BIT) == info->end_fanout_gids(port_in | WUMP_GID_BIT));
    // An iterator made at its end equals the end whatever its position.
    const unsigned wire = info->get_gid(700, 3, 3, 1) & ~WUMP_GID_BIT;
    WUMP_ROUTE_GRAPH::const_fanout_iterator at_end(graph, wire, 2, true);
    EXPECT_TRUE(at_end == graph->end_fanout(wire));
    EXPECT_FALSE(graph->begin_fanout(wire) == graph->end_fanout(wire));
  }
  graph->set_include_purely_redundant_edges(false);
}

TEST_F(RouteGraphTest, FlatIteratorReadsThroughTheRouteInfoActiveNow) {
  const unsigned wire = info->get_gid(701, 6, 3, 13) & ~WUMP_GID_BIT;
  activate(0);
  auto it = graph->begin_fanout(wire);
  ++it;
  const WUMP_ROUTE_EDGE flat_edge = *it;
  activate(2);
  EXPECT_EQ(*it, flat_edge);
  activate(1);
  EXPECT_EQ(*it, flat_edge);
}

TEST_F(RouteGraphTest, NoActiveRouteInfoIsAnInternalError) {
  const WUMP_ROUTE_ELEMENT* e = graph->get_wump_route_element(3);
  auto it = info->begin_elements();
  WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().deactivate();
  auto check = [](auto fn) {
    HOST_INTERNAL_ERROR err = host::testing::expect_internal_error(fn);
    EXPECT_EQ(err.condition, "m_active.is_valid()");
    EXPECT_EQ(err.file, "wump_route_info_singleton_manager_sys");
    EXPECT_EQ(err.line, 162);
    EXPECT_EQ(err.tag, "VELMO");
  };
  check([&] { (void)e->get_element_enum(); });
  check([&] { (void)e->get_index(); });
  check([&] { (void)e->get_route_node(); });
  check([&] { (void)e->get_fanout_size(); });
  check([&] { (void)graph->begin_fanout(3); });
  check([&] { (void)*graph->begin_fanin(4); });
  check([&] { (void)*it; });
}

TEST_F(RouteGraphTest, ElementWalkErrors) {
  auto end = info->end_elements();
  HOST_INTERNAL_ERROR at_end = host::testing::expect_internal_error([&] { (void)*end; });
  EXPECT_EQ(at_end.condition, "!m_is_end");
  EXPECT_EQ(at_end.file, "wump_route_objects_sys");
  EXPECT_EQ(at_end.line, 2070);
  // Any mode other than 1 and 2 reads the flat tables; the element walk only
  // knows modes 0, 1 and 2.
  activate(7);
  EXPECT_EQ(graph->get_wump_route_element(0)->get_element_enum(), 700);
  auto it = info->begin_elements();
  HOST_INTERNAL_ERROR unhandled = host::testing::expect_internal_error([&] { (void)*it; });
  EXPECT_EQ(unhandled.condition, "unhandled");
  EXPECT_EQ(unhandled.line, 2092);
}

TEST_F(RouteGraphTest, ForwardIteratorCopiesWalkOnTheirOwn) {
  const unsigned clk = info->get_gid(282, 3, 4, 181);
  WUMP_FORWARD_ITERATOR<unsigned> a(info->begin_fanin_gids(clk));
  WUMP_FORWARD_ITERATOR<unsigned> end(info->end_fanin_gids(clk));
  WUMP_FORWARD_ITERATOR<unsigned> b(a);
  ASSERT_TRUE(a != end);
  const unsigned first = *a;
  ++a;
  EXPECT_EQ(*b, first);
  int count = 0;
  for (WUMP_FORWARD_ITERATOR<unsigned> c(b); c != end; ++c) ++count;
  EXPECT_EQ(count, 4);  // the segment's four PMUXes
  EXPECT_EQ(*b, first);
}
