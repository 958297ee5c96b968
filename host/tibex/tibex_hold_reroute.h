#pragma once
// The facade's hold-fix re-route: what its route() does, after routing, in
// the recompile flow "routed -hold_fixup".
//
// Each step brings the timing up to date with the routing and, per input
// term, takes the largest hold deficit of its interconnect edge over the
// loaded corners, in slow-corner ps (a corner's deficit divided by the
// corner's delay scale). Those connections are ripped up and re-routed by
// the legality engine's implement step with a delay budget: at least their
// current slow-corner delay plus the deficit, met by the incremental
// router's detours, and at most their current delay plus their setup room
// (the least setup slack over the corners, in slow-corner ps), so that no
// passing setup fails; where the room is smaller than the deficit the
// connection gets the room only. A minimum the router cannot meet is
// reported and the connection routed all the same; a connection routed past
// its maximum (the other detours of its step took its old way) undoes the
// step, which is tried again without it, the connection keeping its old
// routing. The first step takes
// the connections that end a path (into a keeper's data pin, or through its
// dedicated buffer into an output port) together; the steps after it take
// the failing connections further up one at a time, each with the slacks
// the one before left (at most 400), skipping endpoints whose budget was
// out of reach. A connection a partition keeps (an end the legality engine
// may not touch, or routing reserved by a partition whose netlist may not
// change or that is blackboxed) is left alone. An implement step that fails
// is undone and tried again in halves. The atoms whose input routing
// changed join the recompile's SPAR list.
#include <string>
#include <utility>
#include <vector>

#include "common/host_api.h"

namespace host::hold_reroute {
// algorithm: the re-route above; the number of connections re-routed (each
// counted once). Nothing without a timing netlist or an environment.
HOST_API int run();
// data: the count of the last run, and the budget reports of its passes.
HOST_API int last_rerouted();
HOST_API const std::vector<std::string>& last_reports();
// Why the last run left a failing endpoint connection alone.
enum class HELD_REASON { PARTITION, OUT_OF_REACH, SETUP };
// data: the sink atoms of the connections the last run left alone that fail
// hold now (current timing, loaded corners), each once, with the reason.
HOST_API std::vector<std::pair<std::string, HELD_REASON>> still_failing_held();
}  // namespace host::hold_reroute
