#pragma once
// data: wire-LUTs that carry partial-reconfiguration boundary signals.
#include "common/host_api.h"

class VOK_ATOM_NODE;

namespace ZIB {
class HOST_API WIRELUTS {
public:
  static bool is_pr_input_wirelut(const VOK_ATOM_NODE* atom);
  static bool is_pr_output_wirelut(const VOK_ATOM_NODE* atom);
};
}  // namespace ZIB

namespace host::zib {
// Marks an atom as a partial-reconfiguration input or output wire-LUT.
HOST_API void set_pr_wirelut(int atom_id, bool input_side);
}  // namespace host::zib
