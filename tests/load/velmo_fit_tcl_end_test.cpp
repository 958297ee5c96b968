// The stand-in host's Tcl package loaded into an interpreter of this
// process, so that a test can change the fitted design between the
// package's commands: velmo_fit::end checks the preserved partitions of a
// partitioned fit as velmo-fit does after its fit. Each fit runs in a child
// process (the package owns the host for the fit), which prints what the
// commands returned; its standard output is read back here.
#include <sys/wait.h>
#include <tcl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "jov/jov_design.h"
#include "vok/vok_atom_netlist.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// Runs the package's fit of the partitioned mac16 (plan and place) in a
// child process; with `move`, one atom of the preserved partition mult is
// put one location further before velmo_fit::end. Returns what the child
// printed: the package's own lines, then "end: <result>".
std::string fit_and_end(const fs::path& dir, bool move) {
  fs::create_directories(dir);
  const fs::path out = dir / "out.txt";
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    fs::current_path(dir);
    if (std::freopen(out.c_str(), "w", stdout) == nullptr) _exit(2);
    Tcl_Interp* interp = Tcl_CreateInterp();
    const std::string designs = VELMO_DESIGNS_DIR;
    auto eval = [&](const std::string& script) {
      const int code = Tcl_Eval(interp, script.c_str());
      std::printf("%s: %s\n", script.c_str(), Tcl_GetStringResult(interp));
      std::fflush(stdout);
      return code == TCL_OK;
    };
    if (!eval(std::string("load ") + VELMO_FIT_TCL_LIB + " Velmo_fit") ||
        !eval("velmo_fit::start " + designs + "/yosys/mac16.blif --settings " + designs + "/yosys/mac16.partitions.json") ||
        !eval("velmo_fit::stage plan") || !eval("velmo_fit::stage place"))
      _exit(3);
    if (move) {
      for (const auto& p : JOV_ROOT::get()->get_design("")->get_partitions()) {
        if (p->get_name() != "mult") continue;
        for (VOK_ATOM_NODE* a : p->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist()->get_atom_list()) {
          if (a->is_box() || a->is_port() || a->get_location_element() == 0) continue;
          std::printf("moving %s\n", a->get_string_hpath().c_str());
          a->set_location(a->get_location_gid() + 1, a->get_location_element());
          break;
        }
      }
    }
    const int code = Tcl_Eval(interp, "velmo_fit::end");
    std::printf("end: %s%s\n", code == TCL_OK ? "" : "error ", Tcl_GetStringResult(interp));
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text.str();
  return text.str();
}

// The unchanged partitions pass (1, "unchanged"); a preserved atom that moved
// fails the fit (0) with velmo-fit's line naming it.
TEST(VelmoFitTclEnd, PreservedPartitionsAreCheckedAtTheEnd) {
  const fs::path dir = fs::path(::testing::TempDir()) / "VelmoFitTclEnd.PreservedPartitionsAreCheckedAtTheEnd";
  fs::remove_all(dir);
  const std::string kept = fit_and_end(dir / "kept", false);
  EXPECT_THAT(kept, HasSubstr("Partition mult (parent |): "));
  EXPECT_THAT(kept, HasSubstr("\nPreserved partitions: unchanged\nend: 1\n"));
  const std::string moved = fit_and_end(dir / "moved", true);
  const auto at = moved.find("moving ");
  ASSERT_NE(at, std::string::npos) << moved;
  const std::string atom = moved.substr(at + 7, moved.find('\n', at) - at - 7);
  EXPECT_THAT(moved, HasSubstr("\nPreserved partitions: CHANGED\n  partitions: partition mult: " + atom +
                               " moved\nend: 0\n"));
  EXPECT_THAT(moved, Not(HasSubstr("unchanged")));
}

}  // namespace
