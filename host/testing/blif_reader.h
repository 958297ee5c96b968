#pragma once
// algorithm: a reader of flat BLIF designs mapped to LUTs of at most six
// inputs: .model, .inputs, .outputs, .names (single-output covers with on-set
// or off-set rows), .latch (with its clock and initial value), constants,
// line continuations and comments, and the gate-level flip-flops that yosys
// writes with no reset or a synchronous one ($_DFF_*, $_DFFE_*, $_SDFF_*,
// $_SDFFE_*, $_SDFFCE_*, every polarity and reset value). Cells it cannot map
// (asynchronous set or reset, formal properties, instances of user modules)
// are refused with the yosys command that removes them.
//
// It produces a plain description of the design; building atoms from it is
// the netlist builder's job. Errors name the file and line; nothing is
// returned for a design with any error.
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace host::testing {

struct BLIF_LUT {
  std::vector<std::string> inputs;  // at most six
  std::string output;
  // Natural truth table: bit m is the output when input i has the value of
  // bit i of m.
  std::uint64_t truth = 0;
  int line = 0;
};

// A D flip-flop. Optional pins are empty strings.
struct BLIF_FF {
  std::string d, q, clock;
  bool clock_falling = false;
  std::string enable;
  bool enable_active_low = false;
  std::string reset;  // synchronous; takes priority over the enable...
  bool reset_active_low = false;
  // ...unless it acts only while the enable is active ($_SDFFCE_*).
  bool reset_needs_enable = false;
  int reset_value = 0;
  // Power-up value: 0, 1, or 2/3 for "don't care"/"unknown".
  int init = 3;
  std::string cell;  // ".latch" or the yosys cell type
  int line = 0;
};

struct BLIF_DESIGN {
  std::string model;
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  std::vector<BLIF_LUT> luts;  // constants are LUTs without inputs
  std::vector<BLIF_FF> ffs;
  // Nets used but never driven, with the line of their first use (read with
  // undriven nets allowed; otherwise such a net is an error).
  std::vector<std::pair<std::string, int>> undriven;
  // "file:line: text" for what reads but may not be what was meant (a file
  // that ends without .end names its last line).
  std::vector<std::string> warnings;
};

class BLIF_ERROR {
public:
  BLIF_ERROR(std::string file, int line, std::string message);
  // "file:line: message", or "file: message" when the fault has no line.
  std::string what() const;
  std::string file;
  int line;
  std::string message;
};

// The text with control bytes (a NUL among them) written as \xNN, so a
// message quoting a file's contents stays one printable line.
std::string printable(const std::string& text);

// Throws BLIF_ERROR. With `allow_undriven`, a net used but never driven is
// listed in BLIF_DESIGN::undriven instead (sweep_dead_logic decides whether
// anything that matters reads it).
BLIF_DESIGN read_blif(std::istream& in, const std::string& file_name, bool allow_undriven = false);
BLIF_DESIGN read_blif_file(const std::string& path, bool allow_undriven = false);

}  // namespace host::testing
