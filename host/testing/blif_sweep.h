#pragma once
// algorithm: removing the logic of a BLIF design that nothing that matters
// reads. A LUT or flip-flop stays when an output pin, or a net the caller
// names (a periphery block's input), can be reached from it through LUTs and
// flip-flops: a backward walk from those sinks over the drivers of the nets
// each kept element reads (a flip-flop's data, clock, enable and reset). The
// rest goes, whatever it reads: synthesis tools keep named wires, and a wire
// that lost its driver is often read only by such logic.
//
// A net used but never driven (read_blif with undriven nets allowed) that
// kept logic still reads is an error naming the net, one kept register or
// pin it reaches and the yosys commands that find or tie it. A design left
// with no register and no input pin that any output depends on gets a
// warning (BLIF_DESIGN::warnings): every output is a constant.
#include <string>
#include <vector>

#include "testing/blif_reader.h"

namespace host::testing {

struct SWEEP_RESULT {
  int luts = 0;       // LUTs removed (constants included)
  int registers = 0;  // flip-flops removed
  // Kept LUTs of one input that pass it unchanged (aliases of a net that
  // kept logic reads).
  int identity_luts = 0;
  // The outputs of what was removed, in the design's order.
  std::vector<std::string> names;
};

// Sweeps `design` (read from `file`) in place, keeping the order of what
// stays. `kept_nets` name the nets periphery blocks read, sinks besides the
// output pins; a name no element drives is ignored. Throws BLIF_ERROR (at
// the line of the kept element that reads the net) for an undriven net kept
// logic reads; the design is then unchanged.
SWEEP_RESULT sweep_dead_logic(BLIF_DESIGN& design, const std::string& file,
                              const std::vector<std::string>& kept_nets = {});

// "Removed N LUTs and M registers that reach no output pin" (singular for
// 1), with the kept identity LUTs when there are any.
std::string sweep_summary(const SWEEP_RESULT& result);

}  // namespace host::testing
