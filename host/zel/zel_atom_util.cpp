#include "zel/zel_atom_util.h"


#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"

bool ZEL_ATOM_UTIL::is_zota_marked_reg(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_ff() && atom->is_zota_marked();
}

bool ZEL_ATOM_UTIL::is_zota_marked_reg_with_place_check(const VOK_ATOM_NODE* atom, bool check_placed) {
  return is_zota_marked_reg(atom) && (!check_placed || atom->get_location_element() != 0);
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
bool ZEL_ZOTA_UTIL::is_ff_atom_a_simple_ff(const VOK_ATOM_NODE* atom) {
  if (atom == nullptr || !atom->is_ff()) return false;
  for (const VOK_ATOM_ITERM* iterm : atom->citerms()) {
    if (!iterm->is_connected()) continue;
    const DB_INPUT_PORT_TYPE type = iterm->get_port_type();
    if (type != DB_INPUT_PORT_CLK && type != DB_INPUT_PORT_DATA_IN) return false;
  }
  return true;
}


bool iterms_are_identical(const VOK_ATOM_NODE*, const VOK_ATOM_NODE*, const VOK_ATOM_ITERM* a,
                          const VOK_ATOM_ITERM* b) {
  // Two inputs that are absent or unconnected both carry no signal.
  const bool ca = a != nullptr && a->is_connected();
  const bool cb = b != nullptr && b->is_connected();
  if (!ca || !cb) return !ca && !cb;
  if (a->is_inverted() != b->is_inverted()) return false;
  const VOK_ATOM_OTERM* sa = a->get_source(VOK_TRAVERSE_HIERARCHICAL);
  const VOK_ATOM_OTERM* sb = b->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (sa == nullptr && sb == nullptr) return a->is_tie_low() == b->is_tie_low();
  return sa == sb;
}

bool iterms_are_from_different_but_equivalent_registers(const VOK_ATOM_NODE*, const VOK_ATOM_NODE*,
                                                        const VOK_ATOM_ITERM* a, const VOK_ATOM_ITERM* b) {
  if (a == nullptr || b == nullptr || !a->is_connected() || !b->is_connected()) return false;
  if (a->is_inverted() != b->is_inverted()) return false;
  const VOK_ATOM_OTERM* sa = a->get_source(VOK_TRAVERSE_HIERARCHICAL);
  const VOK_ATOM_OTERM* sb = b->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (sa == nullptr || sb == nullptr || sa == sb) return false;
  const VOK_ATOM_NODE* ra = sa->get_my_node();
  const VOK_ATOM_NODE* rb = sb->get_my_node();
  if (ra == nullptr || rb == nullptr || ra == rb || !ra->is_ff() || !rb->is_ff()) return false;
  if (ra->powers_up() != rb->powers_up() || sa->get_port_type() != sb->get_port_type()) return false;
  int na = 0, nb = 0;
  for (const VOK_ATOM_ITERM* t : ra->citerms()) {
    ++na;
    const VOK_ATOM_ITERM* u = rb->get_input_term_by_type(t->get_port_type(), t->get_index());
    if (u == nullptr || t->is_connected() != u->is_connected()) return false;
    if (t->is_connected() && !iterms_are_identical(ra, rb, t, u)) return false;
  }
  for (const VOK_ATOM_ITERM* t : rb->citerms()) {
    (void)t;
    ++nb;
  }
  return na == nb;
}

bool ZEL_ATOM_UTIL::is_clear_iterm_sclear(const VOK_ATOM_ITERM* iterm) {
  return iterm != nullptr && iterm->get_port_type() == DB_INPUT_PORT_ACLR && iterm->is_used_as(DB_INPUT_PORT_SCLR);
}
