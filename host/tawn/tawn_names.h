#pragma once
// The names of a written netlist: identifiers as Verilog and VHDL take them,
// and the design's bus pins gathered into vector ports.
#include <set>
#include <string>
#include <vector>

#include "common/host_api.h"

namespace host::tawn {

enum class LANG { VERILOG, SYSTEM_VERILOG, VHDL };

// The name with each byte no identifier may hold written as '_': control
// characters, white space and every byte outside ASCII (so "café", whose
// "é" is two bytes in UTF-8, is "caf__"). Empty: "_".
HOST_API std::string printable_name(const std::string& raw);

// Whether the name is written as it is spelled: no byte of it replaced.
HOST_API bool spelled_as_written(const std::string& raw);

// A name as an identifier of the language, its bytes replaced as
// printable_name says and the result then written as any name: plain when
// it is one, else escaped. Verilog escaped identifiers run to white space
// (a space ends every one written here). In VHDL a name is plain when it is
// a basic identifier (letters of either case, digits, single underscores, a
// letter first, no underscore last) that is no reserved word and none of
// the names the netlist's own text uses (ieee, std_logic, rising_edge, ...),
// all read without regard to case; any other name is an extended
// identifier, its backslashes doubled.
HOST_API std::string identifier(const std::string& raw, LANG lang);

// The VHDL extended identifier of a name, whatever the name.
HOST_API std::string vhdl_extended(const std::string& raw);

// What makes two identifiers the same name: a Verilog escaped identifier
// \x is the simple x; a plain VHDL identifier is read without regard to
// case, an extended one as it is written.
HOST_API std::string identifier_key(const std::string& id, LANG lang);

// The identifiers of one scope of a netlist (its ports and nets, or its
// modules), each a name of its own there.
class HOST_API NAME_TABLE {
public:
  explicit NAME_TABLE(LANG lang) : m_lang(lang) {}

  // A name of the netlist (an atom's, a pin's, one derived from them): a
  // name given a suffix never becomes it, and when the design spells it (no
  // byte of it replaced) a net's name with bytes replaced never becomes it
  // either.
  void add_name(const std::string& raw);

  // A port's name (a pin's, a bus's), also a name of the netlist: when the
  // design spells it, no name with bytes replaced becomes it.
  void add_port_name(const std::string& raw);

  // A fresh identifier for a net's name. A name already taken gets "~<n>",
  // the first n giving a name neither taken nor any other name of the
  // netlist; so does a name with bytes replaced that the design spells.
  // VHDL reads a plain name without regard to case: a name equal but for
  // case to one already taken is written extended, which is a name of its
  // own, and keeps its text.
  std::string take(const std::string& raw) { return take(raw, m_spelled); }

  // The same for a port's name, taken before any net's: a name with bytes
  // replaced takes a suffix only when a port spells it. So a pin "café"
  // beside a bus "caf__" is "caf__~1", and the bus keeps its name.
  std::string take_port(const std::string& raw) { return take(raw, m_ports); }

  // An identifier given elsewhere that names of this table must not take.
  void hold(const std::string& id);

private:
  std::string key(const std::string& id) const { return identifier_key(id, m_lang); }
  // `spelled`: the names a name with bytes replaced does not take.
  std::string take(const std::string& raw, const std::set<std::string>& spelled);

  LANG m_lang;
  std::set<std::string> m_taken;    // keys
  std::set<std::string> m_plain;    // the plain identifiers taken, as written
  std::set<std::string> m_names;    // keys of the netlist's names
  std::set<std::string> m_spelled;  // keys of the names the design spells
  std::set<std::string> m_ports;    // keys of the names ports spell
};

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
