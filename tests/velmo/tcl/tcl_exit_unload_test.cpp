// At process exit the component's Tcl packages unload themselves only under
// the graphical host and only while an interpreter is still there: a
// process without one ends normally. Each case runs in a child process; a
// delete trace on one of the package's commands reports through a pipe
// whether the command was taken out of a living interpreter.
#include <sys/wait.h>
#include <tcl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gen/gen_project.h"
#include "testing/host_test.h"
#include "umbr/umbr_tcl.h"
#include "velmo_tcl_args_auto.h"

namespace {

constexpr const char* kCommand = "::torvika::velmo::velmo_do_ram_op";

void l_on_delete(ClientData fd, Tcl_Interp*, const char*, const char*, int flags) {
  if ((flags & TCL_INTERP_DESTROYED) == 0) (void)!write(static_cast<int>(reinterpret_cast<std::intptr_t>(fd)), "u", 1);
}

struct EXIT_RESULT {
  bool exited_normally = false;
  int status = -1;
  bool unloaded = false;
};

// A child that loads the packages into the host's interpreter (or has no
// interpreter), sets the graphical-host flag and exits.
EXIT_RESULT l_run_child(bool is_qt, bool with_interpreter) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (with_interpreter) {
      Tcl_Interp* interp = host::tcl::create_interpreter();
      if (Velmo_Init(interp) != TCL_OK || Eco_fitter_Init(interp) != TCL_OK) _exit(3);
      if (Tcl_TraceCommand(interp, kCommand, TCL_TRACE_DELETE, l_on_delete,
                           reinterpret_cast<ClientData>(static_cast<std::intptr_t>(fds[1]))) != TCL_OK)
        _exit(4);
    } else if (umbr_get_interpreter() != nullptr) {
      _exit(5);
    }
    host::gen::set_is_qt(is_qt);
    std::exit(0);
  }
  close(fds[1]);
  EXIT_RESULT r;
  char c = 0;
  while (read(fds[0], &c, 1) == 1) r.unloaded = true;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exited_normally = WIFEXITED(status);
  r.status = r.exited_normally ? WEXITSTATUS(status) : -1;
  return r;
}

class TclExitUnloadTest : public host::testing::HostTest {};

}  // namespace

TEST_F(TclExitUnloadTest, PackagesUnloadAtExitOnlyUnderTheGraphicalHostWithAnInterpreter) {
  const EXIT_RESULT graphical = l_run_child(true, true);
  EXPECT_TRUE(graphical.exited_normally);
  EXPECT_EQ(graphical.status, 0);
  EXPECT_TRUE(graphical.unloaded);

  const EXIT_RESULT plain = l_run_child(false, true);
  EXPECT_TRUE(plain.exited_normally);
  EXPECT_EQ(plain.status, 0);
  EXPECT_FALSE(plain.unloaded);

  // No interpreter left at exit: nothing to unload from, and the process
  // still ends normally (an internal error at exit would abort it).
  const EXIT_RESULT without = l_run_child(true, false);
  EXPECT_TRUE(without.exited_normally);
  EXPECT_EQ(without.status, 0);
  EXPECT_FALSE(without.unloaded);
}
