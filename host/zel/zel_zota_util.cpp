#include "zel/zel_zota_util.h"

#include <algorithm>

#include "dev/dev_location.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

unsigned ZOTA::UTIL::get_any_clk_re_gid_for_zota(unsigned gid, const std::vector<int>& kinds, int) const {
  const WUMP_DIE_INFO* die = host::device::die_info();
  DEV_LOCATION loc;
  if (!die->get_location(gid, loc)) return 0xFFFFFFFFu;
  const int y = loc[DEV_LOCATION_Y];
  const WUMP_ROUTE_INFO* route = die->get_route_info();
  unsigned best = 0xFFFFFFFFu;
  for (int kind : kinds)
    for (unsigned g : route->gids(kind)) {
      const WUMP_ROUTE_ELEMENT* re = route->get_element_by_gid(g);
      if (re && re->get_y() == y) best = std::min(best, g);
    }
  return best;
}

int ZOTA::UTIL::get_lab_zota_type(unsigned gid) const {
  const WUMP_DIE_INFO* die = host::device::die_info();
  const WUMP_ROUTE_INFO* route = die ? die->get_route_info() : nullptr;
  if (!route || !route->is_zota_gid(gid)) return -1;
  // The LAB slots are the control-input muxes 140-179; a clear's slot has an
  // even index, an enable's the odd one after it.
  const WUMP_ROUTE_NODE node = route->get_route_node_of(gid);
  if (node.element_type != 282 || node.index < 140 || node.index >= 180) return -1;
  return node.index % 2 == 0 ? 0 : 1;
}
