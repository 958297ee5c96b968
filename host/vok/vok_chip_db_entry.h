#pragma once
// The chip database entry of the design: the root routing and the blc, crf
// and fcd routing networks. Network payloads are plain routing-element
// indices (no bit 31).
#include <set>
#include <vector>

#include "common/host_api.h"
#include "juk_forest_detail_sys.h"
#include "vok/vok_re_presslack.h"
#include "vok/vok_re_routing.h"

class HOST_API VOK_CHIP_DB_ENTRY {
public:
  enum NETWORK : int { BLC = 0, CRF = 1, FCD = 2 };

  VOK_CHIP_DB_ENTRY();
  virtual ~VOK_CHIP_DB_ENTRY();
  VOK_CHIP_DB_ENTRY(const VOK_CHIP_DB_ENTRY&) = delete;
  VOK_CHIP_DB_ENTRY& operator=(const VOK_CHIP_DB_ENTRY&) = delete;

  // data: the design's routing.
  VOK_RE_ROUTING* get_routing() { return &m_routing; }
  const VOK_RE_ROUTING* get_routing() const { return &m_routing; }
  // data: a routing network.
  JUK::FOREST<int, int>* get_network(NETWORK which) { return &m_networks[which]; }
  JUK::FOREST<int, int>* get_blc_network() { return &m_networks[BLC]; }
  JUK::FOREST<int, int>* get_crf_network() { return &m_networks[CRF]; }
  JUK::FOREST<int, int>* get_fcd_network() { return &m_networks[FCD]; }
  // data: the clock re-network (the crf network).
  JUK::FOREST<int, int>* get_crf_re_network() { return &m_networks[CRF]; }
  // data: the power-tile settings of the fit (empty unless set).
  const std::vector<int>& get_power_tile_setting_info() const { return m_power_tiles; }
  std::vector<int>& power_tile_setting_info() { return m_power_tiles; }
  // data: the base family code of the device the entry is fitted to.
  int get_base_family_code() const;
  // data: preserved slack records on routing hidden by blackboxing.
  VOK_RE_PRESSLACK_CONTAINER& get_preserved_slacks_on_routing_hidden_by_bbic() { return m_hidden_slacks; }
  // data: the preserved router slacks of the routing.
  VOK_RE_PRESSLACK_CONTAINER& get_preserved_router_slacks() { return m_router_slacks; }
  // Empties the routing and the networks.
  void clear();
  // data: the routing-element gids (bit 31 clear) that a periphery-core
  // transfer marked explicitly as hard routing constraints.
  std::set<int>& explicit_hard_routing_constraint_gids() { return m_explicit_hard_gids; }
  // data: the netlist the entry presents as the design's atom netlist (null:
  // the top netlist); host passes read it as the top netlist.
  VOK_ATOM_NETLIST* get_atom_netlist() const;
  void set_atom_netlist(VOK_ATOM_NETLIST* netlist);
  bool presents_atom_netlist() const { return m_atom_netlist != nullptr; }

  // data: the world's entry (created on first use, destroyed at reset).
  static VOK_CHIP_DB_ENTRY* current();

private:
  VOK_RE_ROUTING m_routing;
  JUK::FOREST<int, int> m_networks[3];
  std::vector<int> m_power_tiles;
  VOK_RE_PRESSLACK_CONTAINER m_hidden_slacks;
  VOK_RE_PRESSLACK_CONTAINER m_router_slacks;
  std::set<int> m_explicit_hard_gids;
  VOK_ATOM_NETLIST* m_atom_netlist = nullptr;
};
