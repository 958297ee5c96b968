#include "wexan/wexan_device.h"

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "tibex/tibex_placer.h"
#include "vok/vok_atom_netlist.h"
#include "dev/dev_pad.h"
#include "wexan/wexan_design.h"
#include "wump/wump_die_info.h"

namespace {
struct DEVICE_VIEW_STATE {
  WEXAN_DEVICE device;
};
}  // namespace

WEXAN_DEVICE* WEXAN_DEVICE::current() { return &host_world_slot<DEVICE_VIEW_STATE>().device; }
WEXAN_DEVICE::~WEXAN_DEVICE() = default;

int WEXAN_DEVICE::get_physical_location_type(int x, int y, int sub) const {
  const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
  const unsigned gid = grid.site_gid(x, y, sub);
  if (gid == DEV_GRID::ILLEGAL_GID) return 0;
  return grid.sites()[gid].element;
}

bool WEXAN_DEVICE::place_atom_at_sub_location(int x, int y, int sub, int atom_id) {
  host::log_call("WEXAN_DEVICE::place_atom_at_sub_location", x, y, sub, atom_id);
  VOK_ATOM_NODE* atom = WEXAN_DESIGN::current()->get_atom_node(atom_id);
  if (atom == nullptr) return false;
  const int kind = host::placement::site_kind(atom);
  if (kind == 0) return false;
  const unsigned gid = host::device::die_info()->get_place_info()->get_global_id(kind, x, y, sub);
  if (gid == DEV_GRID::ILLEGAL_GID) return false;
  return host::placement::write_location(atom, gid);
}

const DEV_PAD* WEXAN_DEVICE::get_pad_from_location(int x, int y, int sub) const {
  return host::device::pad_at(x, y, sub);
}
int WEXAN_DEVICE::get_nx() const { return host::device::die_info()->get_place_info()->get_nx(); }
int WEXAN_DEVICE::get_ny() const { return host::device::die_info()->get_place_info()->get_ny(); }

bool WEXAN_DEVICE::has_at_least_one_element_of_type(int element) const {
  const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
  for (const auto& site : grid.sites())
    if (site.element == element) return true;
  return false;
}
