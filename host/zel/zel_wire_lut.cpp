// Wire-LUT queries of the periphery-core placement.
#include "vok/vok_atom_netlist.h"
#include "zel/zel_lcell_util.h"

VOK_ATOM_ITERM* ZEL_LCELL_UTIL::get_wire_lut_iterm(const VOK_ATOM_NODE* atom) {
  if (atom == nullptr || !atom->is_lcell_comb()) return nullptr;
  VOK_ATOM_ITERM* used = nullptr;
  for (VOK_ATOM_ITERM* t : atom->citerms()) {
    if (!t->is_used_and_driven()) continue;
    if (used != nullptr) return nullptr;
    used = t;
  }
  if (used == nullptr) return nullptr;
  const int input = static_cast<int>(used->get_port_type()) - 12;
  if (input < 0 || input > 5) return nullptr;
  // Output = input `input` over all inputs. A mask bit is indexed by the
  // complemented inputs, so a pass-through is the complement of the input's
  // pattern (the pattern itself is an inverter).
  if (atom->get_lutmask().get_value() != ~VOK_LUTMASK::imask(6, input)) return nullptr;
  return used;
}

bool ZEL_LCELL_UTIL::atom_is_wire_lut(const VOK_ATOM_NODE* atom) { return get_wire_lut_iterm(atom) != nullptr; }
