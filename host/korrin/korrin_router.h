#pragma once
// algorithm: the host's whole-design router and its routing legality check,
// over the world's design, device and chip database entry.
//
// route_design routes every routable connection (see korrin_graph.h) of the
// placed design. Existing legal routing is kept and new branches grow from it
// (the net's elements are sources at cost 0; a net without routing starts at
// the driver's output elements, as does a last search anywhere when the
// tree's elements reach no input element of the sink). Each search is A* with cost = slow-corner hop
// delay + 1 ps per element entered (times the congestion costs below), its
// lower bound the lookahead's (korrin_lookahead.h), first inside the box of
// driver and sink plus a margin that widens each time the connection is
// ripped up (and further once its box held no path), then anywhere;
// forbidden are blacklisted elements,
// elements of trees that belong to no routed net, and slots holding another
// register. Nets go by driver id, sinks in fanout order, ties to the lower gid.
// Negotiated congestion: elements may be shared while routing, at a present
// cost that rises each round and a history cost that accumulates on
// overused elements; after each round the connections through overused
// elements are ripped up and rerouted, until nothing is overused or the round
// limit is reached. On failure (an unroutable connection, or overuse left
// after the last round, whose connections are then left unrouted) the result
// is false and each failure is a line of `why`; what was routed is written
// all the same, so the routing stays legal.
// With follow_last_routing, the last complete routing's paths guide the
// next route_design of the same device: in its first round a connection takes its old path again,
// without a search, when that path branches from its net's tree as it
// stands and all its further elements are free (the final stage re-routes
// what the hold-fix steps ripped up; unchanged connections cost a walk).
// Writing: a net whose tree changed gets one new tree (its source terminal,
// or for a register in a slot its pair root, at the top); nets left as they
// were keep their nodes. Registers in slots get their pairs, with an overflow
// entry when the node distance does not fit 16 bits.
#include <cstddef>
#include <string>

#include "common/host_api.h"

namespace host::router {

struct OPTIONS {
  int max_rounds = 30;
  // An element another net holds costs 1 + factor x its occupancy. At 0.5
  // the first round routed nearly every connection its own cheapest way:
  // on eight merged copies of frisc 57,000 elements ended overused and
  // 71 % of the connections were ripped up and searched again, round after
  // round (48 M expansions). Pricing sharing at three times the element
  // from the start routes the same design in half the expansions, with
  // the bundled designs' slack within the routing's usual spread.
  double first_present_factor = 2.0;  // round 1
  double present_factor = 2.0;        // round 2, then times the growth each round
  double present_growth = 1.8;
  double history_factor = 0.4;
  // Weight of the searches' lower bound (1: cheapest paths; more: faster
  // searches, paths a little dearer). With the lookahead's bound, 1.5 let
  // the first round take the nearest paths through crowded elements: on
  // the CPU with a 256-entry store buffer 36,000 elements ended overused,
  // 19,000 at 1.2 and 13,000 at 1.1 (each in 8 to 10 rounds). 1.1 keeps
  // the bundled designs' setup slack where it was met with the flat bound
  // at 1.5; 1.2 lost 40 ps on dsip.
  double bound_weight = 1.1;
  // Record this routing's paths and follow the last recorded ones (see
  // above) even when the configuration switch
  // "host_router_follow_last_routing" (on unless set) is off.
  bool follow_last_routing = false;
};

struct STATS {
  int nets = 0;
  int connections = 0;       // routable connections
  int routed = 0;            // routed by this call
  int rounds = 0;
  long long expansions = 0;  // elements taken off the search heap
  int searches = 0;
  int guided = 0;            // routed along their path of the last complete routing
};

HOST_API bool route_design(std::string* why, const OPTIONS& options = {});
// Figures of the last route_design.
HOST_API STATS last_stats();

// Bytes of per-element state a route_design keeps besides its search
// (occupancy, history cost, flags).
HOST_API std::size_t per_element_bytes();

// One negotiation round as it ends: the elements still overused and the
// connections left to route in the next round (through overused elements,
// or not routed yet), with the seconds since the routing started.
// While a round runs (`ended` false): the connections it searched so far of
// those it has to route, with the seconds since the routing started.
struct ROUND {
  int round = 0;
  int overused = 0;
  int connections_left = 0;
  double seconds = 0.0;
  bool ended = true;
  int searched = 0;
  int to_search = 0;
};
// data: a listener told of each round of every route_design as it ends
// (null: none) and, when progress_every_seconds > 0, while a round runs
// longer than that, once per such interval (before the first connection
// searched at or after its end). `clock`, when given, reads the seconds in
// place of the steady clock.
HOST_API void set_round_listener(void (*listener)(const ROUND&), double progress_every_seconds = 0.0,
                                 double (*clock)() = nullptr);

}  // namespace host::router

namespace host::routing {
// Legality of the world's routing: every routable connection of the placed
// design routed, each tree connected by real edges from the driver's output
// element (or its slot) to each sink's input element, slot registers paired,
// no element used by two nets or twice in one, nothing blacklisted. One line
// per finding goes to `why`.
HOST_API bool check(std::string* why);
// The hold stubs (single dangling leaf wires kept for hold) the last check
// counted.
HOST_API int last_check_hold_stubs();
// The connections of the design's nets the last check counted: those the
// router routes and those an end of which has no place on the device.
HOST_API int last_check_connections();
}  // namespace host::routing
