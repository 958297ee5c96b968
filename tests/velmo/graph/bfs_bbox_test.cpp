// Breadth-first search over the routing graph, and 2-D boxes.
#include <queue>
#include <unordered_map>
#include <unordered_set>

#include "juk_bfs.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "wump/wump_die_info.h"
#include "zmp_bbox.h"

using host::testing::Family;
using host::testing::HostTest;

namespace {

class BfsTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    info = host::device::die_info()->get_route_info();
    graph = &info->get_route_graph();
  }
  // Hop distances from `start` by a plain queue walk over the flat tables.
  std::unordered_map<unsigned, int> distances(unsigned start) const {
    std::unordered_map<unsigned, int> dist{{start, 0}};
    std::queue<unsigned> q;
    q.push(start);
    while (!q.empty()) {
      const unsigned n = q.front();
      q.pop();
      for (unsigned to : graph->real_fanouts(n))
        if (dist.emplace(to, dist[n] + 1).second) q.push(to);
    }
    return dist;
  }
  WUMP_ROUTE_INFO* info = nullptr;
  const WUMP_ROUTE_GRAPH* graph = nullptr;
};

using ENGINE = JUK::DETAIL::BFS_ENGINE<WUMP_ROUTE_GRAPH>;
class BboxErrorTest : public HostTest {};

}  // namespace

TEST_F(BfsTest, ExpandsInGraphOrderAndFindsShortestPaths) {
  const int start = static_cast<int>(host::testing::lab_output_gid(3, 4, 0) & ~WUMP_GID_BIT);
  ENGINE engine(*graph);
  JUK::DETAIL::FIFO_ID_LIST wavefront;
  engine.predecessors()[start] = start;
  engine.add_valid_neighbors_to_wavefront(start, wavefront);
  std::vector<int> queued;
  while (!wavefront.empty()) {
    queued.push_back(wavefront.front());
    wavefront.pop_front();
  }
  std::vector<int> expected;
  for (unsigned to : graph->real_fanouts(static_cast<unsigned>(start))) expected.push_back(static_cast<int>(to));
  EXPECT_EQ(queued, expected);
  for (int n : queued) EXPECT_EQ(engine.predecessors()[n], start);
  // A second expansion queues nothing new; the drained list takes new ids.
  engine.add_valid_neighbors_to_wavefront(start, wavefront);
  EXPECT_TRUE(wavefront.empty());
  wavefront.push_back(start);
  ASSERT_FALSE(wavefront.empty());
  EXPECT_EQ(wavefront.front(), start);
  EXPECT_TRUE(ENGINE(*graph).search(start, start));

  const auto dist = distances(static_cast<unsigned>(start));
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().activate(info, mode);
    for (auto [x, y, i] : {std::tuple{5, 4, 12}, std::tuple{9, 7, 79}, std::tuple{1, 1, 0}}) {
      const int target = static_cast<int>(info->get_gid(282, x, y, i) & ~WUMP_GID_BIT);
      ENGINE e(*graph);
      ASSERT_TRUE(e.search(start, target));
      const auto path = e.path(start, target);
      ASSERT_FALSE(path.empty());
      EXPECT_EQ(path.front(), start);
      EXPECT_EQ(path.back(), target);
      EXPECT_EQ(static_cast<int>(path.size()) - 1, dist.at(static_cast<unsigned>(target)));
      for (size_t k = 1; k < path.size(); ++k) {
        auto f = graph->real_fanouts(static_cast<unsigned>(path[k - 1]));
        EXPECT_NE(std::find(f.begin(), f.end(), static_cast<unsigned>(path[k])), f.end());
      }
    }
  }
}

TEST_F(BfsTest, ValidityFunctionSteersAroundElementsAndCanCutTheTarget) {
  const int start = static_cast<int>(host::testing::lab_output_gid(3, 4, 0) & ~WUMP_GID_BIT);
  const int target = static_cast<int>(info->get_gid(282, 7, 4, 3) & ~WUMP_GID_BIT);
  ENGINE plain(*graph);
  ASSERT_TRUE(plain.search(start, target));
  const auto first = plain.path(start, target);
  ASSERT_GE(first.size(), 3u);
  const int avoided = first[1];
  auto valid = [avoided](int id) { return id != avoided; };
  JUK::DETAIL::BFS_ENGINE<WUMP_ROUTE_GRAPH, JUK::DETAIL::CUSTOM_FANOUT_WAVEFRONT<decltype(valid)>> steered(
      *graph, JUK::DETAIL::CUSTOM_FANOUT_WAVEFRONT<decltype(valid)>(valid));
  ASSERT_TRUE(steered.search(start, target));
  const auto second = steered.path(start, target);
  EXPECT_EQ(std::find(second.begin(), second.end(), avoided), second.end());
  EXPECT_GE(second.size(), first.size());

  // The target's only inputs are excluded: not found, no path.
  std::unordered_set<int> cut;
  for (auto it = info->begin_fanin_gids(static_cast<unsigned>(target)); it != info->end_fanin_gids(static_cast<unsigned>(target)); ++it)
    cut.insert(static_cast<int>(*it & ~WUMP_GID_BIT));
  auto not_cut = [&cut](int id) { return cut.count(id) == 0; };
  JUK::DETAIL::BFS_ENGINE<WUMP_ROUTE_GRAPH, JUK::DETAIL::CUSTOM_FANOUT_WAVEFRONT<decltype(not_cut)>> blocked(
      *graph, JUK::DETAIL::CUSTOM_FANOUT_WAVEFRONT<decltype(not_cut)>(not_cut));
  EXPECT_FALSE(blocked.search(start, target));
  EXPECT_TRUE(blocked.path(start, target).empty());
  EXPECT_TRUE(blocked.wavefront().empty());
}

TEST_F(BboxErrorTest, PointsEmptinessAndOverlap) {
  ZMP::BBOX_2D box(2, 3, 5, 4);
  EXPECT_FALSE(box.is_empty());
  EXPECT_EQ(box.get_num_points(), 8);
  EXPECT_EQ(box.get_width(0), 4);
  EXPECT_TRUE(ZMP::BBOX_2D().is_empty());
  EXPECT_TRUE(ZMP::BBOX_2D(0, 5, 3, 4).is_empty());
  EXPECT_EQ(ZMP::BBOX_2D(1, 1, 1, 1).get_num_points(), 1);

  // Shares of `other`: extents multiplied.
  ZMP::BBOX_2D a(0, 0, 4, 4), b(2, 0, 6, 4);
  EXPECT_DOUBLE_EQ(a.overlap_ratio(b), (4.0 * 2.0) / (4.0 * 4.0));
  EXPECT_DOUBLE_EQ(a.overlap_ratio(a), 1.0);
  EXPECT_DOUBLE_EQ(a.overlap_ratio(ZMP::BBOX_2D(10, 10, 12, 12)), 0.0);
  EXPECT_DOUBLE_EQ(a.overlap_ratio(ZMP::BBOX_2D()), 0.0);
  // A one-column box has no x extent: its share counts points.
  ZMP::BBOX_2D column(3, 2, 3, 7);
  EXPECT_DOUBLE_EQ(a.overlap_ratio(column), 3.0 / 6.0);
  EXPECT_DOUBLE_EQ(column.overlap_ratio(column), 1.0);
}

TEST_F(BboxErrorTest, EmptyBoxHasNoPointCount) {
  HOST_INTERNAL_ERROR e = host::testing::expect_internal_error([] { (void)ZMP::BBOX_2D(3, 0, 2, 5).get_num_points(); });
  EXPECT_EQ(e.condition, "m_max_point.at(idim) >= m_min_point.at(idim)");
  EXPECT_EQ(e.tag, "VELMO");
  HOST_INTERNAL_ERROR y = host::testing::expect_internal_error([] { (void)ZMP::BBOX_2D(0, 4, 2, 3).get_num_points(); });
  EXPECT_EQ(y.condition, "m_max_point.at(idim) >= m_min_point.at(idim)");
}
