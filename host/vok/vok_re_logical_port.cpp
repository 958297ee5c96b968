#include "vok/vok_re_logical_port.h"

#include <cstdlib>
#include <string>

#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_netlist_boxes.h"

PELK vok_input_port_symbol(DB_INPUT_PORT_TYPE type) {
  return PELK::intern(VOK_PORT_NAMESPACE_INPUT, "I" + std::to_string(static_cast<int>(type)));
}

PELK vok_output_port_symbol(DB_OUTPUT_PORT_TYPE type) {
  return PELK::intern(VOK_PORT_NAMESPACE_OUTPUT, "O" + std::to_string(static_cast<int>(type)));
}

int vok_port_type_of_symbol(PELK symbol) {
  const int ns = symbol.get_namespace();
  if (ns != VOK_PORT_NAMESPACE_INPUT && ns != VOK_PORT_NAMESPACE_OUTPUT) return -1;
  const char* name = symbol.cname();
  if (name[0] != (ns == VOK_PORT_NAMESPACE_INPUT ? 'I' : 'O') || name[1] == '\0') return -1;
  char* end = nullptr;
  const long v = std::strtol(name + 1, &end, 10);
  return *end == '\0' ? static_cast<int>(v) : -1;
}

VOK_ATOM_LOGICAL_PORT vok_get_logical_port(const VOK_ATOM_ITERM* iterm) {
  if (iterm == nullptr || iterm->get_my_node() == nullptr) return {};
  return VOK_ATOM_LOGICAL_PORT(static_cast<std::uint32_t>(iterm->get_my_node()->get_id()),
                               vok_input_port_symbol(iterm->get_port_type()),
                               static_cast<std::uint16_t>(iterm->get_index()));
}

VOK_ATOM_LOGICAL_PORT vok_get_logical_port(const VOK_ATOM_OTERM* oterm) {
  if (oterm == nullptr || oterm->get_my_node() == nullptr) return {};
  return VOK_ATOM_LOGICAL_PORT(static_cast<std::uint32_t>(oterm->get_my_node()->get_id()),
                               vok_output_port_symbol(oterm->get_port_type()),
                               static_cast<std::uint16_t>(oterm->get_index()));
}

namespace {
// The atom of that id in the netlist or, below it, in a black box's child.
const VOK_ATOM_NODE* find_atom(const VOK_ATOM_NETLIST* netlist, int id, bool hierarchical) {
  if (netlist == nullptr) return nullptr;
  if (const VOK_ATOM_NODE* a = netlist->get_atom_by_id(id)) return a;
  if (!hierarchical) return nullptr;
  for (const VOK_ATOM_BLACKBOX* box : host::vok::boxes_of(netlist))
    if (const VOK_ATOM_NODE* found = find_atom(box->get_child_netlist(), id, true)) return found;
  return nullptr;
}
}  // namespace

VOK_ATOM_ITERM* vok_find_iterm(const VOK_ATOM_NETLIST* netlist, const VOK_ATOM_LOGICAL_PORT& port,
                               bool hierarchical) {
  if (port.is_empty() || !port.is_input()) return nullptr;
  const VOK_ATOM_NODE* atom = find_atom(netlist, static_cast<int>(port.get_atom_id()), hierarchical);
  const int type = vok_port_type_of_symbol(port.get_port());
  if (atom == nullptr || type < 0) return nullptr;
  return atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(type), port.get_index());
}

VOK_ATOM_OTERM* vok_find_oterm(const VOK_ATOM_NETLIST* netlist, const VOK_ATOM_LOGICAL_PORT& port,
                               bool hierarchical) {
  if (port.is_empty() || !port.is_output()) return nullptr;
  const VOK_ATOM_NODE* atom = find_atom(netlist, static_cast<int>(port.get_atom_id()), hierarchical);
  const int type = vok_port_type_of_symbol(port.get_port());
  if (atom == nullptr || type < 0) return nullptr;
  return atom->get_output_term_by_type(static_cast<DB_OUTPUT_PORT_TYPE>(type), port.get_index());
}

namespace {
std::string with_index(const char* name, int index) {
  std::string s = name ? name : "";
  if (index > 0) s += "[" + std::to_string(index) + "]";
  return s;
}
}  // namespace

std::string VOK_ATOM_ITERM::get_wysiwyg_port_name() const {
  return with_index(vok_input_port_symbol(get_port_type()).cname(), get_index());
}

std::string VOK_ATOM_OTERM::get_wysiwyg_port_name() const {
  return with_index(vok_output_port_symbol(get_port_type()).cname(), get_index());
}
