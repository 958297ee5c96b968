#include "zel/zel_atom_dumper.h"

#include <fstream>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "vok/vok_atom_netlist.h"

namespace {
void l_dump(std::ostream& out, VOK_ATOM_NETLIST* netlist, bool verbose) {
  for (VOK_ATOM_NODE* atom : netlist->get_atom_list()) {
    out << "atom " << atom->get_id() << " type " << atom->get_atom_type() << " " << atom->get_string_hpath() << "\n";
    if (verbose)
      for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i)
        if (const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i)) {
          const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
          out << "  in " << t->get_port_type() << "." << t->get_index() << " <- "
              << (src ? (src->get_my_node() ? src->get_name() : std::string("GND")) : std::string("-")) << "\n";
        }
    if (atom->is_box())
      if (VOK_ATOM_NETLIST* child = static_cast<VOK_ATOM_BLACKBOX*>(atom)->get_child_netlist())
        l_dump(out, child, verbose);
  }
}
}  // namespace

ZEL_ATOM_DUMPER::ZEL_ATOM_DUMPER(VOK_CHIP_DB_ENTRY* chip) : m_chip(chip) {}
ZEL_ATOM_DUMPER::~ZEL_ATOM_DUMPER() = default;

bool ZEL_ATOM_DUMPER::dump_current_atom_netlist(const std::string& path, bool verbose) {
  host::log_call("ZEL_ATOM_DUMPER::dump_current_atom_netlist", path, verbose);
  std::ofstream out(path, std::ios::trunc);
  if (!out) return false;
  l_dump(out, host::vok::top_netlist(), verbose);
  return static_cast<bool>(out);
}

nlohmann::json ZEL_ATOM_NETLIST_SUBGRAPH_IMPORT_EXPORT::filter_and_export_subgraph(
    const std::unordered_set<int>& atom_ids, const std::unordered_set<int>& boundary_ids, VOK_ATOM_NETLIST* netlist,
    VOK_TRAVERSE traversal) {
  nlohmann::json doc = nlohmann::json::object();
  doc["atoms"] = nlohmann::json::array();
  doc["connections"] = nlohmann::json::array();
  if (!netlist) return doc;
  for (VOK_ATOM_NODE* atom : netlist->nodes(traversal)) {
    if (!atom_ids.count(atom->get_id())) continue;
    doc["atoms"].push_back({{"id", atom->get_id()}, {"type", atom->get_atom_type()}, {"name", atom->get_string_hpath()}});
    for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
      if (!t) continue;
      const VOK_ATOM_OTERM* src = t->get_source(traversal);
      if (!src || !src->get_my_node()) continue;
      const int from = src->get_my_node()->get_id();
      if (!atom_ids.count(from) && !boundary_ids.count(from)) continue;
      doc["connections"].push_back({{"from", from},
                                    {"from_port", static_cast<int>(src->get_port_type())},
                                    {"to", atom->get_id()},
                                    {"to_port", static_cast<int>(t->get_port_type())},
                                    {"to_index", t->get_index()}});
    }
  }
  return doc;
}

bool ZEL_UTIL::validate_location_assignments(VOK_CHIP_DB_ENTRY*) {
  host::log_call("ZEL_UTIL::validate_location_assignments");
  return host::script::next<bool>("ZEL_UTIL::validate_location_assignments", true);
}
