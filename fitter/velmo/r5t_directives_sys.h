#pragma once
// The directive store's constructor and mapping removal. Included at the end
// of the host's directives header.
#include "msg/msg_internal_error.h"
#include "r5t/r5t_directives.h"

inline R5T_DIRECTIVES::R5T_DIRECTIVES() : m_flag(1) {}

inline bool R5T_DIRECTIVES::delete_atom_mapping(const VOK_ATOM_LOGICAL_PORT& port) {
  assert_modifiable(port);
  ZMP_TINY_VECTOR<PELK>& list = m_mappings[port];
  if (list.empty()) return false;
  list = ZMP_TINY_VECTOR<PELK>();  // back to the inline, empty form
  unsigned& count = m_ref_counts[port.get_atom_id()];
  if (!(count != 0)) MSG_INTERNAL_ERROR::report("count != 0", "VELMO", "r5t_directives_sys", 190);
  --count;
  return true;
}
