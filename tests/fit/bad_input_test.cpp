// velmo-fit on bad input and odd requests: a clear message and the right
// exit status, never a crash or a false success.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

namespace {
using velmo_fit_test::RESULT;
using velmo_fit_test::run;
using ::testing::HasSubstr;
using ::testing::Not;

std::string write_file(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

nlohmann::json read_json(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in);
}

// A register feeding another of the same clock at the given edges ("re" or
// "fe"), with a LUT between them.
std::string two_registers(const char* first, const char* second) {
  return write_file(std::string("edges_") + first + "_" + second + ".blif",
                    std::string(".model edges\n.inputs clk a\n.outputs y\n") + ".latch a q1 " + first +
                        " clk 0\n.names q1 n\n0 1\n.latch n q2 " + second + " clk 0\n.names q2 y\n1 1\n.end\n");
}

}  // namespace

TEST(BadSettings, ClocksAndNumbersTheRunCannotUseAreSettingsErrors) {
  // An output pin drives no net: not a clock.
  const std::string out_clock = write_file("clock_on_output.json", R"({"clocks": {"out:y": 1000}})");
  const std::string design = two_registers("re", "re");
  RESULT r = run(design + " --stages none --settings " + out_clock);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr(out_clock + ": clock 'out:y' names 'out:y', which drives no net"));
  // A number JSON cannot hold.
  for (const char* text : {R"({"family": 1e400})", R"({"clocks": {"clk": -1e999}})"}) {
    const std::string huge = write_file("huge_number.json", text);
    r = run("--stages none --settings " + huge);
    EXPECT_EQ(r.status, 2) << text << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(huge + ": not valid JSON")) << text;
  }
  // A family the settings give is checked like --family.
  const std::string family = write_file("family_19.json", R"({"family": 19})");
  r = run("--stages none --settings " + family);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("unsupported family code 19 (valid: 46, 48, 26, 15)"));
}

TEST(BadOptions, RefusedBeforeAnythingRuns) {
  struct CASE {
    std::string args;
    std::string message;
  };
  const std::string design = std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif";
  const std::vector<CASE> cases = {
      {"--stages route", "--stages: route needs place in the same run"},
      {"--stages retime", "--stages: retime needs place in the same run"},
      {"--stages final", "--stages: final needs place in the same run"},
      {"--stages plan,route", "--stages: route needs place in the same run"},
      {"--family 19", "unknown or unsupported family code '19' (valid: 46, 48, 26, 15)"},
      {"--family 7", "unknown or unsupported family code '7'"},
      {"--family 999", "unknown or unsupported family code '999'"},
      {"--family 4294967342", "unknown or unsupported family code '4294967342'"},
      {"--threads 99999999999999999999", "bad thread count"},
      {"--suppress -1", "bad message id"},
      {"--stages none --report", "--report needs a value"},
      {"--family", "--family needs a value"},
      {"--report " + design + " " + design, "would overwrite the input file"},
      {"--report /nonexistent/dir/r.json", "--report /nonexistent/dir/r.json: cannot write the file"},
      {std::string(VELMO_DESIGNS_DIR), "is a directory, not a BLIF file"},
      {"--stages none --cfg use_dern_flow=1", "use_dern_flow is on: velmo-fit cannot run the dern flow"},
  };
  for (const CASE& c : cases) {
    const RESULT r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.message)) << c.args;
    EXPECT_THAT(r.out, Not(HasSubstr("Stage "))) << c.args;
  }
}

TEST(BadOptions, HelpGivesExitStatusesCfgFileFormatAndFamilies) {
  const RESULT r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("exit status: 0 success, 1 a stage"));
  EXPECT_THAT(r.out, HasSubstr("3 internal error"));
  EXPECT_THAT(r.out, HasSubstr("--cfg-file FILE holds one NAME=VALUE per line"));
  EXPECT_THAT(r.out, HasSubstr("device family: 46, 48, 26, 15"));
}

TEST(OddDesigns, NetNamesLikeTheLoadersOwnLoad) {
  // Nets named as the loader would name its buffers and output pads.
  const std::string design =
      write_file("own_names.blif",
                 ".model names\n.inputs a clk\n.outputs y out:y\n.names a a~ibuf\n1 1\n.names a~ibuf out:y\n0 1\n"
                 ".latch out:y q re clk 0\n.names q y\n1 1\n.end\n");
  const RESULT r = run(design + " --stages place,route");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Routing: "));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
}

// A transfer from a rising-edge to a falling-edge register has half the
// period: its setup slack is half a period less than the same transfer
// between rising edges, its hold slack half a period more.
TEST(HalfCycleTiming, OppositeEdgesGetHalfThePeriod) {
  const std::string settings = write_file("clock_3000.json", R"({"clocks": {"clk": 3000}})");
  auto fit = [&](const char* first, const char* second) {
    const std::string report = ::testing::TempDir() + "edges_" + first + second + ".json";
    const RESULT r = run(two_registers(first, second) + " --stages place,route --settings " + settings +
                         " --report " + report);
    EXPECT_EQ(r.status, 0) << r.out;
    return read_json(report)["timing"];
  };
  const nlohmann::json same = fit("re", "re");
  for (const auto& [first, second] : {std::pair<const char*, const char*>{"re", "fe"}, {"fe", "re"}}) {
    SCOPED_TRACE(std::string(first) + " -> " + second);
    const nlohmann::json half = fit(first, second);
    ASSERT_EQ(half.size(), same.size());
    for (std::size_t c = 0; c < same.size(); ++c) {
      EXPECT_EQ(half[c]["setup_wns_ps"].get<int>(), same[c]["setup_wns_ps"].get<int>() - 1500) << same[c]["corner"];
      EXPECT_EQ(half[c]["hold_wns_ps"].get<int>(), same[c]["hold_wns_ps"].get<int>() + 1500) << same[c]["corner"];
    }
  }
  // Two falling edges are a full cycle again.
  const nlohmann::json both_falling = fit("fe", "fe");
  for (std::size_t c = 0; c < same.size(); ++c)
    EXPECT_EQ(both_falling[c]["setup_wns_ps"].get<int>(), same[c]["setup_wns_ps"].get<int>());
}

TEST(Threads, OneAndEightThreadsGiveTheSameFit) {
  const std::string design = std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif";
  auto fit = [&](int threads) {
    const std::string report = ::testing::TempDir() + "threads_" + std::to_string(threads) + ".json";
    const RESULT r = run(design + " --threads " + std::to_string(threads) + " --report " + report);
    EXPECT_EQ(r.status, 0) << r.out;
    nlohmann::json j = read_json(report);
    return std::make_pair(j["routing"], j["timing"]);
  };
  EXPECT_EQ(fit(1), fit(8));
}
