#include "xab/xab_dem.h"

#include <cstdlib>

#include "common/host_call_log.h"
#include "dev/dev_location.h"
#include "wump/wump_die_info.h"

void XAB_DEM::shutdown() { host::log_call("XAB_DEM::shutdown"); }

int XAB_DEM::estimate_delay_ps(unsigned from_gid, unsigned to_gid) {
  const DEV_DIE_INFO* die = host::device::die_info();
  DEV_LOCATION a, b;
  if (from_gid == 0xFFFFFFFFu || to_gid == 0xFFFFFFFFu || !die->get_location(from_gid, a) ||
      !die->get_location(to_gid, b))
    return 100;
  const int manhattan = std::abs(a[DEV_LOCATION_X] - b[DEV_LOCATION_X]) + std::abs(a[DEV_LOCATION_Y] - b[DEV_LOCATION_Y]);
  return 60 + 40 * manhattan;
}

XAB_DEM::CONNECTION_CALLBACKS::~CONNECTION_CALLBACKS() = default;
bool XAB_DEM::CONNECTION_CALLBACKS::get_pin_locations(int*, int*, int*, int*, const void*, int) { return false; }
bool XAB_DEM::CONNECTION_CALLBACKS::get_atom_locations(int*, int*, int*, int*, int*, int*, const void*, int) {
  return false;
}
bool XAB_DEM::CONNECTION_CALLBACKS::get_num_pipe_registers(int*, const void*, int) { return false; }
bool XAB_DEM::CONNECTION_CALLBACKS::get_dedicated(bool*, const void*, int) { return false; }
bool XAB_DEM::CONNECTION_CALLBACKS::get_vpr_info(const void*, int) { return false; }
bool XAB_DEM::CONNECTION_CALLBACKS::get_assume_same_cluster(bool*, const void*, int) { return false; }
bool XAB_DEM::CONNECTION_CALLBACKS::get_phys_impls(const void*, int) { return false; }
bool XAB_DEM::CONNECTION_CALLBACKS::get_criticality(float*, const void*, int) { return false; }
bool XAB_DEM::CONNECTION_CALLBACKS::get_crf_derate(float*, const void*, int) { return false; }
bool XAB_DEM::CONNECTION_CALLBACKS::get_iport(int*, const void*, int) { return false; }

XAB_DEM* XAB_DEM::get_instance(const void*, int) {
  static XAB_DEM s_instance;
  return &s_instance;
}

bool XAB_DEM::get_delay(const void* iterm, int index, CONNECTION_CALLBACKS* callbacks, double* rise,
                        double* fall) const {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  *rise = *fall = 0.0;
  if (callbacks == nullptr || !callbacks->get_pin_locations(&x1, &y1, &x2, &y2, iterm, index)) return false;
  const int ps = 60 + 40 * (std::abs(x1 - x2) + std::abs(y1 - y2));
  *rise = ps * 1e-12;
  *fall = ps * 1.1e-12;
  return true;
}
