#pragma once
// The device family table and the family manager.
#include <set>
#include "common/host_api.h"

enum DEV_DEVICE_ENUM : int;

enum DEV_FAMILY_ENUM : int {
  DEV_FAMILY_NONE = 0,
};

// Named family traits.
enum DEV_FAMILY_TRAIT : int {
  // No family of the table has it.
  DEV_FAMILY_TRAIT_HAS_TECHNOLOGY_MIGRATION_SUPPORT = 160,
};

// One row of the family table.
struct DEV_FAMILY_ROW {
  int code;
  const char* test_name;
  bool zota_check0_routing_slots;   // pipeline registers in routing
  bool zota_check1_retimer;         // retimer supported
  std::set<int> traits;
};

// data: the row of a family code; unknown codes get a row with no traits and
// both ZOTA checks false.
HOST_API DEV_FAMILY_ROW dev_family_row(int code);

class HOST_API DEV_FAMILY_MANAGER {
public:
  bool test_trait_of(int family_code, int trait) const;
  // The base family of a family enum (the configured override applies to the
  // configured family).
  DEV_FAMILY_ENUM get_base_family_enum(DEV_FAMILY_ENUM family) const;
};

// data: device (part) traits: the configured device has the DeviceSpec's
// part traits; any other device enum has none.
class HOST_API DEV_PART_MANAGER {
public:
  bool test_device_trait(int device_enum, int trait) const;
  // data: the speed grade of the part (the configured device's first
  // corner; 1 without corners).
  int get_speed_of(int device_enum) const;
  // data: the base device of a device (DeviceSpec::base_devices); 0 when it
  // has none.
  DEV_DEVICE_ENUM get_base_device_of(DEV_DEVICE_ENUM device) const;
  // The same question for a part (the device enum of its basic information).
  bool test_part_trait_of(int part, int trait) const { return test_device_trait(part, trait); }
};

namespace host::device {
// Codes of the configured device.
HOST_API int base_family_code();
HOST_API int internal_family_code();
// ZOTA check 0 (pipeline registers in routing) and 1 (retimer supported).
HOST_API bool zota_check(int check);
HOST_API bool part_trait(int trait);
}  // namespace host::device
