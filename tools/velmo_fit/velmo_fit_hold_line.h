#pragma once
// The line after the hold-fixing summary when hold is still not met.

namespace velmo_fit {

// One line naming the failing hold endpoints the hold-fix re-route had to
// leave alone, and why (nothing when there are none). When some were left
// because the delay they need would fail setup and no clock was given a
// period (`default_periods`: every clock at the default), a second line
// says so and how to give the real periods: the setup room was the
// default's.
void print_held_hold_failures(bool default_periods);

}  // namespace velmo_fit
