#pragma once
// data: the description of a device element kind: integer data by item, each
// with a valid flag. The stand-in describes its routing kinds:
//  - item 20, the wire class: 4 for H wires (700), 5 for V wires (701), 1 for
//    LAB port muxes (282) and block inputs (702), 6 for LAB feedback (279), 7
//    for block and periphery outputs (283, 284), 11 for block ports (659);
//    global clock taps (318) and PMUXes (1929) have none;
//  - item 21, the fanout limit a routing tree may give the element: 6 for H
//    and V wires, 10 for LAB feedback lines; other kinds have none.
// A test may override one datum of a kind until the next host reset.
#include <map>
#include <vector>
#include "common/host_api.h"
#include "dev/dev_element_enum.h"

class HOST_API DEV_ELEMENT_DESC {
public:
  DEV_ELEMENT_DESC() = default;
  DEV_ELEMENT_DESC(DEV_ELEMENT_ENUM element, std::map<int, int> int_data)
      : m_element(element), m_int_data(std::move(int_data)) {}
  DEV_ELEMENT_ENUM get_element_enum() const { return m_element; }
  bool is_valid_int_enum(int item) const { return m_int_data.count(item) != 0; }
  // 0 when the item is not valid.
  int get_int_data(int item) const {
    auto it = m_int_data.find(item);
    return it == m_int_data.end() ? 0 : it->second;
  }
  void set_int_data(int item, int value) { m_int_data[item] = value; }

private:
  DEV_ELEMENT_ENUM m_element = DEV_ELEMENT_NONE;
  std::map<int, int> m_int_data;
};

// data: the description of a kind (a description without data for kinds the
// stand-in does not describe), and every described kind in kind order.
HOST_API const DEV_ELEMENT_DESC& dev_element_desc(int kind);
HOST_API const std::vector<const DEV_ELEMENT_DESC*>& dev_element_descs();
// test hook: sets one integer datum of a kind's description (valid from now
// on) until the next host reset, e.g. a lower fanout limit (item 21).
HOST_API void dev_set_element_int_datum(int kind, int item, int value);
