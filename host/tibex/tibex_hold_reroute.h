#pragma once
// The facade's hold-fix re-route: what its route() does, after routing, in
// the recompile flow "routed -hold_fixup".
//
// Each pass brings the timing up to date with the routing and, per input
// term, takes the largest hold deficit of its interconnect edge over the
// loaded corners, in slow-corner ps (a corner's deficit divided by the
// corner's delay scale). Those connections are ripped up and re-routed by
// the legality engine's implement step with a minimum-delay budget: their
// current slow-corner delay plus the deficit, met by the incremental
// router's detours (a budget it cannot meet is reported, the connection is
// routed all the same). The first pass re-routes only connections into a
// keeper's data pin (every failing path ends in one); later passes (at most
// three in all) every failing connection, except endpoint ones whose budget
// was out of reach. A pass whose implement step fails is undone. The atoms
// whose input routing changed join the recompile's SPAR list.
#include <string>
#include <vector>

#include "common/host_api.h"

namespace host::hold_reroute {
// algorithm: the re-route above; the number of connections re-routed (each
// counted once). Nothing without a timing netlist or an environment.
HOST_API int run();
// data: the count of the last run, and the budget reports of its passes.
HOST_API int last_rerouted();
HOST_API const std::vector<std::string>& last_reports();
}  // namespace host::hold_reroute
