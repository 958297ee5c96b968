#include "testing/design_builder.h"

#include "wump/wump_die_info.h"

namespace host::testing {

const DeviceSpec& DEVICE_BUILDER::build() {
  host::device::configure(m_spec);
  (void)host::device::die_info();  // generate the die now, not inside the code under test
  return host::device::spec();
}

DEVICE_BUILDER& DEVICE_BUILDER::scale(int nx, int ny) {
  m_spec.nx = nx;
  m_spec.ny = ny;
  m_spec.dsp_columns.clear();
  m_spec.ram_columns.clear();
  for (int x = 4; x < nx - 1; x += 12) {
    m_spec.dsp_columns.push_back(x);
    if (x + 4 < nx - 1) m_spec.dsp_columns.push_back(x + 4);
    if (x + 2 < nx - 1) m_spec.ram_columns.push_back(x + 2);
  }
  return *this;
}

unsigned gid_of(const DEV_ELEMENT_REF& ref) {
  return host::device::die_info()->get_route_info()->get_gid(ref.kind, ref.x, ref.y, ref.index);
}

unsigned lab_output_gid(int x, int y, int k) {
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  return info->get_gid(282, x, y, info->get_lab_output_offset() + k);
}

}  // namespace host::testing
