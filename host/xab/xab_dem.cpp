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
