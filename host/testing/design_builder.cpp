#include "testing/design_builder.h"

namespace host::testing {

const DeviceSpec& DEVICE_BUILDER::build() {
  host::device::configure(m_spec);
  return host::device::spec();
}

}  // namespace host::testing
