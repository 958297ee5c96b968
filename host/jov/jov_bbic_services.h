#pragma once
// recorded: partition-database services around blackboxed runs: the
// partition statistics dump and the read-only marking of directive
// constraints.
#include "common/host_api.h"

class JOV_DESIGN;

class HOST_API JOV_DEBUG {
public:
  // recorded: the design's partitions with their active state and size.
  static void dump_design_partition_stat(const JOV_DESIGN& design);
};

class HOST_API JOV_DATABASE_UTILS {
public:
  // recorded.
  static void mark_read_only_r5t_constraints();
};
