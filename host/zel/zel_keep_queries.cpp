// Register and LUT queries the blackboxing walks ask.
#include <set>

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
  if (!atom_is_wire_lut(atom)) return false;
  const PELK key = PELK::intern(4, "USE_WIRELUT");
  return R5T_INTERFACE::get_instance()->get_atom_metadata(atom->get_id(), key) == PELK::intern(4, "ROUTING");
}

namespace {
VOK_ATOM_NODE* chain_prev(const VOK_ATOM_NODE* a) {
  const VOK_ATOM_ITERM* cin = a->get_input_term_by_type(DB_INPUT_PORT_CARRY_IN, 0);
  const VOK_ATOM_OTERM* s = cin ? cin->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
  return s && s->get_port_type() == DB_OUTPUT_PORT_CARRY_OUT ? s->get_my_node() : nullptr;
}
VOK_ATOM_NODE* chain_next(const VOK_ATOM_NODE* a) {
  const VOK_ATOM_OTERM* cout = a->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0);
  for (const VOK_ATOM_ITERM* f = cout ? cout->get_first_fanout(VOK_TRAVERSE_AS_STORED) : nullptr; f;
       f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
    if (f->get_port_type() == DB_INPUT_PORT_CARRY_IN) return f->get_my_node();
  return nullptr;
}
}  // namespace

bool ZEL_LCELL_UTIL::is_atom_part_of_chain(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && (chain_prev(atom) != nullptr || chain_next(atom) != nullptr);
}

std::vector<VOK_ATOM_NODE*> ZEL_LCELL_UTIL::get_atoms_in_chain(const VOK_ATOM_NODE* atom) {
  std::vector<VOK_ATOM_NODE*> out;
  if (atom == nullptr) return out;
  std::set<const VOK_ATOM_NODE*> seen{atom};
  VOK_ATOM_NODE* head = const_cast<VOK_ATOM_NODE*>(atom);
  while (VOK_ATOM_NODE* p = chain_prev(head)) {
    if (!seen.insert(p).second) break;  // a loop
    head = p;
  }
  seen.clear();
  for (VOK_ATOM_NODE* c = head; c != nullptr && seen.insert(c).second; c = chain_next(c)) out.push_back(c);
  return out;
}

std::uint64_t ZEL_LCELL_UTIL::get_lutmask(const VOK_ATOM_NODE* atom) { return atom->get_lutmask().get_value(); }
