#include "zel/zel_atom_util.h"

#include "vok/vok_atom_netlist.h"

bool ZEL_ATOM_UTIL::is_zota_marked_reg(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_ff() && atom->is_zota_marked();
}

bool ZEL_ATOM_UTIL::must_be_in_periphery(int basic_type) {
  switch (basic_type) {
    case 260: case 261: case 262:                                         // pad, input and output buffers
    case 422: case 145: case 298: case 339:                               // PLLs
    case 270: case 271: case 272: case 273:                               // clock buffers, gates, bursts, dividers
    case 290: case 291: case 292: case 293: case 294: case 295: case 296: case 297:  // periphery blocks
      return true;
    default:
      return false;
  }
}

bool ZEL_ATOM_UTIL::is_periphery_ff(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_ff() && atom->is_peripheral();
}
