#include "dev/dev_basic_info.h"

#include <map>

#include "common/host_world.h"

#include "dev/dev_element_desc.h"
#include "dev/dev_spec.h"
#include "dev/dev_grid.h"
#include "zel/zel_dc_table.h"
#include "wump/wump_die_info.h"

namespace {
std::optional<int> element_default(int element, int item) {
  if (element == dev_kind::DSP && item == 1) {
    int n = 0;
    for (const DEV_SITE& s : host::device::die_info()->get_place_info()->get_location_table())
      if (s.element == dev_kind::DSP) ++n;
    return n;
  }
  return std::nullopt;
}
std::optional<int> element_datum(int element, int item) {
  const auto& over = host::device::spec().element_int_data;
  auto it = over.find({element, item});
  if (it != over.end()) return it->second;
  return element_default(element, item);
}
std::optional<int> basic_datum(int item) {
  const auto& over = host::device::spec().basic_int_data;
  auto it = over.find(item);
  if (it != over.end()) return it->second;
  // Item 32: the number of logic elements per ALM (six on every family).
  if (item == 32) return 6;
  return std::nullopt;
}
}  // namespace

DEV_BASIC_INFO::DEV_BASIC_INFO() = default;
DEV_BASIC_INFO::~DEV_BASIC_INFO() = default;

DEV_DEVICE_ENUM DEV_BASIC_INFO::get_device_enum() const {
  return static_cast<DEV_DEVICE_ENUM>(host::device::spec().device_enum);
}

DEV_FAMILY_ENUM DEV_BASIC_INFO::get_family_enum() const {
  return static_cast<DEV_FAMILY_ENUM>(host::device::internal_family_code());
}

bool DEV_BASIC_INFO::is_valid_int_data(int item) const { return basic_datum(item).has_value(); }
int DEV_BASIC_INFO::get_int_data(int item) const { return basic_datum(item).value_or(0); }

bool DEV_BASIC_INFO::has_element(int element) const {
  if (element == dev_kind::DSP) return true;
  for (const auto& [key, value] : host::device::spec().element_int_data)
    if (key.first == element) return true;
  return false;
}
bool DEV_BASIC_INFO::is_valid_element_int_data(int element, int item) const {
  return has_element(element) && element_datum(element, item).has_value();
}
int DEV_BASIC_INFO::get_element_int_data(int element, int item) const {
  return has_element(element) ? element_datum(element, item).value_or(0) : 0;
}


DEV_DEVICE::DEV_DEVICE() = default;
DEV_DEVICE::~DEV_DEVICE() = default;

namespace {
// The element descriptions with the configured device's element int data
// applied (an empty value makes the datum invalid).
struct DEV_DESC_OVERRIDES {
  std::vector<DEV_ELEMENT_DESC> descs;
  std::vector<const DEV_ELEMENT_DESC*> list;
};
}  // namespace

const std::vector<const DEV_ELEMENT_DESC*>& DEV_BASIC_INFO::get_element_descs() const {
  const auto& over = host::device::spec().element_int_data;
  if (over.empty()) return dev_element_descs();
  std::map<int, std::map<int, int>> data;
  for (const DEV_ELEMENT_DESC* d : dev_element_descs()) {
    auto& items = data[static_cast<int>(d->get_element_enum())];
    for (int item : {20, 21})
      if (d->is_valid_int_enum(item)) items[item] = d->get_int_data(item);
  }
  for (const auto& [key, value] : over) {
    auto& items = data[key.first];
    if (value) items[key.second] = *value;
    else items.erase(key.second);
  }
  DEV_DESC_OVERRIDES& o = host_world_slot<DEV_DESC_OVERRIDES>();
  o.descs.clear();
  o.list.clear();
  o.descs.reserve(data.size());
  for (const auto& [kind, items] : data) o.descs.emplace_back(static_cast<DEV_ELEMENT_ENUM>(kind), items);
  for (const DEV_ELEMENT_DESC& d : o.descs) o.list.push_back(&d);
  return o.list;
}

DEV_DIE_INFO* DEV_DEVICE::get_die_info() const { return host::device::die_info(); }

// ---- bool items
namespace {
std::optional<bool> bool_datum(int item) {
  const auto& over = host::device::spec().basic_bool_data;
  auto it = over.find(item);
  if (it != over.end()) return it->second;
  const host::dc::FAMILY_TABLE& t = host::dc::table(host::device::internal_family_code());
  if (t.device_items.count(item)) return true;
  for (const auto& [type, chain] : t.chains)
    if (host::dc::dev_item_of(type) == item) return true;
  return std::nullopt;
}
}  // namespace

bool DEV_BASIC_INFO::is_valid_bool_data(int item) const { return bool_datum(item).has_value(); }
bool DEV_BASIC_INFO::get_bool_data(int item) const { return bool_datum(item).value_or(false); }
