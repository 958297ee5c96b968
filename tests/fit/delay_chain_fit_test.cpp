// velmo-fit reading per-pin delay-chain options and reporting the settings
// the stages wrote.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "fit_runner.h"

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitDelayChains, OutOfRangePinOptionIsRepairedAndReported) {
  const std::string settings = ::testing::TempDir() + "delay_chain_settings.json";
  const std::string report = ::testing::TempDir() + "delay_chain_report.json";
  // Chain 449 (option 3449) of pin s298_in_0_ ranges over 0..7.
  std::ofstream(settings) << R"({"assignments": [{"id": 3449, "type": 4, "value": "9", "instance": "s298_in_0_"},
                                                 {"id": 3446, "type": 4, "value": "5", "instance": "s298_in_1_"}]})";
  const auto r = velmo_fit_test::run("--stages plan,place --settings " + settings + " --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Warning (016159): Can't set option Illegal on pin s298_in_0_ to 9 -- legal setting "
                               "range is from 0 to 7 -- changed to the default 0"));
  EXPECT_THAT(r.out, Not(HasSubstr("s298_in_1_ to 5")));

  std::ifstream in(report);
  const nlohmann::json j = nlohmann::json::parse(in);
  int legal = -1, repaired = -1, rows = 0;
  for (const auto& row : j.at("delay_chains")) {
    ++rows;
    EXPECT_TRUE(row.at("before").is_null());
    if (row.at("pin") == "s298_in_1_" && row.at("type") == 446) legal = row.at("setting");
    if (row.at("pin") == "s298_in_0_" && row.at("type") == 449) repaired = row.at("setting");
  }
  EXPECT_EQ(legal, 5);
  EXPECT_EQ(repaired, 0);
  EXPECT_GT(rows, 2);
}

namespace {
nlohmann::json fit_with(const std::string& name, const std::string& settings_text, int* status) {
  const std::string settings = ::testing::TempDir() + name + "_settings.json";
  const std::string report = ::testing::TempDir() + name + "_report.json";
  std::ofstream(settings) << settings_text;
  const auto r = velmo_fit_test::run("--stages plan,place,route --settings " + settings + " --report " + report);
  *status = r.status;
  if (r.status != 0) return nlohmann::json();
  std::ifstream in(report);
  return nlohmann::json::parse(in);
}
}  // namespace

TEST(VelmoFitDelayChains, IoDelaysPutPinPathsIntoTheTimingSummary) {
  int status = 0;
  const auto plain = fit_with("io_plain", R"({"clocks": {"clock": 20000}})", &status);
  ASSERT_EQ(status, 0);
  const auto tight = fit_with(
      "io_tight",
      R"({"clocks": {"clock": 20000}, "io_delays": {"out:s298_out_0_": {"clock": "clock", "max": 19950, "min": 0}}})",
      &status);
  ASSERT_EQ(status, 0);
  // All but 50 ps of the period go outside the device: the pin's path fails.
  EXPECT_GT(plain.at("timing").at(0).at("setup_wns_ps").get<int>(), 0);
  EXPECT_LT(tight.at("timing").at(0).at("setup_wns_ps").get<int>(), 0);
  // A delay on something that is no pin, or on an undeclared clock, is refused.
  fit_with("io_bad_pin", R"({"clocks": {"clock": 2000}, "io_delays": {"nopin": {"clock": "clock", "max": 1, "min": 0}}})",
           &status);
  EXPECT_EQ(status, 2);
  fit_with("io_bad_clock",
           R"({"clocks": {"clock": 2000}, "io_delays": {"s298_in_0_": {"clock": "x", "max": 1, "min": 0}}})", &status);
  EXPECT_EQ(status, 2);
}

TEST(VelmoFitDelayChains, AutomaticPassWarnsAboutAHighFanoutInputPin) {
  // Option 904 runs the pass after routing; s298_in_0_ reaches more
  // than one timed input, above a threshold of 1.
  int status = 0;
  const std::string settings = ::testing::TempDir() + "auto_dc_settings.json";
  std::ofstream(settings) << R"({"options": [{"id": 904, "type": 1, "value": "on"}],
      "cfg": {"velmo_high_fanout_input_pins_thershold": "1"},
      "clocks": {"clock": 20000},
      "io_delays": {"s298_in_0_": {"clock": "clock", "max": 300, "min": 100}}})";
  const auto r = velmo_fit_test::run("--stages plan,place,route --settings " + settings);
  status = r.status;
  EXPECT_EQ(status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Warning (016165): Input pin s298_in_0_ has too many fanouts (number of fanouts is"));
  EXPECT_THAT(r.out, HasSubstr("which is larger than the threshold value of 1) -- the delay chains of the input pin "
                               "will not be optimized"));
}
