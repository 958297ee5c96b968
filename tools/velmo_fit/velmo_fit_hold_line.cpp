#include "velmo_fit_hold_line.h"

#include <cstdio>
#include <string>
#include <utility>

#include "tibex/tibex_hold_reroute.h"
#include "velmo_fit_counts.h"

namespace velmo_fit {

void print_held_hold_failures(bool default_periods) {
  const auto held = host::hold_reroute::still_failing_held();
  if (held.empty()) return;
  using host::hold_reroute::HELD_REASON;
  const std::pair<HELD_REASON, const char*> reasons[] = {
      {HELD_REASON::PARTITION, "in routing or atoms a preserved or blackboxed partition keeps"},
      {HELD_REASON::OUT_OF_REACH, "no detour meets the delay they need"},
      {HELD_REASON::SETUP, "the delay they need would fail setup"}};
  std::string line;
  bool setup = false;
  for (const auto& [reason, text] : reasons) {
    int n = 0;
    std::string names;
    for (const auto& [name, why] : held) {
      if (why != reason) continue;
      if (n < 6) names += (n ? ", " : "") + name;
      ++n;
    }
    if (n == 0) continue;
    setup = setup || reason == HELD_REASON::SETUP;
    line += (line.empty() ? "" : "; ") + std::string(text) + " (" + std::to_string(n) + "): " + names + (n > 6 ? ", ..." : "");
  }
  std::printf("Hold not met at %s the re-route cannot fix, %s\n",
              counted(static_cast<long long>(held.size()), "endpoint").c_str(), line.c_str());
  if (setup && default_periods)
    std::printf("  No clock period was given, so every clock is timed at the default 5000 ps: give the real ones "
                "with --settings (e.g. {\"clocks\": {\"clk\": 10000}}, docs/settings.md)\n");
}

}  // namespace velmo_fit
