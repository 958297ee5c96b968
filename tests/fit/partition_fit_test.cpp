// velmo-fit with partitions in the settings: bad declarations, the fit of a
// recompiled partition against preserved ones, and the blackboxing gates
// the component applies to them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "fit_runner.h"

using ::testing::HasSubstr;
using ::testing::Not;
using velmo_fit_test::run;

namespace {

const std::string kMac = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.blif";
const std::string kBundled = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.partitions.json";

std::string write_file(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

// The bundled settings with the partitions list replaced.
std::string settings_with(const std::string& name, const std::string& partitions, int family = 46) {
  return write_file(name, "{\"family\": " + std::to_string(family) + ", \"clocks\": {\"clk\": 5000}, \"partitions\": " +
                              partitions + "}");
}

}  // namespace

TEST(VelmoFitPartitions, BadDeclarationsExitTwoNamingTheCulprit) {
  const struct {
    const char* partitions;
    const char* says;
  } cases[] = {
      {R"([{"name": "m", "atoms": ["ra[*]"], "colour": "red"}])", "unknown key 'colour' in partitions[0]"},
      {R"([{"name": "m", "atoms": ["nothing[*]"]}])", "pattern 'nothing[*]' of partition 'm' matches no atom"},
      {R"([{"name": "m", "atoms": ["ra[0]"]}, {"name": "n", "atoms": ["ra[?]"]}])",
       "atom 'ra[0]' is claimed by partitions 'm' and 'n'"},
      {R"([{"name": "m", "atoms": ["ra[*]"], "parent": "x"}])", "partition 'm' has an unknown parent 'x'"},
      {R"([{"name": "m", "atoms": ["ra[*]"], "parent": "n"}, {"name": "n", "atoms": ["rb[*]"], "parent": "m"}])",
       "partition 'm' is part of a parent cycle"},
      {R"([{"name": "m", "atoms": ["ra[*]"]}, {"name": "m", "atoms": ["rb[*]"]}])", "partition 'm' is declared twice"},
      {R"([{"name": "|", "atoms": ["ra[*]"]}])", "partition '|' takes no 'atoms'"},
  };
  int i = 0;
  for (const auto& c : cases) {
    const std::string file = settings_with("bad_partitions_" + std::to_string(i++) + ".json", c.partitions);
    auto r = run(kMac + " --settings " + file + " --stages none");
    EXPECT_EQ(r.status, 2) << c.partitions << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(file + ": " + c.says)) << r.out;
  }
}

TEST(VelmoFitPartitions, RecompiledPartitionFitsAgainstThePreservedOnes) {
  const std::string report = ::testing::TempDir() + "partitions_report.json";
  auto r = run(kMac + " --settings " + kBundled + " --report " + report);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Partition mult (parent |):"));
  EXPECT_THAT(r.out, HasSubstr("Partition acc (parent |):"));
  EXPECT_THAT(r.out, HasSubstr("Info (019492): Vantrel Preservation is enabled for the following partitions."));
  EXPECT_THAT(r.out, HasSubstr("    Info (019493): Partition: mult"));
  EXPECT_THAT(r.out, Not(HasSubstr("Partition: acc")));
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, HasSubstr(" 0 unrouted, 0 overused\n"));
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
  std::ifstream in(report);
  const auto j = nlohmann::json::parse(in);
  ASSERT_EQ(j["partitions"].size(), 3u);
  EXPECT_EQ(j["partitions"][0]["name"], "|");
  EXPECT_TRUE(j["partitions"][0]["parent"].is_null());
  EXPECT_EQ(j["partitions"][1]["name"], "mult");
  EXPECT_EQ(j["partitions"][1]["parent"], "|");
  EXPECT_EQ(j["partitions"][1]["preserved"], true);
  EXPECT_EQ(j["partitions"][2]["preserved"], false);
  // mult holds its 64 registers and the multiplier's logic.
  EXPECT_GT(j["partitions"][1]["atoms"].get<int>(), 64);
}

TEST(VelmoFitPartitions, OtherFamilyIsRefused) {
  auto r = run(kMac + " --settings " + kBundled + " --family 48 --stages place");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Warning (020800): Vantrel Preservation will not be enabled for KX-48 device family."));
  EXPECT_THAT(r.out, Not(HasSubstr("019492")));
}

TEST(VelmoFitPartitions, EveryPartitionPreservedIsRefused) {
  const std::string file = settings_with("all_preserved.json", R"([
      {"name": "|", "preserved": true},
      {"name": "mult", "atoms": ["ra[*]", "rb[*]", "p[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
      {"name": "acc", "atoms": ["acc[*]"], "preserved": true}])");
  auto r = run(kMac + " --settings " + file + " --stages place");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Warning (021646): Vantrel Preservation cannot be enabled if all partitions are preserved."));
}
