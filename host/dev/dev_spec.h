#pragma once
// data: the one configured device. Its family picks a row of the family
// table, which decides the family codes, the traits and the ZOTA checks.
#include <optional>
#include <set>
#include "common/host_api.h"

struct DeviceSpec {
  int family = 46;
  // Base family code different from the table's (the internal code stays).
  std::optional<int> base_family_override;
  // false clears the "retimer supported" ZOTA check only.
  bool zota_flow_supported = true;
  // Part traits (e.g. 32 VID part, 42 floor pulse level 0); off by default.
  std::set<int> part_traits;
  // The device's enum (DEV_BASIC_INFO::get_device_enum).
  int device_enum = 1;
  // Zento debugging flow switch (ZEL_DEV_ZOTA_UTIL); off by default.
  bool zento_retimer_debugging_flow = false;
};

namespace host::device {
HOST_API void configure(const DeviceSpec& spec);
HOST_API const DeviceSpec& spec();
}  // namespace host::device
