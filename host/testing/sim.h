#pragma once
// A cycle simulator for functional-equivalence tests: one over the atom
// netlist (the stand-in register model) and one over a BLIF description
// (the flip-flop cells' own meaning), with the same cycle semantics.
//
// Each cycle: the inputs take the cycle's values, the combinational logic
// settles, the outputs are sampled, then every register takes its active
// clock edge (every clock ticks once per cycle, whatever its polarity).
// Registers start at their power-up value.
//
// Netlist: input pins are pad atoms without inputs, output pins pad atoms fed
// through their data input; input and output buffers pass their value, LUT
// cells evaluate their mask with host::lut_eval (over 8 inputs for a cell
// with atom bit 44), an input's inversion bit inverts what it reads, a tied
// input reads its tie. Arithmetic cells: F0 and F1 are the 4-input functions
// of mask bits 0-15 and 16-31; the sum output is F0 xor carry-in, the
// carry-out is the carry-in when F0 holds, else F1. Registers: Q becomes 0
// when the synchronous clear is active, else D when the clock enable is
// active (or absent), else keeps its value; a bypassed register (bool
// parameter 5) is a wire from its data input.
//
// BLIF: the flip-flop cells as yosys defines them: on the clock edge Q takes
// the reset value while the reset is active (for $_SDFFCE_* only while the
// enable is active too), else D while the enable is active (or absent), else
// keeps its value; each polarity as the cell's name gives it.
#include <string>
#include <vector>

#include "testing/blif_reader.h"
#include "vok/vok_atom_netlist.h"

namespace host::testing {

// Per cycle, the value of each output in the order asked.
using SIM_TRACE = std::vector<std::vector<bool>>;

// `stimuli[c][i]` is the value of input pad `inputs[i]` in cycle c; outputs
// name output pads. An unknown name, or an atom the simulator does not model
// in the cone of an output or a register, or a combinational loop, throws
// std::runtime_error.
SIM_TRACE simulate(const VOK_ATOM_NETLIST& netlist, const std::vector<std::string>& inputs,
                   const std::vector<std::string>& outputs, const std::vector<std::vector<bool>>& stimuli);

// The same over a BLIF description; inputs and outputs name its nets.
SIM_TRACE simulate_blif(const BLIF_DESIGN& design, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& outputs, const std::vector<std::vector<bool>>& stimuli);

}  // namespace host::testing
