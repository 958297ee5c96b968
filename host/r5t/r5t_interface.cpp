#include "r5t/r5t_interface.h"

#include <memory>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "r5t/r5t_directives.h"
#include "vok/vok_atom_netlist.h"

namespace {
struct R5T_STATE {
  std::unique_ptr<R5T_INTERFACE> instance;
};
}  // namespace

R5T_INTERFACE* R5T_INTERFACE::get_or_create_instance() {
  host::log_call("R5T_INTERFACE::get_or_create_instance");
  auto& st = host_world_slot<R5T_STATE>();
  if (!st.instance) st.instance = std::make_unique<R5T_INTERFACE>();
  return st.instance.get();
}

R5T_INTERFACE::R5T_INTERFACE() : m_directives(std::make_unique<R5T_DIRECTIVES>()) {}
R5T_INTERFACE::~R5T_INTERFACE() = default;

R5T_INTERFACE* R5T_INTERFACE::create_instance() {
  host::log_call("R5T_INTERFACE::create_instance");
  auto& st = host_world_slot<R5T_STATE>();
  st.instance = std::make_unique<R5T_INTERFACE>();
  return st.instance.get();
}

void R5T_INTERFACE::destroy_instance() {
  host::log_call("R5T_INTERFACE::destroy_instance");
  host_world_slot<R5T_STATE>().instance.reset();
}

void R5T_INTERFACE::merge(const R5T_DIRECTIVES& directives) {
  host::log_call("R5T_INTERFACE::merge");
  m_directives->merge(directives);
}

void R5T_INTERFACE::filter(const VOK_ATOM_NETLIST& netlist, R5T_DIRECTIVES& out) const {
  host::log_call("R5T_INTERFACE::filter");
  m_directives->filter(netlist, out);
}

R5T_INTERFACE* R5T_INTERFACE::get_instance() {
  auto& st = host_world_slot<R5T_STATE>();
  if (!st.instance) st.instance = std::make_unique<R5T_INTERFACE>();
  return st.instance.get();
}

PELK R5T_INTERFACE::get_atom_metadata(int atom_id, PELK key) const {
  auto it = m_metadata.find({atom_id, key.index()});
  return it == m_metadata.end() ? PELK() : it->second.second;
}

void R5T_INTERFACE::set_atom_metadata(int atom_id, PELK key, PELK value) {
  m_metadata[{atom_id, key.index()}] = {key, value};
}

std::vector<std::pair<PELK, PELK>> R5T_INTERFACE::get_atom_metadata(int atom_id) const {
  std::vector<std::pair<PELK, PELK>> out;
  for (auto it = m_metadata.lower_bound({atom_id, -1}); it != m_metadata.end() && it->first.first == atom_id; ++it)
    out.push_back(it->second);
  return out;
}

std::vector<PELK> R5T_INTERFACE::get_atom_mapping(const VOK_ATOM_ITERM* iterm) const {
  if (iterm == nullptr || iterm->get_my_node() == nullptr) return {};
  auto it = m_mappings.find({iterm->get_my_node()->get_id(), static_cast<int>(iterm->get_port_type()), iterm->get_index()});
  return it == m_mappings.end() ? std::vector<PELK>() : it->second;
}

void R5T_INTERFACE::set_atom_mapping(const VOK_ATOM_ITERM* iterm, std::vector<PELK> cells) {
  if (iterm == nullptr || iterm->get_my_node() == nullptr) return;
  m_mappings[{iterm->get_my_node()->get_id(), static_cast<int>(iterm->get_port_type()), iterm->get_index()}] =
      std::move(cells);
}
