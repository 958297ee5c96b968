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
// "q~ce" = reset or enable (the polarities folded into both LUTs). A reset
// that acts only while the enable is active ($_SDFFCE_*, either value) is
// "q~d" = reset ? value : D, with the enable the register's own. The
// power-up value is the register's powers-up flag; "don't care" and
// "unknown" power up low.
#include <functional>
#include <string>

#include "dev/dev_spec.h"
#include "testing/blif_reader.h"
#include "testing/blif_sweep.h"
#include "tibex/tibex_placer.h"
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
  int helper_luts = 0;  // LUTs made for synchronous resets to 1 or gated by the enable
  // What the dead-logic sweep removed before loading (load_swept_blif_*).
  SWEEP_RESULT removed;
  std::vector<std::string> warnings;  // the reader's (BLIF_DESIGN::warnings)
};

// algorithm: builds the design's atoms into the world's top netlist, which
// must be empty. On any error nothing is added (the atom id counter is put
// back too) and DESIGN_LOAD_ERROR is thrown.
LOADED_DESIGN load_blif_design(const BLIF_DESIGN& design, const std::string& file);
// Reads and loads; reading errors become DESIGN_LOAD_ERROR as well.
LOADED_DESIGN load_blif_file(const std::string& path);
LOADED_DESIGN load_blif_text(const std::string& text, const std::string& file);
// A design as velmo-fit takes it: read with undriven nets allowed, its dead
// logic swept (sweep_dead_logic, the periphery blocks' input nets
// `kept_nets` counting as sinks), the rest loaded. Errors as above.
LOADED_DESIGN load_swept_blif_file(const std::string& path, const std::vector<std::string>& kept_nets);
LOADED_DESIGN load_swept_blif_text(const std::string& text, const std::string& file,
                                   const std::vector<std::string>& kept_nets);

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

// How a device is sized to a design.
struct SIZING {
  double utilisation = 0.6;  // of the LABs' LUT and register sites
  int routing_tracks = DeviceSpec{}.routing_tracks;
  // With a placer limit of LUTs and registers per LAB (> 0), the LABs also
  // hold them all at that limit with 10 % to spare.
  int lab_atom_limit = 0;
  int pins_per_pad_tile = DeviceSpec{}.pins_per_pad_tile;
  // The largest grid offered: at most this many columns (rows two fewer).
  // At 24 tracks its routing graph and the router's arrays take about 1 GB
  // (at the 40 velmo-fit's sizing gives it, about 1.4 GB); it holds about
  // 10,000 LABs and 2,800 pins at eight per pad tile.
  int max_columns = 120;
  // > 0: the routing tracks grow with the LABs the design needs beyond this
  // many (see scaled_routing_tracks); 0 keeps routing_tracks whatever the size.
  int track_reference_labs = 0;
};

// algorithm: routing tracks for a design needing `labs_needed` LABs: `base`
// up to `reference_labs`, beyond that base x (labs_needed / reference_labs)
// to the power 0.3, rounded up, at most 40. Wiring demand per tile grows with
// the design (its nets get longer as the placement spreads, as Rent's rule
// has it), while a fabric of fixed width does not: measured on merged copies
// of frisc, four copies (1,700 LABs) at 24 tracks left 31,000 elements
// overused after the first round and did not converge in 30 rounds; at 32
// tracks they route in about ten. Eight copies (3,400 LABs) took 13 rip-up
// rounds at 36 tracks (power 0.2) and route faster at 40 (0.3), for the
// same peak memory: the narrower fabric's extra rounds cost more than the
// wider graph. The power keeps the graph's memory close to linear in the
// design.
int scaled_routing_tracks(int base, double labs_needed, int reference_labs);

// algorithm: the smallest grid of the series 12 x 10, 13 x 11, ... (columns
// two more than rows) whose LABs hold the LUTs and registers, whose I/O ring
// has a pin per pad and whose DSP and RAM columns hold the blocks; DSP and
// RAM columns are laid out as DEVICE_BUILDER::scale does. The size is solved
// from the resource counts of each grid of the series (a bisection; no grid
// is built). False when even the largest grid cannot hold the design:
// `why` then names each resource that does not fit, with what the design
// needs and what the largest grid has. Deterministic.
bool solve_device_size(const RESOURCE_COUNTS& need, int family, const SIZING& sizing, DeviceSpec* out,
                       std::string* why);

// Grid k of the series (12 + k columns, 10 + k rows) with the sizing's
// settings.
DeviceSpec sizing_series_spec(int k, int family, const SIZING& sizing);

// The capacity of one grid of the series: what solve_device_size compares.
struct GRID_CAPACITY {
  int labs = 0, pins = 0, dsps = 0, rams = 0, plls = 4;
};
GRID_CAPACITY grid_capacity(const DeviceSpec& spec);

// solve_device_size with the other settings at their defaults; throws
// std::length_error (with the reason) when the design does not fit.
DeviceSpec size_device(const RESOURCE_COUNTS& need, int family, double utilisation = 0.6,
                       int routing_tracks = DeviceSpec{}.routing_tracks, int lab_atom_limit = 0);

// What velmo-fit sizes devices and places with, measured on the bundled
// designs: the default two tracks route only about one atom per LAB, and a
// full LAB (20 LUTs, 40 registers) asks for more signals than its 80 data
// inputs take. With 24 tracks and at most 14 LUTs and registers per LAB
// every bundled design routes within a few rounds; 16 tracks or no limit
// leave the larger ones (elliptic, frisc) congested or slow. Once the grid
// follows the logic (not the pin count) the LABs are nearly all full, and at
// 14 merged copies of the larger designs take twice the router rounds and
// time of a limit of 10, which leaves the fabric room to negotiate.
inline constexpr int kFitRoutingTracks = 24;
inline constexpr int kFitLabAtomLimit = 10;
// Pins per pad tile of the devices velmo-fit sizes, as a real I/O bank has:
// the core grid then follows the logic, not the pin count.
inline constexpr int kFitPinsPerPadTile = 8;
// LABs up to which velmo-fit's devices keep kFitRoutingTracks (the largest
// bundled design, frisc, needs about 420); larger designs get more tracks.
inline constexpr int kFitTrackReferenceLabs = 450;

// Sizes the device to the top netlist with velmo-fit's settings above and
// configures it; false with the reason when no device of the family holds it.
// `columns` > 0 asks for that grid of the series instead (12 + k columns),
// which must hold the design and be no larger than the largest.
// `extra_registers` more registers than the netlist has are given room (what
// a pass of the flow may add before placement); `adjust`, when given, sets
// switches on the sized device's description before it is built.
bool configure_fit_device(int family, std::string* why, int columns = 0, int extra_registers = 0,
                          const std::function<void(DeviceSpec*)>& adjust = {});

// algorithm: the least limit of LUTs and registers per LAB the placer may
// spread the design to on the device configure_fit_device set up last: the
// design's share of the device's LABs with 5 % to spare (rounded up), no
// more than kFitLabAtomLimit and no less than half of it (paths across a
// device many times too large stay short enough).
int fit_spread_limit();
// velmo-fit's placer options on that device: kFitLabAtomLimit, and the
// spread limit above when it is lower. The placer spreads only a placement
// whose estimated routing demand exceeds the tracks' supply (see
// PLACER_OPTIONS::spread_limit): a large design packed to the limit in one
// part of a wider device routed as slowly as on the sized one (a 5,000-LAB
// store buffer beside a core: 72 s for the first routing round, over 15
// minutes in all), while spreading an uncongested design only lengthened
// its paths (frisc x 2 on a device three times its size: 5.4 ns worse
// setup slack).
host::placement::PLACER_OPTIONS fit_placer_options();

}  // namespace host::testing
