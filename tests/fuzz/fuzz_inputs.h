#pragma once
// What the fuzz targets do with one input, shared with the regression test
// that replays every input that once failed (tests/fuzz/regressions/<target>/).
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "common/host_control.h"
#include "testing/blif_design.h"
#include "testing/design_settings.h"
#include "velmo_fit_options.h"
#include "vok/vok_atom_netlist.h"

namespace velmo_fuzz {

// Loads a BLIF text; a refused design is the expected answer to bad input.
inline void blif_input(const std::string& text) {
  host_reset();
  try {
    host::testing::load_blif_text(text, "fuzz.blif");
  } catch (const host::testing::DESIGN_LOAD_ERROR&) {
  }
}

// Parses a settings text and applies it to a small design with a rising- and
// a falling-edge register and an output pin; a refused settings file is the
// expected answer to bad input.
inline void settings_input(const std::string& text) {
  host_reset();
  host::testing::load_blif_text(".model f\n.inputs clk a b\n.outputs y\n.names a b n\n11 1\n.latch n q re clk 0\n"
                                ".latch q r fe clk 0\n.names r y\n1 1\n.end\n",
                                "fuzz.blif");
  try {
    const auto settings = host::testing::parse_design_settings(text, "fuzz.json");
    host::testing::apply_design_settings(settings, *host::vok::top_netlist(), "fuzz.json");
  } catch (const host::testing::DESIGN_SETTINGS_ERROR&) {
  }
}

// One of the newer settings keys with the input as its value: the first
// byte chooses the key (its value modulo 4: partitions, io_delays, eda,
// assignments), the rest is the key's JSON value, in settings that declare
// the clock the I/O delays name.
inline void settings_key_input(const std::string& data) {
  static const char* const keys[] = {"partitions", "io_delays", "eda", "assignments"};
  if (data.empty()) return;
  settings_input(std::string("{\"clocks\": {\"clk\": 1000}, \"") + keys[static_cast<unsigned char>(data[0]) % 4] +
                 "\": " + data.substr(1) + "}");
}

// A --cfg item as velmo-fit takes it: the command line accepts it or says
// why; an accepted item is stored and read back as an integer and a
// boolean (an unreadable value gives the default).
inline void cfg_input(const std::string& item) {
  host_reset();
  std::vector<std::string> words = {"velmo-fit", "--cfg", item};
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  velmo_fit::OPTIONS options;
  std::string error;
  if (!velmo_fit::parse_options(static_cast<int>(argv.size()), argv.data(), &options, &error)) return;
  if (!host::cfg::set_from_assignment(item, &error)) return;
  for (const auto& [name, value] : host::cfg::snapshot()) {
    cfg_get_int_value(name.c_str(), 0);
    cfg_is_on(name.c_str(), false);
  }
}

}  // namespace velmo_fuzz
