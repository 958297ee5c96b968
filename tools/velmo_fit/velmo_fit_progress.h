#pragma once
// velmo-fit's placement and routing progress lines.
#include <nlohmann/json.hpp>

#include "common/host_progress.h"
#include "korrin/korrin_router.h"

namespace velmo_fit {

// Seconds between the lines of a routing round that runs longer than that.
inline constexpr double kRoundProgressSeconds = 30.0;

// Once routing has run a few seconds, a line as each negotiation round
// ends; and during a round longer than kRoundProgressSeconds, a line every
// kRoundProgressSeconds with the connections it has searched.
void print_round(const host::router::ROUND& r);

// During a final stage longer than kRoundProgressSeconds, a line every
// kRoundProgressSeconds with the host operations running (outermost first)
// and what each has done of what it has to do. The router says that in its
// own round lines.
void print_final_progress(const host::progress::STATUS& s);

// When the placer filled LABs below its limit to spread a congested design
// over a device with room to spare, a line that says so.
void print_placement_spread();

// What the placer did of the spread, for the report: the limit per LAB it
// placed at, the spread limit it weighed, its demand estimates and why.
nlohmann::ordered_json placement_report();

}  // namespace velmo_fit
