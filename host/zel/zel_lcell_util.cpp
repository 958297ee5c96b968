#include "zel/zel_lcell_util.h"

#include "vok/vok_atom_netlist.h"

void ZEL_LCELL_UTIL::set_sum_lutmask(VOK_ATOM_NODE* atom, std::uint64_t mask, bool) {
  atom->get_lutmask().set_value(6, mask);
}
