#include "zel/zel_atom_util.h"

#include <fstream>

#include "common/host_call_log.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"

bool ZEL_ATOM_UTIL::is_zota_marked_reg(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && atom->is_ff() && atom->is_zota_marked();
}

bool ZEL_ZOTA_UTIL::is_ff_atom_a_simple_ff(const VOK_ATOM_NODE* atom) {
  if (atom == nullptr || !atom->is_ff()) return false;
  for (const VOK_ATOM_ITERM* iterm : atom->citerms()) {
    if (!iterm->is_connected()) continue;
    const DB_INPUT_PORT_TYPE type = iterm->get_port_type();
    if (type != DB_INPUT_PORT_CLK && type != DB_INPUT_PORT_DATA_IN) return false;
  }
  return true;
}

void ZEL_ATOM_DUMPER::dump_current_atom_netlist(const std::string& file_name) {
  host::log_call("ZEL_ATOM_DUMPER::dump_current_atom_netlist", file_name);
  std::ofstream out(file_name, std::ios::trunc);
  for (const VOK_ATOM_NODE* atom : host::vok::top_netlist()->nodes(VOK_TRAVERSE_AS_STORED)) {
    out << atom->get_id() << ' ' << atom->get_string_hpath();
    for (const VOK_ATOM_ITERM* iterm : atom->citerms()) {
      const VOK_ATOM_OTERM* src = iterm->get_source(VOK_TRAVERSE_AS_STORED);
      if (src) out << ' ' << iterm->get_port_type() << '<' << src->get_name();
    }
    out << '\n';
  }
}
