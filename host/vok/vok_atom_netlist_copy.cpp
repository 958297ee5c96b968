// Copies of partition netlists for shell states: the deep copy, id
// renumbering, non-owning atom lists and the instance-name numbers.
#include <map>
#include <string>
#include <unordered_map>

#include "common/host_world.h"
#include "msg/msg_internal_error.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_netlist_boxes.h"

namespace {

[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "HOST", "vok_atom_netlist_copy", line);
}

struct NAME_IDS {
  std::unordered_map<std::string, unsigned> ids;
};

}  // namespace

unsigned VOK_ATOM_NODE::get_instance_name_id() const {
  auto& ids = host_world_slot<NAME_IDS>().ids;
  return ids.emplace(get_string_hpath(), static_cast<unsigned>(ids.size())).first->second;
}

void VOK_ATOM_NETLIST::sanity_check(int) const {
  std::string why;
  if (!sanity_check(&why)) fail(("netlist sanity: " + why).c_str(), __LINE__);
}

VOK_ATOM_NETLIST* VOK_ATOM_NETLIST::deep_copy() const {
  auto* copy = new VOK_ATOM_NETLIST();
  copy->m_modifiable = m_modifiable;
  copy->m_namespace = m_namespace;
  copy->m_string_pairs = m_string_pairs;
  std::map<const VOK_ATOM_OTERM*, VOK_ATOM_OTERM*> oterms;
  std::map<const VOK_ATOM_ITERM*, VOK_ATOM_ITERM*> iterms;
  oterms[&m_ground] = &copy->m_ground;
  for (const VOK_ATOM_NODE* a : m_atoms) {
    VOK_ATOM_NODE* b = nullptr;
    if (a->is_box()) {
      auto* box = new VOK_ATOM_BLACKBOX();
      box->m_ports = static_cast<const VOK_ATOM_BLACKBOX*>(a)->m_ports;
      box->m_port_ids = static_cast<const VOK_ATOM_BLACKBOX*>(a)->m_port_ids;
      b = box;
    } else {
      b = new VOK_ATOM_STANDIN(a->m_kind, a->m_basic_type, a->m_atom_type, a->m_default_dev_element);
    }
    b->m_register_kind = a->m_register_kind;
    b->m_zota_marked = a->m_zota_marked;
    // A box's name stands for its partition (compared by address): the copy
    // shares it.
    if (a->m_name != nullptr && a->is_box())
      b->set_shared_name(a->m_name);
    else if (a->m_name != nullptr)
      b->set_name(a->get_string_hpath());
    // Indexed at this location when added to the copy below.
    b->m_location_index = a->m_location_index;
    b->m_location_element = a->m_location_element;
    host::vok::note_layout_changed();
    b->m_analytic_x = a->m_analytic_x;
    b->m_analytic_y = a->m_analytic_y;
    b->m_bits = a->m_bits;
    b->m_illegal_bits = a->m_illegal_bits;
    b->m_modifiable = a->m_modifiable;
    b->m_powers_up = a->m_powers_up;
    b->m_io_roles = a->m_io_roles;
    b->m_lutmask = a->m_lutmask;
    b->m_mac = a->m_mac;
    b->m_parameters = a->m_parameters;
    for (std::size_t i = 0; i < a->m_iterms.size(); ++i) {
      const VOK_ATOM_ITERM* t = a->m_iterms.at(i);
      if (t == nullptr) {
        b->m_iterms.set(i, nullptr);
        continue;
      }
      auto* u = new VOK_ATOM_ITERM(b, t->m_port_type, t->m_index);
      u->m_usage = t->m_usage;
      u->m_delay_chain_kind = t->m_delay_chain_kind;
      u->m_delay_chain_index = t->m_delay_chain_index;
      b->m_iterms.set(i, u);
      iterms[t] = u;
    }
    for (std::size_t i = 0; i < a->m_oterms.size(); ++i) {
      const VOK_ATOM_OTERM* t = a->m_oterms.at(i);
      if (t == nullptr) {
        b->m_oterms.set(i, nullptr);
        continue;
      }
      auto* u = new VOK_ATOM_OTERM(b, t->m_port_type, t->m_index);
      u->m_usage = t->m_usage;
      b->m_oterms.set(i, u);
      oterms[t] = u;
    }
    copy->add_node(b);
  }
  // Connections in each source's fanout order, then every input's own state.
  for (const auto& [from, to] : oterms)
    for (const VOK_ATOM_ITERM* f = from->m_first_fanout; f != nullptr; f = f->m_next_fanout) {
      auto it = iterms.find(f);
      if (it != iterms.end()) vok_connect(to, it->second);
    }
  for (const auto& [from, to] : iterms) {
    to->m_state = from->m_state;
    to->m_connected = from->m_connected;
    to->m_tie_low = from->m_tie_low;
  }
  return copy;
}

void VOK_ATOM_NETLIST::reindex_ids(int first_id, const std::function<void(int, int)>& callback) {
  decltype(m_id_map) ids;
  auto ro = m_atoms_ro.begin();
  int next = first_id;
  for (auto it = m_atoms.begin(); it != m_atoms.end(); ++it, ++ro) {
    VOK_ATOM_NODE* a = *it;
    const int old_id = a->m_id;
    a->m_id = next++;
    if (callback) callback(old_id, a->m_id);
    ids.emplace(a->m_id, ENTRY{it, ro});
  }
  m_id_map = std::move(ids);
  host::vok::note_layout_changed();
}

void VOK_ATOM_NETLIST::reindex_ids_as(const VOK_ATOM_NETLIST& model) {
  if (model.m_atoms.size() != m_atoms.size()) fail("model.size() == size()", __LINE__);
  decltype(m_id_map) ids;
  auto ro = m_atoms_ro.begin();
  auto from = model.m_atoms.begin();
  for (auto it = m_atoms.begin(); it != m_atoms.end(); ++it, ++ro, ++from) {
    (*it)->m_id = (*from)->m_id;
    ids.emplace((*it)->m_id, ENTRY{it, ro});
  }
  m_id_map = std::move(ids);
  host::vok::note_layout_changed();
}

void VOK_ATOM_NETLIST::add_node(VOK_ATOM_NODE* atom, bool adopt) {
  if (adopt) {
    add_node(atom);
    return;
  }
  if (atom == nullptr) fail("atom", __LINE__);
  if (m_id_map.count(atom->get_id()) != 0) fail("unique atom id", __LINE__);
  ENTRY entry{m_atoms.insert(m_atoms.end(), atom), m_atoms_ro.insert(m_atoms_ro.end(), atom)};
  m_id_map.emplace(atom->get_id(), entry);
  // The atom tells its own netlist, not this one, when it moves.
  m_lists_foreign_atoms = true;
  host::vok::note_box_added(this, atom);
  if (atom->is_box())
    host::vok::note_layout_changed();
  else
    host::vok::note_atom_layout_changed(atom);
}
