// Static timing analysis against hand-computed slacks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <vector>
#include <system_error>

#include "common/host_call_log.h"
#include "kem/kem_parallel.h"
#include "oxu/oxu_job.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/timing_builder.h"
#include "vok/vok_chip_db_entry.h"

// The thread-start library linked into the unit tests counts the threads it
// lets start from the process's start or from here.
extern "C" void velmo_test_threads_restart();

namespace {

using namespace host::testing;

// Three registers on the default KY device (slow corner delays):
//   in -> a.D;  a.Q -> b.D (same LAB, 60 ps);  a.Q, b.Q -> l -> c.D;  c.Q -> out
//   clk -> a.clk, c.clk (100 ps each, the port is unplaced);
//   clk -> cb (clock buffer, 100 + 50) -> b.clk (100): b's clock is late.
// LUT input i costs 100 + 10 i, tco 80, tsu 50, th 20; interconnect
// 60 + 40 x Manhattan. Period 600 ps.
class StaTest : public HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    device(Family::KY).build();
    auto n = netlist();
    auto clk = n.input_port("clk");
    n.clock("clk", 600, clk);
    auto cb = n.atom(VOK_ATOM_KIND::CLKBUF, "cb");
    cb.input(DB_INPUT_PORT_BOX, 0, clk);
    a = n.reg("a").clk(clk).d(n.input_port("in")).placed(site_gid(1, 1, 1), 643);
    b = n.reg("b").clk(cb).d(a).placed(site_gid(1, 1, 2), 643);
    l = n.lut("l", {a, b}, [](auto x) { return x[0] && x[1]; }).placed(site_gid(3, 1, 0), 644);
    c = n.reg("c").clk(clk).d(l).placed(site_gid(3, 2, 1), 643);
    n.output_port("out", c);
    cbuf = cb;
    n.timing();
  }
  VOK_ATOM_NODE* a = nullptr;
  VOK_ATOM_NODE* b = nullptr;
  VOK_ATOM_NODE* c = nullptr;
  VOK_ATOM_NODE* l = nullptr;
  VOK_ATOM_NODE* cbuf = nullptr;
};

const HOV_INCR_WNS_DOMAIN kClk{0, 0, 0, 0};

int setup_at(const KEM_NODE* n, int corner) {
  auto m = host::sta::node_setup_slacks(n->get_id(), corner);
  auto it = m.find(kClk);
  return it == m.end() ? KEM_NO_SLACK : it->second;
}

TEST_F(StaTest, SlowAndFastCornersSetupAndHoldAsHandComputed) {
  const KEM_NODE* cd = timing_input(c, DB_INPUT_PORT_DATA_IN);
  const KEM_NODE* bd = timing_input(b, DB_INPUT_PORT_DATA_IN);
  const KEM_NODE* lin0 = timing_input(l, DB_INPUT_PORT_LUT_DATA);
  const KEM_NODE* lin1 = timing_input(l, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1));
  const KEM_NODE* lout = timing_output(l);
  ASSERT_TRUE(cd && bd && lin0 && lin1 && lout);

  // Slow: a.Q 180, b.Q 330; l.in0 320, l.in1 470, l.out 580 / 420;
  // c.D 680 / 520 against 600 + 100 - 50 = 650 and 100 + 20 = 120;
  // b.D 240 against 600 + 250 - 50 = 800 and 250 + 20 = 270.
  EXPECT_EQ(setup_at(cd, 0), -30);
  EXPECT_EQ(setup_at(lout, 0), -30);
  EXPECT_EQ(setup_at(lin1, 0), -30);
  EXPECT_EQ(setup_at(lin0, 0), 130);
  EXPECT_EQ(setup_at(bd, 0), 560);
  EXPECT_EQ(host::sta::node_worst_hold_slack(bd->get_id(), 0), -30);
  EXPECT_EQ(host::sta::node_worst_hold_slack(cd->get_id(), 0), 400);

  // Fast (x 0.65, rounded): a.Q 117, b.Q 215; c.D 443 / 338 against
  // 600 + 65 - 33 = 632 and 65 + 13 = 78; b.D 156 against 163 + 13.
  EXPECT_EQ(setup_at(cd, 1), 189);
  EXPECT_EQ(setup_at(bd, 1), 574);
  EXPECT_EQ(host::sta::node_worst_hold_slack(bd->get_id(), 1), -20);
  EXPECT_EQ(host::sta::node_worst_hold_slack(cd->get_id(), 1), 260);

  // Edge slacks: the cell arc l.in0 -> l.out is 550 - 320 - 100; the data
  // edge into c's keeper carries the endpoint slack; the current corner's
  // values sit in the edge records.
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_EDGE* arc = kem->get_edge(lin0->begin_fanout());
  ASSERT_TRUE(arc);
  EXPECT_EQ(arc->get_kind(), KEM_EDGE_CELL);
  EXPECT_EQ(arc->get_setup_slack(), 130);
  const KEM_NETLIST_CELL* ccell = kem->get_cell_from_atom_id(c->get_id());
  ASSERT_EQ(ccell->keeper_range().size(), 1u);
  const KEM_NODE* ck = kem->get_node(ccell->keeper_range()[0]);
  EXPECT_TRUE(ck->has_any_flag(KEM_NODE_FLAG_REGISTER_KEEPER));
  const KEM_EDGE* data = kem->get_edge(ck->begin_fanin());
  ASSERT_TRUE(data);
  EXPECT_EQ(data->get_kind(), KEM_EDGE_KEEPER_DATA);
  EXPECT_EQ(data->get_setup_slack(), -30);
  EXPECT_EQ(data->get_hold_slack(), 400);
  EXPECT_EQ(kem->get_edge(ck->begin_clock_edges())->get_kind(), KEM_EDGE_CELL);

  // The per-corner summary and the worst-over-corners queries.
  auto sum = host::timing::summary();
  ASSERT_EQ(sum.size(), 2u);
  EXPECT_EQ(sum[0].corner, "1_slow_900mv_100c");
  EXPECT_EQ(sum[0].setup_wns, -30);
  EXPECT_EQ(sum[0].setup_tns, -30);
  EXPECT_EQ(sum[0].setup_failing_endpoints, 1);
  EXPECT_EQ(sum[0].hold_wns, -30);
  EXPECT_EQ(sum[0].hold_failing_endpoints, 1);
  EXPECT_EQ(sum[1].corner, "1_fast_900mv_-40c");
  EXPECT_EQ(sum[1].setup_wns, 189);
  EXPECT_EQ(sum[1].setup_tns, 0);
  EXPECT_EQ(sum[1].setup_failing_endpoints, 0);
  EXPECT_EQ(sum[1].hold_wns, -20);
  EXPECT_EQ(sum[1].hold_tns, -20);
  EXPECT_EQ(sta_get_node_wns_map(cd, true).at(kClk), -30);
  EXPECT_EQ(sta_get_node_worst_hold_slack(bd, true), -30);
  auto wns = sta_get_wns_map(kem);
  ASSERT_EQ(wns.size(), 1u);
  EXPECT_EQ(wns.at(kClk).wns, -30);
  EXPECT_EQ(wns.at(kClk).endpoints, 2);
  EXPECT_EQ(wns.at(kClk).failing_endpoints, 1);

  // A full analysis from scratch gives the same answers whether its two
  // corners run one after the other or side by side.
  for (int threads : {1, 2}) {
    OXU_PROCESSOR_MANAGER::set_thread_count(threads);
    host::sta::forget(kem);
    host::sta::analyze(kem);
    EXPECT_EQ(setup_at(cd, 0), -30) << threads;
    EXPECT_EQ(setup_at(cd, 1), 189) << threads;
    EXPECT_EQ(host::sta::node_worst_hold_slack(bd->get_id(), 0), -30) << threads;
    EXPECT_EQ(host::sta::node_worst_hold_slack(bd->get_id(), 1), -20) << threads;
    EXPECT_EQ(host::sta::edge_setup_slack(arc->get_id(), 0), 130) << threads;
  }
}

// Four corners on four threads. A helper thread that cannot be started
// (the unit tests carry the test library that refuses thread starts past
// VELMO_TEST_THREADS_STARTED) fails the analysis with its error once the
// helper started is joined, and the next analysis gives the same slacks.
// The timing netlist's parallel ranges: every index once over any thread
// count, an error raised in any range reaches the caller, and a helper that
// cannot start fails the call after those started have finished.
TEST_F(HostTest, ParallelRangesCoverEveryIndexOnceAndPassOnEveryFailure) {
  const std::size_t n = 5 * 4096 + 17;
  for (int threads : {1, 2, 3, 5}) {
    SCOPED_TRACE(threads);
    OXU_PROCESSOR_MANAGER::set_thread_count(threads);
    std::vector<int> seen(n, 0);
    host::kem::parallel_ranges(n, [&](std::size_t b, std::size_t e) {
      for (std::size_t i = b; i < e; ++i) ++seen[i];
    });
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<std::ptrdiff_t>(n));
    for (std::size_t failing : {std::size_t{0}, n - 1}) {
      EXPECT_THROW(host::kem::parallel_ranges(n,
                                              [&](std::size_t b, std::size_t e) {
                                                if (b <= failing && failing < e) throw std::runtime_error("range");
                                              }),
                   std::runtime_error);
    }
  }
  OXU_PROCESSOR_MANAGER::set_thread_count(4);
  velmo_test_threads_restart();
  setenv("VELMO_TEST_THREADS_STARTED", "1", 1);
  std::vector<int> seen(n, 0);
  EXPECT_THROW(host::kem::parallel_ranges(n,
                                          [&](std::size_t b, std::size_t e) {
                                            for (std::size_t i = b; i < e; ++i) ++seen[i];
                                          }),
               std::system_error);
  unsetenv("VELMO_TEST_THREADS_STARTED");
  // The helper that started ran its range to the end before the error.
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<std::ptrdiff_t>((n + 3) / 4));
  OXU_PROCESSOR_MANAGER::set_thread_count(1);
}

TEST_F(HostTest, CornersOnThreadsAndAHelperThatCannotStartFailsTheAnalysis) {
  device(Family::KY)
      .corners({Corner::slow(), Corner::fast(), DeviceCorner{2, 3, 850, 25, false}, DeviceCorner{1, 2, 900, 0, false}})
      .build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 600, clk);
  auto a = n.reg("a").clk(clk).d(n.input_port("in")).placed(site_gid(1, 1, 1), 643);
  auto c = n.reg("c").clk(clk).d(a).placed(site_gid(3, 2, 1), 643);
  n.output_port("out", c);
  n.timing();
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_NODE* cd = timing_input(c, DB_INPUT_PORT_DATA_IN);
  ASSERT_TRUE(cd);
  kem->get_corner_manager()->set_corners(KEM_TIMING_MODEL::get_list_of_timing_models(0));
  kem->annotate_current_corner();
  ASSERT_EQ(kem->get_corner_manager()->get_corner_count(), 4);
  OXU_PROCESSOR_MANAGER::set_thread_count(4);
  host::sta::forget(kem);
  host::sta::analyze(kem);
  std::vector<int> slacks;
  for (int corner = 0; corner < 4; ++corner) slacks.push_back(setup_at(cd, corner));
  ASSERT_NE(slacks[0], KEM_NO_SLACK);

  velmo_test_threads_restart();
  setenv("VELMO_TEST_THREADS_STARTED", "1", 1);
  host::sta::forget(kem);
  try {
    host::sta::analyze(kem);
    ADD_FAILURE() << "the analysis ran without its helpers";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code(), std::errc::resource_unavailable_try_again);
  }
  unsetenv("VELMO_TEST_THREADS_STARTED");
  host::sta::forget(kem);
  host::sta::analyze(kem);
  for (int corner = 0; corner < 4; ++corner) EXPECT_EQ(setup_at(cd, corner), slacks[corner]) << corner;
}

TEST_F(StaTest, UtilityQueriesQuickAnalysesAndCornerSwitch) {
  WEXAN_HOV_UTILITY* util = host::hov::utility();
  ASSERT_TRUE(util);
  EXPECT_EQ(util->get_setup_slack(c->get_id(), DB_INPUT_PORT_DATA_IN, 0), -30);
  EXPECT_EQ(util->get_hold_slack(b->get_id(), DB_INPUT_PORT_DATA_IN, 0), -30);
  EXPECT_EQ(util->get_setup_slack(c->get_id(), DB_INPUT_PORT_ENA, 0), KEM_NO_SLACK);

  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_NODE* lin0 = timing_input(l, DB_INPUT_PORT_LUT_DATA);
  const KEM_EDGE* arc = kem->get_edge(lin0->begin_fanout());
  const KEM_EDGE* clk_edge = kem->get_edge(timing_output(cbuf)->begin_fanout());
  EXPECT_EQ(arc->get_slack(), KEM_QUICK_NO_SLACK);
  ASSERT_TRUE(util->perform_quick_timing_analysis(false));
  EXPECT_EQ(arc->get_slack(), 130);
  EXPECT_EQ(clk_edge->get_slack(), KEM_QUICK_NO_SLACK);  // the clock network has no requirement

  // The filter limits what the next analysis writes.
  hov_get_accessories()->set_sta_edge_filter({});
  ASSERT_TRUE(util->perform_quick_min_timing_analysis());
  EXPECT_EQ(arc->get_slack(), 130);
  hov_get_accessories()->clear_sta_edge_filter();
  ASSERT_TRUE(util->perform_quick_min_timing_analysis());
  EXPECT_EQ(arc->get_slack(), arc->get_hold_slack());

  // Switching to the fast corner re-annotates delays and slacks.
  EXPECT_EQ(arc->get_max_delay(), 100);
  util->switch_annotated_timing_model(nullptr, KEM_TIMING_MODEL::create_default_timing_model(nullptr, 1));
  EXPECT_EQ(arc->get_max_delay(), 65);
  EXPECT_EQ(util->get_hold_slack(b->get_id(), DB_INPUT_PORT_DATA_IN, 0), -20);
  EXPECT_EQ(util->get_setup_slack(c->get_id(), DB_INPUT_PORT_DATA_IN, 0), 189);
}

TEST_F(StaTest, DomainsUnclockedPathsAndClockNetwork) {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_NODE* ad = timing_input(a, DB_INPUT_PORT_DATA_IN);
  const KEM_NODE* cq = timing_output(c);
  const HOV_INCR_WNS_DOMAIN unclocked{};
  // The input port launches without a clock; c.Q ends at the output port.
  EXPECT_TRUE(sta_kem_node_has_domain(ad, unclocked, false));
  EXPECT_FALSE(sta_kem_node_has_domain(ad, kClk, false));
  EXPECT_TRUE(sta_get_node_wns_map(ad, true).empty());
  EXPECT_TRUE(sta_kem_node_has_domain(cq, unclocked, false));
  EXPECT_TRUE(sta_get_node_wns_map(cq, true).empty());
  EXPECT_EQ(sta_get_wns_domains(), (std::vector<HOV_INCR_WNS_DOMAIN>{unclocked, kClk}));
  // Clock network: the source, the buffer and its nets; not the clock pins.
  EXPECT_TRUE(sta_is_node_in_clock_network(timing_output(cbuf)));
  EXPECT_TRUE(sta_is_node_in_clock_network(kem->get_kem_node_from_oterm(
      host::vok::top_netlist()->get_atom_list().front()->get_oterm_slot(0))));
  const KEM_NODE* bclk = timing_input(b, DB_INPUT_PORT_CLK);
  EXPECT_TRUE(bclk->has_any_flag(KEM_NODE_FLAG_CLOCK_PIN));
  EXPECT_FALSE(sta_is_node_in_clock_network(bclk));
  EXPECT_FALSE(sta_is_node_in_clock_network(ad));
}

// A second clock splits the paths into domains by launch and capture clock.
TEST_F(HostTest, TwoClocksMakeOneDomainPerLaunchAndCapturePair) {
  device(Family::KY).build();
  auto n = netlist();
  auto clk1 = n.input_port("clk1");
  auto clk2 = n.input_port("clk2");
  n.clock("clk1", 1000, clk1).clock("clk2", 400, clk2);
  auto a = n.reg("a").clk(clk1).d(n.input_port("in"));
  auto b = n.reg("b").clk(clk2).d(a);
  auto c = n.reg("c").clk(clk2).d(b);
  n.timing();
  // Unplaced ends: 100 ps per net. b.D: 100 + 80 + 100 = 280 against
  // 400 + 100 - 50 (capture clk2's period).
  const HOV_INCR_WNS_DOMAIN d01{0, 1, 0, 0}, d11{1, 1, 0, 0};
  auto bmap = sta_get_node_wns_map(timing_input(b, DB_INPUT_PORT_DATA_IN), false);
  ASSERT_EQ(bmap.size(), 1u);
  EXPECT_EQ(bmap.at(d01), 170);
  auto cmap = sta_get_node_wns_map(timing_input(c, DB_INPUT_PORT_DATA_IN), false);
  ASSERT_EQ(cmap.size(), 1u);
  EXPECT_EQ(cmap.at(d11), 170);
  auto wns = sta_get_wns_map(KEM_MANAGER::get()->get_kem_netlist());
  EXPECT_EQ(wns.size(), 2u);
  EXPECT_TRUE(wns.count(d01) && wns.count(d11));
  // A's Q takes part in 0 -> 1 only.
  EXPECT_TRUE(sta_kem_node_has_domain(timing_output(a), d01, false));
  EXPECT_FALSE(sta_kem_node_has_domain(timing_output(a), d11, false));
}

TEST_F(HostTest, CombinationalLoopIsCutAtItsLowestIdEdge) {
  device(Family::KY).build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  auto a = n.reg("a").clk(clk).d(n.input_port("in"));
  auto x = n.lut("x", {a}, 0x1);
  auto y = n.lut("y", {x}, 0x1);
  x.input(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0, y);
  auto c = n.reg("c").clk(clk).d(y);
  n.timing();
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  // The loop's edges: x.in1 -> x.out -> y.in0 -> y.out -> x.in1.
  std::vector<const KEM_NODE*> loop = {
      timing_input(x, static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1)), timing_output(x),
      timing_input(y, DB_INPUT_PORT_LUT_DATA), timing_output(y)};
  std::vector<int> loop_edges;
  for (std::size_t i = 0; i < loop.size(); ++i)
    for (int e = loop[i]->begin_fanout(); e >= 0; e = kem->get_edge(e)->get_next_fanout())
      if (kem->get_edge(e)->get_dst_node() == loop[(i + 1) % loop.size()]) loop_edges.push_back(e);
  ASSERT_EQ(loop_edges.size(), 4u);
  EXPECT_EQ(host::sta::cut_edges(), std::vector<int>{*std::min_element(loop_edges.begin(), loop_edges.end())});
  // The rest is analysed: c.D = 100 + 80 + 100 + 100 (x.in0) + 100 + 100 +
  // 100 = 680 against 1000 + 100 - 50.
  EXPECT_EQ(sta_get_node_wns_map(timing_input(c, DB_INPUT_PORT_DATA_IN), false).at(kClk), 370);
  EXPECT_EQ(kem->get_edge(host::sta::cut_edges()[0])->get_setup_slack(), KEM_NO_SLACK);
}

}  // namespace

namespace {

using namespace host::testing;

// A routed connection's delay is the sum of its path's hop delays; the
// unrouted ones keep the estimate.
TEST_F(HostTest, RoutedConnectionsTakeTheHopDelaysOfTheirPath) {
  device(Family::KY).build();
  auto n = netlist();
  auto clk = n.input_port("clk");
  n.clock("clk", 1000, clk);
  auto a = n.reg("a").clk(clk).d(n.input_port("in")).placed(site_gid(1, 1, 1), 643);
  auto l = n.lut("l", {a}, 0x1).placed(site_gid(3, 1, 0), 644);
  auto c = n.reg("c").clk(clk).d(l).placed(site_gid(3, 1, 1), 643);
  // a.Q -> LAB output (35) -> two short east wires (70 each) -> LAB input (35).
  VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const int root = routing->new_source(a->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0));
  int node = routing->append_child_value(root, static_cast<std::int32_t>(lab_output_gid(1, 1, 0)));
  node = routing->append_child_value(node, static_cast<std::int32_t>(gid_of(element_ref(700, 1, 1, 0))));
  node = routing->append_child_value(node, static_cast<std::int32_t>(gid_of(element_ref(700, 2, 1, 0))));
  node = routing->append_child_value(node, static_cast<std::int32_t>(gid_of(lab_input(3, 1, 0))));
  routing->append_sink(node, l->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0));
  n.timing();

  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  const KEM_EDGE* routed = kem->get_edge(timing_input(l, DB_INPUT_PORT_LUT_DATA)->begin_fanin());
  ASSERT_TRUE(routed);
  EXPECT_EQ(routed->get_kind(), KEM_EDGE_INTERCONNECT);
  EXPECT_EQ(routed->get_max_delay(), 210);
  EXPECT_EQ(kem->get_edge_delay_ps(*routed, 1), 137);  // 210 x 0.65, rounded
  const KEM_EDGE* estimated = kem->get_edge(timing_input(c, DB_INPUT_PORT_DATA_IN)->begin_fanin());
  EXPECT_EQ(estimated->get_max_delay(), 60);  // same tile
  // c.D: 100 + 80 + 210 + 100 + 60 = 550 against 1000 + 100 - 50.
  EXPECT_EQ(sta_get_node_wns_map(timing_input(c, DB_INPUT_PORT_DATA_IN), false).at({0, 0, 0, 0}), 500);
}

}  // namespace
