#pragma once
// Design settings: what a BLIF file cannot carry, as JSON.
//
//   {
//     "family": 46,
//     "options": [{"id": 816, "type": 1, "value": "on"}],
//     "assignments": [{"instance": "acc_reg", "id": 1032, "type": 4, "value": "3"}],
//     "cfg": {"name": "value"},
//     "clocks": {"clk": 2000},
//     "io_delays": {"din": {"clock": "clk", "max": 300, "min": 100}},
//     "eda": {"output_dir": "simulation", "netlist_type": 3}
//   }
//
// - family: the device family code;
// - options: project options of the default section (type 1 bool, 4 int,
//   6 enumerated);
// - assignments: per-instance settings, stored as options of the instance's
//   section (what OMZ_DERIVED_OPTION::get_single_option reads for that
//   instance); the instance must name an atom of the design;
// - cfg: configuration variables;
// - clocks: clock nets of the design and their periods in ps, declared to
//   the timing analysis with the net's driver as the source;
// - global_clocks: clock nets whose registers read them over a global
//   network (their clock inputs get the GCLK connection code);
// - io_delays: input or output delays of design pins (pad names; output pads
//   of BLIF designs are "out:<name>") relative to a clock of "clocks", max and
//   min in ps (max at least min).
// - partitions: the design's partitions (see partition_settings.h);
// - eda: the simulation tool's netlist directory and language (2 VHDL, 3
//   Verilog, 4 SystemVerilog);
// - device_columns: the device of velmo-fit's series to fit on, by its
//   columns, instead of the one sized to the design;
// - device: device switches, name: true or false ("device": {"early_retiming":
//   true}); an unknown name is an error;
// - periphery: periphery blocks the design instantiates, each
//   {"name", "kind": "UIB" | "ESRAM", "site": [x, y], "inputs": [net...],
//   "outputs": [net...]}: input k of the block is driven by the k-th net of
//   "inputs"; output k takes over every load of the k-th net of "outputs"
//   (at most 4 of each). A net is named by its driver (a design input by its
//   pin). The block is placed at the site once the device is built
//   (place_periphery_blocks).
// - lpclk: clock nets given a low-power clock buffer (clock type LPCLK)
//   named "<net>~lpclk", which takes over the net's loads.
// Numbers outside their range (setting_ranges) are errors naming the key.
// Every key is optional; an unknown key is an error naming it.
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dev/dev_spec.h"
#include "testing/partition_settings.h"
#include "vok/vok_atom_netlist.h"

namespace host::testing {

class DESIGN_SETTINGS_ERROR : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The range of a numeric setting, both ends included. Times are bounded so
// that the timing arithmetic on any two of them (sums, differences, a half
// period) stays within 32 bits.
inline constexpr int kMaxSettingsTimePs = 100000000;  // 100 us
struct SETTING_RANGE {
  const char* key;
  int low;
  int high;
  const char* what;
};
const std::vector<SETTING_RANGE>& setting_ranges();
// The range of a key of setting_ranges(), or null.
const SETTING_RANGE* setting_range(const std::string& key);

struct DESIGN_SETTINGS {
  struct OPTION {
    int id = 0;
    int type = 1;
    std::string value;
    std::string instance;  // "" for a project option
  };
  std::optional<int> family;
  std::optional<int> device_columns;
  std::vector<OPTION> options;
  std::vector<OPTION> assignments;
  std::map<std::string, std::string> cfg;
  std::map<std::string, int> clocks;  // net -> period (ps)
  struct IO_DELAY {
    std::string clock;
    int max_ps = 0;
    int min_ps = 0;
  };
  std::map<std::string, IO_DELAY> io_delays;  // pin -> delay
  std::vector<std::string> global_clocks;  // clock nets on global networks
  // The device's long wires in LAB tiles hold pipeline slots too (the caller
  // configures the device).
  bool wire_pipeline_slots = false;
  std::vector<PARTITION_SETTING> partitions;
  struct EDA {
    std::string output_dir = "simulation";
    int netlist_type = 3;
  };
  std::optional<EDA> eda;
  // Device switches by name ("device": {"early_retiming": true, ...}); the
  // names are those of device_flag_names().
  std::map<std::string, bool> device;
  struct PERIPHERY_BLOCK {
    std::string name;
    std::string kind;  // "UIB" or "ESRAM"
    int x = -1;
    int y = -1;
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
  };
  std::vector<PERIPHERY_BLOCK> periphery;
  std::vector<std::string> lpclk;
};

// The device switches a settings file may set: "early_retiming",
// "zota_depopulation", "zota_depopulation_by_instance", "rfpar" and
// "zento_aware_optimize_timing".
const std::vector<std::string>& device_flag_names();
// Sets the listed switches on the device description.
void apply_device_flags(const std::map<std::string, bool>& flags, DeviceSpec* spec);

// Parses settings text; errors read "<file>: <what>" and throw
// DESIGN_SETTINGS_ERROR.
DESIGN_SETTINGS parse_design_settings(const std::string& text, const std::string& file);
DESIGN_SETTINGS read_design_settings_file(const std::string& path);

// Checks the settings against a loaded design (assignment instances name
// atoms, clocks name nets of the design) and applies options, assignments
// and configuration variables, and declares the clocks. The family is the caller's to use when it
// configures the device. Throws DESIGN_SETTINGS_ERROR before applying
// anything when a check fails.
void apply_design_settings(const DESIGN_SETTINGS& settings, const VOK_ATOM_NETLIST& netlist, const std::string& file);

// Places the periphery blocks of the settings (which apply_design_settings
// created) at their sites of the configured device. Throws
// DESIGN_SETTINGS_ERROR when a site is outside the device or holds no block
// of that kind (the message lists the device's sites of the kind).
void place_periphery_blocks(const DESIGN_SETTINGS& settings, const std::string& file);

}  // namespace host::testing
