#include "zel/zel_subgraph_export.h"

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "vok/vok_atom_netlist.h"

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
