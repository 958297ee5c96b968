// velmo-fit with equivalence checking on, where the output directory goes
// wrong: one that would lose its netlists to the check scripts' directories
// during the fit, and one too long for the netlists' names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {
using velmo_fit_test::RESULT;
using velmo_fit_test::run_shell;
using ::testing::HasSubstr;
using ::testing::Not;

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Settings with option 627 on, the output directory and Verilog netlists;
// with `scripts`, the planned, placed and routed check scripts asked for.
std::string eqcheck_settings(const std::string& output_dir, bool scripts) {
  return R"({"options": [{"id": 627, "type": 1, "value": "on"}],)" +
         std::string(scripts ? R"( "cfg": {"fitter_write_eqcheck_for_planned": "on",
           "fitter_write_eqcheck_for_placed": "on", "fitter_write_eqcheck_for_routed": "on"},)"
                             : "") +
         R"( "eda": {"output_dir": ")" + output_dir + R"(", "netlist_type": 3}})";
}

}  // namespace

// The output directory swapped for a link to verification/ once the planned
// netlist is written: the placed netlist would go where the placed check
// script's directory is emptied. Neither is written, the run ends 1 after
// one line on stderr naming the reason, and no later stage runs.
TEST(EqcheckOutputDir, SwappedIntoVerificationDuringTheFitWritesNeitherNetlistNorScript) {
  namespace fs = std::filesystem;
  const std::string dir = velmo_fit_test::test_dir();
  std::ofstream(dir + "settings.json") << eqcheck_settings("eda", true);
  auto fit = [&](const std::string& redirections) {
    return run_shell("cd " + dir +
                     " && VELMO_TEST_AFTER_RENAME=/planned/top.vo"
                     " VELMO_TEST_AFTER_RENAME_RUN='mv eda eda.moved && ln -s verification eda'"
                     " LD_PRELOAD=" VELMO_AFTER_RENAME_LIB
                     " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " VELMO_FIT_EXE
                     " --settings settings.json --stages plan,place,route " +
                     redirections);
  };
  const RESULT r = fit("2>&1 >stdout.txt");
  EXPECT_EQ(r.status, 1) << r.out;
  const std::string verification = fs::canonical(dir).string() + "/verification";
  EXPECT_EQ(r.out, "velmo-fit: eda.output_dir 'eda' (" + verification + ") lies inside verification/ (" +
                       verification +
                       "), whose snapshot directories are emptied before each check script is written: the netlists "
                       "would be deleted; neither the placed netlist nor its check script is written\n");
  const std::string out = read_text(dir + "stdout.txt");
  EXPECT_THAT(out, HasSubstr("Stage place: ok")) << out;
  EXPECT_THAT(out, Not(HasSubstr("Stage route"))) << out;
  EXPECT_THAT(out, HasSubstr("velmo-fit: failed\n")) << out;
  EXPECT_FALSE(fs::exists(dir + "verification/placed"));
  // What came before the swap stays.
  EXPECT_TRUE(fs::exists(dir + "eda.moved/planned/top.vo"));
  EXPECT_TRUE(fs::exists(dir + "verification/planned/eqcheck.tcl"));
  // On one stream, the line follows the place stage's.
  fs::remove_all(dir + "verification");
  fs::remove(dir + "eda");
  fs::remove_all(dir + "eda.moved");
  const RESULT merged = fit("2>&1");
  EXPECT_EQ(merged.status, 1) << merged.out;
  const std::size_t place = merged.out.find("Stage place: ok"), line = merged.out.find(r.out);
  EXPECT_NE(line, std::string::npos) << merged.out;
  EXPECT_LT(place, line) << merged.out;
}

// An output directory whose netlists' paths (and the temporary file written
// beside each) would be longer than a path may be is refused before the fit
// for that reason, whether a report is asked for or not, and naming no
// report path; one a byte shorter fits.
TEST(EqcheckOutputDir, TooLongForItsNetlistsNamesIsRefusedForThatReason) {
  namespace fs = std::filesystem;
  const std::string dir = velmo_fit_test::test_dir();
  // Directory names of 200 bytes: each within what a directory takes.
  auto output_dir = [](std::size_t bytes) {
    std::string path;
    while (path.size() + 201 < bytes) path += std::string(200, 'd') + "/";
    return path + std::string(bytes - path.size(), 'e');
  };
  // synthesized/top.vo, its temporary's 24 bytes and the slash before it
  // reach 4095 bytes, the longest path, from 4052 bytes.
  const std::string refused = output_dir(4053), taken = output_dir(4052);
  std::ofstream(dir + "refused.json") << eqcheck_settings(refused, false);
  std::ofstream(dir + "taken.json") << eqcheck_settings(taken, false);
  for (const std::string report : {"", " --report report.json"}) {
    const RESULT r = run_shell("cd " + dir + " && " VELMO_FIT_EXE " --settings refused.json --stages plan" + report +
                               " 2>&1 >stdout.txt");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(r.out, "velmo-fit: eda.output_dir of 4053 bytes is too long: the netlist names in it "
                     "(synthesized/top.vo and the temporary file written beside it) would have up to 4096 bytes, "
                     "more than the 4095 a path may have\n")
        << report;
    EXPECT_THAT(read_text(dir + "stdout.txt"), Not(HasSubstr("Stage "))) << report;
  }
  EXPECT_FALSE(fs::exists(dir + std::string(200, 'd')));
  const RESULT r = run_shell("cd " + dir + " && " VELMO_FIT_EXE " --settings taken.json --stages plan 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  // Its absolute path is too long to look at: from the test's directory,
  // and removed from there (rm walks it one directory at a time).
  EXPECT_EQ(run_shell("cd " + dir + " && test -f " + taken + "/planned/top.vo").status, 0);
  run_shell("cd " + dir + " && rm -rf " + std::string(200, 'd'));
}
