// velmo-fit running the place, route and retime stages on the default design.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <regex>
#include <string>

namespace {
using velmo_fit_test::RESULT;
const auto run_fit = velmo_fit_test::run;
}  // namespace

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitRoute, RouteAndRetimeRunAfterPlacementOnRetimingFamilies) {
  for (const char* family : {"46", "26"}) {
    auto r = run_fit(std::string("--stages place,route,retime --family ") + family);
    EXPECT_EQ(r.status, 0) << family << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Stage place: ok"));
    EXPECT_THAT(r.out, HasSubstr("Info (016607): Fitter routing operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Stage route: ok"));
    EXPECT_THAT(r.out, HasSubstr("Info (018821): Fitter Zento-Retimer operations ending: elapsed time is"));
    EXPECT_THAT(r.out, HasSubstr("Stage retime: ok"));
    // No finalize stage, so no hold fixing: the summary re-routed nothing.
    EXPECT_THAT(r.out, HasSubstr("\nHold fixing: 0 connections re-routed for hold, "));
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  }
}

TEST(VelmoFitRoute, RetimeFailsOnAFamilyWithoutPipelineRegisters) {
  auto r = run_fit("--stages place,route,retime --family 48");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage route: ok"));
  EXPECT_THAT(r.out, HasSubstr("Stage retime: FAILED"));
  // The stage runs on the "retimed" snapshot, where it says why it fails.
  EXPECT_THAT(r.out, HasSubstr("Error (018419): The Zento-Retimer is not supported for device KX-48-P1."));
  EXPECT_THAT(r.out, Not(HasSubstr("Stage checks")));
  EXPECT_THAT(r.out, Not(HasSubstr("Zento-Retimer operations ending")));
}

// With a clock that runs fast, a short fit's rounds and final stage last
// many of velmo-fit's 30 s intervals: a line each interval, the router's
// counting up the connections it has searched of those its round routes.
TEST(VelmoFitRoute, LongRoundsAndFinalStagesPrintAProgressLineEachInterval) {
  const RESULT r = velmo_fit_test::run_with("VELMO_TEST_CLOCK_SPEED=20000 LD_PRELOAD=" VELMO_FAST_CLOCK_LIB
                                            " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ",
                                            "--family 46");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::regex line("\n  Routing round (\\d+): (\\d+) of ([0-9,]+) connections searched \\(([0-9.]+) s\\)");
  const auto number = [](std::string s) { return std::stoi(std::regex_replace(s, std::regex(","), "")); };
  int lines = 0, round = 0, searched = 0;
  double seconds = 0.0;
  for (std::sregex_iterator m(r.out.begin(), r.out.end(), line), end; m != end; ++m, ++lines) {
    const int this_round = std::stoi((*m)[1]), now_searched = std::stoi((*m)[2]);
    EXPECT_LT(now_searched, number((*m)[3])) << m->str();
    if (this_round == round) {
      EXPECT_GT(now_searched, searched) << m->str();
      EXPECT_GE(std::stod((*m)[4]), seconds + 29.9) << m->str();
    }
    round = this_round, searched = now_searched, seconds = std::stod((*m)[4]);
  }
  EXPECT_GT(lines, 2) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\\n  Final stage: [a-z-]+.* \\([0-9.]+ s\\)\\n"))) << r.out;
}
