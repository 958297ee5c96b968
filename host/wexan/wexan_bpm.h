#pragma once
// The boundary-port manager: which partition each atom belongs to while
// partitions are managed.
#include <map>
#include "common/host_api.h"

class VOK_ATOM_NODE;

// The partition id of an atom outside every partition.
inline constexpr int BPM_OPEN = -1;

class HOST_API WEXAN_BOUNDARY_PORT_MANAGER {
public:
  // data: the atom's partition, BPM_OPEN when it has none.
  int get_partition_id(const VOK_ATOM_NODE* atom) const;
  // data: puts the atom into the partition (recorded).
  void assign_atom_to_partition(const VOK_ATOM_NODE* atom, int pid);

private:
  std::map<int, int> m_partition_of;
};

namespace host::wexan {
// Makes partitions managed (the environment then has a manager) or not.
HOST_API void set_boundary_port_manager(bool on);
}  // namespace host::wexan
