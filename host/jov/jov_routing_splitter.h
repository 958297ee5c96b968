#pragma once
// algorithm: one partition's share of the design's routing. Each leaf of a
// routing tree belongs to a partition: a sink terminal to its atom's
// partition (to the source's when the source's partition is compiled now,
// kind 1, and the sink's is not), any other leaf to the partition of the tree's source. A
// partition's share is every node on a path from a root to one of its
// leaves (pipeline-register pairs followed to their Q side), with ids
// renumbered and terminals re-bound. Merging every partition's share
// (VOK_RE_ROUTING::merge_partition) gives back the routing.
#include <memory>

#include "common/host_api.h"

class JOV_PARTITION;
class VOK_RE_ROUTING;
class VOK_ATOM_NODE;
class KIV_MODEL;
class VOK_ATOM_NETLIST;
class VOK_CHIP_DB_ENTRY;

class HOST_API JOV_ROUTING_SPLITTER {
public:
  // The share of the partition in the current design's routing.
  static std::unique_ptr<VOK_RE_ROUTING> get_routing_for_partition(const JOV_PARTITION* partition);
  // The share of the partition in the given routing.
  static std::unique_ptr<VOK_RE_ROUTING> get_routing_for_partition(const VOK_RE_ROUTING& routing,
                                                                   const JOV_PARTITION* partition);
  // The partition whose active netlist holds the atom with that id (the top
  // partition for an id no partition holds).
  static JOV_PARTITION* partition_of_atom(int atom_id);
  // recorded: splits the high-speed tiles of a partition's routing model
  // for the snapshot.
  static void split_hslp_tiles(KIV_MODEL* model, JOV_PARTITION* partition, VOK_ATOM_NETLIST* netlist,
                               VOK_CHIP_DB_ENTRY* entry, const char* snapshot);
};
