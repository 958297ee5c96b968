#include "zel/zel_atom_util.h"

#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"

bool ZEL_ATOM_UTIL::is_zota_marked_reg(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_ff() && atom->is_zota_marked();
}

bool ZEL_ZOTA_UTIL::is_ff_atom_a_simple_ff(const VOK_ATOM_NODE* atom) {
  if (atom == nullptr || !atom->is_ff()) return false;
  for (const VOK_ATOM_ITERM* iterm : atom->citerms()) {
    if (!iterm->is_connected()) continue;
    const DB_INPUT_PORT_TYPE type = iterm->get_port_type();
    if (type != DB_INPUT_PORT_CLK && type != DB_INPUT_PORT_DATA_IN) return false;
  }
  return true;
}
