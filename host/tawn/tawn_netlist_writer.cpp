#include "tawn/tawn_netlist_writer.h"

#include <fstream>
#include <string>

#include "common/host_call_log.h"
#include "vok/vok_atom_netlist.h"

const char* TAWN_NETLIST_WRITER::extension(int netlist_type) {
  switch (netlist_type) {
    case 2: return ".vho";
    case 4: return ".sv";
    default: return ".vo";
  }
}

bool TAWN_NETLIST_WRITER::write(const VOK_ATOM_NETLIST* netlist, const char* directory, const char* name) {
  return write(netlist, directory, name, 3);
}

bool TAWN_NETLIST_WRITER::write(const VOK_ATOM_NETLIST* netlist, const char* directory, const char* name,
                                int netlist_type) {
  host::log_call("TAWN_NETLIST_WRITER::write", netlist, directory, name);
  if (netlist == nullptr) return false;
  std::string path =
      std::string(directory && *directory ? directory : ".") + "/" + (name ? name : "netlist") + extension(netlist_type);
  std::ofstream out(path);
  if (!out) return false;
  for (const VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL))
    out << atom->get_id() << ' ' << atom->get_string_hpath() << '\n';
  return static_cast<bool>(out);
}
