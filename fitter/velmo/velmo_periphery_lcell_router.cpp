// The LCELL periphery router: a wire LUT that the user asked to sit next to
// the periphery input it drives is placed in a LAB cell whose output reaches
// that input, locked there, mapped to the LAB output and routed at once.
#include <cstdio>
#include <deque>
#include <string>
#include <unordered_set>
#include <vector>

#include "dev/dev_basic_info.h"
#include "juk_bfs.h"
#include "msg/msg_internal_error.h"
#include "oxter/oxter_location_constraint.h"
#include "pelk/pelk_symbol.h"
#include "r5t/r5t_interface.h"
#include "velmo_debug.h"
#include "velmo_periphery_to_core_placement.h"
#include "velmo_msgs.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_blacklisting.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_lcell_util.h"

namespace {

constexpr unsigned l_illegal_gid = 0xFFFFFFFFu;
constexpr unsigned l_gid_bit = 0x80000000u;
constexpr int l_lab_re = 282;
constexpr int l_first_lab_out = 94;
constexpr int l_last_lab_out = 133;
constexpr int l_blackbox_basic_type = 3;
constexpr int l_usage_not_in_bank_1 = 17;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_periphery_lcell_router", line);
}

int l_int_datum(const DEV_DEVICE* device, int item, int fallback) {
  const DEV_BASIC_INFO* info = device->get_basic_info();
  return info->is_valid_int_data(item) ? info->get_int_data(item) : fallback;
}

bool l_in_periphery(const VOK_ATOM_NODE* atom) {
  const int basic = atom->get_kind() == VOK_ATOM_KIND::BLACKBOX ? l_blackbox_basic_type : atom->get_basic_type();
  return ZEL_ATOM_UTIL::must_be_in_periphery(basic) || ZEL_ATOM_UTIL::is_periphery_ff(atom);
}

}  // namespace

bool VELMO_PERIPHERY_CORE_PLACEMENT::place_and_route_c2p_lcell() {
  WUMP_DIE_INFO* die = m_device->get_die_info()->get_wump_die_info();
  WUMP_BLACKLISTING_LOADER::setup_blacklisting(die);
  const WUMP_BLACKLISTING* blacklisting = die->get_blacklisting();
  const std::unordered_set<unsigned> used = m_zota_register_gids;
  VOK_RE_ROUTING_MODIFIER modifier(*m_chip_db_entry->get_routing(), "place_and_route_c2p_lcell", false, false);
  std::vector<unsigned> fanins;
  bool ok = true;

  for (VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (atom->get_location_element() != 0 || !ZEL_LCELL_UTIL::atom_is_wire_lut(atom)) continue;
    if (!have_lcell_periphery_router_assignment(atom)) continue;
    VOK_ATOM_OTERM* out = atom->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0);
    if (out == nullptr || !out->has_fanout_exactly(1, VOK_TRAVERSE_HIERARCHICAL)) continue;
    VOK_ATOM_ITERM* fanout = out->get_only_fanout_or_die(VOK_TRAVERSE_HIERARCHICAL);
    if (fanout == nullptr) l_internal_error("fanout", __LINE__);
    VOK_ATOM_NODE* dst = fanout->get_my_node();
    if (dst == nullptr) l_internal_error("dst_node", __LINE__);
    if (!l_in_periphery(dst)) continue;
    if (dst->get_location_element() == 0)
      l_internal_error("dst_node->get_location_element() != DEV_ELEMENT_INVALID", __LINE__);
    if (m_verbose)
      msg_vdebug_impl(2, "working on lcell periphery router candidate: %d - %s", atom->get_id(),
                      atom->get_string_hpath().c_str());

    const unsigned port = get_top_level_port_gid<VOK_ATOM_ITERM*>(dst, fanout, false);
    if (port == l_illegal_gid) {
      if (m_verbose) msg_vdebug_impl(2, "couldn't find w3j3 top level port id, skipping");
      continue;
    }

    // Backwards from the port, first in first out, to a LAB routing element
    // that can take the LUT.
    std::unordered_set<unsigned> visited = used;
    visited.insert(port);
    std::deque<unsigned> queue{port};
    bool done = false;
    while (!queue.empty() && !done) {
      const unsigned g = queue.front();
      queue.pop_front();
      if (static_cast<int>(m_route_info->get_route_node_of(g).element_type) == l_lab_re &&
          place_and_route_wire_lut_from_lab_re_to_periphery(atom, g, port, fanout, modifier, blacklisting)) {
        done = true;
        break;
      }
      die->get_fanin_gids(g, fanins);
      for (unsigned f : fanins) {
        if (!visited.insert(f).second) continue;
        if (blacklisting->is_routing_gid_blacklisted(f)) continue;
        queue.push_back(f);
      }
    }
    if (!done) {
      msg_vdebug_impl(2, "Error: Unable to place and/or route LCELL with LCELL_PERIPHERY_ROUTER moz on %d - %s",
                      atom->get_id(), atom->get_string_hpath().c_str());
      // The user's assignment cannot be honoured: an error, not an internal one.
      msg_post(MSG_VELMO::E::VELMO_LCELL_PERIPHERY_ROUTER_FAILED(atom->get_string_hpath()), nullptr);
      ok = false;
    }
  }
  return ok;
}

bool VELMO_PERIPHERY_CORE_PLACEMENT::place_and_route_wire_lut_from_lab_re_to_periphery(
    VOK_ATOM_NODE* wirelut, unsigned lab_gid, unsigned port_gid, const VOK_ATOM_ITERM* dst_term,
    VOK_RE_ROUTING_MODIFIER& modifier, const WUMP_BLACKLISTING* blacklisting) {
  if (!ZEL_LCELL_UTIL::atom_is_wire_lut(wirelut)) l_internal_error("ZEL_LCELL_UTIL::atom_is_wire_lut(wirelut_atom)", __LINE__);
  const WUMP_ROUTE_NODE lab = m_route_info->get_route_node_of(lab_gid);
  const int i = lab.index;
  if (i < l_first_lab_out || i > l_last_lab_out) return false;
  if (static_cast<int>(lab.element_type) != l_lab_re) l_internal_error("re_type == DEV_ELEMENT_LAB_RE", __LINE__);
  const std::string port_name = m_route_info->get_port_name(l_lab_re, i);
  if (port_name.find("LABOUTT") == std::string::npos && port_name.find("LABOUTB") == std::string::npos)
    l_internal_error("port.find(\"LABOUTT\") != std::string::npos || port.find(\"LABOUTB\") != std::string::npos",
                     __LINE__);
  // The LAB cell behind the output: two outputs per cell, cells three
  // sub-locations apart; the banks split the LAB's cells.
  const int k = i - l_first_lab_out;
  const int subloc = (k / 2) * 3;
  const int a = l_int_datum(m_device, 34, 4);
  const int b = l_int_datum(m_device, 33, 2);
  const int q = a / b;
  const int bank = (subloc % (a + b)) / (q + 1);

  if (m_blacklisted_locs.find({lab.x, lab.y}) != m_blacklisted_locs.end()) {
    msg_vdebug_impl(2, "(%d, %d) is taken by some other ff or lut, try another one", lab.x, lab.y);
    return false;
  }
  const unsigned cell_gid = m_place_info->get_global_id(0, lab.x, lab.y, subloc);
  if (cell_gid == l_illegal_gid) l_internal_error("labcell_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
  if (blacklisting->is_placement_gid_blacklisted(cell_gid)) return false;
  if (const VOK_ATOM_ITERM* in = ZEL_LCELL_UTIL::get_wire_lut_iterm(wirelut))
    if (bank == 1 && in->get_any_usage_as() == l_usage_not_in_bank_1) return false;
  msg_vdebug_impl(2, "wirelut %d is routing to lab re %d %d %d", wirelut->get_id(), lab.x, lab.y, k);
  if (!OXTER_LOCATION_CONSTRAINT::of(m_oxter_env)->may_take(wirelut, cell_gid)) return false;

  // From here on the LUT is committed.
  const auto block = m_place_info->get_place_block(cell_gid);
  if (!block) l_internal_error("labcell_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
  wirelut->set_location(cell_gid, static_cast<int>(block->get_element_enum()));
  VOK_ATOM_OTERM* out = wirelut->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0);
  char leout[32];
  std::snprintf(leout, sizeof leout, "b%dleout[%d]", bank, k % q);
  m_r5t->set_atom_mapping(out, PELK::intern(1, leout), false);
  m_r5t->set_atom_metadata(wirelut->get_id(), PELK::intern(4, "LOCATION_LOCK"), PELK::intern(4, "LOCKED"));

  const unsigned port_element = m_route_info->get_gid_from_route_node(m_route_info->get_route_node_of(port_gid));
  if (m_zota_register_gids.count(port_element | l_gid_bit) != 0 || blacklisting->is_routing_gid_blacklisted(port_element))
    l_internal_error("found_route", __LINE__);
  const std::vector<int> path = forward_route(lab_gid, port_gid, blacklisting);
  if (path.empty()) l_internal_error("found_route", __LINE__);
  m_blacklisted_locs[{lab.x, lab.y}].push_back(wirelut);

  // Source, then the sink at the port, then the path as wires above the sink.
  const int source = modifier.insert_source(out, nullptr);
  VOK_RE_ROUTING& routing = modifier.routing();
  int current;
  const auto unified = m_gid_to_unified_network_node_map.find(port_gid | l_gid_bit);
  if (unified != m_gid_to_unified_network_node_map.end())
    current = unified->second;
  else
    current = modifier.insert_sink(source, dst_term);
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    const unsigned g = static_cast<unsigned>(*it);
    m_zota_register_gids.insert(g | l_gid_bit);
    m_pre_occupied_re_gids.insert(static_cast<int>(g));
    if (routing.is_wire(current) && (routing.get_gid(current) & ~l_gid_bit) == g) {
      const int parent = routing.get_parent(current, skip);
      if (parent != -1) current = parent;
      continue;
    }
    current = modifier.insert_wire_as_parent(current, g);
  }
  modifier.move_tree_under(source, current);
  msg_vdebug_impl(2, "LCELL_PERIPHERY_ROUTER: Placed and routed wire LUT %s at GID %u",
                  wirelut->get_string_hpath().c_str(), cell_gid);
  return true;
}

// Forward breadth-first search from the LAB routing element to the port over
// elements that are neither taken by a pipeline register nor blacklisted;
// the path runs from the LAB element to the port (ids, bit 31 clear).
std::vector<int> VELMO_PERIPHERY_CORE_PLACEMENT::forward_route(unsigned lab_gid, unsigned port_gid,
                                                               const WUMP_BLACKLISTING* blacklisting) const {
  auto valid = [this, blacklisting](int id) {
    const unsigned gid = static_cast<unsigned>(id) | l_gid_bit;
    return m_zota_register_gids.count(gid) == 0 && !blacklisting->is_routing_gid_blacklisted(gid);
  };
  using WAVEFRONT = JUK::DETAIL::CUSTOM_FANOUT_WAVEFRONT<decltype(valid)>;
  JUK::DETAIL::BFS_ENGINE<WUMP_ROUTE_GRAPH, WAVEFRONT, ZMP::ALWAYS_TRUE_FN, ZMP_HASH_LITE<int, int>> engine(
      *m_route_graph, WAVEFRONT(valid));
  const int start = static_cast<int>(lab_gid & ~l_gid_bit);
  const int target = static_cast<int>(port_gid & ~l_gid_bit);
  if (!engine.search(start, target)) return {};
  return engine.path(start, target);
}
