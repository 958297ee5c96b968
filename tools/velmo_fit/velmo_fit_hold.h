#pragma once
// velmo-fit's line on the failing hold endpoints the hold-fix re-route left.

namespace velmo_fit {

// One line naming the failing hold endpoints the hold-fix re-route had to
// leave alone, and why (nothing when there are none). When some were left
// because the delay they need would fail setup and the settings gave no
// clock period (`periods_given` false), a second line says that every clock
// is timed at the default period and how to give the real one.
void print_held_hold_failures(bool periods_given);

}  // namespace velmo_fit
