#include "r5t/r5t_interface.h"

#include <memory>

#include "common/host_call_log.h"
#include "common/host_world.h"

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

R5T_INTERFACE::R5T_INTERFACE() = default;
R5T_INTERFACE::~R5T_INTERFACE() = default;

PELK R5T_INTERFACE::get_atom_metadata(int atom_id, PELK key) const {
  auto it = m_metadata.find({atom_id, key.index()});
  return it == m_metadata.end() ? PELK() : it->second;
}

void R5T_INTERFACE::set_atom_metadata(int atom_id, PELK key, PELK value) { m_metadata[{atom_id, key.index()}] = value; }
