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
//   Verilog, 4 SystemVerilog).
// Every key is optional; an unknown key is an error naming it.
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/partition_settings.h"
#include "vok/vok_atom_netlist.h"

namespace host::testing {

class DESIGN_SETTINGS_ERROR : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct DESIGN_SETTINGS {
  struct OPTION {
    int id = 0;
    int type = 1;
    std::string value;
    std::string instance;  // "" for a project option
  };
  std::optional<int> family;
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
};

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

}  // namespace host::testing
