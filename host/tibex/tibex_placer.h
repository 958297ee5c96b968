#pragma once
// algorithm: the host's placer (what the placer-router facade's place runs)
// and its legality check, over the world's design (the top netlist and the
// child netlists of its black boxes) and device.
//
// Sites by atom kind: LUT, arithmetic, logic-module and LUT-RAM cells take
// LUT sites (644); core and pipeline registers register sites (643); I/O
// registers the pin's input (653, register kind 396) or output (654)
// register site; pads the pad site (1000) and their buffers the same pin's
// input (646) or output (647) buffer site; MACs DSP blocks (1336); RAMs RAM
// blocks (1337); PLLs the corner PLL sites (581); ESRAM ports ESRAM blocks
// (1011) and the other UIB kinds UIB blocks (1010). Other atoms (ports,
// black boxes, clock buffers and gates, ...) have no site and are left alone.
//
// Placement:
//  - Atoms already placed stay where they are. Atoms with an exact location
//    constraint are placed first, so no other atom takes their site; then the
//    other logic in the order it connects (next the atom with the largest
//    share of its connections placed, ties in id order; an atom with none
//    goes to the first open tile), pipeline registers after it, I/O pins (a
//    pad with its buffers) after all other atoms, so each pin goes near the
//    logic it connects to.
//  - A carry chain is a rigid column: member k sits at z + 3k, continuing in
//    the LAB above every 60 sub-locations; it is placed when its head comes
//    up. A pad and its buffer share one pin.
//  - Candidate sites are of the atom's kind, free and enabled, inside every
//    location constraint of the atom (exact site, box, Tarnbay region), and
//    leave the LAB with at most two clocks (clock driver, inversion) and,
//    when the options limit them, at most that many LUTs and registers. On
//    families with pipeline registers in routing, ZOTA-marked registers
//    prefer a free, not blacklisted pipeline slot of a LAB (sub-locations
//    60..99, the slot's routing gid).
//  - The chosen site is the one nearest (Manhattan, in tiles) to the centroid
//    of the atom's placed neighbours, each weighted by its connection's
//    weight (1 on nets of up to 16 sinks, 16 / fanout on wider ones, at
//    least 1/16); ties go to the lowest (x, y, z).
//  - Then a bounded number of zero-temperature improvement passes: each atom
//    placed by this run (in id order) moves to, or swaps with an atom of the
//    same shape at, the legal site near its neighbours' centroid that reduces
//    the total weighted wirelength most (a pin looks along the ring around the pad
//    tile nearest to that centroid); passes stop early when one gains under
//    0.5 %.
//  - With io_and_periphery_only the run is the same, but only the I/O pins'
//    and periphery blocks' sites are written (a plan stage fixes those
//    before the logic is placed; a later run places the logic around them).
//  - Locations are written as the location gid rule has them: the placement
//    gid (or the slot's routing gid), the site's element kind (282 for a
//    slot), and the tile's x and y as analytic coordinates.
// Wirelength: the sum, over every connection between two placed atoms except
// clock inputs (clocks use the global network), of the Manhattan distance
// between their tiles.
#include <string>
#include <vector>

#include "common/host_api.h"

class VOK_ATOM_NODE;

namespace host::placement {

struct UNPLACEABLE {
  int atom_id = -1;
  std::string name;
  std::string reason;
};

struct PLACER_OPTIONS {
  int improvement_passes = 10;
  int window = 2;  // tiles around the centroid an improving move looks at
  // Most LUTs and registers (outside pipeline slots) a LAB takes from this
  // run; atoms placed before it count but stay. 0: as many as it has sites.
  // A lower limit spreads the logic so a narrow fabric can route it.
  int lab_atom_limit = 0;
  // > 0 and below lab_atom_limit: a limit the placer may spread the logic
  // to instead. It places at lab_atom_limit and estimates the routing
  // demand per LAB tile (see last_spread); where the busiest tiles ask for
  // more wire than the tracks supply, it places again at this limit and
  // keeps that placement if it lowers the estimate by 15 %. The first such
  // placement on a device decides; later ones there place at the limit it
  // chose.
  int spread_limit = 0;
  // Where the placement kept (at the limit above or the spread one) still
  // asks for more wire than the tracks supply, also weigh limits per LAB:
  // lower under the busiest demand, the limit elsewhere (see place()). The
  // first such placement on a device decides; later ones there place with
  // the limits it chose.
  bool spread_locally = false;
  // Places as usual but keeps only the I/O pins' and periphery blocks'
  // sites (the logic stays unplaced), as a plan stage fixes them before the
  // logic is placed.
  bool io_and_periphery_only = false;
};

// Places every unplaced atom that has a site. False when some atom found no
// site; those are listed by unplaceable() (the others are placed).
HOST_API bool place(const PLACER_OPTIONS& options = {});
// What the last place() decided of the spread: the limit it placed at, the
// candidate it weighed (0: none), the routing demand estimates (the mean
// over the busiest 2 % of the LAB tiles of the wire the nets' bounding
// boxes ask there, RUDY-style, over the wire the tracks supply: over 1 is
// congested) of the placement at lab_atom_limit and, when it was tried, at
// the spread limit, and why.
struct SPREAD {
  bool decided = false;
  int limit = 0;
  int candidate = 0;
  double packed_demand = 0.0;
  double spread_demand = 0.0;
  std::string reason;
};
HOST_API SPREAD last_spread();
// The atoms the last place() could not place, in id order.
HOST_API std::vector<UNPLACEABLE> unplaceable();
// The site element kind the placer uses for an atom; 0 for none.
HOST_API int site_kind(const VOK_ATOM_NODE* atom);
// The design's wirelength (see above).
HOST_API long long wirelength();
// Writes a location per the gid rule: `gid` is a placement gid or a slot's
// routing gid; false (nothing written) when it names no site.
HOST_API bool write_location(VOK_ATOM_NODE* atom, unsigned gid);

// The host's own legality check of the design's placement: every atom with a
// site kind is placed on an enabled site of its kind (or, a register, in a
// pipeline slot), no two atoms share a site, a buffer sits in its pad's pin,
// carry chains are columns, no LAB has more than two clocks, and every
// location constraint holds. One line per finding goes to `why`.
HOST_API bool check_legal(std::string* why = nullptr);

}  // namespace host::placement
