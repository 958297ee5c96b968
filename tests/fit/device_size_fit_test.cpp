// velmo-fit sizes the device to the design: a merged design with several
// hundred pins gets a grid that follows its logic and routes completely; a
// design beyond the largest device is refused before the device is built;
// running out of memory ends with one line and status 3.
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <nlohmann/json.hpp>

namespace {
using velmo_fit_test::RESULT;
using velmo_fit_test::run;
using ::testing::HasSubstr;

const std::string kRepo = std::string(VELMO_DESIGNS_DIR) + "/../..";

// A design of `pins` / 2 input pins, each passed through a LUT to an output.
std::string pass_through_design(int pins) {
  const std::string path = velmo_fit_test::test_dir() + "pass_through_" + std::to_string(pins) + ".blif";
  std::ofstream out(path);
  out << ".model wide\n.inputs";
  for (int i = 0; i < pins / 2; ++i) out << " i" << i;
  out << "\n.outputs";
  for (int i = 0; i < pins / 2; ++i) out << " o" << i;
  out << "\n";
  for (int i = 0; i < pins / 2; ++i) out << ".names i" << i << " o" << i << "\n0 1\n";
  out << ".end\n";
  return path;
}

// velmo-fit with its address space limited to `kb` kilobytes.
RESULT run_limited(const std::string& args, long kb) {
  std::string cmd = "ulimit -v " + std::to_string(kb) + "; exec " + std::string(VELMO_FIT_EXE) + " " + args + " 2>&1";
  RESULT r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

nlohmann::json read_json(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in);
}

// The copies share the reader's constant nets: renamed, nothing drives them.
TEST(DeviceSize, MergedCopiesKeepTheConstantNets) {
  const std::string design = velmo_fit_test::test_dir() + "fir8_x2.blif";
  ASSERT_EQ(std::system((kRepo + "/bench/merge_blif.sh 2 " + VELMO_DESIGNS_DIR + "/yosys/fir8.blif > " + design).c_str()),
            0);
  const RESULT r = run(design + " --stages plan");
  ASSERT_EQ(r.status, 0) << r.out;
}

TEST(DeviceSize, MergedManyPinDesignGetsAGridThatFollowsItsLogicAndRoutesCompletely) {
  const std::string design = velmo_fit_test::test_dir() + "diffeq_x3.blif";
  const std::string report = velmo_fit_test::test_dir() + "diffeq_x3.json";
  std::remove(report.c_str());
  ASSERT_EQ(std::system((kRepo + "/bench/merge_blif.sh 3 " + VELMO_DESIGNS_DIR + "/mcnc/diffeq.blif > " + design).c_str()),
            0);
  const RESULT r = run(design + " --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  const nlohmann::json j = read_json(report);
  const int pins = j["resources"]["pads"], nx = j["device"]["nx"], ny = j["device"]["ny"];
  EXPECT_EQ(pins, 309);
  // Two pins per pad tile could not hold the pins on this grid's ring: the
  // logic set the grid.
  const int ring_tiles = 2 * (ny - 2) + (nx - 2);
  EXPECT_GT(pins, 2 * ring_tiles);
  // The LABs take the logic at the placer's limit (10 per LAB, 10 % to
  // spare), and not many more: the logic set the grid.
  const int atoms = j["resources"]["luts"].get<int>() + j["resources"]["registers"].get<int>();
  const int labs = j["resources"]["labs"];
  EXPECT_GE(labs * 0.9 * 10, atoms);
  EXPECT_LT(labs * 0.9 * 10, atoms * 1.2);
  EXPECT_EQ(j["routing"]["unrouted"], 0);
  EXPECT_EQ(j["routing"]["overused"], 0);
  EXPECT_GT(j["routing"]["connections"].get<int>(), 15000);
  // The route stage's negotiation rounds: three copies share wires, so
  // the first round leaves overuse (the final stage's re-route, which
  // follows this routing, takes one and must not replace the figure).
  EXPECT_GT(j["routing"]["rounds"].get<int>(), 1);
  // Peak memory per stage, never falling.
  long last = 0;
  for (const auto& s : j["stages"]) {
    const long peak = s["peak_rss_kb"];
    EXPECT_GE(peak, last) << s["name"];
    last = peak;
  }
  EXPECT_GT(last, 0);
}

// A design of over 450 LABs (a chain of 4,600 registers) on a device many
// times its size could be spread to half the limit, but its routing demand
// is far under the tracks' supply: the placer keeps it packed, and the
// report says so and why.
TEST(DeviceSize, AnUncongestedDesignOnAWiderDeviceStaysPacked) {
  const std::string path = velmo_fit_test::test_dir() + "chain.blif";
  const std::string report = velmo_fit_test::test_dir() + "chain.json";
  {
    std::ofstream out(path);
    out << ".model chain\n.inputs clk d\n.outputs q4599\n";
    for (int i = 0; i < 4600; ++i) out << ".latch " << (i ? "q" + std::to_string(i - 1) : "d") << " q" << i << " re clk 0\n";
    out << ".end\n";
  }
  const RESULT wide = run(path + " --stages plan,place --device 90 --report " + report);
  ASSERT_EQ(wide.status, 0) << wide.out;
  EXPECT_THAT(wide.out, ::testing::Not(HasSubstr("Placement: at most")));
  const nlohmann::json j = read_json(report);
  EXPECT_EQ(j["placement"]["lab_atom_limit"], 10);
  EXPECT_EQ(j["placement"]["spread_limit"], 5);
  EXPECT_LT(j["placement"]["packed_demand"].get<double>(), 1.0);
  EXPECT_EQ(j["placement"]["reason"], "routing demand within supply");
  EXPECT_LE(j["resources"]["labs_used"].get<int>(), 4600 / 10 + 5);
}

// A design whose 1,500 registers each take six others through a LUT, at
// random, demands more routing than the tracks give; on a device about twice
// its size the placer spreads it to 5 a LAB. The placement holds to that:
// its LABs take every atom at 5 a LAB, and the line names the device's LABs.
TEST(DeviceSize, ACongestedDesignOnAWiderDeviceIsPlacedAtTheSpreadLimitItIsToldOf) {
  const std::string path = velmo_fit_test::test_dir() + "random.blif";
  const std::string report = velmo_fit_test::test_dir() + "random.json";
  {
    std::ofstream out(path);
    std::mt19937 random(1);
    out << ".model random\n.inputs clk i\n.outputs o\n";
    for (int k = 0; k < 1500; ++k) {
      out << ".names";
      for (int in = 0; in < 6; ++in) out << " q" << random() % 1500;
      out << " l" << k << "\n111111 1\n.latch l" << k << " q" << k << " re clk 0\n";
    }
    out << ".names q0 i o\n11 1\n.end\n";
  }
  const RESULT r = run(path + " --stages plan,place --device 35 --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  const nlohmann::json j = read_json(report);
  ASSERT_EQ(j["placement"]["lab_atom_limit"], 5) << j["placement"];
  const int atoms = j["resources"]["luts"].get<int>() + j["resources"]["registers"].get<int>();
  EXPECT_GE(j["resources"]["labs_used"].get<int>() * 5, atoms);
  EXPECT_THAT(r.out, HasSubstr("Placement: at most 5 LUTs and registers per LAB (not 10), to spread the design over the " +
                               std::to_string(j["resources"]["labs"].get<int>()) + " LABs of the device"));
}

TEST(DeviceSize, ADesignBeyondTheLargestDeviceIsRefusedAtOnceNamingWhatDoesNotFit) {
  for (int pins : {4000, 40000}) {
    const RESULT r = run(pass_through_design(pins));
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_THAT(r.out, HasSubstr("does not fit the largest device"));
    EXPECT_THAT(r.out, HasSubstr(std::to_string(pins) + " I/O pins, it has "));
    // Only the pins are over: the LUTs fit.
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("LUTs and")));
    // Refused before any stage runs (how long that takes: `make
    // refuse-bench`).
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("Stage")));
  }
}

TEST(DeviceSize, RunningOutOfMemoryEndsWithOneLineAndStatusThree) {
#ifdef __SANITIZE_ADDRESS__
  // The address sanitizer reserves its shadow memory up front and cannot run
  // under an address-space limit at all.
  GTEST_SKIP() << "needs a build without the address sanitizer";
#endif
  // A pin-heavy design inside the largest device, with too little address
  // space for its routing graph.
  // An earlier report at the path is not left behind.
  const std::string design = pass_through_design(2400);
  const std::string report = velmo_fit_test::test_dir() + "out_of_memory.json";
  std::ofstream(report) << R"({"status": 0})";
  const RESULT r = run_limited(design + " --report " + report, 250 * 1024);
  EXPECT_EQ(r.status, 3) << r.out;
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: out of memory"));
  EXPECT_FALSE(std::filesystem::exists(report));
  // Only a regular file is removed: a FIFO the report was to go to stays.
  const std::string fifo = velmo_fit_test::test_dir() + "out_of_memory.fifo";
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const RESULT f = run_limited(design + " --report " + fifo, 250 * 1024);
  EXPECT_EQ(f.status, 3) << f.out;
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

}  // namespace
