#include "dev/dev_family.h"
#include "dev/dev_spec.h"

#include "common/host_world.h"

namespace {
struct DEVICE_STATE {
  DeviceSpec spec;
};
}  // namespace

DEV_FAMILY_ROW dev_family_row(int code) {
  switch (code) {
    case 48: return {48, "KX", false, false, {151, 152, 203}};
    case 15: return {15, "KX15", false, false, {151, 152, 203}};
    case 46: return {46, "KY", true, true, {152}};
    case 26: return {26, "KZ", true, true, {152}};
    case 19: return {19, "IO_LEGACY", false, false, {152, 158}};
    default: return {code, "other", false, false, {}};
  }
}

bool DEV_FAMILY_MANAGER::test_trait_of(int family_code, int trait) const {
  return dev_family_row(family_code).traits.count(trait) != 0;
}

DEV_FAMILY_ENUM DEV_FAMILY_MANAGER::get_base_family_enum(DEV_FAMILY_ENUM family) const {
  if (static_cast<int>(family) == host::device::internal_family_code())
    return static_cast<DEV_FAMILY_ENUM>(host::device::base_family_code());
  return family;
}

namespace host::device {
void configure(const DeviceSpec& spec) { host_world_slot<DEVICE_STATE>().spec = spec; }
const DeviceSpec& spec() { return host_world_slot<DEVICE_STATE>().spec; }
int internal_family_code() { return spec().family; }
int base_family_code() { return spec().base_family_override.value_or(spec().family); }
bool zota_check(int check) {
  auto row = dev_family_row(spec().family);
  if (check == 0) return row.zota_check0_routing_slots;
  return row.zota_check1_retimer && spec().zota_flow_supported;
}
bool part_trait(int trait) { return spec().part_traits.count(trait) != 0; }
}  // namespace host::device

bool DEV_PART_MANAGER::test_device_trait(int device_enum, int trait) const {
  return device_enum == host::device::spec().device_enum && host::device::part_trait(trait);
}

int DEV_PART_MANAGER::get_speed_of(int) const {
  const auto& corners = host::device::spec().corners;
  return corners.empty() ? 1 : corners.front().speed_grade;
}

DEV_DEVICE_ENUM DEV_PART_MANAGER::get_base_device_of(DEV_DEVICE_ENUM device) const {
  const auto& bases = host::device::spec().base_devices;
  const auto it = bases.find(static_cast<int>(device));
  return static_cast<DEV_DEVICE_ENUM>(it == bases.end() ? 0 : it->second);
}
