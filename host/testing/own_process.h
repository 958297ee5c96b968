#pragma once
// For tests of what the component reads or prints once per process (a
// configuration switch read at its first use, a notice printed once): such a
// test sees what it sets up only when no earlier test in the process has
// already made the component read or print it.
namespace host::testing {

// True when no other test has run in this process before the current one:
// the test goes on here. Otherwise runs the current test again, alone, in a
// new process of this executable, reports that run's failures as the current
// test's own, and returns false: the caller returns at once.
//   if (!host::testing::in_own_process()) return;
bool in_own_process();

}  // namespace host::testing
