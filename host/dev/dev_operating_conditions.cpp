#include "dev/dev_operating_conditions.h"

#include <cstddef>

#include "dev/dev_spec.h"

int DEV_OPERATING_CONDITIONS::get_default_slow_timing_corner(int) {
  const auto& corners = host::device::spec().corners;
  for (std::size_t i = 0; i < corners.size(); ++i)
    if (corners[i].kind == DeviceCorner::SLOW && !corners[i].is_hold_only) return static_cast<int>(i);
  return 0;
}
