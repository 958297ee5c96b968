#include "zib/zib_wireluts.h"

#include <set>

#include "common/host_world.h"
#include "vok/vok_atom_netlist.h"

namespace {
struct ZIB_STATE {
  std::set<int> inputs;
  std::set<int> outputs;
};
ZIB_STATE& l_state() { return host_world_slot<ZIB_STATE>(); }
}  // namespace

bool ZIB::WIRELUTS::is_pr_input_wirelut(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && l_state().inputs.count(atom->get_id()) != 0;
}

bool ZIB::WIRELUTS::is_pr_output_wirelut(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && l_state().outputs.count(atom->get_id()) != 0;
}

namespace host::zib {
void set_pr_wirelut(int atom_id, bool input_side) {
  (input_side ? l_state().inputs : l_state().outputs).insert(atom_id);
}
}  // namespace host::zib
