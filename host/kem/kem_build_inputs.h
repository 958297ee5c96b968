#pragma once
// What a build of the timing netlist (KEM_NETLIST::build) reads of the
// design, folded into one digest: the timing atoms in build order with
// everything their cells are made of (kind, roles, flags, location, pulse
// level, terms and their connections, the sink nodes each input has in the
// routing), every slot of the routing forest (structure, values, pipeline
// marks, terminal records) and the objects the delays come from (the
// routing, the device's die and route info, the cell-delay tables, the pin
// form). Two equal digests mean two builds would make the same netlist;
// the corners and the device description are compared by their owner.
#include <cstdint>

#include "common/host_api.h"

class VOK_ATOM_NETLIST;

namespace host::kem {

struct BUILD_INPUTS_DIGEST {
  std::uint64_t a = 0;
  std::uint64_t b = 0;
  bool operator==(const BUILD_INPUTS_DIGEST&) const = default;
};

// algorithm: the digest of what a build of `top` would read now.
HOST_API BUILD_INPUTS_DIGEST build_inputs_digest(VOK_ATOM_NETLIST* top);

}  // namespace host::kem
