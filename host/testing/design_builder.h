#pragma once
// Builders of the stand-in world for tests and velmo-fit: the device, and
// (as the data model grows) the design on it.
#include <set>
#include <vector>
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
  // Grid size in tiles (columns, rows) and the DSP and RAM columns.
  DEVICE_BUILDER& grid(int nx, int ny) {
    m_spec.nx = nx;
    m_spec.ny = ny;
    return *this;
  }
  DEVICE_BUILDER& routing_tracks(int tracks) {
    m_spec.routing_tracks = tracks;
    return *this;
  }
  DEVICE_BUILDER& wire_pipeline_slots(bool on) {
    m_spec.wire_pipeline_slots = on;
    return *this;
  }
  DEVICE_BUILDER& pins_per_pad_tile(int pins) {
    m_spec.pins_per_pad_tile = pins;
    return *this;
  }
  DEVICE_BUILDER& dsp_columns(std::vector<int> columns) {
    m_spec.dsp_columns = std::move(columns);
    return *this;
  }
  DEVICE_BUILDER& ram_columns(std::vector<int> columns) {
    m_spec.ram_columns = std::move(columns);
    return *this;
  }
  // Routing elements the die's blacklisting holds.
  DEVICE_BUILDER& blacklist(std::vector<DEV_ELEMENT_REF> elements) {
    m_spec.blacklist.insert(m_spec.blacklist.end(), elements.begin(), elements.end());
    return *this;
  }
  DEVICE_BUILDER& blacklist_gids(std::vector<unsigned> gids) {
    m_spec.blacklist_gids.insert(m_spec.blacklist_gids.end(), gids.begin(), gids.end());
    return *this;
  }
  // Placement gids the die reports as not enabled.
  DEVICE_BUILDER& disable_locations(std::set<unsigned> gids) {
    m_spec.disabled_locations.insert(gids.begin(), gids.end());
    return *this;
  }
  DEVICE_BUILDER& corners(std::vector<DeviceCorner> corners) {
    m_spec.corners = std::move(corners);
    return *this;
  }
  // The device's enum and a base device of a device enum (DEV_PART_MANAGER).
  DEVICE_BUILDER& device_enum(int device) {
    m_spec.device_enum = device;
    return *this;
  }
  DEVICE_BUILDER& base_device(int device, int base) {
    m_spec.base_devices[device] = base;
    return *this;
  }
  // Basic-information int data and element int data (an empty value makes
  // the datum invalid; naming an element makes it exist).
  DEVICE_BUILDER& basic_int_data(int item, std::optional<int> value) {
    m_spec.basic_int_data[item] = value;
    return *this;
  }
  DEVICE_BUILDER& element_int_data(int element, int item, std::optional<int> value) {
    m_spec.element_int_data[{element, item}] = value;
    return *this;
  }
  // Basic-information bool items (an empty value makes the item invalid).
  DEVICE_BUILDER& basic_bool_data(int item, std::optional<bool> value) {
    m_spec.basic_bool_data[item] = value;
    return *this;
  }
  // Benchmarks: a grid of about n x n tiles with DSP and RAM columns spread
  // like the default grid's.
  DEVICE_BUILDER& scale(int nx, int ny);
  // Makes this the world's device.
  const DeviceSpec& build();

private:
  DeviceSpec m_spec;
};

inline DEVICE_BUILDER device(int family) { return DEVICE_BUILDER(family); }

using Corner = DeviceCorner;

// Routing elements by place, for blacklists and slots: LAB input mux i
// (0..79) of tile (x, y); any element by kind, tile and index.
inline DEV_ELEMENT_REF lab_input(int x, int y, int i) { return DEV_ELEMENT_REF{282, x, y, i}; }
inline DEV_ELEMENT_REF element_ref(int kind, int x, int y, int index) { return DEV_ELEMENT_REF{kind, x, y, index}; }
// The gid of a referenced element on the world's device; 0xFFFFFFFF when
// there is none.
unsigned gid_of(const DEV_ELEMENT_REF& ref);
// The gid of LAB output k (0..39) of tile (x, y) on the world's device.
unsigned lab_output_gid(int x, int y, int k);

}  // namespace host::testing
