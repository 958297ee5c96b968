#include <fstream>

#include "common/host_call_log.h"
#include "kem/kem_netlist.h"

bool KEM_NETLIST::dump_to_file(const std::string& name, bool flag) const {
  host::log_call("KEM_NETLIST::dump_to_file", name, flag);
  std::ofstream out(name);
  if (!out) return false;
  out << "timing netlist: " << get_node_count() << " nodes\n";
  return static_cast<bool>(out);
}
