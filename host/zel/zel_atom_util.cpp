#include "zel/zel_atom_util.h"

#include "vok/vok_atom_netlist.h"

bool ZEL_ATOM_UTIL::is_zota_marked_reg(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_ff() && atom->is_zota_marked();
}
