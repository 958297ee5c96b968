// velmo-fit with post-route physical synthesis on family 46: finalize runs
// the resynthesiser, the summary and the report count the LUTs it changed,
// and on benchmarks with a clock they fail setup WNS is no worse than
// without resynthesis.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include "fit_runner.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The final stage's counts: LUTs changed in any way, and those the
// resynthesiser changed; -1 without the line.
std::pair<int, int> changed_luts(const std::string& out) {
  std::smatch m;
  if (!std::regex_search(out, m,
                         std::regex("Final stage: (\\d+) LUTs? with changed connections or masks; (\\d+) LUTs? resynthesised")))
    return {-1, -1};
  return {std::stoi(m[1]), std::stoi(m[2])};
}

int slow_setup_wns(const std::string& out) {
  std::smatch m;
  if (!std::regex_search(out, m, std::regex("Timing 1_slow[^:]*: setup WNS (-?\\d+) ps"))) return 1 << 30;
  return std::stoi(m[1]);
}

// A device two sizes up from the one the built-in design is sized to: on the
// smaller ones the worst path is a register's own loop where no input swap
// helps, so the resynthesiser has nothing to change there.
TEST(VelmoFitPostRouteResyn, FinalizeResynthesisesAndCountsTheChangedLuts) {
  const std::string report = velmo_fit_test::test_dir() + "post_route_resyn.json";
  auto r = velmo_fit_test::run("--family 46 --device 19 --cfg muvo_post_route_in_finalize=on --debug --report " + report);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("VM Debug: implement stats tries "));
  const auto [changed, resynthesised] = changed_luts(r.out);
  EXPECT_GT(changed, 0) << r.out;
  // Retiming moved nothing here (no global clock): every changed LUT is the
  // resynthesiser's, each named once in its account.
  EXPECT_THAT(r.out, Not(HasSubstr("Retiming: ")));
  EXPECT_EQ(resynthesised, changed) << r.out;
  int named = 0;
  for (std::size_t at = r.out.find("VM Debug: resynthesised LUT "); at != std::string::npos;
       at = r.out.find("VM Debug: resynthesised LUT ", at + 1))
    ++named;
  EXPECT_EQ(named, resynthesised);
  nlohmann::json j;
  std::ifstream(report) >> j;
  EXPECT_EQ(j.value("final_changed_luts", -1), changed);
  EXPECT_EQ(j.value("final_resynthesised_luts", -1), resynthesised);
}

TEST(VelmoFitPostRouteResyn, BenchmarksWithAFailingClockGetNoWorse) {
  const std::string settings = velmo_fit_test::test_dir() + "resyn_clock.json";
  std::ofstream(settings) << R"({"clocks": {"clk": 200}})";
  for (const char* design : {"yosys/crc32x8.blif", "yosys/fir8.blif"}) {
    SCOPED_TRACE(design);
    const std::string base = std::string(VELMO_DESIGNS_DIR) + "/" + design + " --settings " + settings +
                             " --family 46 --cfg muvo_post_route_in_finalize=on --cfg post_route_resyn_num_reroute_passes=1";
    auto on = velmo_fit_test::run(base + " --debug");
    auto off = velmo_fit_test::run(base + " --cfg test_incremental_resynthesis=off");
    ASSERT_EQ(on.status, 0) << on.out;
    ASSERT_EQ(off.status, 0) << off.out;
    EXPECT_THAT(on.out, HasSubstr("VM Debug: implement stats tries "));
    EXPECT_LT(slow_setup_wns(on.out), 0);
    EXPECT_GE(slow_setup_wns(on.out), slow_setup_wns(off.out));
  }
}

}  // namespace
