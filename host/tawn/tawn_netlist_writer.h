#pragma once
// Writes an atom netlist as a text netlist file.
#include "common/host_api.h"

class VOK_ATOM_NETLIST;

class HOST_API TAWN_NETLIST_WRITER {
public:
  // recorded: writes "<directory>/<name>.vo", one line per atom (id and
  // name); false when the file cannot be written.
  static bool write(const VOK_ATOM_NETLIST* netlist, const char* directory, const char* name);
  // The same in the form of an EDA netlist type: 2 "<name>.vho" (VHDL),
  // 4 "<name>.sv" (SystemVerilog), any other "<name>.vo" (Verilog).
  static bool write(const VOK_ATOM_NETLIST* netlist, const char* directory, const char* name, int netlist_type);
  // The file name's extension for a netlist type (".vho", ".sv" or ".vo").
  static const char* extension(int netlist_type);
};
