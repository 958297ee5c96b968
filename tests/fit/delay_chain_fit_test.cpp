// velmo-fit reading per-pin delay-chain options and reporting the settings
// the stages wrote.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <utility>

#include "fit_runner.h"

using ::testing::HasSubstr;
using ::testing::Not;

TEST(VelmoFitDelayChains, OutOfRangePinOptionIsRepairedAndReported) {
  const std::string settings = velmo_fit_test::test_dir() + "delay_chain_settings.json";
  const std::string report = velmo_fit_test::test_dir() + "delay_chain_report.json";
  // Chain 449 (option 3449) of pin s298_in_0_ ranges over 0..7.
  std::ofstream(settings) << R"({"assignments": [{"id": 3449, "type": 4, "value": "9", "instance": "s298_in_0_"},
                                                 {"id": 3446, "type": 4, "value": "5", "instance": "s298_in_1_"}]})";
  const auto r = velmo_fit_test::run("--stages plan,place --settings " + settings + " --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Warning (016159): Can't set option Input Delay Chain 3 on pin s298_in_0_ to 9 -- legal setting "
                               "range is from 0 to 7 -- changed to the default 0"));
  EXPECT_THAT(r.out, Not(HasSubstr("s298_in_1_ to 5")));

  // Only chains whose setting differs from before the stages are listed;
  // a chain without a setting before was at 0. The repaired one ends at 0.
  std::ifstream in(report);
  const nlohmann::json j = nlohmann::json::parse(in);
  velmo_fit_test::expect_documented_report(j);
  int legal = -1, repaired = -1, rows = 0;
  for (const auto& row : j.at("delay_chains")) {
    ++rows;
    EXPECT_EQ(row.at("before"), 0) << row;
    EXPECT_NE(row.at("setting"), row.at("before")) << row;
    if (row.at("pin") == "s298_in_1_" && row.at("type") == 446) legal = row.at("setting");
    if (row.at("pin") == "s298_in_0_" && row.at("type") == 449) repaired = row.at("setting");
  }
  EXPECT_EQ(legal, 5);
  EXPECT_EQ(repaired, -1);
  EXPECT_EQ(rows, 1) << j.at("delay_chains");

  // A fit whose settings set no chain lists none, though every pin has its
  // chains (at 0) after the stages.
  const auto plain = velmo_fit_test::run("--stages plan,place,route --report " + report);
  ASSERT_EQ(plain.status, 0) << plain.out;
  std::ifstream in_plain(report);
  EXPECT_EQ(nlohmann::json::parse(in_plain).at("delay_chains"), nlohmann::json::array());
}

namespace {
nlohmann::json fit_with(const std::string& name, const std::string& settings_text, int* status) {
  const std::string settings = velmo_fit_test::test_dir() + name + "_settings.json";
  const std::string report = velmo_fit_test::test_dir() + name + "_report.json";
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
  const std::string settings = velmo_fit_test::test_dir() + "auto_dc_settings.json";
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

  // The mode decides what the warning says: crc32x8's d[3] fails hold and
  // is over a threshold of 0. Mode 3 (as without the option) leaves its
  // chains as they are and says so; mode 2 searches them like any pin's
  // (its chain changes) and the warning says that instead.
  const std::string crc = std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif";
  for (const char* mode : {"2", "3"}) {
    SCOPED_TRACE(mode);
    const std::string report = velmo_fit_test::write_file(std::string("mode") + mode + ".json", "");
    const std::string file = velmo_fit_test::write_file(
        std::string("crc905_") + mode + ".json",
        std::string(R"({"clocks": {"clk": 20000}, "io_delays": {"d[3]": {"clock": "clk", "max": 17000, "min": -900}},
            "options": [{"id": 904, "type": 1, "value": "on"}, {"id": 905, "type": 4, "value": ")") + mode + R"("}]})");
    const auto m = velmo_fit_test::run(crc + " --settings " + file + " --cfg velmo_auto_dc_hold_time=on" +
                                       " --cfg velmo_high_fanout_input_pins_thershold=0 --stages plan,place,route" +
                                       " --report " + report);
    ASSERT_EQ(m.status, 0) << m.out;
    const bool searched = std::string(mode) == "2";
    const nlohmann::json chains = nlohmann::json::parse(std::ifstream(report))["delay_chains"];
    EXPECT_EQ(chains.empty(), !searched) << chains.dump();
    EXPECT_THAT(m.out, HasSubstr("Warning (016165): Input pin d[3] has too many fanouts (number of fanouts is 1 which "
                                 "is larger than the threshold value of 0) -- the delay chains of the input pin " +
                                 std::string(searched ? "are searched like the other pins'\n" : "will not be optimized\n")));
  }
}

namespace {
// The worst setup and hold slack over the corners of a report.
std::pair<int, int> worst_slacks(const nlohmann::json& report) {
  int setup = INT_MAX, hold = INT_MAX;
  for (const auto& c : report.at("timing")) {
    if (!c.at("setup_wns_ps").is_null()) setup = std::min(setup, c.at("setup_wns_ps").get<int>());
    if (!c.at("hold_wns_ps").is_null()) hold = std::min(hold, c.at("hold_wns_ps").get<int>());
  }
  return {setup, hold};
}
}  // namespace

// Option 904 with tight I/O delays and hold optimisation: the route stage
// writes the settings the pass chose. fir8's inputs fail hold by far (their
// input delay is negative); crc32x8's input fails setup, which its chains
// cannot improve. The pass can take the inputs' hold only up to what the
// routed design's own paths leave (hold is fixed later, in finalize): that
// floor comes from a third fit whose inputs have ample hold margin.
TEST(VelmoFitDelayChains, AutomaticPassImprovesIoSlack) {
  struct CASE {
    const char* design;
    const char* io_delays;
    bool improves;
  };
  const CASE cases[] = {
      {"fir8", R"({"x[0]": {"clock": "clk", "max": 19000, "min": -400}, "x[1]": {"clock": "clk", "max": 19000, "min": -400}})",
       true},
      {"crc32x8", R"({"d[0]": {"clock": "clk", "max": 19000, "min": 0}})", false}};
  const char* kAmpleHold =
      R"({"x[0]": {"clock": "clk", "max": 19000, "min": 2000}, "x[1]": {"clock": "clk", "max": 19000, "min": 2000}})";
  for (const CASE& c : cases) {
    nlohmann::json report[3];
    for (int on : {0, 1, 2}) {
      if (on == 2 && !c.improves) continue;
      const std::string settings = velmo_fit_test::test_dir() + c.design + std::to_string(on) + "_auto_dc.json";
      const std::string out = velmo_fit_test::test_dir() + c.design + std::to_string(on) + "_auto_dc_report.json";
      std::ofstream(settings) << R"({"clocks": {"clk": 20000}, "io_delays": )" << (on == 2 ? kAmpleHold : c.io_delays)
                              << (on == 1 ? R"(, "options": [{"id": 904, "type": 1, "value": "on"}]})" : "}");
      const auto r =
          velmo_fit_test::run(std::string(VELMO_DESIGNS_DIR) + "/yosys/" + c.design + ".blif --stages plan,place,route "
                              "--cfg velmo_auto_dc_hold_time=on --settings " + settings + " --report " + out +
                              (on == 1 ? " --cfg velmo_auto_dc_verbose=on" : ""));
      ASSERT_EQ(r.status, 0) << r.out;
      std::ifstream in(out);
      report[on] = nlohmann::json::parse(in);
      velmo_fit_test::expect_documented_report(report[on]);
      // A fit that ends failing hold says so in one line naming the
      // endpoints (each once over the corners); one that meets it, nowhere.
      int failing = 0;
      for (const auto& corner : report[on].at("timing")) failing = std::max(failing, corner.at("hold_failing").get<int>());
      std::smatch m;
      const bool said = std::regex_search(r.out, m, std::regex("Hold: FAILING at ([0-9]+) endpoints? \\(worst -[0-9]+ ps\\): [^\n]+"));
      EXPECT_EQ(said, failing > 0) << r.out;
      if (said) {
        EXPECT_GE(std::stoi(m[1]), failing);
        EXPECT_EQ(m.str().find('?'), std::string::npos) << m.str();  // every endpoint has its atom's name
      }
    }
    // The pass maximises the worse of the two: setup may give some of its
    // margin to hold.
    const auto [setup_off, hold_off] = worst_slacks(report[0]);
    const auto [setup_on, hold_on] = worst_slacks(report[1]);
    EXPECT_GE(std::min(setup_on, hold_on), std::min(setup_off, hold_off)) << c.design;
    int written = 0;
    for (const auto& row : report[1].at("delay_chains")) written += row.at("setting").get<int>() != 0;
    if (c.improves) {
      EXPECT_GT(hold_on, hold_off) << c.design;
      EXPECT_GE(hold_on, std::min(0, worst_slacks(report[2]).second)) << c.design;
      EXPECT_EQ(written, 2) << "x[0] and x[1]'s input chains";
    } else {
      EXPECT_EQ(written, 0) << c.design;
    }
    EXPECT_EQ(report[1].at("route_changed_delay_chains").get<int>(), written) << c.design;
    EXPECT_EQ(report[0].at("route_changed_delay_chains").get<int>(), 0) << c.design;
    // The verbose switch leaves the reports in the working directory.
    for (const char* name : {"velmo_opt_elements_info.out", "velmo_opt_elements_timing_info_after_pin_to_core.out"})
      EXPECT_TRUE(std::ifstream(name).good()) << name;
    for (const char* name :
         {"velmo_auto_dc.out", "velmo_opt_elements_info.out", "velmo_opt_elements_timing_info_before_core_to_pin_0.out",
          "velmo_opt_elements_timing_info_after_core_to_pin_0.out", "velmo_opt_elements_timing_info_before_pin_to_core.out",
          "velmo_opt_elements_timing_info_after_pin_to_core.out"})
      std::remove(name);
  }
}

namespace {
// fir8 with hold optimisation and an output delay on out:y[0]; `extra` is
// added to the settings object. The worst slack over both corners, setup
// and hold together, is the figure the pass maximises.
struct OUTPUT_FIT {
  nlohmann::json report;
  std::string out;
  int worst() const {
    const auto [setup, hold] = worst_slacks(report);
    return std::min(setup, hold);
  }
  int setting(int type) const {
    for (const auto& row : report.at("delay_chains"))
      if (row.at("pin") == "out:y[0]" && row.at("type") == type) return row.at("setting").get<int>();
    return 0;
  }
};

OUTPUT_FIT fit_fir8_output(const std::string& name, int max, int min, const std::string& extra,
                           const std::string& args = "") {
  const std::string settings = velmo_fit_test::test_dir() + name + "_settings.json";
  const std::string report = velmo_fit_test::test_dir() + name + "_report.json";
  std::ofstream(settings) << R"({"clocks": {"clk": 20000}, "io_delays": {"out:y[0]": {"clock": "clk", "max": )" << max
                          << R"(, "min": )" << min << "}}" << extra << "}";
  const auto r = velmo_fit_test::run(std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif --stages plan,place,route "
                                     "--cfg velmo_auto_dc_hold_time=on --settings " + settings + " --report " + report +
                                     " " + args);
  OUTPUT_FIT fit;
  fit.out = r.out;
  EXPECT_EQ(r.status, 0) << r.out;
  if (r.status != 0) return fit;
  std::ifstream in(report);
  fit.report = nlohmann::json::parse(in);
  return fit;
}
}  // namespace

// The pass on an output pin's chain 430, each corner analysed with its own
// timing model: once with only the fast corner failing hold, once with both
// corners failing hold (setup at the slow corner pulls the other way). Each
// run is compared with fits that set the chain by hand to each of its
// settings.
TEST(VelmoFitDelayChains, AutomaticPassSetsAnOutputChainAgainstBothCorners) {
  struct CASE {
    const char* name;
    int max, min;
    bool slow_fails_hold;
  };
  const CASE cases[] = {{"fast_hold", 18390, -1410, false}, {"both", 18590, -2410, true}};
  const std::string kOn = R"(, "options": [{"id": 904, "type": 1, "value": "on"}])";
  // The pass's dumps go to the working directory: one of this test's own.
  const std::filesystem::path home = std::filesystem::current_path();
  const std::filesystem::path here = std::filesystem::path(velmo_fit_test::test_dir()) / "auto_dc_output_fit";
  std::filesystem::create_directories(here);
  std::filesystem::current_path(here);
  for (const CASE& c : cases) {
    const OUTPUT_FIT start = fit_fir8_output(std::string("out_") + c.name + "_off", c.max, c.min, "");
    const OUTPUT_FIT pass =
        fit_fir8_output(std::string("out_") + c.name + "_on", c.max, c.min, kOn, "--cfg velmo_auto_dc_verbose=on");
    if (start.report.is_null() || pass.report.is_null()) break;
    ASSERT_LT(start.worst(), 0) << c.name;
    // Before the pass: hold fails at the fast corner, and at the slow one
    // only in the second case.
    for (const auto& corner : start.report.at("timing")) {
      const bool fast = corner.at("corner").get<std::string>().find("fast") != std::string::npos;
      const int hold = corner.at("hold_wns_ps").get<int>();
      EXPECT_EQ(hold < 0, fast || c.slow_fails_hold) << c.name << " " << corner;
    }
    // Only the output's chain moved, and the verbose dump lists its element.
    EXPECT_GE(pass.report.at("route_changed_delay_chains").get<int>(), 1) << c.name;
    EXPECT_GT(pass.setting(430), 0) << c.name;
    std::ifstream info("velmo_opt_elements_info.out");
    const std::string text((std::istreambuf_iterator<char>(info)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Opt Element Group Type: VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN"), std::string::npos)
        << c.name;
    EXPECT_GT(pass.worst(), start.worst()) << c.name;

    int best = INT_MIN, best_setting = -1;
    for (int s = 0; s <= 15; ++s) {
      const OUTPUT_FIT forced = fit_fir8_output(
          std::string("out_") + c.name + "_" + std::to_string(s), c.max, c.min,
          R"(, "assignments": [{"instance": "out:y[0]", "id": 3430, "type": 4, "value": ")" + std::to_string(s) + "\"}]");
      if (forced.report.is_null()) break;
      if (s == 0) {
        EXPECT_EQ(forced.worst(), start.worst()) << c.name;
      }
      if (s == pass.setting(430)) {
        EXPECT_EQ(forced.worst(), pass.worst()) << c.name << ": the hand-set fit agrees";
      }
      if (forced.worst() > best) {
        best = forced.worst();
        best_setting = s;
      }
    }
    std::printf("%s: start %d, pass %d (430=%d), sweep best %d (430=%d)\n", c.name, start.worst(), pass.worst(),
                pass.setting(430), best, best_setting);
    EXPECT_GE(pass.worst(), best - 200) << c.name << ": within 200 ps of the sweep's best";
  }
  std::filesystem::current_path(home);
  std::filesystem::remove_all(here);
}
