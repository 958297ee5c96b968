#include "wexan/wexan_device.h"

#include "common/host_world.h"
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
