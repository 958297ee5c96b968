#include <fstream>

#include "common/host_call_log.h"
#include "r5t/r5t_directives.h"
#include "vok/vok_atom_netlist.h"

void R5T_DIRECTIVES::debug_dump(const VOK_ATOM_NETLIST& netlist, const std::string& file_name) const {
  host::log_call("R5T_DIRECTIVES::debug_dump", file_name);
  std::ofstream out(file_name, std::ios::trunc);
  for (const VOK_ATOM_NODE* atom : netlist.get_atom_list()) {
    auto line = [&](const VOK_ATOM_LOGICAL_PORT& port) {
      const ZMP_TINY_VECTOR<PELK>* cells = get_atom_mapping(port);
      if (cells == nullptr) return;
      out << atom->get_string_hpath() << ' ' << port.get_port().cname() << ' ' << port.get_index() << " ->";
      for (const PELK& c : *cells) out << ' ' << c.cname();
      out << '\n';
    };
    for (const VOK_ATOM_ITERM* t : atom->citerms()) line(vok_get_logical_port(t));
    for (const VOK_ATOM_OTERM* t : atom->coterms()) line(vok_get_logical_port(t));
  }
}
