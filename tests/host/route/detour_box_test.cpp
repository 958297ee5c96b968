// The incremental router's minimum-delay detours keep to a box around the
// connection: the box widens when no detour fits in it, and a detour that
// fits in it is the one a search of the whole device would take.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include "korrin/korrin_graph.h"
#include "korrin/korrin_incremental_router.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/route_helpers.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"

using host::testing::Family;
using host::testing::HostTest;
using host::testing::place_at;

namespace {

VOK_RE_ROUTING& routing() { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }

class DetourBoxTest : public HostTest {
protected:
  // One LUT driving another at the given sites.
  void build(int ax, int ay, int sx, int sy) {
    host::testing::device(Family::KY).build();
    auto n = host::testing::netlist();
    auto x = n.io_in("x");
    place_at(n.find("x"), 0, 5, 1);
    place_at(x, 0, 5, 2);
    a = n.lut("a", {x}, 0x1);
    s = n.lut("s", {a}, 0x1);
    place_at(a, ax, ay, 0);
    place_at(s, sx, sy, 1);
  }
  std::unique_ptr<KORRIN::IR_RESULT> route(int margin, KORRIN::DELAY_BUDGET b, bool cap_steps = true) {
    KORRIN::INCREMENTAL_ROUTER ir(&routing(), nullptr, nullptr);
    ir.set_detour_margin(margin);
    ir.set_detour_cap_steps(cap_steps);
    std::vector<KORRIN::DELAY_BUDGET> budgets{b};
    ir.add_connection(a->get_oterm_slot(0), s->get_iterm_slot(0), &budgets, nullptr);
    return std::unique_ptr<KORRIN::IR_RESULT>(ir.route_all_new_connections(false, nullptr));
  }
  VOK_ATOM_NODE* a = nullptr;
  VOK_ATOM_NODE* s = nullptr;
};

// Whether a path passes no element twice (a detour's two halves disjoint).
bool simple_path(const KORRIN::IR_RESULT::PATH& p) {
  std::vector<unsigned> ids = p.gids;
  std::sort(ids.begin(), ids.end());
  return std::adjacent_find(ids.begin(), ids.end()) == ids.end();
}

// Whether a path runs from one of a's output elements through real edges to
// one of s's input elements, with the delay its elements add up to.
::testing::AssertionResult routes(const KORRIN::IR_RESULT::PATH& p, const VOK_ATOM_NODE* a, const VOK_ATOM_NODE* s) {
  namespace k = host::korrin;
  const k::GRAPH& g = k::graph();
  if (p.gids.empty()) return ::testing::AssertionFailure() << "no elements";
  std::vector<unsigned> ends;
  k::source_elements(g, k::site_of(a), ends);
  const unsigned first = p.gids.front() & ~k::GID_BIT;
  if (std::find(ends.begin(), ends.end(), first) == ends.end())
    return ::testing::AssertionFailure() << "starts at " << first << ", no output element of the driver";
  int delay = g.delay(first);
  for (std::size_t i = 1; i < p.gids.size(); ++i) {
    const unsigned u = p.gids[i - 1] & ~k::GID_BIT, v = p.gids[i] & ~k::GID_BIT;
    const k::GRAPH::EDGES e = g.fanouts(u);
    if (std::find(e.rel, e.rel + e.count, static_cast<int>(v - u)) == e.rel + e.count)
      return ::testing::AssertionFailure() << "no edge from " << u << " to " << v << " (element " << i << ")";
    delay += g.delay(v);
  }
  k::target_elements(g, k::site_of(s), s->get_iterm_slot(0), ends);
  if (std::find(ends.begin(), ends.end(), p.gids.back() & ~k::GID_BIT) == ends.end())
    return ::testing::AssertionFailure() << "ends at " << (p.gids.back() & ~k::GID_BIT) << ", no input element of the sink";
  if (delay != p.delay_ps) return ::testing::AssertionFailure() << "delay " << p.delay_ps << ", elements " << delay;
  return ::testing::AssertionSuccess();
}

// Tiles from the rectangle spanned by the two LUTs' LAB (both at x, y).
int farthest_tile(const KORRIN::IR_RESULT::PATH& p, int x, int y) {
  int far = 0;
  for (unsigned gid : p.gids) {
    const unsigned e = gid & ~host::korrin::GID_BIT;
    const int d = std::abs(host::korrin::graph().x(e) - x) + std::abs(host::korrin::graph().y(e) - y);
    far = std::max(far, d);
  }
  return far;
}

TEST_F(DetourBoxTest, ADetourThatCannotStayInTheFirstBoxIsFoundInAWiderOne) {
  // Both LUTs in one LAB: a box without margin is that tile alone.
  build(5, 5, 5, 5);
  const auto plain = route(0, {});
  ASSERT_TRUE(plain->routing_succeeded());
  const int want = plain->paths().at(0).delay_ps + 600;
  const auto detour = route(0, {want, want + 300});
  ASSERT_TRUE(detour->routing_succeeded());
  const KORRIN::IR_RESULT::PATH& p = detour->paths().at(0);
  EXPECT_TRUE(p.budget_met);
  EXPECT_TRUE(detour->reports().empty());
  EXPECT_GE(p.delay_ps, want);
  EXPECT_LE(p.delay_ps, want + 300);
  EXPECT_GT(farthest_tile(p, 5, 5), 1);
  EXPECT_TRUE(simple_path(p));
  EXPECT_TRUE(routes(p, a, s));
  // The same detour as a search of the whole device.
  const auto whole = route(1 << 16, {want, want + 300});
  EXPECT_EQ(whole->paths().at(0).gids, p.gids);
  // The searches' cost cap rests on the least hop delay of the whole graph,
  // over the elements that have one (the clock taps above a network's root
  // have none).
  const host::korrin::GRAPH& g = host::korrin::graph();
  int least = 0;
  for (unsigned e = 0; e < g.size(); ++e)
    if (g.delay(e) > 0 && (least == 0 || g.delay(e) < least)) least = g.delay(e);
  EXPECT_EQ(g.min_delay(), least);
  // Out of reach anywhere: reported after the widest box.
  const auto far = route(0, {100000, 200000});
  EXPECT_FALSE(far->paths().at(0).budget_met);
  ASSERT_EQ(far->reports().size(), 1u);
}

TEST_F(DetourBoxTest, TheDetourInTheFirstBoxIsTheCheapestOfTheWholeDevice) {
  // Sinks a few tiles apart in both directions, minimums from a little to
  // a lot above the shortest path: the default box finds what the whole
  // device gives; a box without margin would be too tight for some.
  build(6, 3, 9, 7);
  const auto plain = route(0, {});
  ASSERT_TRUE(plain->routing_succeeded());
  const int shortest = plain->paths().at(0).delay_ps;
  int differ_without_margin = 0;
  for (int extra : {30, 90, 160, 250, 400}) {
    const KORRIN::DELAY_BUDGET b{shortest + extra, shortest + extra + 250};
    const auto whole = route(1 << 16, b);
    ASSERT_TRUE(whole->paths().at(0).budget_met) << extra;
    KORRIN::INCREMENTAL_ROUTER def(&routing(), nullptr, nullptr);
    std::vector<KORRIN::DELAY_BUDGET> budgets{b};
    def.add_connection(a->get_oterm_slot(0), s->get_iterm_slot(0), &budgets, nullptr);
    const std::unique_ptr<KORRIN::IR_RESULT> boxed(def.route_all_new_connections(false, nullptr));
    EXPECT_EQ(boxed->paths().at(0).gids, whole->paths().at(0).gids) << extra;
    EXPECT_EQ(boxed->paths().at(0).delay_ps, whole->paths().at(0).delay_ps) << extra;
    const auto tight = route(0, b);
    if (tight->paths().at(0).gids != whole->paths().at(0).gids) ++differ_without_margin;
  }
  // The set-up is one where the margin matters.
  EXPECT_GT(differ_without_margin, 0);
}

// A wide window with a top near its maximum: the searches' cost cap follows
// the maximum, not the minimum, so the detour taken is one at or above the
// top (here 800 ps above the shortest path, over twice the minimum), not the
// cheapest one just above the minimum. (The cap's other bound, twice the
// minimum, keeps tops much further up out of reach: no caller asks for one.)
TEST_F(DetourBoxTest, AWideWindowWithATopGetsADetourAtTheTop) {
  build(6, 3, 9, 7);
  const int shortest = route(3, {})->paths().at(0).delay_ps;
  for (const int top : {300, 800}) {
    KORRIN::DELAY_BUDGET b{shortest + 10, shortest + top + 200};
    b.top = shortest + top;
    const auto r = route(3, b);
    const KORRIN::IR_RESULT::PATH& p = r->paths().at(0);
    EXPECT_TRUE(p.budget_met) << top;
    EXPECT_GE(p.delay_ps, b.top) << top;
    EXPECT_LE(p.delay_ps, b.second) << top;
    EXPECT_TRUE(routes(p, a, s)) << top;
  }
}

// Minimums from just above the shortest path to far beyond what the box
// holds, with tight and loose maximums: the searches that grow their cap in
// steps end with the detour, delay, budget verdict and reports of the
// searches that run to the full cap at once. (On this device a step whose
// waypoints all fail disjointness holds a few of them, never the 64 after
// which a step skips to the last one: placements from one LAB to ten tiles
// apart, margins 0 to 15, minimums up to 5000 ps above the shortest path
// gave at most 16.)
// What these scenes cannot tell apart, checked over 256 placements, minimums
// 10 to 5000 ps above the shortest path, windows 0 to 2000 ps wide and
// margins 0 and 3 (15,360 detours):
// - Trying the waypoints from the second one on gives other elements, never
//   another cost, delay or verdict: each element of the cheapest detour is a
//   waypoint of that same cost, and the next one leads to an equally cheap
//   detour.
// - Marking a fresh seed before the backward half is walked guards against
//   nothing on these devices: no output element of a driver has a fanin that
//   is not virtual (the backward search follows none), and a seed of the
//   net's own tree is owned, which the backward search never enters.
// - Letting a step take waypoints whose costs pass its cap changed no detour:
//   a step then differs only when each waypoint within its cap fails to be
//   disjoint and one just past it, whose backward cost may be inexact, is
//   taken instead; no scene here gives that.
class DetourCapTest : public DetourBoxTest, public ::testing::WithParamInterface<std::array<int, 4>> {};

TEST_P(DetourCapTest, SearchesThatStopAtASmallerCostCapFindTheDetourOfTheFullCap) {
  const auto [ax, ay, sx, sy] = GetParam();
  build(ax, ay, sx, sy);
  const auto plain = route(3, {});
  ASSERT_TRUE(plain->routing_succeeded());
  const int shortest = plain->paths().at(0).delay_ps;
  int met = 0, missed = 0;
  for (int extra : {10, 60, 150, 300, 600, 1200, 5000})
    for (int slack : {40, 250, 2000}) {
      const KORRIN::DELAY_BUDGET b{shortest + extra, shortest + extra + slack};
      const auto stepped = route(3, b, true);
      const auto full = route(3, b, false);
      const KORRIN::IR_RESULT::PATH& p = stepped->paths().at(0);
      const KORRIN::IR_RESULT::PATH& q = full->paths().at(0);
      EXPECT_EQ(p.gids, q.gids) << "+" << extra << "/" << slack;
      EXPECT_EQ(p.delay_ps, q.delay_ps) << "+" << extra << "/" << slack;
      EXPECT_EQ(p.budget_met, q.budget_met) << "+" << extra << "/" << slack;
      EXPECT_EQ(stepped->reports(), full->reports()) << "+" << extra << "/" << slack;
      EXPECT_TRUE(simple_path(p)) << "+" << extra << "/" << slack;
      EXPECT_TRUE(routes(p, a, s)) << "+" << extra << "/" << slack;
      // A met budget is a delay inside it; a missed one is told.
      EXPECT_EQ(p.budget_met, p.delay_ps >= b.first && p.delay_ps <= b.second) << "+" << extra << "/" << slack;
      EXPECT_EQ(stepped->reports().empty(), p.budget_met) << "+" << extra << "/" << slack;
      // A detour's own delay, as both ends of the window, is met by a detour
      // of that delay.
      if (p.budget_met) {
        const auto exact = route(1 << 16, {p.delay_ps, p.delay_ps}, false);
        EXPECT_TRUE(exact->paths().at(0).budget_met) << "+" << extra << "/" << slack;
        EXPECT_EQ(exact->paths().at(0).delay_ps, p.delay_ps) << "+" << extra << "/" << slack;
      }
      ++(p.budget_met ? met : missed);
    }
  // Both outcomes are covered.
  EXPECT_GT(met, 5);
  EXPECT_GT(missed, 0);
}

INSTANTIATE_TEST_SUITE_P(Placements, DetourCapTest,
                         ::testing::Values(std::array<int, 4>{5, 5, 5, 5}, std::array<int, 4>{6, 3, 9, 7},
                                           std::array<int, 4>{2, 8, 10, 2},
                                           // one column: some waypoints' two halves meet
                                           std::array<int, 4>{3, 1, 3, 5},
                                           // by the device's corner: some detours pass its first element
                                           std::array<int, 4>{1, 1, 1, 4}));

}  // namespace
