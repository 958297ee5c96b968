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
  // The same of all but what the routing says (each input's sink nodes,
  // the forest): equal when only the routing changed.
  std::uint64_t atoms_a = 0;
  std::uint64_t atoms_b = 0;
  bool operator==(const BUILD_INPUTS_DIGEST&) const = default;
  bool same_atoms(const BUILD_INPUTS_DIGEST& o) const { return atoms_a == o.atoms_a && atoms_b == o.atoms_b; }
};

// algorithm: the digest of what a build of `top` would read now.
HOST_API BUILD_INPUTS_DIGEST build_inputs_digest(VOK_ATOM_NETLIST* top);

// Whether the timing netlist in memory still follows the routing: noted by
// a whole build (or a kept one) with the digest of the routing it read; true
// while that netlist is the one in memory and the routing's digest (its
// forest, values, pipeline marks and terminal records) is unchanged. Atoms
// changed since are the taints' business, not this.
HOST_API void note_routing_followed();
HOST_API bool routing_followed();
// data: how many times a timing netlist was set in the manager (or cleared).
HOST_API std::uint64_t netlists_set();

}  // namespace host::kem
