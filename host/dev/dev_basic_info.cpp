#include "dev/dev_basic_info.h"

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

const std::vector<const DEV_ELEMENT_DESC*>& DEV_BASIC_INFO::get_element_descs() const { return dev_element_descs(); }

DEV_DIE_INFO* DEV_DEVICE::get_die_info() const { return host::device::die_info(); }
