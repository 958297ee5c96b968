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
  // data: basic int data by item, each with a valid flag (0 when invalid).
  // Defaults: none valid; DeviceSpec::basic_int_data overrides.
  bool is_valid_int_data(int item) const;
  int get_int_data(int item) const;
  // data: int data of a device element kind. Element 1336 (DSP block)
  // exists on every device with datum 1 = the number of DSP locations of the
  // grid; other elements exist only when DeviceSpec::element_int_data names
  // them.
  bool has_element(int element) const;
  bool is_valid_element_int_data(int element, int item) const;
  int get_element_int_data(int element, int item) const;
  // data: the descriptions of the device's element kinds.
  const std::vector<const DEV_ELEMENT_DESC*>& get_element_descs() const;
  // data: basic bool items, each with a valid flag. Family defaults: the
  // items of the family's delay-chain table (host::dc) and the per-chain
  // items of its chains are valid and true, others invalid;
  // DeviceSpec::basic_bool_data overrides.
  bool is_valid_bool_data(int item) const;
  bool get_bool_data(int item) const;
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
  // data: the I/O pad whose pad site has this placement gid (any site of the
  // pad's pin names it); null for other gids.
  const class DEV_PAD* get_pad(unsigned gid) const;

private:
  DEV_BASIC_INFO m_basic_info;
};
