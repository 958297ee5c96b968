#pragma once
// Command line of velmo-fit.
#include <optional>
#include <string>
#include <vector>

namespace velmo_fit {

struct OPTIONS {
  std::vector<std::string> cfg_items;  // name=value, in order
  std::vector<std::string> cfg_files;
  std::vector<std::string> stages;     // in the order given; empty = none
  bool stages_given = false;           // --stages was on the command line
  std::optional<int> family;
  std::optional<int> device_columns;  // --device: the grid asked for, by columns
  std::string design;         // BLIF file; empty = the built-in default design
  std::string settings_file;  // design settings (JSON)
  std::string report_file;    // JSON report
  std::vector<unsigned> suppressed;
  int debug_level = 0;
  int threads = 4;
  bool help = false;
};

// All stages, in the order they run.
const std::vector<std::string>& all_stages();

// Why `stage` cannot run after the stages in `ran` (in the order they ran),
// or "" when it can: stages run in flow order, each once; route, retime and
// final need a placed design, and retime a routed one. Given a device
// family (0: not known yet), final needs a routed design too where the
// final stage routes nothing (final_stage_routes).
std::string stage_refusal(const std::vector<std::string>& ran, const std::string& stage, int family = 0);

// Whether the final stage of a family routes what is not routed yet (46 and
// 26); on the others its route fix-up only finishes a routed design.
bool final_stage_routes(int family);

// The device families velmo-fit fits (rows of the host's family table the
// component has rules for), and whether a code is one of them.
const std::vector<int>& fit_families();
bool is_fit_family(int code);
std::string family_list();

// Parses argv; false with a reason on bad use.
bool parse_options(int argc, char** argv, OPTIONS* out, std::string* error);

const char* usage();

}  // namespace velmo_fit
