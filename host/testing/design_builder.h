#pragma once
// Builders of the stand-in world for tests and velmo-fit: the device, and
// (as the data model grows) the design on it.
#include <set>
#include "dev/dev_spec.h"
#include "testing/netlist_builder.h"

namespace host::testing {

// Family codes of the family table, by their test names.
struct Family {
  static constexpr int KX = 48;
  static constexpr int KX15 = 15;
  static constexpr int KY = 46;
  static constexpr int KZ = 26;
  static constexpr int IO_LEGACY = 19;
  static constexpr int code(int n) { return n; }
};

class DEVICE_BUILDER {
public:
  explicit DEVICE_BUILDER(int family) { m_spec.family = family; }
  DEVICE_BUILDER& base_family_override(int code) {
    m_spec.base_family_override = code;
    return *this;
  }
  DEVICE_BUILDER& zota_flow_supported(bool on) {
    m_spec.zota_flow_supported = on;
    return *this;
  }
  DEVICE_BUILDER& part_trait(int trait) {
    m_spec.part_traits.insert(trait);
    return *this;
  }
  // Makes this the world's device.
  const DeviceSpec& build();

private:
  DeviceSpec m_spec;
};

inline DEVICE_BUILDER device(int family) { return DEVICE_BUILDER(family); }

}  // namespace host::testing
