// velmo-fit's own checks around the equivalence-check netlists and scripts:
// what it refuses before the fit (a read line the checker's Tcl would not
// take as one path, another design's netlists of any netlist type), and what
// it writes or refuses once a stage has run (nothing after a failed stage; a
// check script that is no regular file; a verification/ that became a loop,
// a script folder made a link) and the run's mark of an unfinished run.
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

namespace fs = std::filesystem;

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Option 627 on, the planned and placed check scripts asked for, `output_dir`
// given as JSON text, and the netlist type.
std::string settings(const std::string& output_dir_json, int netlist_type) {
  return R"({"options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_planned": "on", "fitter_write_eqcheck_for_placed": "on"},
 "eda": {"output_dir": ")" +
         output_dir_json + R"(", "netlist_type": )" + std::to_string(netlist_type) + "}}";
}

// velmo-fit in `dir` with `settings.json` there; stderr returned, stdout in
// stdout.txt.
RESULT fit_in(const std::string& dir, const std::string& env, const std::string& args) {
  return run_shell("cd " + dir + " && " + env + " " VELMO_FIT_EXE " --settings settings.json " + args +
                   " 2>&1 >stdout.txt");
}

// The run with the rename hook: once a file whose new name ends with
// `suffix` is renamed into place, `command` runs in the project directory.
RESULT fit_after_rename(const std::string& dir, const std::string& suffix, const std::string& command,
                        const std::string& args) {
  return fit_in(dir,
                "VELMO_TEST_AFTER_RENAME=" + suffix + " VELMO_TEST_AFTER_RENAME_RUN='" + command +
                    "' LD_PRELOAD=" VELMO_AFTER_RENAME_LIB " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0",
                args);
}

}  // namespace

// Every control character, DEL among them, would break a read line: each
// is refused before the fit, shown escaped on the message's one line.
TEST(EqcheckHostChecks, ControlCharactersInTheOutputDirAreRefusedBeforeTheFit) {
  const std::string dir = velmo_fit_test::test_dir();
  for (const auto& [json, shown] : {std::pair<std::string, std::string>{"eda/s\\u007fm", "\\x7f"},
                                    {"eda/s\\u0001m", "\\x01"},
                                    {"eda/s\\u001fm", "\\x1f"}}) {
    std::ofstream(dir + "settings.json") << settings(json, 3);
    const RESULT r = fit_in(dir, "", "--stages plan");
    EXPECT_EQ(r.status, 2) << json << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("eda.output_dir 'eda/s" + shown + "m' holds the control character '" + shown +
                                 "', which the check scripts' read lines cannot carry"))
        << json;
    EXPECT_THAT(read_text(dir + "stdout.txt"), Not(HasSubstr("Stage "))) << json;
  }
  EXPECT_FALSE(fs::exists(dir + "eda"));
}

// A check script reads every netlist of its type in a snapshot directory:
// another design's netlist there is refused for each netlist type, VHDL,
// Verilog and SystemVerilog alike; one of another type is not read.
TEST(EqcheckHostChecks, AnotherDesignsNetlistOfEachTypeIsRefusedBeforeTheFit) {
  const std::string dir = velmo_fit_test::test_dir();
  fs::create_directories(dir + "eda/sim/planned");
  for (const auto& [type, extension] : {std::pair<int, std::string>{2, ".vho"}, {3, ".vo"}, {4, ".sv"}}) {
    std::ofstream(dir + "settings.json") << settings("eda/sim", type);
    std::ofstream(dir + "eda/sim/planned/other" + extension) << "\n";
    const RESULT r = fit_in(dir, "", "--stages plan,place");
    EXPECT_EQ(r.status, 2) << type << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("eda/sim/planned/other" + extension + " is not a netlist of top, but the check script " +
                                 "verification/planned/eqcheck.tcl would read it"))
        << type;
    EXPECT_THAT(read_text(dir + "stdout.txt"), Not(HasSubstr("Stage "))) << type;
    fs::remove(dir + "eda/sim/planned/other" + extension);
  }
  // A netlist of another type than the one written is no concern.
  std::ofstream(dir + "settings.json") << settings("eda/sim", 4);
  std::ofstream(dir + "eda/sim/planned/other.vho") << "\n";
  const RESULT r = fit_in(dir, "", "--stages plan");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(dir + "eda/sim/planned/top.sv"));
}

// Only a stage that ran to its end has its netlist and check script
// written; the one before it keeps its own. The run's mark in the output
// directory stays, so a reader can tell the earlier run's placed netlist,
// which stays as it was, beside this one's planned netlist; a whole run
// clears it.
TEST(EqcheckHostChecks, AFailedStageWritesNeitherItsNetlistNorItsScript) {
  const std::string dir = velmo_fit_test::test_dir(), mark = dir + "eda/sim/velmo-fit.incomplete";
  std::ofstream(dir + "settings.json") << settings("eda/sim", 3);
  ASSERT_EQ(fit_in(dir, "", "--stages plan,place").status, 0);
  EXPECT_FALSE(fs::exists(mark));
  const auto earlier = fs::last_write_time(dir + "eda/sim/placed/top.vo");
  const RESULT r = fit_in(dir, "", "--stages plan,place --cfg debug_stop_after_prefit=on");
  EXPECT_EQ(r.status, 1) << r.out;
  const std::string out = read_text(dir + "stdout.txt");
  EXPECT_THAT(out, HasSubstr("Stage place: FAILED")) << out;
  EXPECT_TRUE(fs::exists(dir + "eda/sim/planned/top.vo"));
  EXPECT_TRUE(fs::exists(dir + "verification/planned/eqcheck.tcl"));
  EXPECT_EQ(fs::last_write_time(dir + "eda/sim/placed/top.vo"), earlier);
  EXPECT_FALSE(fs::exists(dir + "verification/placed/eqcheck.tcl"));
  EXPECT_TRUE(fs::exists(mark));
}

// verification/routed made a link to a folder outside at each moment the
// check-script writer could meet it: once the placed netlist is in place
// (the placed script's writer empties routed/ too), once the routed netlist
// is, and once the writer has made routed/ afresh for its script. The link
// is removed as a link, or nothing is written through it: the folder it
// points to keeps its file and gets nothing, and a run without its routed
// script ends 1 naming it.
TEST(EqcheckHostChecks, AScriptFolderMadeALinkIsNeverWrittenThrough) {
  const std::string dir = velmo_fit_test::test_dir();
  const std::string link = "mkdir -p verification && ln -s ../keep verification/routed";
  std::ofstream(dir + "settings.json") << R"({"options": [{"id": 627, "type": 1, "value": "on"}],
 "cfg": {"fitter_write_eqcheck_for_placed": "on", "fitter_write_eqcheck_for_routed": "on"},
 "eda": {"output_dir": "eda/sim", "netlist_type": 3}})";
  struct ROW {
    std::string after, command, err;
  };
  for (const ROW& row : {ROW{"/placed/top.vo", link, ""}, ROW{"/routed/top.vo", link, ""},
                         ROW{"/verification/routed", "rmdir verification/routed && " + link,
                             "velmo-fit: cannot write the check script verification/routed/eqcheck.tcl\n"}}) {
    fs::remove_all(dir + "verification");
    fs::create_directories(dir + "keep");
    std::ofstream(dir + "keep/notes.txt") << "mine\n";
    const RESULT r = fit_after_rename(dir, row.after, row.command, "--stages plan,place,route");
    EXPECT_EQ(r.status, row.err.empty() ? 0 : 1) << row.after << "\n" << r.out;
    EXPECT_EQ(r.out, row.err) << row.after;
    EXPECT_EQ(read_text(dir + "keep/notes.txt"), "mine\n") << row.after;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir + "keep"), fs::directory_iterator()), 1) << row.after;
    EXPECT_EQ(read_text(dir + "stdout.txt").find("velmo-fit: done\n") != std::string::npos, row.err.empty())
        << row.after;
    EXPECT_EQ(!fs::is_symlink(dir + "verification/routed") && fs::exists(dir + "verification/routed/eqcheck.tcl"),
              row.err.empty()) << row.after;
  }
}

// Once the component has put the script in place, velmo-fit takes only a
// regular file for it: a pipe in its place is refused, even one that gives
// the whole script.
TEST(EqcheckHostChecks, AScriptThatIsNoRegularFileIsNotTaken) {
  const std::string dir = velmo_fit_test::test_dir();
  std::ofstream(dir + "settings.json") << settings("eda/sim", 3);
  const RESULT r = fit_after_rename(dir, "/planned/eqcheck.tcl",
                                    "mv verification/planned/eqcheck.tcl script.tcl && "
                                    "mkfifo verification/planned/eqcheck.tcl && "
                                    "{ cat script.tcl > verification/planned/eqcheck.tcl 2>/dev/null & }",
                                    "--stages plan,place");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(r.out, "velmo-fit: cannot write the check script verification/planned/eqcheck.tcl\n");
  EXPECT_THAT(read_text(dir + "stdout.txt"), Not(HasSubstr("Stage place")));
}

// verification/ turned into a link to itself during the fit: the links
// check made before the fit runs again before the stage writes, so neither
// the netlist nor the script is written, and the reason is named.
TEST(EqcheckHostChecks, AVerificationLoopMadeDuringTheFitIsFoundBeforeTheStageWrites) {
  const std::string dir = velmo_fit_test::test_dir();
  std::ofstream(dir + "settings.json") << settings("eda/sim", 3);
  const RESULT r = fit_after_rename(dir, "/synthesized/top.vo",
                                    "rm -rf verification && ln -s verification verification", "--stages plan,place");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(r.out, "velmo-fit: verification is a link that loops (to 'verification'): the check scripts cannot be "
                   "written there; neither the planned netlist nor its check script is written\n");
  EXPECT_FALSE(fs::exists(dir + "eda/sim/planned/top.vo"));
  EXPECT_THAT(read_text(dir + "stdout.txt"), Not(HasSubstr("Stage place")));
}
