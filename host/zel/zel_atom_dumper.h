#pragma once
// Text dumps of the atom netlist.
#include <string>
#include "common/host_api.h"

class VOK_CHIP_DB_ENTRY;
class VOK_ATOM_NETLIST;

class HOST_API ZEL_ATOM_DUMPER {
public:
  // The entry names the design whose netlist is dumped; the stand-in has one
  // design, so any entry (also null) dumps the world's netlist.
  explicit ZEL_ATOM_DUMPER(const VOK_CHIP_DB_ENTRY* entry);
  virtual ~ZEL_ATOM_DUMPER();

  // algorithm: writes the current (top-level) atom netlist, walked through
  // black boxes when `hierarchical`, one block per atom: its id, kind codes
  // and name, then one line per input (port, index, source) and per output
  // (port, index, fanout count). Recorded with the path. False when the file
  // cannot be written.
  bool dump_current_atom_netlist(const std::string& path, bool hierarchical);
  // algorithm: the same for a given netlist.
  bool dump_atom_netlist(const std::string& path, const VOK_ATOM_NETLIST* netlist, bool hierarchical);
};
