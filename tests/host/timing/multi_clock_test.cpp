// The analysis of a design with several clocks: every answer per node, edge
// and domain, the incremental update on it, and when a full analysis may keep
// the results of the last one.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "hov/hov_rebuilds.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "sta/sta_io_constraints.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/scenes.h"
#include "testing/timing_builder.h"
#include "wexan/wexan_env.h"

namespace {

using namespace host::testing;

// Three clocks; paths crossing from clock 1 to 2 and 3, a falling-edge
// register on clock 1, a LUT both clock 1 and clock 2 reach (feeding a
// clock-3 and a clock-1 register), a constrained input pin on clock 2, an
// unconstrained input, and a constrained output pin on clock 3.
class MultiClockTest : public EnvTest {
protected:
  void SetUp() override {
    EnvTest::SetUp();
    device(Family::KY).build();
    n = std::make_unique<NETLIST_BUILDER>(netlist());
    auto clk1 = n->input_port("clk1");
    auto clk2 = n->input_port("clk2");
    clk3 = n->input_port("clk3");
    n->clock("clk1", 1000, clk1).clock("clk2", 400, clk2).clock("clk3", 700, clk3);
    a = n->reg("a").clk(clk1).d(n->input_port("in")).atom();
    auto b = n->reg("b").clk(clk2).d(a);
    fl = n->reg("fl").clk(clk1).d(a).atom();
    scenes::set_inverted(fl, DB_INPUT_PORT_CLK);
    x = n->lut("x", {a, b}, [](auto v) { return v[0] != v[1]; }).atom();
    n->reg("c").clk(clk3).d(x);
    auto h = n->reg("h").clk(clk1).d(x);
    n->reg("g").clk(clk2).d(fl);
    auto din = n->io_in("din");
    n->reg("k").clk(clk2).d(din);
    n->io_out("dout", h);
    host::timing::set_io_delay(n->find("din")->get_id(), {"clk2", 120, 40});
    host::timing::set_io_delay(n->find("dout")->get_id(), {"clk3", 200, 30});
  }
  void analyse() {
    m_env->indicate_that_atom_netlist_is_modified();
    m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, false, false, false, false, nullptr, false, false);
  }
  KEM_NETLIST* kem() const { return hov_get_accessories()->get_kem_netlist(); }
  std::unique_ptr<NETLIST_BUILDER> n;
  SIG clk3;
  VOK_ATOM_NODE *a = nullptr, *fl = nullptr, *x = nullptr;
};

// Every answer of the analysis, one line per node and edge with any, keyed by
// name (ids differ between builds).
std::string answers() {
  const KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  std::ostringstream out;
  const int corners = kem->get_corner_manager()->get_corner_count();
  const int clocks = static_cast<int>(host::timing::clocks().size());
  for (int id = 0; id < kem->get_node_count(); ++id) {
    const KEM_NODE* node = kem->get_node(id);
    if (!node) continue;
    std::ostringstream line;
    for (int c = 0; c < corners; ++c) {
      for (const auto& [d, slack] : host::sta::node_setup_slacks(id, c))
        line << " s" << c << ":" << d.launch << d.capture << "=" << slack;
      if (const int h = host::sta::node_worst_hold_slack(id, c); h != KEM_NO_SLACK) line << " h" << c << "=" << h;
    }
    for (int l = -1; l < clocks; ++l)
      for (int k = -1; k < clocks; ++k)
        if ((l < 0) == (k < 0) && sta_kem_node_has_domain(node, {l, k, 0, 0}, false)) line << " d" << l << k;
    if (sta_is_node_in_clock_network(node)) line << " clock";
    if (!line.str().empty()) out << node->get_string_name() << ":" << line.str() << "\n";
  }
  for (int id = 0; id < kem->get_edge_count(); ++id) {
    const KEM_EDGE* e = kem->get_edge(id);
    if (!e) continue;
    std::ostringstream line;
    for (int c = 0; c < corners; ++c)
      for (const int v : {host::sta::edge_setup_slack(id, c), host::sta::edge_hold_slack(id, c)})
        line << " " << (v == KEM_NO_SLACK ? std::string("-") : std::to_string(v));
    out << e->get_src_node()->get_string_name() << " > " << e->get_dst_node()->get_string_name() << ":" << line.str()
        << "\n";
  }
  for (const auto& [d, v] : sta_get_wns_map(kem))
    out << "domain " << d.launch << d.capture << ": " << v.wns << " " << v.tns << " " << v.endpoints << " "
        << v.failing_endpoints << "\n";
  out << "domains";
  for (const auto& d : sta_get_wns_domains()) out << " " << d.launch << d.capture;
  out << "\n";
  for (const auto& c : host::timing::summary())
    out << c.corner << ": " << c.setup_wns << " " << c.setup_tns << " " << c.hold_wns << " " << c.hold_tns << " "
        << c.setup_failing_endpoints << " " << c.hold_failing_endpoints << "\n";
  return out.str();
}

// The answers' lines in order: a netlist edited in place numbers its edges
// otherwise than one built afresh.
std::vector<std::string> sorted_lines(const std::string& answers) {
  std::vector<std::string> lines;
  std::istringstream in(answers);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The answers as the store of one value per node and domain gave them (the
// figures the analysis gave before its per-node domains were stored
// sparsely).
const char* const kExpected = R"(clk1: clock
clk2: clock
clk3: clock
a|in20.0: d-1-1
a|Q: s0:00=270 s0:01=170 s0:02=270 h0=160 s1:00=350 s1:01=250 s1:02=420 h1=104 d00 d01 d02
a|keeper: s0:00=270 s0:01=170 s0:02=270 h0=160 s1:00=350 s1:01=250 s1:02=420 h1=104 d00 d01 d02
in: d-1-1
b|in20.0: s0:01=170 h0=160 s1:01=250 h1=104 d01
b|Q: s0:10=560 s0:12=260 h0=370 s1:10=713 s1:12=413 h1=241 d10 d12
b|keeper: s0:10=560 s0:12=260 h0=370 s1:10=713 s1:12=413 h1=241 d10 d12
fl|in20.0: s0:00=270 h0=660 s1:00=350 h1=604 d00
fl|Q: s0:01=-30 h0=360 s1:01=50 h1=304 d01
fl|keeper: s0:01=-30 h0=360 s1:01=50 h1=304 d01
x|in12.0: s0:00=570 s0:02=270 h0=360 s1:00=720 s1:02=420 h1=234 d00 d02
x|in13.0: s0:10=560 s0:12=260 h0=370 s1:10=713 s1:12=413 h1=241 d10 d12
x|COMBOUT: s0:00=570 s0:02=270 s0:10=560 s0:12=260 h0=360 s1:00=720 s1:02=420 s1:10=713 s1:12=413 h1=234 d00 d02 d10 d12
c|in20.0: s0:02=270 s0:12=260 h0=360 s1:02=420 s1:12=413 h1=234 d02 d12
h|in20.0: s0:00=570 s0:10=560 h0=360 s1:00=720 s1:10=713 h1=234 d00 d10
h|Q: s0:02=70 h0=460 s1:02=220 h1=310 d02
h|keeper: s0:02=70 h0=460 s1:02=220 h1=310 d02
g|in20.0: s0:01=-30 h0=360 s1:01=50 h1=304 d01
din: s0:11=80 h0=170 s1:11=149 h1=125 d11
din~ibuf|in1.0: s0:11=80 h0=170 s1:11=149 h1=125 d11
din~ibuf|DATAOUT: s0:11=80 h0=170 s1:11=149 h1=125 d11
k|in20.0: s0:11=80 h0=170 s1:11=149 h1=125 d11
dout~obuf|in1.0: s0:02=70 h0=460 s1:02=220 h1=310 d02
dout~obuf|DATAOUT: s0:02=70 h0=460 s1:02=220 h1=310 d02
dout: s0:02=70 h0=460 s1:02=220 h1=310 d02
a|in20.0 > a|keeper: - - - -
a|in7.0 > a|keeper: - - - -
a|keeper > a|Q: 170 160 250 104
b|in20.0 > b|keeper: 170 160 250 104
b|in7.0 > b|keeper: - - - -
b|keeper > b|Q: 260 370 413 241
fl|in20.0 > fl|keeper: 270 660 350 604
fl|in7.0 > fl|keeper: - - - -
fl|keeper > fl|Q: -30 360 50 304
x|in12.0 > x|COMBOUT: 270 360 420 234
x|in13.0 > x|COMBOUT: 260 370 413 241
c|in20.0 > c|keeper: 260 360 413 234
c|in7.0 > c|keeper: - - - -
c|keeper > c|Q: - - - -
h|in20.0 > h|keeper: 560 360 713 234
h|in7.0 > h|keeper: - - - -
h|keeper > h|Q: 70 460 220 310
g|in20.0 > g|keeper: -30 360 50 304
g|in7.0 > g|keeper: - - - -
g|keeper > g|Q: - - - -
din~ibuf|in1.0 > din~ibuf|DATAOUT: 80 170 149 125
k|in20.0 > k|keeper: 80 170 149 125
k|in7.0 > k|keeper: - - - -
k|keeper > k|Q: - - - -
dout~obuf|in1.0 > dout~obuf|DATAOUT: 70 460 220 310
clk1 > a|in7.0: - - - -
in > a|in20.0: - - - -
clk2 > b|in7.0: - - - -
a|Q > b|in20.0: 170 160 250 104
clk1 > fl|in7.0: - - - -
a|Q > fl|in20.0: 270 660 350 604
a|Q > x|in12.0: 270 360 420 234
b|Q > x|in13.0: 260 370 413 241
clk3 > c|in7.0: - - - -
x|COMBOUT > c|in20.0: 260 360 413 234
clk1 > h|in7.0: - - - -
x|COMBOUT > h|in20.0: 560 360 713 234
clk2 > g|in7.0: - - - -
fl|Q > g|in20.0: -30 360 50 304
din > din~ibuf|in1.0: 80 170 149 125
clk2 > k|in7.0: - - - -
din~ibuf|DATAOUT > k|in20.0: 80 170 149 125
h|Q > dout~obuf|in1.0: 70 460 220 310
dout~obuf|DATAOUT > dout: 70 460 220 310
domain 00: 270 0 2 0
domain 01: -30 -30 2 1
domain 02: 270 0 1 0
domain 10: 560 0 1 0
domain 11: 80 0 1 0
domain 12: 260 0 1 0
domains -1-1 00 01 02 10 11 12
1_slow_900mv_100c: -30 -30 160 0 1 0
1_fast_900mv_-40c: 50 0 104 0 0 0
)";

TEST_F(MultiClockTest, EveryAnswerOfAMultiClockDesign) {
  analyse();
  const std::string got = answers();
  if (std::getenv("MULTI_CLOCK_PRINT")) std::printf("%s", got.c_str());
  EXPECT_EQ(got, kExpected);
}

// A full analysis of an unchanged design keeps the last one's results; a
// change the netlist's change log does not see (an I/O delay, a clock's
// period, a register's clock edge, an annotated delay) or an incremental
// update in between makes it compute them again, as a fresh build would.
TEST_F(MultiClockTest, AFullAnalysisKeepsItsResultsOnlyWhenNothingItReadsMoved) {
  analyse();
  const std::string first = answers();
  const int kept = host::sta::kept_analysis_count();
  sta_full_update_timing(true);
  EXPECT_EQ(host::sta::kept_analysis_count(), kept + 1);
  EXPECT_EQ(answers(), first);

  auto expect_recomputed = [&](const std::string& what, auto change, auto undo) {
    change();
    const int before = host::sta::kept_analysis_count();
    sta_full_update_timing(true);
    EXPECT_EQ(host::sta::kept_analysis_count(), before) << what;
    const std::string got = answers();
    EXPECT_NE(got, first) << what;
    analyse();  // built and analysed from scratch
    EXPECT_EQ(answers(), got) << what;
    if (undo()) {
      analyse();
      EXPECT_EQ(answers(), first) << what;
    }
  };
  const int din = n->find("din")->get_id();
  expect_recomputed(
      "input delay", [&] { host::timing::set_io_delay(din, {"clk2", 200, 40}); },
      [&] { return host::timing::set_io_delay(din, {"clk2", 120, 40}), true; });
  expect_recomputed(
      "clock period", [&] { n->clock("clk3", 900, clk3); }, [&] { return n->clock("clk3", 700, clk3), true; });
  expect_recomputed(
      "clock edge", [&] { scenes::set_inverted(fl, DB_INPUT_PORT_CLK, 0, false); },
      [&] { return scenes::set_inverted(fl, DB_INPUT_PORT_CLK), true; });

  // A structural change (x rebuilt with a second input from the falling-edge
  // register) reaches the full analysis through the change log.
  analyse();
  VOK_ATOM_ITERM* const in1 = x->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0);
  in1->disconnect_from_source(VOK_NET_ITERM::OPEN);
  vok_connect(fl->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), in1);
  m_env->indicate_that_atom_netlist_is_modified(x->get_id(), false, false);
  int before = host::sta::kept_analysis_count();
  sta_full_update_timing(true);
  EXPECT_EQ(host::sta::kept_analysis_count(), before);
  const std::string rebuilt = answers();
  EXPECT_NE(rebuilt, first);
  analyse();
  EXPECT_EQ(answers(), rebuilt);

  // An annotated delay stays (last: it cannot be taken back).
  expect_recomputed(
      "annotated delay",
      [&] { host::kem::annotate_iterm_delay(x->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0), 333, 222); },
      [] { return false; });
  const std::string annotated = answers();

  // After an incremental update the next full analysis computes; the one
  // after it keeps.
  in1->disconnect_from_source(VOK_NET_ITERM::OPEN);
  vok_connect(n->find("b")->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), in1);
  m_env->indicate_that_atom_netlist_is_modified(x->get_id(), false, false);
  sta_increm_update_timing();  // verified against a full analysis inside
  const std::string updated = answers();
  EXPECT_NE(updated, annotated);
  before = host::sta::kept_analysis_count();
  sta_full_update_timing(true);
  EXPECT_EQ(host::sta::kept_analysis_count(), before);
  sta_full_update_timing(true);
  EXPECT_EQ(host::sta::kept_analysis_count(), before + 1);
  EXPECT_EQ(answers(), updated);
}


// The analysis after each stage updates from what moved instead of analysing
// the whole design again: with nothing changed it makes no whole analysis
// (the edge records follow the current corner); a change the change log
// does not record (an I/O delay, a register's clock edge, an annotated
// delay, one moving a delay on the second corner alone) or one it does (a
// rebuilt LUT) is followed without one, unless it moves a required time at
// a cell that may not be touched; every answer equals what a fresh build
// and analysis give.
TEST_F(MultiClockTest, TheAnalysisAfterAStageFollowsWhatMovedWithoutAWholeAnalysis) {
  analyse();
  const std::string first = answers();
  int fulls = host::sta::full_analysis_count();
  const int updates = host::sta::incremental_update_count();
  sta_update_timing_after_stage(true);
  sta_update_timing_after_stage(true);
  // Another current corner: only the edge records follow it.
  KEM_CORNER_MANAGER* const cm = kem()->get_corner_manager();
  for (int corner : {1, 0}) {
    cm->change_corner(cm->get_loaded_corners()[static_cast<std::size_t>(corner)]);
    sta_update_timing_after_stage(true);
    for (int id = 0; id < kem()->get_edge_count(); ++id)
      if (const KEM_EDGE* e = kem()->get_edge(id)) {
        EXPECT_EQ(e->get_setup_slack(), host::sta::edge_setup_slack(id, corner)) << "edge " << id;
        EXPECT_EQ(e->get_hold_slack(), host::sta::edge_hold_slack(id, corner)) << "edge " << id;
      }
  }
  EXPECT_EQ(host::sta::full_analysis_count(), fulls);
  EXPECT_EQ(host::sta::incremental_update_count(), updates);
  EXPECT_EQ(answers(), first);
  // The whole netlist reported modified but unchanged: the build is kept,
  // and what the analysis reads besides the change log is read again
  // rather than analysed whole.
  m_env->indicate_that_atom_netlist_is_modified();
  const int kept_builds = host::hov::kept_builds();
  sta_update_timing_after_stage(true);
  EXPECT_EQ(host::hov::kept_builds(), kept_builds + 1);
  EXPECT_EQ(host::sta::full_analysis_count(), fulls);
  EXPECT_EQ(answers(), first);

  auto expect_followed = [&](const std::string& what, auto change) {
    const std::string before = answers();
    change();
    fulls = host::sta::full_analysis_count();
    sta_update_timing_after_stage(true);
    EXPECT_EQ(host::sta::full_analysis_count(), fulls) << what;
    const std::string got = answers();
    EXPECT_NE(got, before) << what;
    analyse();  // built and analysed from scratch
    EXPECT_EQ(sorted_lines(answers()), sorted_lines(got)) << what;
  };
  const int din = n->find("din")->get_id();
  expect_followed("input delay", [&] { host::timing::set_io_delay(din, {"clk2", 200, 40}); });
  expect_followed("clock edge", [&] { scenes::set_inverted(fl, DB_INPUT_PORT_CLK, 0, false); });
  expect_followed("rebuilt LUT", [&] {
    VOK_ATOM_ITERM* const in1 =
        x->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_LUT_DATA + 1), 0);
    in1->disconnect_from_source(VOK_NET_ITERM::OPEN);
    vok_connect(fl->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0), in1);
    m_env->indicate_that_atom_netlist_is_modified(x->get_id(), false, false);
  });
  expect_followed("annotated delay", [&] {
    host::kem::annotate_iterm_delay(x->get_input_term_by_type(DB_INPUT_PORT_LUT_DATA, 0), 333, 222);
  });
  // An annotation equal to the connection's delay on the first corner moves
  // it on the second corner alone.
  expect_followed("annotated delay moving the second corner only", [&] {
    const VOK_ATOM_ITERM* const t = n->find("c")->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
    const KEM_EDGE* const e = kem()->get_ic_edge_to_iterm(t);
    ASSERT_TRUE(e);
    const int first = kem()->get_edge_delay_ps(*e, 0);
    ASSERT_NE(kem()->get_edge_delay_ps(*e, 1), first);
    host::kem::annotate_iterm_delay(t, first, first);
    ASSERT_EQ(kem()->get_edge_delay_ps(*e, 0), first);
    ASSERT_EQ(kem()->get_edge_delay_ps(*e, 1), first);
  });
  // A register added since and followed by an incremental update (which
  // reads nothing besides the change log), then clocked on the other edge.
  VOK_ATOM_NODE* const z = n->reg("z").clk(clk3).d(x).atom();
  m_env->indicate_that_atom_netlist_is_modified(z->get_id(), false, false);
  sta_increm_update_timing();
  expect_followed("clock edge of an added register", [&] { scenes::set_inverted(z, DB_INPUT_PORT_CLK); });

  // A moved value that moves the arrival or the required time at a cell
  // that may not be touched (the buffers next to the constrained pins): a
  // pin's I/O delay, or a delay annotated on the connection into the output
  // pin. The analysis is a whole one.
  n->find("din~ibuf")->set_modifiable(false);
  n->find("dout~obuf")->set_modifiable(false);
  analyse();
  auto expect_whole = [&](const std::string& what, auto change) {
    change();
    fulls = host::sta::full_analysis_count();
    const int incremental = host::sta::incremental_update_count();
    sta_update_timing_after_stage(true);
    EXPECT_EQ(host::sta::full_analysis_count(), fulls + 1) << what;
    EXPECT_EQ(host::sta::incremental_update_count(), incremental) << what;
    const std::string got = answers();
    analyse();
    EXPECT_EQ(sorted_lines(answers()), sorted_lines(got)) << what;
  };
  VOK_ATOM_NODE* const dout = n->find("dout");
  expect_whole("input delay", [&] { host::timing::set_io_delay(din, {"clk2", 260, 40}); });
  expect_whole("output delay", [&] { host::timing::set_io_delay(dout->get_id(), {"clk3", 260, 30}); });
  expect_whole("annotated delay into the pin",
               [&] { host::kem::annotate_iterm_delay(dout->get_input_term_by_type(DB_INPUT_PORT_BOX, 0), 444, 111); });
  // With stale timing allowed, such a change leaves the timing stale, and
  // the next analysis after a stage is a whole one even with nothing moved
  // since.
  sta_allow_stale_timing_when_unable_to_incrementally_update(true);
  host::timing::set_io_delay(dout->get_id(), {"clk3", 300, 30});
  fulls = host::sta::full_analysis_count();
  sta_update_timing_after_stage(true);
  EXPECT_TRUE(sta_is_timing_stale());
  EXPECT_EQ(host::sta::full_analysis_count(), fulls);
  sta_update_timing_after_stage(true);
  EXPECT_FALSE(sta_is_timing_stale());
  EXPECT_EQ(host::sta::full_analysis_count(), fulls + 1);
  sta_allow_stale_timing_when_unable_to_incrementally_update(false);
  const std::string unstale = answers();
  analyse();
  EXPECT_EQ(sorted_lines(answers()), sorted_lines(unstale));

  // Other clocks leave nothing to update from: a whole analysis, the same
  // as a fresh one.
  n->clock("clk3", 900, clk3);
  fulls = host::sta::full_analysis_count();
  sta_update_timing_after_stage(true);
  EXPECT_EQ(host::sta::full_analysis_count(), fulls + 1);
  const std::string reclocked = answers();
  analyse();
  EXPECT_EQ(sorted_lines(answers()), sorted_lines(reclocked));
}

}  // namespace
