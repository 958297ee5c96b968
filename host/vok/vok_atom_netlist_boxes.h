#pragma once
// algorithm: the black boxes of each netlist, kept as atoms are added and
// detached, so that lookups through the hierarchy need not scan every atom.
#include <vector>

#include "common/host_api.h"

class VOK_ATOM_BLACKBOX;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;

namespace host::vok {
// The netlist's black boxes in the order they were added.
HOST_API std::vector<const VOK_ATOM_BLACKBOX*> boxes_of(const VOK_ATOM_NETLIST* netlist);
// The netlist's own bookkeeping (nothing for atoms that are not boxes).
void note_box_added(const VOK_ATOM_NETLIST* netlist, const VOK_ATOM_NODE* atom);
void note_box_removed(const VOK_ATOM_NETLIST* netlist, const VOK_ATOM_NODE* atom);
}  // namespace host::vok
