#pragma once
// Pipeline-register (ZOTA) location assignments of a device part.
#include <string>
#include "common/host_api.h"

class HOST_API ZEL_DEV_ZOTA_CONSTRAINT_UTIL {
public:
  ZEL_DEV_ZOTA_CONSTRAINT_UTIL(int device_part, bool flag);
  // algorithm: the placement id of an assignment "X<x>_Y<y>_N<n>" (register
  // site n of tile (x, y), n 60-99 naming a pipeline slot); 0xFFFFFFFF when
  // the text does not parse or names no site.
  unsigned translate_location_string_to_gid(const std::string& text) const;

private:
  int m_device_part;
};
