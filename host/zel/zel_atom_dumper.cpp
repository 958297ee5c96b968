#include "zel/zel_atom_dumper.h"

#include <fstream>

#include "common/host_call_log.h"
#include "vok/vok_atom_netlist.h"

ZEL_ATOM_DUMPER::ZEL_ATOM_DUMPER(const VOK_CHIP_DB_ENTRY*) {}
ZEL_ATOM_DUMPER::~ZEL_ATOM_DUMPER() = default;

bool ZEL_ATOM_DUMPER::dump_current_atom_netlist(const std::string& path, bool hierarchical) {
  host::log_call("ZEL_ATOM_DUMPER::dump_current_atom_netlist", path, hierarchical);
  return dump_atom_netlist(path, host::vok::top_netlist(), hierarchical);
}

bool ZEL_ATOM_DUMPER::dump_atom_netlist(const std::string& path, const VOK_ATOM_NETLIST* netlist,
                                        bool hierarchical) {
  std::ofstream out(path, std::ios::trunc);
  if (!out || netlist == nullptr) return false;
  const VOK_TRAVERSE mode = hierarchical ? VOK_TRAVERSE_HIERARCHICAL : VOK_TRAVERSE_AS_STORED;
  for (const VOK_ATOM_NODE* atom : netlist->nodes(mode)) {
    out << "atom " << atom->get_id() << " type " << atom->get_atom_type() << " \"" << atom->get_string_hpath()
        << "\"\n";
    if (atom->is_mac() || atom->is_fp_mac()) out << "  mac_mode " << atom->get_mac_info().mode << "\n";
    for (const VOK_ATOM_ITERM* t : atom->citerms()) {
      out << "  in " << t->get_port_type() << "[" << t->get_index() << "] <- ";
      const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
      if (src != nullptr && src->get_my_node() != nullptr)
        out << src->get_my_node()->get_id() << "." << src->get_port_type() << "[" << src->get_index() << "]";
      else if (t->is_connected())
        out << (t->is_tie_low() ? "gnd" : "vcc");
      else
        out << "open";
      out << "\n";
    }
    for (const VOK_ATOM_OTERM* t : atom->coterms()) {
      int n = 0;
      for (const VOK_ATOM_ITERM* f = t->get_first_fanout(VOK_TRAVERSE_AS_STORED); f != nullptr;
           f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        ++n;
      out << "  out " << t->get_port_type() << "[" << t->get_index() << "] fanouts " << n << "\n";
    }
  }
  return static_cast<bool>(out);
}
