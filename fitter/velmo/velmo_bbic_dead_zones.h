#pragma once
// Placement dead-zone report of a blackboxing start: output routing elements
// at empty locations whose fanout is mostly taken by the routing in use.
#include <cstdint>

#include "zmp_hash_set_lite_sys.h"

class WUMP_ROUTE_INFO;

// Debug lines only; changes nothing.
void velmo_bbic_detect_placement_dead_zones();
// Fanouts of gid whose kind is not 279 and which are not in used.
std::uint64_t velmo_bbic_get_num_fanout_paths(unsigned gid, const WUMP_ROUTE_INFO* route_info,
                                              const ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>>& used);
