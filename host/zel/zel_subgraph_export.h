#pragma once
// The subgraph exporter of the atom netlist (a JSON document) and the
// validation of location assignments.
#include <unordered_set>
#include <nlohmann/json.hpp>
#include "common/host_api.h"
#include "vok/vok_atom_term.h"

class VOK_ATOM_NETLIST;
class VOK_CHIP_DB_ENTRY;
class HOST_API ZEL_ATOM_NETLIST_SUBGRAPH_IMPORT_EXPORT {
public:
  // algorithm: the atoms of `netlist` (walked in `traversal`) whose ids are in
  // `atom_ids` as one JSON object {"atoms": [...], "connections": [...]};
  // connections run between atoms of `atom_ids` and `boundary_ids`.
  static nlohmann::json filter_and_export_subgraph(const std::unordered_set<int>& atom_ids,
                                                   const std::unordered_set<int>& boundary_ids,
                                                   VOK_ATOM_NETLIST* netlist, VOK_TRAVERSE traversal);
};

class HOST_API ZEL_UTIL {
public:
  // recorded: checks the location assignments against the device; scripted,
  // default true.
  static bool validate_location_assignments(VOK_CHIP_DB_ENTRY* chip);
};
