#pragma once
// data: a device location, read component by component. The stand-in fills
// the element kind, the sub-location and the tile coordinates.
#include <array>
#include <string>
#include "common/host_api.h"
#include "dev/dev_element_enum.h"

enum DEV_LOCATION_ENUM : int {
  DEV_LOCATION_ELEMENT = 0,       // element kind of the site or routing element
  DEV_LOCATION_SUB_LOCATION = 1,  // sub-location (same value as component 15)
  DEV_LOCATION_INDEX = 2,         // routing-element index (-1 for a site)
  DEV_LOCATION_X = 13,
  DEV_LOCATION_Y = 14,
  DEV_LOCATION_SUB = 15,
  DEV_LOCATION_COUNT = 16,
};

class HOST_API DEV_LOCATION {
public:
  DEV_LOCATION() { m_values.fill(-1); }
  inline ~DEV_LOCATION();
  DEV_LOCATION(const DEV_LOCATION&) = default;
  DEV_LOCATION& operator=(const DEV_LOCATION&) = default;
  int operator[](DEV_LOCATION_ENUM which) const { return m_values.at(static_cast<size_t>(which)); }
  void set(DEV_LOCATION_ENUM which, int value) { m_values.at(static_cast<size_t>(which)) = value; }
  const std::string& get_name() const { return m_name; }
  void set_name(std::string name) { m_name = std::move(name); }

private:
  std::array<int, DEV_LOCATION_COUNT> m_values;
  std::string m_name;
};

#include "dev_location_sys.h"
