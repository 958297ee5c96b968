#pragma once
// The design's top partition, found through its own look-up by name.
// Included at the end of the host's design header.
#include "jov/jov_design.h"

inline JOV_PARTITION* JOV_DESIGN::get_top_partition() const { return find_partition_by_name("|"); }
