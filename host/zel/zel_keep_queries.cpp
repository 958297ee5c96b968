// Register and LUT queries the blackboxing walks ask.
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_lcell_util.h"
#include "zel/zel_atom_util.h"

bool ZEL_ZOTA_UTIL::is_ff_bypassed(const VOK_ATOM_NODE* atom) {
  std::int64_t v = 0;
  return atom != nullptr && atom->is_ff() && atom->get_parameter(VOK_PARAMETER_TYPE::BOOL, 5, &v) && v != 0;
}

bool ZEL_LCELL_UTIL::atom_is_wire_lut_used_for_routing(const VOK_ATOM_NODE* atom) {
  if (atom == nullptr || !atom->is_lcell_comb()) return false;
  int used = -1;
  for (const VOK_ATOM_ITERM* t : atom->citerms()) {
    if (!t->is_used_and_driven()) continue;
    if (used >= 0) return false;
    used = static_cast<int>(t->get_port_type()) - 12;
  }
  if (used < 0 || used > 5) return false;
  // Output = input `used` over all inputs: the mask is that input's pattern.
  if (atom->get_lutmask().get_value() != VOK_LUTMASK::imask(6, used)) return false;
  const PELK key = PELK::intern(4, "USE_WIRELUT");
  return R5T_INTERFACE::get_instance()->get_atom_metadata(atom->get_id(), key) == PELK::intern(4, "ROUTING");
}
