#pragma once
// A generated partitioned design for the blackboxing benches, placed and
// routed without the host's placer and router (so that 10^5 atoms and a
// root routing of 10^6 nodes build in seconds):
//
//   "|"  preserved: the pads and a register row fed by Q;
//   "P"  preserved, blackboxable ("AUTO"): about 90% of the atoms, rows of
//        four LUTs ending in a register, each row fed by the previous one;
//   "Q"  recompiled: about 5% of the atoms, rows fed by P's registers.
//
// Every net is routed as a chain of wires from its source followed by one
// wire per sink; nets with many sinks (the clock) fan out through a wire per
// group of eight sinks. Wires are distinct routing elements of the device's
// horizontal and vertical wires, about ten routing nodes per atom.
#include <memory>
#include <string>
#include <vector>

#include "testing/partition_settings.h"

class JOV_PARTITION;
class WEXAN_ENV;

namespace bench_bbic {

struct SCENE {
  int atoms = 0;  // the size asked for
  JOV_PARTITION* top = nullptr;
  JOV_PARTITION* big = nullptr;    // "P"
  JOV_PARTITION* small = nullptr;  // "Q"
  int routing_nodes = 0;           // root routing nodes once routed, before the split
  std::vector<unsigned> spare_elements;  // wire elements (gids) no net uses, taken from the back
  // The compiler environment (bundle, port maps) when asked for; drop it
  // before the host's world is reset again.
  std::shared_ptr<WEXAN_ENV> env;
};

// Resets the host world and builds the scene. With `record`, the earlier
// compile is recorded as the test designs' is (each state's routing share,
// preserved slacks, snapshots, read-only preserved partitions, recompiled
// partitions unplaced and unrouted); without it the root routing stays whole
// and no state has a routing model. With `env`, a compiler environment is
// made first, as the fitter's start-up makes one.
SCENE build(int atoms, bool record, bool env = false);
// Routes, in the chip's routing, each connection of the current flattened
// design that has no sink node (as a fit of the recompiled partitions
// would), with spare elements; the routing's live node count.
int route_open_connections(SCENE& scene);

}  // namespace bench_bbic
