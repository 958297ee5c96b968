// velmo-fit with post-route physical synthesis in finalize: the retimer runs
// over the clock domains of the default design and the program ends cleanly
// (its worker threads gone before the library is unloaded); on a global
// clock it moves registers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "fit_runner.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitPostRoute, TheRetimerRunsInFinalizeAndTheProgramEndsCleanly) {
  auto r = velmo_fit_test::run("--family 46 --cfg muvo_post_route_in_finalize=on --debug");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("FF Queue Size : "));
  EXPECT_THAT(r.out, Not(HasSubstr("IRTM_MANAGER::is_retimable_ff: not built yet")));
  EXPECT_THAT(r.out, HasSubstr("Accepted Moves      : 0 (0%)"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  EXPECT_THAT(r.out, Not(HasSubstr("VELMO_EXPERT::test_incremental_retiming: not built yet")));
}

// The stage line's worst setup slack.
int setup_slack_after(const std::string& out, const std::string& stage) {
  std::smatch m;
  const std::regex re("Stage " + stage + ": ok \\([^)]*\\), worst setup slack (-?[0-9]+) ps");
  if (!std::regex_search(out, m, re)) {
    ADD_FAILURE() << "no line for stage " << stage;
    return 0;
  }
  return std::stoi(m[1]);
}

// The built-in design on a global clock it cannot meet: the retimer moves a
// register in finalize, timing gets no worse, the fit stays legal, the timing
// netlist kept incrementally equals a rebuilt one and the report counts the
// change.
TEST(VelmoFitPostRoute, RegistersMoveInFinalizeAndTheFitStaysLegal) {
  const std::string settings = std::string(VELMO_SOURCE_DIR) + "/tests/data/retime_settings.json";
  const auto report = std::filesystem::temp_directory_path() / "velmo_fit_retime_report.json";
  auto r = velmo_fit_test::run("--settings " + settings + " --report " + report.string() +
                               " --cfg muvo_post_route_in_finalize=on --cfg muvo_zota_crit_iterations=2"
                               " --cfg test_incremental_resynthesis=off --cfg velmo_verify_incremental_hep=on");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, HasSubstr(", 0 unrouted, 0 overused\n"));
  // How many registers move depends on the placement; at least one does,
  // and the report counts what the summary line says.
  std::smatch m;
  const std::regex counts("Retiming: ([0-9]+) pipeline registers created, 0 deleted; ([0-9]+) LAB registers bypassed");
  ASSERT_TRUE(std::regex_search(r.out, m, counts)) << r.out;
  EXPECT_GE(std::stoi(m[1]), 1);
  EXPECT_GE(std::stoi(m[2]), 1);
  EXPECT_GE(setup_slack_after(r.out, "final"), setup_slack_after(r.out, "route"));
  std::ifstream in(report);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_THAT(text.str(), HasSubstr("\"pipeline_registers_created\": " + m[1].str() + ","));
  EXPECT_THAT(text.str(), HasSubstr("\"lab_registers_bypassed\": " + m[2].str() + ","));
  std::filesystem::remove(report);
}

}  // namespace
