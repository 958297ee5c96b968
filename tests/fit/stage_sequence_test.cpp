// velmo-fit plays the host's whole stage sequence on every family it fits:
// the preparation steps before the first stage, the design snapshot of each
// stage, the route-stage operations after routing and the post-fit checks at
// the end; and a step that fails always says why.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {
using velmo_fit_test::RESULT;
using velmo_fit_test::run;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

struct FAMILY_CASE {
  const char* family;
  const char* design;
  bool retimer;
};

class StageSequenceTest : public ::testing::TestWithParam<FAMILY_CASE> {};

TEST_P(StageSequenceTest, DefaultFlowRunsEveryHostStep) {
  const FAMILY_CASE& c = GetParam();
  const std::string report = velmo_fit_test::test_dir() + "sequence_" + c.family + ".json";
  std::remove(report.c_str());
  const RESULT r = run(std::string(VELMO_DESIGNS_DIR) + "/" + c.design + " --family " + c.family + " --report " +
                       report);
  ASSERT_EQ(r.status, 0) << r.out;
  // The design-without-device step started the preparation clock that the
  // place stage reports.
  EXPECT_THAT(r.out, HasSubstr("Stage prepare: ok"));
  EXPECT_THAT(r.out, HasSubstr("Info (011165): Fitter preparation operations ending: elapsed time is"));
  EXPECT_THAT(r.out, HasSubstr("Info (016607): Fitter routing operations ending"));
  EXPECT_THAT(r.out, HasSubstr("Info (016557): Fitter post-fit operations ending"));
  EXPECT_THAT(r.out, HasSubstr("Stage checks: ok"));
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Routing: [1-9][0-9]* connections, 0 unrouted, 0 overused\n"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));

  std::vector<std::string> want = {"start-up", "prepare", "plan", "place", "route"};
  if (c.retimer) {
    // Retiming on the "retimed" snapshot, then the hold-fix re-route of
    // finalize on "final".
    EXPECT_THAT(r.out, HasSubstr("Info (018821): Fitter Zento-Retimer operations ending"));
    EXPECT_THAT(r.out, HasSubstr("Info (018822): Fitter post-routing fixup operations ending"));
    want.push_back("retime");
  } else {
    EXPECT_THAT(r.out, HasSubstr("Stage retime: skipped (device family " + std::string(c.family) + " has no retimer)"));
    EXPECT_THAT(r.out, Not(HasSubstr("Zento-Retimer operations ending")));
  }
  want.push_back("final");
  want.push_back("checks");
  std::ifstream in(report);
  const nlohmann::json j = nlohmann::json::parse(in);
  std::vector<std::string> names;
  for (const auto& s : j["stages"]) {
    names.push_back(s["name"]);
    EXPECT_TRUE(s["ok"].get<bool>()) << s["name"];
  }
  EXPECT_THAT(names, ElementsAreArray(want));
  EXPECT_EQ(j["status"], 0);
}

INSTANTIATE_TEST_SUITE_P(Families, StageSequenceTest,
                         ::testing::Values(FAMILY_CASE{"46", "yosys/crc32x8.blif", true},
                                           FAMILY_CASE{"48", "yosys/crc32x8.blif", false},
                                           FAMILY_CASE{"26", "mcnc/s298.blif", true},
                                           FAMILY_CASE{"15", "mcnc/s298.blif", false}),
                         [](const auto& info) { return std::string("Family") + info.param.family; });

TEST(StageSequenceFailures, AFailedStepAlwaysSaysWhy) {
  // A place stage stopped after the prefit steps posts no error: its last
  // debug lines say why.
  const RESULT r = run("--stages place --cfg debug_stop_after_prefit=on");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage place: FAILED"));
  EXPECT_THAT(r.out, HasSubstr("  reason: ****** Stopping after prefit as per INI config *******"));
}

}  // namespace
