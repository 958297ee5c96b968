#pragma once
// The names of a written netlist: identifiers as Verilog and VHDL take them,
// and the design's bus pins gathered into vector ports.
#include <string>
#include <vector>

#include "common/host_api.h"

namespace host::tawn {

enum class LANG { VERILOG, SYSTEM_VERILOG, VHDL };

// A name as an identifier of the language: plain when it is one, else
// escaped. Verilog escaped identifiers run to white space (a space ends
// every one written here). In VHDL a name is plain when it is a basic
// identifier (letters of either case, digits, single underscores, a letter
// first, no underscore last) that is no reserved word and none of the names
// the netlist's own text uses (ieee, std_logic, rising_edge, ...), all read
// without regard to case; any other name is an extended identifier, its
// backslashes doubled. Characters no identifier may hold become '_'.
HOST_API std::string identifier(const std::string& raw, LANG lang);

// The VHDL extended identifier of a name, whatever the name.
HOST_API std::string vhdl_extended(const std::string& raw);

// What makes two identifiers the same name: a Verilog escaped identifier
// \x is the simple x; a plain VHDL identifier is read without regard to
// case, an extended one as it is written.
HOST_API std::string identifier_key(const std::string& id, LANG lang);

// A pin of the design in the order the design lists it.
struct PIN {
  std::string name;
  bool output;
};

// Pins named "<base>[<i>]" (i a decimal index) that share a base and a
// direction and whose indices run by one, up or down, in the pins' order,
// form one vector port named base, its range from the index of the last of
// them to the index of the first. Bits that do not (a hole, a repeated or
// out-of-order index, a base that is also a pin's whole name or is used by
// pins of both directions) stay scalar pins.
struct BUS {
  std::string base;
  bool output = false;
  int left = 0;   // the index of the last bit listed
  int right = 0;  // the index of the first
};
struct PIN_PLACE {
  int bus = -1;  // the pin's bus in the list, -1 for a scalar pin
  int bit = 0;   // its index in the bus
};
HOST_API std::vector<BUS> gather_buses(const std::vector<PIN>& pins, std::vector<PIN_PLACE>* places);

}  // namespace host::tawn
