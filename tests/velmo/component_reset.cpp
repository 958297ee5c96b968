// Every test of this executable starts with the component's per-run state as
// a new process has it: host_reset() (each test's set-up) runs this too.
// What the component reads or prints once per process on purpose is left
// alone; tests of that run in a process of their own (testing/own_process.h).
#include "common/host_control.h"
#include "velmo_bbic_states.h"
#include "velmo_finalize_parasitics.h"

namespace {

const bool g_registered = [] {
  // Blackboxing stays on from activation until the final stage or the
  // shut-down; a test that activates it and stops earlier must not hand it on.
  host_register_reset_hook("velmo.bbic_active", [] { velmo_bbic_set_active(false); });
  // Set when the hold fixing hands over the timing netlist it wrote, until the
  // next finalize; a test that stops between must not skip a later write.
  host_register_reset_hook("velmo.has_written_out_kem", [] { VELMO_FINALIZE_PARASITICS::has_written_out_kem = false; });
  return true;
}();

}  // namespace
