#pragma once
// What the fuzz targets do with one input, shared with the regression test
// that replays every input that once failed (tests/fuzz/regressions/).
#include <string>

#include "common/host_control.h"
#include "testing/blif_design.h"
#include "testing/design_settings.h"
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

}  // namespace velmo_fuzz
