#pragma once
// data: the one configured device. Its family picks a row of the family
// table, which decides the family codes, the traits and the ZOTA checks.
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>
#include "common/host_api.h"

// A routing element named by its place in the grid instead of its gid, so a
// test can name elements before the device is generated (kind, tile, index).
struct DEV_ELEMENT_REF {
  int kind = 0;
  int x = 0;
  int y = 0;
  int index = 0;
  bool operator==(const DEV_ELEMENT_REF&) const = default;
};

// A timing corner of the device. Hop delays of the routing graph are the slow
// corner's times scaled by delay_scale().
struct DeviceCorner {
  enum KIND : int { SLOW = 0, FAST = 1, FASTEST_SLOW = 2, TYPICAL = 3 };
  int speed_grade = 1;
  int kind = SLOW;
  int millivolts = 900;
  int celsius = 100;
  bool is_hold_only = false;
  bool operator==(const DeviceCorner&) const = default;

  static DeviceCorner slow() { return DeviceCorner{}; }
  static DeviceCorner fast() { return DeviceCorner{1, FAST, 900, -40, false}; }
  // A fast corner analysed for hold only.
  static DeviceCorner hold_only() { return DeviceCorner{1, FAST, 900, -40, true}; }
  // slow 1.0, fastest_slow and typical 0.8, fast 0.65; each times
  // (1 + 0.001 * (900 - mV)).
  double delay_scale() const {
    double base = kind == FAST ? 0.65 : (kind == SLOW ? 1.0 : 0.8);
    return base * (1.0 + 0.001 * (900 - millivolts));
  }
};

struct DeviceSpec {
  int family = 46;
  // Base family code different from the table's (the internal code stays).
  std::optional<int> base_family_override;
  // false clears the "retimer supported" ZOTA check only.
  bool zota_flow_supported = true;
  // Part traits (e.g. 32 VID part, 42 floor pulse level 0); off by default.
  std::set<int> part_traits;
  // The device's enum (DEV_BASIC_INFO::get_device_enum).
  int device_enum = 1;
  // Zento debugging flow switch (ZEL_DEV_ZOTA_UTIL); off by default.
  bool zento_retimer_debugging_flow = false;
  // Zento Nimbrel-emulate flow switch (ZEL_DEV_ZOTA_UTIL); off by default.
  bool zento_nimbrel_emulate = false;
  // The Zento retimer switched off on a device that supports it.
  bool zento_retimer_disabled = false;
  // ZOTA depopulation switches (ZEL_DEV_ZOTA_UTIL): depopulation enabled,
  // enabled by instance assignments, and the RF-PAR flow; off by default.
  bool zota_depopulation = false;
  bool zota_depopulation_by_instance = false;
  bool rfpar = false;
  // Early (prefit) retiming enabled on the device; off by default.
  bool early_retiming = false;
  // Zento-aware timing optimization (resynthesis may use the retiming-aware analysis).
  bool zento_aware_optimize_timing = false;

  // Grid (columns x, rows y). Pads on the left, right and bottom edges,
  // periphery blocks on the top row, PLLs in the corners, DSP and RAM
  // columns as listed, LABs everywhere else.
  int nx = 12;
  int ny = 10;
  // Routing tracks per direction and wire length; a tile has 8 x this many
  // wires. Real designs need a wider fabric than the small test devices.
  int routing_tracks = 2;
  // I/O pins per pad tile (each pin has its own sites and block ports). The
  // small test devices have two; sized devices as many as a real I/O bank.
  int pins_per_pad_tile = 2;
  // The long (length-4) wires of LAB tiles hold pipeline-register slots as
  // well, on families with pipeline registers in routing, so that a route
  // between LABs can pass several slots; off by default.
  bool wire_pipeline_slots = false;
  std::vector<int> dsp_columns{4, 8};
  std::vector<int> ram_columns{6};
  // Routing blacklist: elements by reference and raw routing gids.
  std::vector<DEV_ELEMENT_REF> blacklist;
  std::vector<unsigned> blacklist_gids;
  // Placement gids the die reports as not enabled.
  std::set<unsigned> disabled_locations;
  // Timing corners; the part's defaults are slow and fast.
  std::vector<DeviceCorner> corners{DeviceCorner::slow(), DeviceCorner::fast()};
  // Basic-information int data overriding the defaults; an empty value makes
  // the datum invalid.
  std::map<int, std::optional<int>> basic_int_data;
  // Element int data (element kind, item) overriding the defaults; naming an
  // element makes it exist, an empty value makes the datum invalid.
  std::map<std::pair<int, int>, std::optional<int>> element_int_data;
  // Basic-information bool items overriding the family's defaults (items 53,
  // 77, 105, 114, 119, 154 and the per-chain items of host::dc); an empty
  // value makes the item invalid.
  std::map<int, std::optional<bool>> basic_bool_data;
  // Base devices (DEV_PART_MANAGER::get_base_device_of): device enum -> its
  // base device; a device not named has none.
  std::map<int, int> base_devices;

  bool operator==(const DeviceSpec&) const = default;
};

namespace host::device {
HOST_API void configure(const DeviceSpec& spec);
HOST_API const DeviceSpec& spec();
}  // namespace host::device
