// Pipeline-register merging and constant cells of the atom-modification
// utility.
#include <vector>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "siv/siv_atom_mod_utility.h"
#include "tibex/tibex_location_constraint.h"
#include "vok/vok_atom_netlist.h"
#include "zel/zel_atom_util.h"

namespace {

bool l_open(const VOK_ATOM_ITERM* t) { return t == nullptr || !t->is_connected(); }

// The two registers' inputs of one port carry the same signal (both absent or
// unconnected counts as the same).
bool l_same_input(const VOK_ATOM_NODE* a, const VOK_ATOM_NODE* b, DB_INPUT_PORT_TYPE port) {
  const VOK_ATOM_ITERM* ia = a->get_input_term_by_type(port, 0);
  const VOK_ATOM_ITERM* ib = b->get_input_term_by_type(port, 0);
  if (l_open(ia) || l_open(ib)) return l_open(ia) && l_open(ib);
  return iterms_are_identical(a, b, ia, ib);
}

}  // namespace

bool SIV_ATOM_MOD_UTILITY::merge_zota_registers(VOK_ATOM_NODE* absorbed, VOK_ATOM_NODE* kept) {
  host::log_call("SIV_ATOM_MOD_UTILITY::merge_zota_registers", host::vok::arg(absorbed), host::vok::arg(kept));
  if (absorbed == nullptr || kept == nullptr || absorbed == kept || !absorbed->is_ff() || !kept->is_ff()) return false;
  if (absorbed->get_parent_netlist() != kept->get_parent_netlist() || absorbed->powers_up() != kept->powers_up())
    return false;
  for (DB_INPUT_PORT_TYPE port : {DB_INPUT_PORT_DATA_IN, DB_INPUT_PORT_CLK, DB_INPUT_PORT_ENA, DB_INPUT_PORT_ACLR,
                                  DB_INPUT_PORT_SCLR})
    if (!l_same_input(absorbed, kept, port)) return false;
  if (!host::script::next<bool>("SIV_ATOM_MOD_UTILITY::merge", true)) return false;
  VOK_ATOM_OTERM* from = absorbed->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  if (from != nullptr) {
    VOK_ATOM_OTERM* to = kept->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
    if (to == nullptr) to = kept->add_output_term(DB_OUTPUT_PORT_REG, 0);
    std::vector<VOK_ATOM_ITERM*> loads;
    for (VOK_ATOM_ITERM* t = from->get_first_fanout(VOK_TRAVERSE_AS_STORED); t != nullptr;
         t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED))
      loads.push_back(t);
    for (VOK_ATOM_ITERM* t : loads) vok_connect(to, t);
  }
  add_row("merge_zota_registers", absorbed->get_id());
  absorbed->get_parent_netlist()->remove(absorbed);
  return true;
}

VOK_ATOM_NODE* SIV_ATOM_MOD_UTILITY::create_comb_cell(VOK_ATOM_NETLIST* netlist, const std::string& name) {
  host::log_call("SIV_ATOM_MOD_UTILITY::create_comb_cell", name);
  VOK_ATOM_NODE* cell = VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL);
  cell->set_name(name);
  if (netlist != nullptr) netlist->add_node(cell);
  add_row("create_comb_cell", cell->get_id());
  return cell;
}

void SIV_ATOM_MOD_UTILITY::set_lut_mask(VOK_ATOM_NODE* atom, std::uint64_t mask) {
  host::log_call("SIV_ATOM_MOD_UTILITY::set_lut_mask", host::vok::arg(atom), static_cast<unsigned long long>(mask));
  if (atom != nullptr) atom->get_lutmask().set_value(6, mask);
}

void SIV_ATOM_MOD_UTILITY::copy_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to) {
  host::log_call("SIV_ATOM_MOD_UTILITY::copy_location_constraints", host::vok::arg(from), host::vok::arg(to));
  if (from != nullptr && to != nullptr)
    host::constraints::set_current(to->get_id(), host::constraints::get(from->get_id()));
}

bool SIV_ATOM_MOD_UTILITY::duplicate_atom(const VOK_ATOM_NODE* atom, VOK_ATOM_NODE** new_atom, void*) {
  host::log_call("SIV_ATOM_MOD_UTILITY::duplicate_atom", host::vok::arg(atom));
  if (new_atom != nullptr) *new_atom = nullptr;
  if (atom == nullptr || !atom->is_ff() || atom->get_parent_netlist() == nullptr) return false;
  if (!host::script::next<bool>("SIV_ATOM_MOD_UTILITY::duplicate", true)) return false;
  VOK_ATOM_NODE* copy = VOK_ATOM_FACTORY::create_node(atom->get_kind());
  // The copy's own id keeps the name unique without a search of the design.
  copy->set_name(atom->get_string_hpath() + "~DUP~" + std::to_string(copy->get_id()));
  atom->get_parent_netlist()->add_node(copy);
  for (const VOK_ATOM_ITERM* t : atom->citerms()) {
    copy_input_connection(t, copy, t->get_port_type(), t->get_index());
    VOK_ATOM_ITERM* nt = copy->get_input_term_by_type(t->get_port_type(), t->get_index());
    nt->set_usage(t->get_any_usage_as());
    nt->set_state(t->get_state());
  }
  copy->add_output_term(DB_OUTPUT_PORT_REG, 0);
  copy->set_powers_up(atom->powers_up());
  add_row("duplicate_atom", copy->get_id());
  if (new_atom != nullptr) *new_atom = copy;
  return true;
}

void SIV_ATOM_MOD_UTILITY::reconnect_iterm(VOK_ATOM_ITERM* iterm, VOK_ATOM_OTERM* oterm, void*) {
  host::log_call("SIV_ATOM_MOD_UTILITY::reconnect_iterm", host::vok::arg(iterm), host::vok::arg(oterm));
  if (iterm == nullptr || oterm == nullptr) return;
  const bool inverted = iterm->is_inverted();
  vok_connect(oterm, iterm);
  iterm->set_inverted(inverted);
}
