// Port translation of the routing trees: for every periphery driver the
// chains from its top-level output ports into the fabric are hung under its
// source node, and for every periphery sink the chains from the fabric into
// its top-level input ports are hung above its sink node, with virtual
// sources and sinks closing what the router has still to route.
#include "velmo_port_translation.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_location.h"
#include "gesk/gesk_bundle.h"
#include "gesk/gesk_tree.h"
#include "msg/msg_internal_error.h"
#include "pexa/pexa_utility.h"
#include "twy/twy_translator.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "zmp_hash_set.h"

namespace {

constexpr unsigned l_illegal_gid = 0xFFFFFFFFu;
constexpr int l_max_hops = 10;
constexpr int l_crf_graph = 2;

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_port_translation", line);
}

// A node whose value is a routing-element gid (bit 31 set, not the illegal id).
bool l_is_re_node(const VOK_RE_ROUTING& r, int node) {
  const unsigned v = static_cast<unsigned>(r.get_value(node));
  return (v & 0x80000000u) != 0 && v != l_illegal_gid;
}
bool l_is_virtual_node(const VOK_RE_ROUTING& r, int node) { return r.get_value(node) == VOK_RE_ROUTING::VIRTUAL_VALUE; }
bool l_is_source_node(const VOK_RE_ROUTING& r, int node) {
  return r.get_value(node) >= 0 && r.get_node_terminal(node).name_space == VOK_PORT_NAMESPACE_OUTPUT;
}

// The netlist's connectivity test of a fan-out input terminal.
bool l_is_connected_fanout(const VOK_ATOM_ITERM* iterm) {
  return iterm != nullptr && iterm->is_used() && iterm->is_connected() && iterm->get_my_node() != nullptr;
}

std::string l_usage_name(const VOK_ATOM_OTERM* t) {
  return TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::OUTPUT_PORT_TYPE, t->get_any_usage_as());
}
std::string l_usage_name(const VOK_ATOM_ITERM* t) {
  return TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::INPUT_PORT_TYPE, t->get_any_usage_as());
}

}  // namespace

VELMO_PORT_TRANSLATION_MGR::VELMO_PORT_TRANSLATION_MGR(WEXAN_ENV* env) {
  m_chip_db_entry = env->get_chip_db_entry();
  if (m_chip_db_entry == nullptr) l_internal_error("m_chip_db_entry", __LINE__);
  m_device = PEXA_UTILITY::get_current_device();
  m_die_info = m_device->get_die_info()->get_wump_die_info();
  m_route_info = m_die_info->get_route_info();
  m_place_info = m_die_info->get_place_info();
  m_atom_netlist = env->get_atom_netlist();
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("GESK chip must be loaded before running delay annotation!", __LINE__);
  m_port_map_db = bundle->get_port_map_db();
  m_instance_tree = bundle->get_instance_tree();
  m_chip_db_entry = env->get_chip_db_entry();
  if (m_chip_db_entry == nullptr) l_internal_error("m_chip_db_entry", __LINE__);
  m_verbose = cfg_is_on("velmo_verbose_port_translation", false);
  m_ignore_te_test_atoms = cfg_is_on("port_translation_ignore_te_test_atoms", true);
}

// ---- walks ------------------------------------------------------------------

template <class ITER>
void VELMO_PORT_TRANSLATION_MGR::siso_walk_from_port_re_gid(std::vector<unsigned>& path, unsigned start,
                                                            const ZMP::DENSE_HASH_SET<unsigned>& stop_set,
                                                            ITER (WUMP_ROUTE_INFO::*begin)(unsigned) const,
                                                            ITER (WUMP_ROUTE_INFO::*end)(unsigned) const) const {
  const int family = m_chip_db_entry->get_base_family_code();
  if (m_verbose) {
    msg_vdebug_impl(2, "%s", "");
    msg_vdebug_impl(2, "* Now SISO walking");
  }
  ZMP_HASH_SET<unsigned> visited;
  path.push_back(start);
  visited.insert(start);
  if (m_verbose) print_re_gid_description(start);
  if (start == l_illegal_gid) return;
  // Reading a fan needs an active routing graph.
  (void)WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().get_active();
  auto fan_is_empty = [&](unsigned gid) { return (m_route_info->*begin)(gid) == (m_route_info->*end)(gid); };

  unsigned current = start;
  for (int hops = 1;; ++hops) {
    if (fan_is_empty(current)) {
      if (m_verbose) msg_vdebug_impl(2, "\t\t- Aborted: node has no fan");
      path.clear();
      return;
    }
    bool crf_edge = false;
    bool second_neighbour = false;
    unsigned candidate = l_illegal_gid;
    const ITER last = (m_route_info->*end)(current);
    for (ITER it = (m_route_info->*begin)(current); it != last; ++it) {
      const unsigned neighbour = *it;
      const DEV_ELEMENT_DESC* desc = m_die_info->get_element_desc(neighbour);
      const int kind = desc ? static_cast<int>(desc->get_element_enum()) : 0;
      if (kind == 1339) continue;
      if (kind == 1545 && m_ignore_te_test_atoms) continue;
      if (!stop_set.empty() && stop_set.exists(neighbour)) continue;
      if (m_route_info->get_top_level_graph_from_edge(neighbour, current, 0) == l_crf_graph) {
        crf_edge = true;
        continue;
      }
      if (candidate != l_illegal_gid) {
        if (family == 26 && fan_is_empty(neighbour)) continue;
        second_neighbour = true;
        candidate = l_illegal_gid;
        continue;
      }
      if (visited.exists(neighbour)) continue;
      if (family == 26 && fan_is_empty(neighbour)) continue;
      path.push_back(neighbour);
      visited.insert(neighbour);
      candidate = neighbour;
    }
    if (crf_edge) {
      if (hops == 1) {
        if (m_verbose)
          msg_vdebug_impl(2, "\t\t- Aborted: node has fan-in with 1 or more CRF edges right at the very beginning "
                             "(Port translation not required)");
        path.assign(1, start);
      } else if (m_verbose) {
        msg_vdebug_impl(2, "\t\t- Ended: node has fan-in with 1 or more CRF edges");
      }
      return;
    }
    if (second_neighbour) {
      if (m_verbose) msg_vdebug_impl(2, "\t\t- Aborted: node has fan-in with more than 1 non-CRF edge");
      path.clear();
      return;
    }
    if (m_verbose) print_re_gid_description(candidate);
    if (candidate == l_illegal_gid) return;
    current = candidate;
    if (hops == l_max_hops) {
      if (m_verbose) msg_vdebug_impl(2, "\t\t- Too many hops (%d > max=%d). Aborting", l_max_hops, l_max_hops);
      path.clear();
      return;
    }
  }
}

namespace {
std::list<unsigned> l_reversed(const std::vector<unsigned>& path) { return std::list<unsigned>(path.rbegin(), path.rend()); }
}  // namespace

std::list<unsigned> VELMO_PORT_TRANSLATION_MGR::walk_forwards(unsigned gid) const {
  std::vector<unsigned> path;
  const ZMP::DENSE_HASH_SET<unsigned> none;
  siso_walk_from_port_re_gid(path, gid, none, &WUMP_ROUTE_INFO::begin_fanout_gids, &WUMP_ROUTE_INFO::end_fanout_gids);
  return l_reversed(path);
}

std::list<unsigned> VELMO_PORT_TRANSLATION_MGR::walk_backwards(unsigned gid) const {
  std::vector<unsigned> path;
  const ZMP::DENSE_HASH_SET<unsigned> none;
  siso_walk_from_port_re_gid(path, gid, none, &WUMP_ROUTE_INFO::begin_fanin_gids, &WUMP_ROUTE_INFO::end_fanin_gids);
  return l_reversed(path);
}

// ---- port and block lookups ---------------------------------------------------

unsigned VELMO_PORT_TRANSLATION_MGR::get_place_block_gid_from_jev_info(std::int32_t instance_id) const {
  const GESK_INSTANCE* instance = m_instance_tree->get_instance(instance_id);
  // An id the tree does not know names no place: no block at all.
  int x = -1, y = -1, z = -1;
  if (instance != nullptr) m_instance_tree->get_coordinate(instance->get_name(), x, y, z);
  const std::vector<unsigned> blocks = m_place_info->get_top_level_blocks_at_coordinate(x, y);
  if (blocks.empty()) l_internal_error("place_block_gids.size() > 0", __LINE__);
  unsigned found = l_illegal_gid;
  for (unsigned gid : blocks) {
    const auto block = m_place_info->get_place_block(gid);
    if (!block) l_internal_error("place_block", __LINE__);
    if (block->get_sub_location() != z) continue;
    if (found != l_illegal_gid) l_internal_error("place_block_gid == DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    found = gid;
  }
  if (found == l_illegal_gid) l_internal_error("place_block_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
  return found;
}

template <class OUT_IT, class TERM>
void VELMO_PORT_TRANSLATION_MGR::append_top_level_port_gids(OUT_IT out, const TERM* term, BLC_PORT_TYPE type) const {
  if (term == nullptr) return;
  const VOK_ATOM_LOGICAL_PORT port = W3J3_LOGICAL_PORT_FACTORY::create(term);
  int mapping = 0;
  for (const W3J3_PORT_MAP_ENTRY& entry : m_port_map_db->get_port_map_results(port, 1)) {
    const std::string icd_name = m_instance_tree->get_icd_port_name(entry.value);
    const int instance_id = m_instance_tree->get_instance_id(entry.value);
    if (instance_id == GESK_TREE::INVALID) l_internal_error("instance_id != GESK_TREE::INVALID", __LINE__);
    const unsigned block = get_place_block_gid_from_jev_info(instance_id);
    unsigned gid = m_route_info->get_block_icd_port_gid(block, type, icd_name);
    if (gid == l_illegal_gid) gid = m_route_info->get_block_icd_port_gid(block, BLC_PORT_BIDIR, icd_name);
    if (gid == l_illegal_gid) l_internal_error("port_re_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    if (m_verbose) {
      const VOK_ATOM_NODE* atom = term->get_my_node();
      msg_vdebug_impl(2, "%s", "");
      msg_vdebug_impl(2, "TERM %s of atom %i (%s) of type = %s has a ICD name of %s with gid=%u (mapping %d)",
                      l_usage_name(term).c_str(), atom->get_id(), atom->get_string_hpath().c_str(),
                      TWY_TRANSLATOR::get_debug_name(TWY_TRANSLATOR::ATOM_TYPE, atom->get_atom_type()).c_str(),
                      icd_name.c_str(), gid, mapping);
    }
    *out = gid;
    ++out;
    ++mapping;
  }
}

template void VELMO_PORT_TRANSLATION_MGR::append_top_level_port_gids(std::back_insert_iterator<std::vector<unsigned>>,
                                                                      const VOK_ATOM_OTERM*, BLC_PORT_TYPE) const;
template void VELMO_PORT_TRANSLATION_MGR::append_top_level_port_gids(std::back_insert_iterator<std::vector<unsigned>>,
                                                                      const VOK_ATOM_ITERM*, BLC_PORT_TYPE) const;
template void VELMO_PORT_TRANSLATION_MGR::append_top_level_port_gids(VELMO_GID_SET_INSERTER, const VOK_ATOM_ITERM*,
                                                                      BLC_PORT_TYPE) const;
template void VELMO_PORT_TRANSLATION_MGR::append_top_level_port_gids(VELMO_GID_SET_INSERTER, const VOK_ATOM_OTERM*,
                                                                      BLC_PORT_TYPE) const;

bool VELMO_PORT_TRANSLATION_MGR::process_atom_of_type(const VOK_ATOM_NODE* atom) const {
  if (atom->is_ff() && atom->get_atom_type() == 392) return false;
  if (atom->is_lcell_comb()) return false;
  if (atom->is_ram()) return false;
  if (atom->is_lutram()) return false;
  if (atom->is_mac()) return false;
  if (atom->is_fp_mac()) return false;
  if (atom->is_jtag_ela()) return false;
  return true;
}

void VELMO_PORT_TRANSLATION_MGR::print_re_gid_description(unsigned gid) const {
  if (gid == l_illegal_gid) return;
  DEV_LOCATION location;
  m_die_info->get_location(gid, location);
  const DEV_ELEMENT_DESC* desc = m_die_info->get_element_desc(gid);
  const int kind = desc ? static_cast<int>(desc->get_element_enum()) : 0;
  const std::string text = m_route_info->get_element_description(kind, location[DEV_LOCATION_SUB_LOCATION]);
  const std::string name = m_route_info->get_name(gid);
  msg_vdebug_impl(2, "\t- %s:%s (GID %u)", name.c_str(), text.c_str(), gid);
}

// ---- the pass -------------------------------------------------------------------

void VELMO_PORT_TRANSLATION_MGR::perform_port_translation() {
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("GESK chip must be loaded before running delay annotation!", __LINE__);
  m_instance_tree = bundle->get_instance_tree();
  m_port_map_db = bundle->get_port_map_db();
  if (m_verbose) msg_vdebug_impl(2, "Port translation begins");
  translate_ports_for_vok_re_routing();
  if (m_verbose) msg_vdebug_impl(2, "Port translation ends");
}

void VELMO_PORT_TRANSLATION_MGR::translate_ports_for_vok_re_routing() {
  VOK_RE_ROUTING& r = *m_chip_db_entry->get_routing();
  VOK_RE_ROUTING_MODIFIER modifier(r, "L10_port_translation", false, false);
  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  auto parent = [&](int node) { return r.get_parent(node, skip); };
  auto gid_of = [&](int node) { return static_cast<unsigned>(r.get_value(node)); };

  // Snapshot of the routing: the wire nodes entered by a non-CRF edge from a
  // wire, and the wire nodes right under a source node (a chain an earlier
  // run hung there, so a repeated run finds it and hangs nothing again).
  ZMP::DENSE_HASH<unsigned, int> gid_to_node;
  for (auto it = r.begin_node_ids(skip); it != r.end_node_ids(skip); ++it) {
    const int node = *it;
    if (!l_is_re_node(r, node)) continue;
    const int p = parent(node);
    if (p == -1) continue;
    const bool from_wire =
        l_is_re_node(r, p) && m_route_info->get_top_level_graph_from_edge(gid_of(p), gid_of(node), 0) != l_crf_graph;
    if (from_wire || l_is_source_node(r, p)) gid_to_node.insert(gid_of(node), node);
  }

  std::vector<unsigned> path;
  ZMP::DENSE_HASH<unsigned, int> port_parent;
  for (VOK_ATOM_NODE* atom : m_atom_netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    for (VOK_ATOM_OTERM* driver : atom->oterms()) {
      // Source side: the driver's port chains below its source node.
      int sink_attach = -1;
      if (process_atom_of_type(atom) && !driver->has_fanout_less_than(1, VOK_TRAVERSE_HIERARCHICAL)) {
        std::vector<unsigned> source_ports;
        append_top_level_port_gids(std::back_inserter(source_ports), driver, BLC_PORT_OUTPUT);
        ZMP::DENSE_HASH_SET<unsigned> sink_ports;
        for (VOK_ATOM_ITERM* fanout : driver->fanout(VOK_TRAVERSE_HIERARCHICAL))
          if (l_is_connected_fanout(fanout) && process_atom_of_type(fanout->get_my_node()))
            append_top_level_port_gids(VELMO_GID_SET_INSERTER(sink_ports), fanout, BLC_PORT_INPUT);
        for (unsigned port : source_ports) {
          path.clear();
          siso_walk_from_port_re_gid(path, port, sink_ports, &WUMP_ROUTE_INFO::begin_fanout_gids,
                                     &WUMP_ROUTE_INFO::end_fanout_gids);
          if (path.size() < 2) continue;
          std::size_t missing = path.size();
          for (std::size_t i = 0; i < path.size(); ++i)
            if (gid_to_node.find(path[i]) == gid_to_node.end()) {
              missing = i;
              break;
            }
          int attach = -1;
          if (missing > 0) {
            // Routing already holds the chain up to the entry before the
            // first missing one (or the whole chain).
            attach = gid_to_node.find(path[missing - 1])->second;
            int root = attach;
            while (parent(root) != -1) root = parent(root);
            const int own_source = r.get_oterm_mapping(driver, W3J3_LOGICAL_PORT_FACTORY::create(driver), skip);
            if (root != own_source && !l_is_virtual_node(r, root) && !l_is_re_node(r, root)) {
              // The chain belongs to another driver's net: grafting it here
              // would mix two nets.
              if (m_verbose)
                msg_vdebug_impl(2, "Port gid %u of atom %i: its chain is routed by another net; skipped", port,
                                atom->get_id());
              continue;
            }
          }
          bool created = false;
          const int source = modifier.insert_source(driver, &created);
          sink_attach = source;
          if (missing == 0) attach = source;
          int root = attach;
          while (parent(root) != -1) root = parent(root);
          if (root != source) modifier.move_tree_under(source, root);
          const bool single_child = r.get_first_child(source, skip) == r.forest().last_child(source);
          if (missing == path.size()) {
            if (single_child)
              sink_attach = r.get_first_child(attach, skip) != -1 ? attach : modifier.insert_virtual_sink(attach);
          } else {
            const int virtual_sink = modifier.insert_virtual_sink(attach);
            for (std::size_t i = missing; i < path.size(); ++i)
              modifier.insert_wire_as_parent(virtual_sink, path[i] & 0x7FFFFFFFu);
            if (r.get_first_child(source, skip) == r.forest().last_child(source)) sink_attach = virtual_sink;
          }
        }
      }

      // Existing sinks: the wire nodes that already feed the driver's sinks.
      port_parent = ZMP::DENSE_HASH<unsigned, int>();
      for (VOK_ATOM_ITERM* fanout : driver->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
        if (fanout == nullptr) continue;
        for (int sink : r.get_iterm_mappings(fanout, W3J3_LOGICAL_PORT_FACTORY::create(fanout), skip)) {
          const int p = parent(sink);
          if (p != -1 && l_is_re_node(r, p)) port_parent.insert(gid_of(p), p);
        }
      }

      // Sink side: each processed sink's port chains above its sink node.
      ZMP::DENSE_HASH_SET<unsigned> driver_ports;
      append_top_level_port_gids(VELMO_GID_SET_INSERTER(driver_ports), driver, BLC_PORT_OUTPUT);
      for (VOK_ATOM_ITERM* fanout : driver->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
        if (!l_is_connected_fanout(fanout) || !process_atom_of_type(fanout->get_my_node())) continue;
        std::vector<unsigned> sink_ports;
        append_top_level_port_gids(std::back_inserter(sink_ports), fanout, BLC_PORT_INPUT);
        const VOK_ATOM_LOGICAL_PORT logical = W3J3_LOGICAL_PORT_FACTORY::create(fanout);
        for (unsigned port : sink_ports) {
          path.clear();
          siso_walk_from_port_re_gid(path, port, driver_ports, &WUMP_ROUTE_INFO::begin_fanin_gids,
                                     &WUMP_ROUTE_INFO::end_fanin_gids);
          if (path.size() < 2) continue;
          const auto sinks = r.get_iterm_mappings(fanout, logical, skip);
          const auto hung = port_parent.find(path[0]);
          if (hung != port_parent.end()) {
            if (sinks.empty()) modifier.insert_sink(hung->second, fanout);
            continue;
          }
          int sink = -1;
          if (!sinks.empty()) {
            sink = sinks[0];
          } else {
            if (sink_attach == -1) sink_attach = modifier.insert_virtual_source();
            else if (!l_is_virtual_node(r, sink_attach)) sink_attach = modifier.insert_virtual_sink(sink_attach);
            sink = modifier.insert_sink(sink_attach, fanout);
          }
          // The anchor: the ancestor right below the port's node, if the
          // routing already runs through the port; else the sink itself.
          int anchor = sink;
          for (int a = parent(sink); a != -1; a = parent(a)) {
            const int pa = parent(a);
            if (pa != -1 && l_is_re_node(r, pa) && gid_of(pa) == path[0]) {
              anchor = a;
              break;
            }
          }
          int top = anchor;
          std::size_t matched = 0;
          for (int p = parent(top); matched < path.size() && p != -1 && l_is_re_node(r, p) && gid_of(p) == path[matched];
               p = parent(top)) {
            top = p;
            ++matched;
          }
          for (std::size_t i = matched; i < path.size(); ++i) top = modifier.insert_wire_as_parent(top, path[i] & 0x7FFFFFFFu);
          port_parent.insert(path[0], parent(sink));
        }
      }
    }
  }
}
