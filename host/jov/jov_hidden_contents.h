#pragma once
// algorithm: what the shells of blackboxed partitions hide. A partition whose
// active state is its shell keeps its full contents' sites and routing
// elements taken: the placer and router give none of them to other atoms
// and nets.
#include <vector>

#include "common/host_api.h"

class VOK_ATOM_NODE;

namespace host::partitions {
// The placed atoms of the full contents that the active shells do not show
// (matched by atom id).
HOST_API std::vector<VOK_ATOM_NODE*> hidden_atoms();
// The routing-element indices (no bit 31) of those partitions' full routing.
HOST_API std::vector<unsigned> hidden_routing_elements();
}  // namespace host::partitions
