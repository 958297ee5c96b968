#pragma once
// Loading a BLIF design into the stand-in world, and sizing a device for it.
//
// The atoms made for a design (names are the BLIF net names):
//   .inputs a      pad "a" -> input buffer "a~ibuf" (drives net a)
//   .outputs y     output buffer "out:y~obuf" -> pad "out:y"
//   .names ... n   one LUT "n" (the natural truth table stored in the
//                  complemented-index form through the builder); a constant
//                  is a LUT without inputs
//   flip-flop q    core register "q": clock, clock enable and synchronous
//                  clear inputs; a falling clock, a low-active enable or a
//                  low-active clear sets the input's inversion bit
//
// The stand-in register model: on the active clock edge, Q becomes 0 when the
// synchronous clear is active, else D when the clock enable is active (or
// absent), else Q keeps its value. The clear thus takes priority over the
// enable, as it does in the flip-flop cells the reader accepts. The model has
// no synchronous set, so a synchronous reset to 1 becomes LUTs in front of the
// register: "q~d" = reset ? 1 : D, and, when the flip-flop has an enable,
// "q~ce" = reset or enable (the polarities folded into both LUTs). The
// power-up value is the register's powers-up flag; "don't care" and
// "unknown" power up low.
#include <string>

#include "dev/dev_spec.h"
#include "testing/blif_reader.h"
#include "vok/vok_atom_netlist.h"

namespace host::testing {

// A design that could not be loaded: "file:line: message" (line 0 when the
// fault has no line).
class DESIGN_LOAD_ERROR {
public:
  explicit DESIGN_LOAD_ERROR(std::string text) : m_text(std::move(text)) {}
  const std::string& what() const { return m_text; }

private:
  std::string m_text;
};

// What a loaded design holds.
struct LOADED_DESIGN {
  std::string name;  // the .model name
  std::string file;
  int inputs = 0;     // input pins (pad + input buffer)
  int outputs = 0;    // output pins (output buffer + pad)
  int luts = 0;       // one per .names, constants included
  int constants = 0;  // of which without inputs
  int registers = 0;
  int helper_luts = 0;  // LUTs made for synchronous resets to 1
};

// algorithm: builds the design's atoms into the world's top netlist, which
// must be empty. On any error nothing is added (the atom id counter is put
// back too) and DESIGN_LOAD_ERROR is thrown.
LOADED_DESIGN load_blif_design(const BLIF_DESIGN& design, const std::string& file);
// Reads and loads; reading errors become DESIGN_LOAD_ERROR as well.
LOADED_DESIGN load_blif_file(const std::string& path);
LOADED_DESIGN load_blif_text(const std::string& text, const std::string& file);

// Resources of a netlist by the site kind they need.
struct RESOURCE_COUNTS {
  int luts = 0;       // LUT sites: combinational, arithmetic and LUT-RAM cells
  int registers = 0;  // register sites: core and pipeline registers
  int pins = 0;       // I/O pins: one per pad atom
  int dsps = 0;
  int rams = 0;
  int plls = 0;
};
RESOURCE_COUNTS count_resources(const VOK_ATOM_NETLIST& netlist);

// algorithm: the smallest grid, growing from the default 12 x 10 one step in
// each direction at a time, whose LABs hold the LUTs and registers at no more
// than `utilisation` of their sites, whose I/O ring has a pin per pad and
// whose DSP and RAM columns hold the blocks. DSP and RAM columns are laid out
// as DEVICE_BUILDER::scale does. The fabric has `routing_tracks` tracks.
// With a placer limit of LUTs and registers per LAB (lab_atom_limit > 0),
// the LABs also hold them all at that limit with 10 % to spare.
// Deterministic.
DeviceSpec size_device(const RESOURCE_COUNTS& need, int family, double utilisation = 0.6,
                       int routing_tracks = DeviceSpec{}.routing_tracks, int lab_atom_limit = 0);

// What velmo-fit sizes devices and places with, measured on the bundled
// designs: the default two tracks route only about one atom per LAB, and a
// full LAB (20 LUTs, 40 registers) asks for more signals than its 80 data
// inputs take. With 24 tracks and at most 14 LUTs and registers per LAB
// every bundled design routes within a few rounds; 16 tracks or no limit
// leave the larger ones (elliptic, frisc) congested or slow.
inline constexpr int kFitRoutingTracks = 24;
inline constexpr int kFitLabAtomLimit = 14;

}  // namespace host::testing
