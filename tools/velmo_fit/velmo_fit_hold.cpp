#include "velmo_fit_hold.h"

#include <cstdio>
#include <string>
#include <utility>

#include "tibex/tibex_hold_reroute.h"
#include "velmo_fit_counts.h"
#include "velmo_fit_session.h"

namespace velmo_fit {

void print_held_hold_failures(bool periods_given) {
  const auto held = host::hold_reroute::still_failing_held();
  if (held.empty()) return;
  using host::hold_reroute::HELD_REASON;
  const std::pair<HELD_REASON, const char*> reasons[] = {
      {HELD_REASON::PARTITION, "in routing or atoms a preserved or blackboxed partition keeps"},
      {HELD_REASON::OUT_OF_REACH, "no detour meets the delay they need"},
      {HELD_REASON::SETUP, "the delay they need would fail setup"}};
  std::string line;
  bool setup_held = false;
  for (const auto& [reason, text] : reasons) {
    int n = 0;
    std::string names;
    for (const auto& [name, why] : held) {
      if (why != reason) continue;
      if (n < 6) names += (n ? ", " : "") + name;
      ++n;
    }
    if (n == 0) continue;
    setup_held = setup_held || reason == HELD_REASON::SETUP;
    line += (line.empty() ? "" : "; ") + std::string(text) + " (" + std::to_string(n) + "): " + names + (n > 6 ? ", ..." : "");
  }
  std::printf("Hold not met at %s the re-route cannot fix, %s\n",
              counted(static_cast<long long>(held.size()), "endpoint").c_str(), line.c_str());
  // Setup judged at a made-up period may forbid a delay the real one allows.
  if (setup_held && !periods_given)
    std::printf("  No clock period was given: every clock is timed at the default %d ps; give the real periods "
                "with --settings FILE holding {\"clocks\": {\"NET\": PERIOD_PS}} (see docs/settings.md)\n",
                kDefaultClockPeriodPs);
}

}  // namespace velmo_fit
