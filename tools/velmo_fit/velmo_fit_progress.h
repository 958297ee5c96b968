#pragma once
// velmo-fit's routing progress lines.
#include "korrin/korrin_router.h"

namespace velmo_fit {

// Seconds between the lines of a routing round that runs longer than that.
inline constexpr double kRoundProgressSeconds = 30.0;

// Once routing has run a few seconds, a line as each negotiation round
// ends; and during a round longer than kRoundProgressSeconds, a line every
// kRoundProgressSeconds with the connections it has searched.
void print_round(const host::router::ROUND& r);

}  // namespace velmo_fit
