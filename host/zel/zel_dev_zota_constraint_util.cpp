#include "zel/zel_dev_zota_constraint_util.h"

#include <cstdio>

#include "wump/wump_die_info.h"

ZEL_DEV_ZOTA_CONSTRAINT_UTIL::ZEL_DEV_ZOTA_CONSTRAINT_UTIL(int device_part, bool) : m_device_part(device_part) {}

unsigned ZEL_DEV_ZOTA_CONSTRAINT_UTIL::translate_location_string_to_gid(const std::string& text) const {
  int x = 0, y = 0, n = 0, used = 0;
  if (std::sscanf(text.c_str(), "X%d_Y%d_N%d%n", &x, &y, &n, &used) != 3 || used != static_cast<int>(text.size()))
    return 0xFFFFFFFFu;
  const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
  if (!place->get_grid().in_grid(x, y)) return 0xFFFFFFFFu;
  return place->get_global_id(643, x, y, n);
}
