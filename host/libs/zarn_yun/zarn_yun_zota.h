#pragma once
// The retiming engine's pipeline-register (ZOTA) operations over one
// environment; the record of depopulated registers outlives the utilities
// (it belongs to the library and is cleared by the host's reset).
#include <set>
#include <vector>

#include "yun/yun_utility.h"

class HOV_ATOM_NETLIST_TAINT_MANAGER;

namespace zarn_yun {

// A debug line of the engine (module "YUN", level 2): what an operation did.
void debug_line(const char* format, ...) __attribute__((format(printf, 1, 2)));

class ENGINE {
public:
  explicit ENGINE(YUN_ENV* env);
  bool depopulate_registers(const std::vector<VOK_ATOM_NODE*>& registers, HOV_ATOM_NETLIST_TAINT_MANAGER* taints);
  bool depopulate_netlist(HOV_ATOM_NETLIST_TAINT_MANAGER* taints);
  bool collect_candidates(HOV_ATOM_NETLIST_TAINT_MANAGER* taints, YUN_UTILITY::ATOM_LIST& out);
  void fill_register_restriction_table(PIZ_TABLE* table);
  bool repopulate(YUN_UTILITY::ATOM_LIST& out);
  bool repopulate_periphery_transfer_registers(const std::vector<VOK_ATOM_NODE*>& p2c,
                                               const YUN_UTILITY::PORT_GID_MAP& p2c_ports,
                                               const std::vector<VOK_ATOM_NODE*>& c2p,
                                               const YUN_UTILITY::PORT_GID_MAP& c2p_ports);
  YUN_UTILITY::ATOM_LIST repopulate_uib_esram_c2p_registers(const YUN_UTILITY::ATOM_LIST& registers,
                                                            VOK_RE_ROUTING_MODIFIER& modifier);

private:
  // Marks the register ZOTA, unplaces it and records it; false when it was
  // left alone (not a simple core register, or already depopulated).
  bool depopulate(VOK_ATOM_NODE* reg, HOV_ATOM_NETLIST_TAINT_MANAGER* taints);
  // A new register with the old one's name, inputs, loads and constraints
  // (at its location when `placed`); the old one leaves the netlist.
  VOK_ATOM_NODE* recreate(VOK_ATOM_NODE* old, bool placed);
  // The free pipeline slot nearest the port: breadth first over fan-outs
  // (from_port) or fan-ins; 0xFFFFFFFF when none. The slot joins `taken`.
  unsigned dedicated_slot(unsigned port_gid, bool from_port, std::set<unsigned>& taken) const;

  YUN_ENV* m_env;
};

}  // namespace zarn_yun
