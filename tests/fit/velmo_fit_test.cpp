// velmo-fit run as a subprocess: command line, exit codes, output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {
using velmo_fit_test::RESULT;
using velmo_fit_test::run;
}  // namespace

using ::testing::HasSubstr;

TEST(VelmoFit, HelpPrintsUsage) {
  auto r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("usage: velmo-fit"));
}

TEST(VelmoFit, BadUseExitsTwoWithUsage) {
  for (const char* args : {"--stages place,bogus", "--cfg novalue", "--family x", "--frobnicate", "--stages",
                           "--threads 0", "--cfg-file /nonexistent/velmo.cfg"}) {
    auto r = run(args);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: ")) << args;
  }
  EXPECT_THAT(run("--stages place,bogus").out, HasSubstr("unknown stage 'bogus'"));
}

TEST(VelmoFit, StartsUpAndShutsDownWithoutStages) {
  auto r = run("--stages none --cfg debug_msg=off");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage start-up: ok"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
}

namespace {
using velmo_fit_test::write_file;
}  // namespace

TEST(VelmoFit, LoadsABundledBenchmark) {
  auto r = run(std::string(VELMO_DESIGNS_DIR) + "/mcnc/tseng.blif --stages none");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("tseng.blif): 797 LUTs, 385 registers"));
  EXPECT_THAT(r.out, HasSubstr("Resources: 797 LUTs, 385 registers"));
  // Without a file, the built-in design.
  auto d = run("--stages none");
  EXPECT_THAT(d.out, HasSubstr("(s298.blif): 1301 LUTs, 8 registers"));
  EXPECT_THAT(d.out, HasSubstr("\nRemoved 0 LUTs and 0 registers that reach no output pin\n"));
  // yosys's alias buffers of mac16 (94, and the constant only they read)
  // and fir8's one reach no output pin.
  auto mac = run(std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.blif --stages none");
  EXPECT_THAT(mac.out, HasSubstr("mac16.blif): 605 LUTs, 100 registers"));
  EXPECT_THAT(mac.out, HasSubstr("\nRemoved 95 LUTs and 0 registers that reach no output pin\n"));
  auto fir = run(std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif --stages none");
  EXPECT_THAT(fir.out, HasSubstr("fir8.blif): 405 LUTs, 117 registers"));
  EXPECT_THAT(fir.out, HasSubstr("\nRemoved 1 LUT and 0 registers that reach no output pin; 3 kept LUTs are one-input "
                                 "identities other logic reads\n"));
}

TEST(VelmoFit, ABadDesignOrSettingsExitsTwo) {
  const std::string bad =
      write_file("velmo_bad.blif", ".model m\n.inputs a\n.outputs y\n.names a y\n1 1\n.names a y\n1 1\n");
  auto r = run(bad + " --stages none");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr(bad + ":6: net 'y' has a second driver"));
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("Stage start-up")));

  auto missing = run("/nonexistent/design.blif --stages none");
  EXPECT_EQ(missing.status, 2);
  EXPECT_THAT(missing.out, HasSubstr("velmo-fit: /nonexistent/design.blif: cannot open the file: No such file or "
                                     "directory\n"));

  const std::string settings = write_file("velmo_bad.json", R"({"family": 46, "clock": {"clk": 2000}})");
  auto s = run("--settings " + settings + " --stages none");
  EXPECT_EQ(s.status, 2) << s.out;
  EXPECT_THAT(s.out, HasSubstr(settings + ": unknown key 'clock'"));
}

TEST(VelmoFit, ReportIsJsonWithTheStages) {
  const std::string report = velmo_fit_test::test_dir() + "velmo_report.json";
  const std::string settings = write_file("velmo_settings.json", R"({"family": 48, "cfg": {"debug_msg": "off"},
      "options": [{"id": 816, "type": 1, "value": "on"}], "clocks": {"clock": 2000}})");
  auto r = run("--stages none --settings " + settings + " --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  std::ifstream in(report);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const nlohmann::json j = nlohmann::json::parse(text);  // throws on invalid JSON
  velmo_fit_test::expect_documented_report(j);
  // Its fields in their order, two spaces a level, a closing newline.
  EXPECT_EQ(text, nlohmann::ordered_json::parse(text).dump(2) + "\n");
  EXPECT_EQ(j["design"]["name"], "top");
  EXPECT_EQ(j["device"]["family"], 48);
  EXPECT_GT(j["atoms"].get<int>(), 1301);
  EXPECT_GT(j["nets"].get<int>(), 1301);
  ASSERT_EQ(j["stages"].size(), 1u);
  EXPECT_EQ(j["stages"][0]["name"], "start-up");
  EXPECT_EQ(j["stages"][0]["ok"], true);
  EXPECT_TRUE(j["stages"][0]["seconds"].is_number());
  EXPECT_TRUE(j["routing"].is_object() && j["routing"].empty());
  // Timing: one object per analysed corner, even before placement.
  ASSERT_TRUE(j["timing"].is_array());
  EXPECT_FALSE(j["timing"].empty());
  for (const auto& c : j["timing"]) EXPECT_TRUE(c.contains("corner") && c.contains("setup_wns_ps"));
}

TEST(VelmoFit, PlacesABenchmarkThroughThePlaceStage) {
  const std::string report = velmo_fit_test::test_dir() + "velmo_place_report.json";
  auto r = run(std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif --stages place --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage place: ok"));
  std::ifstream in(report);
  const nlohmann::json j = nlohmann::json::parse(in);
  ASSERT_EQ(j["stages"].size(), 3u);
  EXPECT_EQ(j["stages"][1]["name"], "prepare");
  EXPECT_EQ(j["stages"][2]["name"], "place");
  EXPECT_EQ(j["stages"][2]["ok"], true);
  // 405 LUTs need at least 21 LABs.
  EXPECT_GE(j["resources"]["labs_used"].get<int>(), 21);
  EXPECT_LE(j["resources"]["labs_used"].get<int>(), j["resources"]["labs"].get<int>());
}

TEST(VelmoFit, ConfigurationNamesNothingReadAreWarnedOnceWhereTheyWereSet) {
  // Two files run together: the second one's byte-order mark is in the
  // middle, part of a name nothing reads.
  const std::string joined = write_file("joined.cfg", "# first\nuse_dern_flow=0\nvelmo_no_such_name=1\n"
                                                      "\xEF\xBB\xBFuse_dern_flow=0\n");
  auto warning = [](const std::string& name, const std::string& where) {
    return "velmo-fit: warning: configuration variable '" + name + "' (" + where + ") was not read in this run\n";
  };
  auto once = [](const std::string& out, const std::string& line) {
    const auto at = out.find(line);
    return at != std::string::npos && out.find(line, at + 1) == std::string::npos;
  };
  auto r = run("--stages none --cfg-file " + joined + " --cfg nosuch=1 --cfg use_dern_flow=off "
               "--cfg fitter_write_eqcheck_for_final=on");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(once(r.out, warning("velmo_no_such_name", joined + ":3"))) << r.out;
  EXPECT_TRUE(once(r.out, warning("\\xEF\\xBB\\xBFuse_dern_flow", joined + ":4"))) << r.out;
  EXPECT_TRUE(once(r.out, warning("nosuch", "--cfg"))) << r.out;
  // The warnings come after the run's own lines, even through a pipe.
  EXPECT_LT(r.out.find("velmo-fit: done\n"), r.out.find(warning("nosuch", "--cfg"))) << r.out;
  // A switch warned of as having no effect draws no second warning.
  EXPECT_TRUE(once(r.out, "'fitter_write_eqcheck_for_final'")) << r.out;
  // A name that is read draws none.
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("'use_dern_flow'")));
  // Whatever the run's status.
  r = run("--stages none --cfg nosuch=1 --cfg use_dern_flow=1");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_TRUE(once(r.out, warning("nosuch", "--cfg"))) << r.out;
}

// A thread count the component is given below 1 is refused before the fit,
// from the command line or the settings: with no worker the hold fix-up's
// stub search would find no failure and call every one fixed. One worker
// runs the search.
TEST(VelmoFitSettingsChecks, AThreadCountBelowOneIsRefusedAndOneRuns) {
  const std::string name = "route_fixup_flow_parasitics_num_parallel_threads";
  for (const char* value : {"0", "-3"}) {
    const std::string settings = write_file("threads.json", std::string(R"({"cfg": {")") + name + R"(": ")" + value + "\"}}");
    for (const std::string& args : {"--cfg " + name + "=" + value, "--settings " + settings}) {
      const RESULT r = run("--stages none " + args);
      EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
      EXPECT_THAT(r.out, HasSubstr("configuration variable " + name + " is " + value + ": a thread count is at least 1"))
          << args;
      EXPECT_THAT(r.out, ::testing::Not(HasSubstr("Stage "))) << args;
    }
  }
  const RESULT r = run(std::string(VELMO_DESIGNS_DIR) + "/mcnc/tseng.blif --settings " + VELMO_SOURCE_DIR +
                       "/tests/data/tseng_io_hold_2000_settings.json --cfg velmo_finalize_run_spar=off --cfg " + name +
                       "=1 --debug");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Hold fixing: [0-9]+ connections? re-routed for hold, [1-9][0-9]* "
                                              "dangling wires added"));
  EXPECT_THAT(r.out, ::testing::Not(HasSubstr("All hold failures are fixed.")));
}

// Every option of which the component takes only some values, ending the
// fit with an internal error on any other (the table in docs/settings.md),
// is checked before the fit where the component reads it (a project
// option, an assignment): a value it does not take is a settings error
// naming the option and the values it takes.
TEST(VelmoFitSettingsChecks, OptionValuesTheComponentCannotTakeAreRefused) {
  struct CASE {
    const char* settings;
    std::string message;
  };
  const std::string high_fanout = "option 905 (the automatic delay chains' high-fanout input pin mode)";
  const std::string register_chain = "option 834 (a pipeline register's delay-chain setting)";
  const std::vector<CASE> refused = {
      {R"({"options": [{"id": 905, "type": 4, "value": "7"}]})", "options[0] sets " + high_fanout + " to 7; it takes 2 or 3"},
      {R"({"options": [{"id": 904, "type": 1, "value": "on"}, {"id": 905, "type": 1, "value": "on"}]})",
       "options[1] sets " + high_fanout + " to 1; it takes 2 or 3"},
      {R"({"assignments": [{"instance": "n_n852", "id": 834, "type": 4, "value": "5"}]})",
       "assignments[0] sets " + register_chain + " to 5; it takes 220, 221 or 222"},
      {R"({"options": [{"id": 834, "type": 4, "value": "223"}]})",
       "options[0] sets " + register_chain + " to 223; it takes 220, 221 or 222"},
  };
  for (const CASE& c : refused) {
    const RESULT r = run("--stages none --settings " + write_file("option.json", c.settings));
    EXPECT_EQ(r.status, 2) << c.settings << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.message)) << c.settings;
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("Stage "))) << c.settings;
  }
  // The values it takes fit, and so does an assignment of an option it
  // reads only for the project.
  const RESULT r = run("--stages none --settings " +
                       write_file("taken.json", R"({"options": [{"id": 905, "type": 4, "value": "2"}],
                                                    "assignments": [{"instance": "n_n852", "id": 834, "type": 4,
                                                                     "value": "222"},
                                                                    {"instance": "n_n852", "id": 905, "type": 4,
                                                                     "value": "7"}]})"));
  EXPECT_EQ(r.status, 0) << r.out;
  // docs/settings.md lists each checked option with the values it takes.
  std::ifstream in(std::string(VELMO_SOURCE_DIR) + "/docs/settings.md");
  const std::string docs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(docs, HasSubstr("\n    905     2, 3 "));
  EXPECT_THAT(docs, HasSubstr("\n    834     220, 221, 222 "));
}
