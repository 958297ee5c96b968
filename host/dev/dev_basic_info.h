#pragma once
// The current device and its basic information, views onto the configured
// device (host::device::spec()).
#include <vector>
#include "common/host_api.h"
#include "dev/dev_family.h"

class DEV_DIE_INFO;
class DEV_ELEMENT_DESC;

enum DEV_DEVICE_ENUM : int {
  DEV_DEVICE_NONE = 0,
};

class HOST_API DEV_BASIC_INFO {
public:
  DEV_BASIC_INFO();
  virtual ~DEV_BASIC_INFO();
  // data: the configured device's enum.
  DEV_DEVICE_ENUM get_device_enum() const;
  // data: the configured device's family (the internal family code).
  DEV_FAMILY_ENUM get_family_enum() const;
  // data: the descriptions of the device's element kinds.
  const std::vector<const DEV_ELEMENT_DESC*>& get_element_descs() const;
};

class HOST_API DEV_DEVICE {
public:
  DEV_DEVICE();
  virtual ~DEV_DEVICE();
  DEV_DEVICE(const DEV_DEVICE&) = delete;
  DEV_DEVICE& operator=(const DEV_DEVICE&) = delete;
  // data: the device's basic information (never null).
  const DEV_BASIC_INFO* get_basic_info() const { return &m_basic_info; }
  // data: the configured device's enum.
  DEV_DEVICE_ENUM get_device_enum() const { return m_basic_info.get_device_enum(); }
  // data: the configured device's die information (never null).
  DEV_DIE_INFO* get_die_info() const;

private:
  DEV_BASIC_INFO m_basic_info;
};
