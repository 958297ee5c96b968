// Every test of this executable starts with the component's per-run state as
// a new process has it: host_reset() (each test's set-up) runs this too.
// What the component reads or prints once per process on purpose is left
// alone; tests of that run in a process of their own (testing/own_process.h).
#include "common/host_control.h"
#include "velmo_bbic_states.h"

namespace {

const bool g_registered = [] {
  // Blackboxing stays on from activation until the final stage or the
  // shut-down; a test that activates it and stops earlier must not hand it on.
  host_register_reset_hook("velmo.bbic_active", [] { velmo_bbic_set_active(false); });
  return true;
}();

}  // namespace
