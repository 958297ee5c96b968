// velmo-fit end to end on bundled designs: placed, routed and timed, as the
// report has it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

namespace {
struct RESULT {
  int status;
  std::string out;
};

RESULT run(const std::string& args) {
  std::string cmd = std::string(VELMO_FIT_EXE) + " " + args + " 2>&1";
  RESULT r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

void expect_fitted(const std::string& design, const std::string& settings = "") {
  const std::string report = ::testing::TempDir() + "e2e_report.json";
  std::remove(report.c_str());
  const RESULT r = run(std::string(VELMO_SHARED_DESIGNS_DIR) + "/" + design + " --report " + report + settings);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Stage route: ok .*worst setup slack"));
  std::ifstream in(report);
  const nlohmann::json j = nlohmann::json::parse(in);
  EXPECT_EQ(j["status"], 0);
  EXPECT_GT(j["routing"]["connections"].get<int>(), 0);
  EXPECT_EQ(j["routing"]["unrouted"], 0);
  EXPECT_EQ(j["routing"]["overused"], 0);
  ASSERT_TRUE(j["timing"].is_array());
  ASSERT_FALSE(j["timing"].empty());
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
  EXPECT_THAT(names, ::testing::ElementsAre("start-up", "plan", "place", "route", "retime", "final"));
}
}  // namespace

TEST(EndToEnd, FitsAnMcncBenchmark) { expect_fitted("mcnc/s298.blif"); }

TEST(EndToEnd, FitsAYosysBenchmark) { expect_fitted("yosys/crc32x8.blif"); }
