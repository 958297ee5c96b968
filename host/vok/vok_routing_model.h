#pragma once
// The compile-database model of a routing: the three routing networks (blc,
// crf, fcd; any may be null), which it owns, and the routing and atom netlist
// the caller sets afterwards.
#include <cstdint>
#include <memory>
#include <vector>

#include "juk_forest_detail_sys.h"
#include "kiv/kiv_model.h"
#include "zmp_bool_vector.h"
#include "vok/vok_re_routing.h"

class VOK_ATOM_NETLIST;

class HOST_API VOK_ROUTING_MODEL : public KIV_MODEL {
public:
  enum : int { NUM_NETWORK_TYPES = 3 };
  // The model type ("vok_routing").
  static const char* const s_model_type_string;

  // component: takes the networks (exactly three, else an internal error)
  // and sets the model type.
  inline explicit VOK_ROUTING_MODEL(const std::vector<JUK::FOREST<int, int>*>& networks);
  ~VOK_ROUTING_MODEL() override;

  const std::vector<JUK::FOREST<int, int>*>& get_networks() const { return m_networks; }
  JUK::FOREST<int, int>* get_network(int i) const { return m_networks.at(static_cast<std::size_t>(i)); }
  // The routing (owned) and the atom netlist (not owned); null until set.
  VOK_RE_ROUTING* get_routing() const { return m_routing.get(); }
  void set_routing(std::unique_ptr<VOK_RE_ROUTING> routing) { m_routing = std::move(routing); }
  VOK_ATOM_NETLIST* get_atom_netlist() const { return m_atom_netlist; }
  void set_atom_netlist(VOK_ATOM_NETLIST* netlist) { m_atom_netlist = netlist; }
  // Hard-constraint node ids kept with the model.
  std::vector<int>& side_ids() { return m_side_ids; }

  // Side tables copied with the model: a list of 32-bit values and a bit set
  // (each may be missing) and a three-level list of integers.
  using LEVELS = std::vector<std::vector<std::vector<int>>>;
  std::vector<std::uint32_t>* get_value_list() const { return m_value_list.get(); }
  void set_value_list(std::unique_ptr<std::vector<std::uint32_t>> list) { m_value_list = std::move(list); }
  ZMP_BOOL_VECTOR* get_bit_set() const { return m_bit_set.get(); }
  void set_bit_set(std::unique_ptr<ZMP_BOOL_VECTOR> bits) { m_bit_set = std::move(bits); }
  LEVELS& levels() { return m_levels; }
  const LEVELS& levels() const { return m_levels; }

private:
  std::vector<JUK::FOREST<int, int>*> m_networks;
  std::unique_ptr<VOK_RE_ROUTING> m_routing;
  VOK_ATOM_NETLIST* m_atom_netlist = nullptr;
  std::vector<int> m_side_ids;
  std::unique_ptr<std::vector<std::uint32_t>> m_value_list;
  std::unique_ptr<ZMP_BOOL_VECTOR> m_bit_set;
  LEVELS m_levels;
};

#include "vok_re_network_sys.h"
