// velmo-fit running the finalize stage after placement, routing and (where
// the family has pipeline registers) retiming, on the default design.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace {
using velmo_fit_test::RESULT;
const auto run_fit = velmo_fit_test::run;
}  // namespace

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitFinalize, RetimingFamiliesRunTheHoldFixRerouteAndFinish) {
  for (const char* family : {"46", "26"}) {
    auto r = run_fit(std::string("--stages place,route,retime,final --family ") + family);
    EXPECT_EQ(r.status, 0) << family << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Stage retime: ok"));
    EXPECT_THAT(r.out, HasSubstr("Info (020273): Intermediate fitter snapshots will not be committed because "
                                 "ENABLE_INTERMEDIATE_SNAPSHOTS WAB assignment is disabled during compilation."));
    EXPECT_THAT(r.out, HasSubstr("Info (018822): Fitter post-routing fixup operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Info (016557): Fitter post-fit operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  }
}

TEST(VelmoFitFinalize, FamilyWithoutPipelineRegistersRunsTheRouteFixup) {
  auto r = run_fit("--stages place,route,final --family 48");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, Not(HasSubstr("post-routing fixup operations ending")));
  EXPECT_THAT(r.out, HasSubstr("Info (016557): Fitter post-fit operations ending: elapsed time is"));
  EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));

  // fir8 with out:y[0] held 1410 ps where setup leaves it 160 ps: the route
  // fix-up re-routes its connection with what setup allows (hold gains about
  // 100 ps and still fails), and the line naming it says the re-route could
  // not fix it (it did change it), each count of one in the singular.
  const std::string settings = velmo_fit_test::write_file(
      "fir8_y0_hold.json", R"({"clocks": {"clk": 20000}, "io_delays": {"out:y[0]": {"clock": "clk", "max": 18390, "min": -1410}}})");
  r = run_fit(std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif --family 48 --settings " + settings);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("\nHold fixing: 1 connection re-routed for hold, 0 dangling wires added\n"));
  EXPECT_THAT(r.out, HasSubstr("\nHold: FAILING at 1 endpoint (worst "));
  EXPECT_THAT(r.out, HasSubstr("\nHold not met at 1 endpoint the re-route cannot fix, the delay they need would fail "
                               "setup (1): out:y[0]~obuf\n"));

  // b's clock runs through 30 LUTs, its data from a through 30: hold needs
  // more delay than setup allows at the default period. The next line says
  // so while the settings give no period.
  std::string blif = ".model skew\n.inputs clk d e\n.outputs y\n.latch d a re clk 0\n.names a x0\n1 1\n";
  for (int i = 1; i <= 30; ++i) blif += ".names x" + std::to_string(i - 1) + " e x" + std::to_string(i) + "\n11 1\n";
  for (int i = 1; i <= 30; ++i) blif += ".names " + (i > 1 ? "k" + std::to_string(i - 1) : "clk") + " k" +
                                        std::to_string(i) + "\n1 1\n";
  const std::string skew = velmo_fit_test::write_file("hold_skew.blif", blif + ".names a x30 bd\n11 1\n"
                                                      ".latch bd b re k30 0\n.names b y\n1 1\n.end\n");
  const std::string given = velmo_fit_test::write_file("hold_skew.json", R"({"clocks": {"clk": 5000}})");
  for (const std::string& settings : {std::string(), " --settings " + given}) {
    r = run_fit(skew + " --family 46" + settings);
    EXPECT_THAT(r.out, HasSubstr("the delay they need would fail setup (1): b\n")) << r.out;
    EXPECT_EQ(r.out.find("\n  No clock period was given: every clock is timed at the default 5000 ps; give the real "
                         "periods with --settings FILE holding {\"clocks\": {\"NET\": PERIOD_PS}}") != std::string::npos,
              settings.empty()) << r.out;
  }
}

TEST(VelmoFitFinalize, HoldFixingLineFollowsRoutingAndEveryCornerIsReported) {
  auto r = run_fit("--stages place,route,retime,final --family 46");
  EXPECT_EQ(r.status, 0) << r.out;
  const auto routing = r.out.find("Routing: ");
  const auto hold = r.out.find("Hold fixing: 0 connections re-routed for hold, ");
  ASSERT_NE(routing, std::string::npos);
  ASSERT_NE(hold, std::string::npos) << r.out;
  EXPECT_LT(routing, hold);
  // Hold fixing leaves one corner loaded; the report still shows both.
  EXPECT_THAT(r.out, HasSubstr("Timing 1_slow_900mv_100c: "));
  EXPECT_THAT(r.out, HasSubstr("Timing 1_fast_900mv_-40c: "));
}

// fir8 with inputs that arrive early (a negative minimum input delay) fails
// hold after its second, full route (negotiated afresh, not following the
// route stage's routing): the hold-fix re-route takes the failures away; the
// test pass on the same fit (the route stage's routing kept) re-routes its
// failing connections for hold. Inputs that arrive earlier still leave the
// connections into the first taps a window of a few ps between the delay
// hold needs at the fast corner and what setup allows at the slow one: where
// no detour lands in it, the failing endpoints are named in one line.
TEST(VelmoFitFinalize, HoldFixReRouteClearsHoldAndTheTestPassReportsItsConnections) {
  auto fir8 = [](int min_ps) {
    const std::string settings = velmo_fit_test::test_dir() + "fir8_early_inputs" + std::to_string(-min_ps) + ".json";
    std::ofstream(settings) << R"({"clocks": {"clk": 20000}, "io_delays": {)"
                            << R"("x[0]": {"clock": "clk", "max": 19000, "min": )" << min_ps << "},"
                            << R"("x[1]": {"clock": "clk", "max": 19000, "min": )" << min_ps << "}}}";
    return std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif --settings " + settings;
  };
  auto r = run_fit(fir8(-500) + " --cfg host_router_follow_last_routing=off");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Stage route: ok \\([0-9:]+\\), worst setup slack -?[0-9]+ ps, "
                                              "worst hold slack -[0-9]+ ps"));
  EXPECT_THAT(r.out, Not(HasSubstr("Hold fixing: 0 connections")));
  EXPECT_THAT(r.out, HasSubstr("connections re-routed for hold"));
  for (const char* corner : {"1_slow_900mv_100c", "1_fast_900mv_-40c"})
    EXPECT_THAT(r.out, ::testing::ContainsRegex(std::string("Timing ") + corner + ": setup WNS [0-9]+ ps, TNS 0 ps, 0 failing; "
                                                "hold WNS [0-9]+ ps, TNS 0 ps, 0 failing"));
  EXPECT_THAT(r.out, Not(HasSubstr("Hold not met")));

  r = run_fit(fir8(-500) + " --debug=2 --cfg korrin_incremental_router=on --cfg korrin_test_spar=on "
                           "--cfg velmo_finalize_run_spar=off");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Re-routing [1-9][0-9]* connections for hold \\(0 w/ ZOTAs\\)"));

  r = run_fit(fir8(-600) + " --cfg host_router_follow_last_routing=off");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Hold fixing: [1-9][0-9]* connections re-routed for hold"));
  const auto hold = r.out.find("Hold: FAILING at ");
  if (hold != std::string::npos) {
    int failing = 0, named = 0;
    std::sscanf(r.out.c_str() + hold, "Hold: FAILING at %d endpoints", &failing);
    const auto at = r.out.find("Hold not met at ");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::sscanf(r.out.c_str() + at, "Hold not met at %d endpoints", &named);
    EXPECT_EQ(named, failing) << r.out;
    EXPECT_THAT(r.out.substr(at, r.out.find('\n', at) - at),
                ::testing::ContainsRegex("the re-route cannot fix, no detour meets the delay they need \\([0-9]+\\): tap\\["));
  }
}

namespace {
// A corner's figures from the timing summary.
struct CORNER_FIGURES {
  int setup_failing = -1;
  long long setup_tns = 0;
  int hold_failing = -1;
};
CORNER_FIGURES corner_figures(const std::string& out, const std::string& corner) {
  CORNER_FIGURES f;
  const auto at = out.find("Timing " + corner + ": ");
  if (at == std::string::npos) return f;
  const std::string line = out.substr(at, out.find('\n', at) - at);
  std::sscanf(line.c_str() + line.find("TNS "), "TNS %lld ps, %d failing", &f.setup_tns, &f.setup_failing);
  std::sscanf(line.c_str() + line.rfind("TNS "), "TNS %*d ps, %d failing", &f.hold_failing);
  return f;
}
const char* const kCorners[] = {"1_slow_900mv_100c", "1_fast_900mv_-40c"};
std::string data(const char* file) { return std::string(VELMO_SOURCE_DIR) + "/tests/data/" + file; }
}  // namespace

// Designs made to fail hold after routing end with hold met at every corner,
// or name in one line the endpoints the re-route cannot fix and why:
// - tseng with its outputs held 1100 ps (pclk 5000 ps), on every family: the re-route takes
//   the connections into the output buffers, in the SPAR flow where the
//   device has pipeline registers and in the route fix-up where it has none;
// - tseng with a pipeline register and the time-borrowing run: the register
//   starts at the floor level, so the run does not lift it past what the
//   hold fixing saw;
// - mac16 with its partitions and output delays: the output buffers lie in
//   the preserved top partition.
TEST(VelmoFitFinalize, HoldFixingEndsWithHoldMetOrNamesWhatItCannotChange) {
  for (const std::string& family : {"", "46", "26", "48", "15"}) {
    // The settings' own family (46) with the outputs' maximum at 200 ps, then
    // every family with it at 0.
    const auto r = run_fit(std::string(VELMO_DESIGNS_DIR) + "/mcnc/tseng.blif --settings " +
                           (family.empty() ? data("tseng_output_hold_settings.json")
                                           : data("tseng_output_hold_max0_settings.json") + " --family " + family));
    EXPECT_EQ(r.status, 0) << family << "\n" << r.out;
    EXPECT_THAT(r.out, ::testing::ContainsRegex("Stage route: ok \\([0-9:]+\\), worst setup slack -?[0-9]+ ps, "
                                                "worst hold slack -[0-9]+ ps")) << family;
    EXPECT_THAT(r.out, ::testing::ContainsRegex("Hold fixing: [1-9][0-9]* connections re-routed for hold")) << family;
    for (const char* corner : kCorners)
      EXPECT_EQ(corner_figures(r.out, corner).hold_failing, 0) << family << " " << corner << "\n" << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("Hold: FAILING"))) << family;
    EXPECT_THAT(r.out, Not(HasSubstr("Hold not met"))) << family;
  }

  auto r = run_fit(std::string(VELMO_DESIGNS_DIR) + "/mcnc/tseng.blif --settings " + data("tseng_tbff_settings.json") +
              " --cfg yun_depopulate_force_user_depop=on --debug --cfg velmo_debug_tbff_optimization=on");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("TBFF: found 1 pmux groups to set pulse width"));
  EXPECT_THAT(r.out, HasSubstr("TBFF: find 0 new hold violations after opening pulse width for time borrowing"));
  for (const char* corner : kCorners) EXPECT_EQ(corner_figures(r.out, corner).hold_failing, 0) << corner << "\n" << r.out;

  r = run_fit(std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.blif --settings " +
              data("mac16_partitions_output_delay_settings.json"));
  EXPECT_EQ(r.status, 0) << r.out;
  int failing = 0;
  for (const char* corner : kCorners) failing = std::max(failing, corner_figures(r.out, corner).hold_failing);
  // Every failing endpoint is named as one the partitions keep.
  velmo_fit_test::expect_held_endpoints_named(r.out, failing, "in routing or atoms a preserved or blackboxed partition keeps");
}

// The hold-fix re-route does not make a passing setup fail: diffeq with its
// inputs held at 0 ps and its outputs at 1000 ps fails hold at many
// endpoints after routing; afterwards hold is met and no more endpoints fail
// setup than before the final stage.
TEST(VelmoFitFinalize, HoldFixReRouteKeepsPassingSetup) {
  const std::string args = std::string(VELMO_DESIGNS_DIR) + "/mcnc/diffeq.blif --settings " + data("diffeq_io_delay_settings.json");
  const auto before = run_fit(args + " --stages plan,place,route,retime");
  const auto after = run_fit(args);
  ASSERT_EQ(before.status, 0) << before.out;
  ASSERT_EQ(after.status, 0) << after.out;
  EXPECT_THAT(after.out, ::testing::ContainsRegex("Hold fixing: [1-9][0-9]* connections re-routed for hold"));
  for (const char* corner : kCorners) {
    const CORNER_FIGURES b = corner_figures(before.out, corner), a = corner_figures(after.out, corner);
    EXPECT_GT(b.hold_failing, 0) << corner;
    EXPECT_EQ(a.hold_failing, 0) << corner;
    EXPECT_LE(a.setup_failing, b.setup_failing) << corner;
    EXPECT_GE(a.setup_tns, b.setup_tns) << corner;
  }
}

// Hold fixing may still spend setup room (the dangling-stub fixer has no
// setup limit): tseng at 2000 ps with its inputs at min 0 and its outputs at
// min -1200 ends the final stage with setup endpoints failing that passed
// before it. velmo-fit names how many per corner, and the report holds the
// same counts; a fit where none fail prints no such line and reports 0.
TEST(VelmoFitFinalize, FinalStageCountsTheSetupEndpointsItMadeFail) {
  nlohmann::json settings = nlohmann::json::parse(std::ifstream(data("tseng_io_hold_2000_settings.json")));
  for (auto& [pin, delays] : settings["io_delays"].items())
    if (delays["min"].get<int>() == -1000) delays["min"] = -1200;
  const std::string args = std::string(VELMO_DESIGNS_DIR) + "/mcnc/tseng.blif --settings " +
                           velmo_fit_test::write_file("tseng_io_hold_1200.json", settings.dump());
  const std::string report = velmo_fit_test::write_file("report.json", "");
  const auto before = run_fit(args + " --stages plan,place,route,retime");
  const auto after = run_fit(args + " --report " + report);
  ASSERT_EQ(before.status, 0) << before.out;
  ASSERT_EQ(after.status, 0) << after.out;
  std::ifstream in(report);
  const nlohmann::json j = nlohmann::json::parse(in);
  ASSERT_TRUE(j.contains("final_setup_newly_failing")) << j.dump(2);
  const std::map<std::string, int> expected = {{"1_slow_900mv_100c", 24}, {"1_fast_900mv_-40c", 4}};
  using COUNTS = std::map<std::string, int>;
  EXPECT_EQ(j["final_setup_newly_failing"].get<COUNTS>(), expected);
  for (const auto& [corner, n] : expected) {
    const std::string line = n == 1 ? "Final stage: 1 setup endpoint passing before it now fails (corner " + corner + ")"
                                    : "Final stage: " + std::to_string(n) + " setup endpoints passing before it now fail (corner " + corner + ")";
    EXPECT_THAT(after.out, HasSubstr(line + "\n"));
    // No more endpoints fail than failed before plus those it names.
    const CORNER_FIGURES b = corner_figures(before.out, corner), a = corner_figures(after.out, corner);
    EXPECT_GT(a.setup_failing, b.setup_failing) << corner;
    EXPECT_LE(a.setup_failing, b.setup_failing + n) << corner;
  }

  // diffeq's hold fixing keeps every passing setup.
  const auto diffeq = run_fit(std::string(VELMO_DESIGNS_DIR) + "/mcnc/diffeq.blif --settings " +
                              data("diffeq_io_delay_settings.json") + " --report " + report);
  ASSERT_EQ(diffeq.status, 0) << diffeq.out;
  EXPECT_THAT(diffeq.out, Not(HasSubstr("passing before it now fail")));
  std::ifstream in2(report);
  const nlohmann::json k = nlohmann::json::parse(in2);
  const std::map<std::string, int> none = {{"1_slow_900mv_100c", 0}, {"1_fast_900mv_-40c", 0}};
  EXPECT_EQ(k["final_setup_newly_failing"].get<COUNTS>(), none);
}

// The hold-fixing line and the report count the dangling stubs hold fixing
// added, nothing else: crc32x8 meets hold without any on every family (the
// clock's routing keeps no wire that leads to no sink), while tseng at 2000
// ps with early inputs and outputs (held 1100 ps, more than re-routes alone
// give) gets as many as its passes say they added, and none of its sinkless
// leaves is counted apart.
TEST(VelmoFitFinalize, HoldFixingCountsTheDanglingWiresItAdded) {
  const std::string report = velmo_fit_test::write_file("report.json", "");
  auto read_report = [&] {
    std::ifstream in(report);
    return nlohmann::json::parse(in);
  };
  for (const char* family : {"46", "26", "48", "15"}) {
    const auto r = run_fit(std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif --family " + family + " --report " + report);
    ASSERT_EQ(r.status, 0) << family << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Hold fixing: 0 connections re-routed for hold, 0 dangling wires added\n")) << family;
    const nlohmann::json j = read_report();
    EXPECT_EQ(j["hold_fixing"]["dangling_wires"], 0) << family;
    EXPECT_EQ(j["routing"]["dangling_leaves"], 0) << family;
  }

  std::ifstream in(data("tseng_io_hold_2000_settings.json"));
  std::string settings(std::istreambuf_iterator<char>(in), {});
  const std::string early = "\"min\": -1000";
  for (std::size_t at = settings.find(early); at != std::string::npos; at = settings.find(early, at))
    settings.replace(at, early.size(), "\"min\": -1100");
  const auto r = run_fit(std::string(VELMO_DESIGNS_DIR) + "/mcnc/tseng.blif --settings " +
                         velmo_fit_test::write_file("tseng_hold_1100.json", settings) + " --debug=2 --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  int added = 0, passes = 0;
  for (std::size_t at = r.out.find(" dangling wires were added to fix hold failures."); at != std::string::npos;
       at = r.out.find(" dangling wires were added to fix hold failures.", at + 1)) {
    const std::size_t start = r.out.rfind('\n', at) + 1;
    added += std::atoi(r.out.c_str() + start);
    ++passes;
  }
  EXPECT_GE(passes, 1);
  EXPECT_GT(added, 1);
  EXPECT_THAT(r.out, HasSubstr(" connections re-routed for hold, " + std::to_string(added) + " dangling wires added\n"));
  const nlohmann::json j = read_report();
  EXPECT_EQ(j["hold_fixing"]["dangling_wires"], added);
  EXPECT_EQ(j["routing"]["dangling_leaves"], 0);
}
