#pragma once
// Writes an atom netlist as a structural gate-level netlist in Verilog,
// SystemVerilog or VHDL: one module (entity) named after the netlist's
// design whose ports are the pins.
//
// What each atom becomes:
//   input pad                  an input port; output pad an output port
//                              driven by the pad's data input, named as
//                              the design's output (the pad "out:y" gives
//                              the port y)
//   I/O buffer                 a wire from its data input
//   LUT cell                   its table looked up by its inputs (input 0
//                              the index's lowest bit), the table holding
//                              the mask as host::lut_eval reads it (8
//                              inputs with atom bit 44): in Verilog the
//                              table shifted right by the inputs'
//                              concatenation, in VHDL a call of the
//                              function velmo_lut the architecture
//                              declares; a constant function its constant
//   arithmetic cell            F0 and F1 (mask bits 0-15 and 16-31 over
//                              inputs 0-3, each a table as a LUT's);
//                              sum = F0 xor carry-in,
//                              carry-out = carry-in when F0, else F1
//   register                   a flip-flop on its clock's edge (falling when
//                              the clock input is inverted) starting at its
//                              power-up value: cleared by an active
//                              synchronous clear, else loading its data when
//                              the enable is active or absent; an
//                              asynchronous clear clears it at once. A
//                              bypassed register is a wire from its data.
//   black box with contents    its child netlist, flattened in place; the
//                              child's atoms named "<box>|<atom>" (a name
//                              that already starts so is kept)
//   any other atom             an instance of an empty module of its kind
//                              ("velmo_<kind>") declared in the same file,
//                              with a port per term its instances have
//                              (i<port type>_<index>, o<port type>_<index>)
// An input reads its source through box boundaries, inverted when its
// inversion bit is set; a tied input reads its tie, an unconnected one 0.
// The design's pins are the ports, under the design's names; the pins of a
// bus ("b[0]" ... "b[15]") whose indices run by one in the design's order
// are one vector port, its range from the index of the last bit listed to
// that of the first (b[0] first gives [15:0] / 15 downto 0), each bit under
// its own index; bits that do not form one range stay scalar ports.
// Names are the atoms' hierarchical names, escaped as the language requires
// (Verilog escaped identifiers; VHDL extended identifiers for reserved
// words, names that are no basic identifier, the names the netlist's own
// text uses, such as std_logic or rising_edge, and a name equal but for
// case to one already taken). Ports are named first; a later name that
// would clash with one already taken gets "~<n>" appended, the first n that
// no other name of the netlist has.
#include <string>

#include "common/host_api.h"

class VOK_ATOM_NETLIST;

class HOST_API TAWN_NETLIST_WRITER {
public:
  // recorded: writes "<directory>/<name>.vo" (Verilog); false when the file
  // cannot be created, written, closed or renamed into place. The text goes
  // to a new file in the same directory first, renamed to the final name
  // only when it was written whole: a failed write leaves no partial file
  // under the final name (and whatever was there before stays).
  static bool write(const VOK_ATOM_NETLIST* netlist, const char* directory, const char* name);
  // The same in the language of an EDA netlist type: 2 "<name>.vho" (VHDL),
  // 4 "<name>.sv" (SystemVerilog), any other "<name>.vo" (Verilog).
  static bool write(const VOK_ATOM_NETLIST* netlist, const char* directory, const char* name, int netlist_type);
  // The file name's extension for a netlist type (".vho", ".sv" or ".vo").
  static const char* extension(int netlist_type);
  // The netlist text itself (the module named `name`).
  static std::string netlist_text(const VOK_ATOM_NETLIST& netlist, const std::string& name, int netlist_type);
};
