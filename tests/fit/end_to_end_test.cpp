// velmo-fit end to end on bundled designs: placed, routed and timed, as the
// report has it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

namespace {
using velmo_fit_test::RESULT;
using velmo_fit_test::run;

// Fits the design (with the settings file, if any) and checks the run and its
// report; returns the report.
nlohmann::json expect_fitted(const std::string& design, const std::string& settings = "") {
  const std::string report = velmo_fit_test::test_dir() + "e2e_report.json";
  std::remove(report.c_str());
  const RESULT r = run(std::string(VELMO_DESIGNS_DIR) + "/" + design + " --report " + report +
                       (settings.empty() ? "" : " --settings " + settings));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Stage route: ok .*worst setup slack"));
  std::ifstream in(report);
  nlohmann::json j = nlohmann::json::parse(in);
  velmo_fit_test::expect_documented_report(j);
  EXPECT_EQ(j["status"], 0);
  EXPECT_GT(j["routing"]["connections"].get<int>(), 0);
  EXPECT_EQ(j["routing"]["unrouted"], 0);
  EXPECT_EQ(j["routing"]["overused"], 0);
  EXPECT_TRUE(j["timing"].is_array());
  EXPECT_FALSE(j["timing"].empty());
  for (const auto& c : j["timing"]) {
    for (const char* k : {"corner", "setup_wns_ps", "setup_tns_ps", "hold_wns_ps", "hold_tns_ps", "setup_failing",
                          "hold_failing"})
      EXPECT_TRUE(c.contains(k)) << k;
    EXPECT_LE(c["hold_tns_ps"].get<long long>(), 0);
  }
  std::vector<std::string> names;
  for (const auto& s : j["stages"]) {
    names.push_back(s["name"]);
    EXPECT_TRUE(s["ok"].get<bool>()) << s["name"];
    EXPECT_GE(s["seconds"].get<double>(), 0.0);
  }
  EXPECT_THAT(names,
              ::testing::ElementsAre("start-up", "prepare", "plan", "place", "route", "retime", "final", "checks"));
  return j;
}

int setup_failing(const nlohmann::json& report) {
  int n = 0;
  for (const auto& c : report["timing"]) n += c["setup_failing"].get<int>();
  return n;
}
}  // namespace

TEST(EndToEnd, FitsAnMcncBenchmark) { expect_fitted("mcnc/s298.blif"); }

TEST(EndToEnd, FitsAYosysBenchmarkAndTheSettingsSetItsClock) {
  // The register clock "clk" is declared with the default period, which the
  // routed design meets; a settings period of 200 ps it cannot.
  const nlohmann::json relaxed = expect_fitted("yosys/crc32x8.blif");
  EXPECT_EQ(setup_failing(relaxed), 0);
  for (const auto& c : relaxed["timing"]) EXPECT_FALSE(c["setup_wns_ps"].is_null());
  const std::string settings = velmo_fit_test::test_dir() + "e2e_settings.json";
  std::ofstream(settings) << R"({"clocks": {"clk": 200}})";
  const nlohmann::json tight = expect_fitted("yosys/crc32x8.blif", settings);
  EXPECT_GT(setup_failing(tight), 0);
  for (const auto& c : tight["timing"]) EXPECT_LT(c["setup_tns_ps"].get<long long>(), 0);
}
