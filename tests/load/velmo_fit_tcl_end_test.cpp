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
// child process; `move` atoms of the preserved partition mult are each put
// one location further before velmo_fit::end. Returns what the child
// printed: the package's own lines, then "end: <result>".
std::string fit_and_end(const fs::path& dir, int move) {
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
    for (const auto& p : JOV_ROOT::get()->get_design("")->get_partitions()) {
      if (p->get_name() != "mult") continue;
      int moved = 0;
      for (VOK_ATOM_NODE* a : p->get_state(JOV_PARTITION::DEFAULT)->get_atom_netlist()->get_atom_list()) {
        if (moved == move) break;
        if (a->is_box() || a->is_port() || a->get_location_element() == 0) continue;
        std::printf("moving %s\n", a->get_string_hpath().c_str());
        a->set_location(a->get_location_gid() + 1, a->get_location_element());
        ++moved;
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

// The atoms the child said it moved, each as the check names it, in order.
std::string moved_lines(const std::string& out, std::size_t most) {
  std::string lines;
  std::size_t n = 0;
  for (std::size_t at = out.find("moving "); at != std::string::npos && n < most; at = out.find("moving ", at + 1), ++n)
    lines += "  partitions: partition mult: " + out.substr(at + 7, out.find('\n', at) - at - 7) + " moved\n";
  return lines;
}

// The unchanged partitions pass (1, "unchanged"); preserved atoms that moved
// fail the fit (0) with velmo-fit's lines naming them (the first ten, then
// how many more).
TEST(VelmoFitTclEnd, PreservedPartitionsAreCheckedAtTheEnd) {
  const fs::path dir = fs::path(::testing::TempDir()) / "VelmoFitTclEnd.PreservedPartitionsAreCheckedAtTheEnd";
  fs::remove_all(dir);
  const std::string kept = fit_and_end(dir / "kept", 0);
  EXPECT_THAT(kept, HasSubstr("Partition mult (parent |): "));
  EXPECT_THAT(kept, HasSubstr("\nPreserved partitions: unchanged\nend: 1\n"));
  const std::string one = fit_and_end(dir / "one", 1);
  EXPECT_THAT(one, HasSubstr("\nPreserved partitions: CHANGED\n" + moved_lines(one, 1) + "end: 0\n"));
  EXPECT_THAT(one, Not(HasSubstr("unchanged")));
  const std::string eleven = fit_and_end(dir / "eleven", 11);
  EXPECT_THAT(eleven, HasSubstr("\nPreserved partitions: CHANGED\n" + moved_lines(eleven, 10) + "  ... and 1 more\nend: 0\n"));
}

}  // namespace
