#include "zel/zel_subgraph_export.h"

#include <cstdarg>
#include <map>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "vok/vok_atom_term.h"
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

namespace {
void l_debug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  msg_local_vdebug("HOST", 1, format, args);
  va_end(args);
}

// Counts the names; each name met twice or more gets one debug line.
bool l_no_duplicates(const std::vector<std::string>& names, const char* what) {
  std::map<std::string, int> count;
  for (const std::string& n : names) ++count[n];
  bool ok = true;
  for (const auto& [name, c] : count)
    if (c > 1) {
      l_debug("Duplicate %s name %s", what, name.c_str());
      ok = false;
    }
  return ok;
}
}  // namespace

bool ZEL_UTIL::check_duplicate_atom_names(VOK_ATOM_NETLIST* netlist) {
  host::log_call("ZEL_UTIL::check_duplicate_atom_names", netlist);
  std::vector<std::string> names;
  if (netlist)
    for (const VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL))
      names.push_back(atom->get_string_hpath());
  return l_no_duplicates(names, "atom");
}

bool ZEL_UTIL::check_duplicate_oterm_names(VOK_ATOM_NETLIST* netlist) {
  host::log_call("ZEL_UTIL::check_duplicate_oterm_names", netlist);
  std::vector<std::string> names;
  if (netlist)
    for (const VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL))
      for (const VOK_ATOM_OTERM* o : atom->oterms())
        names.push_back(atom->get_string_hpath() + "~" +
                        host::vok::output_port_name(o->get_port_type(), o->get_index()));
  return l_no_duplicates(names, "output term");
}

void ZEL_UTIL::report_migration_io_info() { host::log_call("ZEL_UTIL::report_migration_io_info"); }
