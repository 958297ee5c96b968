#include "dev/dev_basic_info.h"

#include <map>

#include "common/host_world.h"

#include "dev/dev_element_desc.h"
#include "dev/dev_spec.h"
#include "wump/wump_die_info.h"

DEV_BASIC_INFO::DEV_BASIC_INFO() = default;
DEV_BASIC_INFO::~DEV_BASIC_INFO() = default;

DEV_DEVICE_ENUM DEV_BASIC_INFO::get_device_enum() const {
  return static_cast<DEV_DEVICE_ENUM>(host::device::spec().device_enum);
}

DEV_FAMILY_ENUM DEV_BASIC_INFO::get_family_enum() const {
  return static_cast<DEV_FAMILY_ENUM>(host::device::internal_family_code());
}

DEV_DEVICE::DEV_DEVICE() = default;
DEV_DEVICE::~DEV_DEVICE() = default;

namespace {
// The descriptions with the configured device's fanout-limit overrides.
struct DEV_DESC_OVERRIDES {
  std::vector<DEV_ELEMENT_DESC> descs;
  std::vector<const DEV_ELEMENT_DESC*> list;
};
}  // namespace

const std::vector<const DEV_ELEMENT_DESC*>& DEV_BASIC_INFO::get_element_descs() const {
  const std::map<int, int>& limits = host::device::spec().fanout_limits;
  if (limits.empty()) return dev_element_descs();
  DEV_DESC_OVERRIDES& o = host_world_slot<DEV_DESC_OVERRIDES>();
  o.descs.clear();
  o.list.clear();
  std::map<int, std::map<int, int>> data;
  for (const DEV_ELEMENT_DESC* d : dev_element_descs()) {
    auto& items = data[static_cast<int>(d->get_element_enum())];
    for (int item : {20, 21})
      if (d->is_valid_int_enum(item)) items[item] = d->get_int_data(item);
  }
  for (const auto& [kind, limit] : limits) data[kind][21] = limit;
  o.descs.reserve(data.size());
  for (const auto& [kind, items] : data) o.descs.emplace_back(static_cast<DEV_ELEMENT_ENUM>(kind), items);
  for (const DEV_ELEMENT_DESC& d : o.descs) o.list.push_back(&d);
  return o.list;
}

DEV_DIE_INFO* DEV_DEVICE::get_die_info() const { return host::device::die_info(); }
