// The Tcl packages of the component opened with dlopen: the packages are
// static packages from load time, and at process exit they are unloaded
// only under the graphical host. Exit is observed in a child process: a
// handler registered before the library is opened runs after the
// library's exit handlers and reports whether the commands are still there.
#include <dlfcn.h>
#include <sys/wait.h>
#include <tcl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "gen/gen_project.h"
#include "testing/host_test.h"
#include "thr/thr_drl.h"
#include "umbr/umbr_tcl.h"

using host::testing::HostTest;

namespace {

Tcl_Interp* l_interp = nullptr;

bool l_exists(const char* name) {
  Tcl_CmdInfo info;
  return Tcl_GetCommandInfo(l_interp, name, &info) != 0;
}

// Exit status of the child: 10 + (velmo command present) + 2 * (eco_fitter
// command present).
void l_report_at_exit() {
  _exit(10 + (l_exists("::torvika::velmo::velmo_do_ram_op") ? 1 : 0) +
        (l_exists("::torvika::eco_fitter::test_tbff") ? 2 : 0));
}

int l_run_child(bool is_qt) {
  const pid_t pid = fork();
  if (pid == 0) {
    l_interp = host::tcl::create_interpreter();
    std::atexit(l_report_at_exit);
    auto path = std::filesystem::path(host::loader::default_dir()) / "libvelmo.so";
    if (dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL) == nullptr) _exit(2);
    // The packages are static packages: load {} makes them available.
    if (Tcl_Eval(l_interp, "load {} Velmo") != TCL_OK) _exit(3);
    if (Tcl_Eval(l_interp, "load {} Eco_fitter") != TCL_OK) _exit(4);
    if (!l_exists("::torvika::velmo::velmo_do_ram_op") || !l_exists("::torvika::eco_fitter::test_tbff")) _exit(5);
    host::gen::set_is_qt(is_qt);
    std::exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TclPackagesLoadTest : public HostTest {};

}  // namespace

TEST_F(TclPackagesLoadTest, ExitUnloadsThePackagesUnderTheGraphicalHost) { EXPECT_EQ(l_run_child(true), 10); }

TEST_F(TclPackagesLoadTest, ExitLeavesThePackagesOtherwise) { EXPECT_EQ(l_run_child(false), 13); }
