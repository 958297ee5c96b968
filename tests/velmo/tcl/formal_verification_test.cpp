// The equivalence-check script writer: which stage writes where, what it
// clears, the gates, the family and netlist-type texts, and the script run
// in a Tcl interpreter under a stand-in checker that records its commands.
#include <sys/resource.h>
#include <sys/wait.h>
#include <tcl.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "gen/gen_project.h"
#include "msg/msg_base.h"
#include "omz/omz_option.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "velmo_formal_verification.h"
#include "yova/yova_util.h"

namespace fs = std::filesystem;
using host::testing::Family;
using ::testing::ElementsAre;

namespace {

using SNAP = JOV_SNAPSHOT_BASE;

class FormalVerificationTest : public host::testing::HostTest {
protected:
  void SetUp() override {
    HostTest::SetUp();
    host::testing::device(Family::KY).build();
    host::options::set(627, 1, "on");
    for (const char* s : {"planned", "placed", "routed", "retimed", "final"})
      cfg_set_on((std::string("fitter_write_eqcheck_for_") + s).c_str());
  }
  static void write(SNAP::ENUM snapshot) { velmo_write_formal_verification_flow(JOV_ENUM_IMPL<SNAP>(snapshot)); }
  static std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(read(path));
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }
  static void make_all_state_dirs() {
    for (const char* d : {"planned", "placed", "routed", "retimed"}) {
      fs::create_directories(std::string("verification/") + d);
      std::ofstream(std::string("verification/") + d + "/old.txt") << "x";
    }
  }
  static bool has(const std::string& d) { return fs::exists("verification/" + d); }
};

}  // namespace

TEST_F(FormalVerificationTest, EachStageClearsItselfAndLaterStagesAndComparesWithTheStageBefore) {
  make_all_state_dirs();
  // Links are removed as links: one in a folder cleared, and one in place
  // of a folder; the folder both point to keeps its file.
  fs::create_directories("keep");
  std::ofstream("keep/notes.txt") << "mine";
  fs::create_directory_symlink("../../keep", "verification/routed/inner");
  fs::remove_all("verification/retimed");
  fs::create_directory_symlink("../keep", "verification/retimed");
  write(SNAP::PLACED);
  EXPECT_EQ(read("keep/notes.txt"), "mine");
  EXPECT_TRUE(fs::exists("verification/planned/old.txt"));
  EXPECT_FALSE(fs::exists("verification/placed/old.txt"));
  EXPECT_FALSE(has("routed"));
  EXPECT_FALSE(has("retimed"));
  auto script = lines("verification/placed/eqcheck.tcl");
  ASSERT_EQ(script.size(), 24u);
  EXPECT_EQ(script[4], "read_verilog -golden simulation/planned/*.vo");
  EXPECT_EQ(script[6], "read_verilog -revised simulation/placed/*.vo");

  make_all_state_dirs();
  write(SNAP::RETIMED);
  EXPECT_TRUE(fs::exists("verification/placed/old.txt"));
  EXPECT_FALSE(has("retimed"));
  script = lines("verification/routed/eqcheck.tcl");
  ASSERT_EQ(script.size(), 24u);
  EXPECT_EQ(script[4], "read_verilog -golden simulation/placed/*.vo");
  EXPECT_EQ(script[6], "read_verilog -revised simulation/routed/*.vo");

  make_all_state_dirs();
  write(SNAP::PLANNED);
  EXPECT_FALSE(fs::exists("verification/planned/old.txt"));
  EXPECT_FALSE(has("placed"));
  EXPECT_EQ(lines("verification/planned/eqcheck.tcl").at(4), "read_verilog -golden simulation/synthesized/*.vo");
}

TEST_F(FormalVerificationTest, GatesAndUnsupportedSnapshots) {
  cfg_set_on("fitter_write_eqcheck");
  host::cfg::unset("fitter_write_eqcheck_for_placed");
  write(SNAP::PLACED);
  EXPECT_FALSE(has(""));
  write(SNAP::FINAL);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Unsupported formal verification snapshot stage: final"));
  write(SNAP::NONE);  // reads the plain variable
  EXPECT_THAT(host::debug::texts(), HasDebugLine("Unsupported formal verification snapshot stage: none"));
  EXPECT_FALSE(has(""));
  host::options::set(627, 1, "off");
  write(SNAP::ROUTED);
  host::options::unset(627);
  write(SNAP::ROUTED);
  EXPECT_FALSE(has(""));

  // Without a project directory nothing is removed or written: the paths
  // would start at the file-system root. The writer runs only in a child
  // whose root is an empty directory (when it may change root; otherwise
  // the real root is not writable to it), so a write there is seen and
  // harmless.
  host::options::set(627, 1, "on");
  host::gen::set_project_dir("");
  std::string root_template = (fs::current_path() / "root-XXXXXX").string();  // in the test's own folder
  ASSERT_NE(mkdtemp(root_template.data()), nullptr);
  const std::string fake_root = root_template;
  const pid_t no_project = fork();
  if (no_project == 0) {
    if (chroot(fake_root.c_str()) != 0) {
      if (geteuid() == 0) _exit(2);
    } else if (chdir("/") != 0) {
      _exit(2);
    }
    write(SNAP::ROUTED);
    bool skipped = false;
    for (const std::string& t : host::debug::texts())
      skipped |= t == "No project directory: no formal verification script written";
    _exit(skipped && !has("") ? 0 : 1);
  }
  int no_project_status = 0;
  ASSERT_EQ(waitpid(no_project, &no_project_status, 0), no_project);
  EXPECT_TRUE(WIFEXITED(no_project_status) && WEXITSTATUS(no_project_status) == 0) << no_project_status;
  EXPECT_TRUE(fs::is_empty(fake_root));
  fs::remove_all(fake_root);
  EXPECT_FALSE(has(""));
}

TEST_F(FormalVerificationTest, FamilyAndNetlistTypeTexts) {
  auto device_line = [&](const std::string& family) {
    host::options::set(381, 6, family);
    write(SNAP::PLACED);
    return lines("verification/placed/eqcheck.tcl").at(1);
  };
  EXPECT_EQ(device_line("PELLAM"), "set device \"morvane10\"");
  EXPECT_EQ(device_line("Vintrel"), "set device \"lindrel10\"");
  EXPECT_EQ(device_line("Lin drel 10"), "set device \"lindrel10\"");
  EXPECT_EQ(device_line("Two Words"), "set device \"two words\"");
  EXPECT_EQ(device_line(""), "set device \"\"");

  const std::string project = gen_get_project_dir_path();
  host::yova::set_tool(2, "eda/sim", 2);
  write(SNAP::PLACED);
  EXPECT_EQ(lines("verification/placed/eqcheck.tcl").at(4), "read_vhdl -golden eda/sim/planned/*.vho");
  host::yova::set_tool(2, "/elsewhere/out", 4);
  write(SNAP::PLACED);
  EXPECT_EQ(lines("verification/placed/eqcheck.tcl").at(6), "read_verilog -revised -sv /elsewhere/out/placed/*.sv");
  host::yova::set_tool(2, project + "/abs", 0);
  write(SNAP::PLACED);
  auto script = lines("verification/placed/eqcheck.tcl");
  ASSERT_EQ(script.size(), 24u);  // replaced, not appended
  EXPECT_EQ(script[4], "");
  EXPECT_EQ(script[6], "");
  // Every script so far was written whole: no failure is told.
  EXPECT_THAT(host::debug::texts(), ::testing::Not(::testing::Contains(::testing::StartsWith("Cannot write"))));

  // A script that cannot be written whole (here a file-size limit below its
  // size, the limit's signal ignored as the host does) leaves none under its
  // name and nothing beside it, and the failure is told once.
  const std::string cannot = "Cannot write the formal verification script " + project + "/verification/placed/eqcheck.tcl";
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    write(SNAP::PLACED);
    int told = 0;
    for (const std::string& t : host::debug::texts()) told += t == cannot;
    _exit(told == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(fs::is_empty("verification/placed"));
}

TEST_F(FormalVerificationTest, TheScriptRunsUnderAStandInChecker) {
  host::options::set(381, 6, "PELLAM");
  write(SNAP::ROUTED);
  Tcl_Interp* interp = Tcl_CreateInterp();
  const char* checker = R"(
    set ::log {}
    set ::env(TORVIKA_DIR) /opt/checker
    foreach c {load_settings read_verilog read_vhdl elaborate set_mode map compare report_resource_usage} {
      proc $c {args} "lappend ::log \[list $c {*}\$args\]"
    }
    namespace eval ::kestro::torvika { proc get_failing_compare_points {} { lappend ::log failing } }
    rename puts ::real_puts
    proc puts {text} { lappend ::log [list puts $text] }
  )";
  ASSERT_EQ(Tcl_Eval(interp, checker), TCL_OK) << Tcl_GetStringResult(interp);
  ASSERT_EQ(Tcl_EvalFile(interp, "verification/routed/eqcheck.tcl"), TCL_OK) << Tcl_GetStringResult(interp);
  ASSERT_EQ(Tcl_Eval(interp, "join [lmap e $::log {lindex $e 0}] ,"), TCL_OK);
  EXPECT_STREQ(Tcl_GetStringResult(interp),
               "load_settings,read_verilog,read_verilog,elaborate,puts,report_resource_usage,elaborate,puts,"
               "report_resource_usage,set_mode,puts,report_resource_usage,map,puts,report_resource_usage,compare,puts,"
               "report_resource_usage,failing");
  ASSERT_EQ(Tcl_Eval(interp, "list [lindex $::log 0] [lindex $::log 1] [lindex $::log 2] $torvika_root"), TCL_OK);
  EXPECT_STREQ(Tcl_GetStringResult(interp),
               "{load_settings ec_fpga_kestro:morvane10_vexl} {read_verilog -golden simulation/placed/*.vo} "
               "{read_verilog -revised simulation/routed/*.vo} /opt/checker");
  Tcl_DeleteInterp(interp);
}
