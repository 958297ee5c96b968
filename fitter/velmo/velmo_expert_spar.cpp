// Preparation of the hold-fixing re-route: the routed state is saved, the
// recompile state becomes a routed hold fix-up, and the routing is reduced to
// the hard constraints of the re-route.
//
// Which input terms keep their routing (the filtered ones): ports of a
// global (clock-like) kind, terms neither end of which may be modified
// (partial-reconfiguration boundary wire-LUTs count as not modifiable), the
// inputs of clock dividers, gates, bursts and the interface blocks, and terms
// whose route passes a routing element reserved for a partition.
//
// Erase rule of the routing pass. Each routing tree of a net (the source
// tree, and the tree under the Q side of each routing register on it) is
// marked bottom-up: a leaf is kept unless it is the sink of an unfiltered
// input term; the D side of a routing register is always kept (the register
// stays where the retimer put it); a node is kept when any child is; and a
// wire entered over an edge that leaves the core fabric (block or clock
// network) is kept with everything under it, its sinks included, so no
// route is cut below such an edge. Every maximal subtree that is not kept is
// erased; roots are never erased. An unfiltered sink under a
// routing register's Q side is merged at that register, so its re-route
// starts from the register and the pipeline depth of the path is kept.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "jov/jov_design.h"
#include "msg/msg_internal_error.h"
#include "pexa/pexa_utility.h"
#include "swavo/swavo_recompile_op.h"
#include "velmo_bbic.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "velmo_main.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "zib/zib_wireluts.h"
#include "zmp_dense_hash.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}

using ITERM_SET = ZMP::DENSE_HASH_SET<const VOK_ATOM_ITERM*>;
using ID_SET = ZMP::DENSE_HASH_SET<int>;

bool l_port_kind_is_ordinary(const VOK_ATOM_ITERM* iterm) {
  const int kind = iterm->get_connection_code() & 0x1F;
  return kind == 0 || kind == 1 || kind == 3 || kind == 4;
}

bool l_either_end_modifiable(const VOK_ATOM_ITERM* iterm) {
  const VOK_ATOM_NODE* node = iterm->get_my_node();
  if (node->is_modifiable() && !ZIB::WIRELUTS::is_pr_input_wirelut(node)) return true;
  const VOK_ATOM_OTERM* source = iterm->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (source == nullptr) return false;
  const VOK_ATOM_NODE* src = source->get_my_node();
  return src != nullptr && src->is_modifiable() && !ZIB::WIRELUTS::is_pr_output_wirelut(src);
}

bool l_is_clock_or_interface_block(const VOK_ATOM_NODE* node) {
  return node->is_clk_divider() || node->is_clk_gate() || node->is_clk_burst() || node->is_ufi_uib() ||
         node->is_ufi_esram() || node->is_ufind4h_uib() || node->is_uibssm() || node->is_uib_io_phy() ||
         node->is_uib_rdrc() || node->is_uib_wdrc();
}

// Whether a route of the input term passes a routing element reserved for a
// partition.
bool l_route_passes_partition(const VOK_RE_ROUTING& routing, const VOK_ATOM_ITERM* iterm, const ID_SET& ids) {
  for (int node : routing.get_sink_nodes(iterm)) {
    for (int p = routing.get_parent(node, VOK_RE_ROUTING_ZOTA_SKIP()); p != -1;
         p = routing.get_parent(p, VOK_RE_ROUTING_ZOTA_SKIP())) {
      if (!routing.is_wire(p)) continue;
      const int element = static_cast<int>(routing.get_gid(p) & 0x7FFFFFFFu);
      if (ids.find(element) != ids.end()) return true;
    }
  }
  return false;
}

// The routing pass over one net (see the file comment).
class NET_TRIMMER {
public:
  NET_TRIMMER(VOK_RE_ROUTING& routing, VOK_RE_ROUTING_MODIFIER& modifier, const ITERM_SET& filtered,
              const WUMP_ROUTE_INFO& route_info, const VOK_ATOM_OTERM* oterm)
      : m_routing(routing), m_modifier(modifier), m_filtered(filtered), m_route_info(route_info), m_oterm(oterm) {}

  void trim_tree(int root) {
    std::vector<const VOK_ATOM_ITERM*> unfiltered;
    const bool register_tree = m_routing.is_zota_node(root);
    mark(root, unfiltered);
    erase_unkept_below(root);
    if (register_tree)
      for (const VOK_ATOM_ITERM* iterm : unfiltered) m_modifier.merge_at_routing_register(iterm, m_oterm);
  }

private:
  const VOK_RE_ROUTING::FOREST& forest() const { return m_routing.forest(); }

  // The input term of a sink leaf; null for any other leaf.
  const VOK_ATOM_ITERM* sink_iterm(int leaf) const {
    if (!m_routing.is_terminal(leaf)) return nullptr;
    const VOK_RE_TERMINAL& terminal = m_routing.get_node_terminal(leaf);
    if (terminal.name_space != VOK_PORT_NAMESPACE_INPUT) return nullptr;
    if (!terminal.port.is_input()) l_internal_error("port_info[port_id].is_input_atom_port()", __LINE__);
    if (m_routing.get_atom_netlist() == nullptr) l_internal_error("m_atom_netlist", __LINE__);
    const VOK_ATOM_ITERM* iterm = vok_find_iterm(m_routing.get_atom_netlist(), terminal.port, true);
    if (iterm == nullptr) throw std::out_of_range("Key not found");
    return iterm;
  }

  bool mark(int node, std::vector<const VOK_ATOM_ITERM*>& unfiltered) {
    bool kept = false;
    const int parent = forest().parent(node);
    if (enters_over_non_fabric_edge(parent, node)) {
      keep_all(node);
      return true;
    }
    if (parent != -1 && m_routing.is_zota_node(node)) {
      // The D side of a routing register: kept, and its Q side is a tree of
      // its own.
      trim_tree(m_routing.get_corresponding_zota_id(node));
      kept = true;
    } else if (forest().first_child(node) == -1) {
      const VOK_ATOM_ITERM* iterm = sink_iterm(node);
      kept = iterm == nullptr || m_filtered.find(iterm) != m_filtered.end();
      if (!kept) unfiltered.push_back(iterm);
    } else {
      for (int c = forest().first_child(node); c != -1; c = forest().next_sibling(c))
        kept = mark(c, unfiltered) || kept;
    }
    m_kept[node] = kept;
    return kept;
  }

  bool enters_over_non_fabric_edge(int parent, int node) const {
    return parent != -1 && m_routing.is_wire(parent) && m_routing.is_wire(node) &&
           m_route_info.get_top_level_graph_from_edge(m_routing.get_gid(parent), m_routing.get_gid(node), 0) != 2;
  }

  // Keeps the node and its whole subtree; a routing register inside still
  // has its Q side trimmed as a tree of its own.
  void keep_all(int node) {
    m_kept[node] = true;
    if (forest().parent(node) != -1 && m_routing.is_zota_node(node)) {
      trim_tree(m_routing.get_corresponding_zota_id(node));
      return;
    }
    for (int c = forest().first_child(node); c != -1; c = forest().next_sibling(c)) keep_all(c);
  }

  void erase_unkept_below(int node) {
    for (int c = forest().first_child(node); c != -1; c = forest().next_sibling(c)) {
      if (!m_kept[c]) {
        m_modifier.erase(c);
      } else {
        erase_unkept_below(c);
      }
    }
  }

  VOK_RE_ROUTING& m_routing;
  VOK_RE_ROUTING_MODIFIER& m_modifier;
  const ITERM_SET& m_filtered;
  const WUMP_ROUTE_INFO& m_route_info;
  const VOK_ATOM_OTERM* m_oterm;
  std::unordered_map<int, bool> m_kept;
};

}  // namespace

void spar_preamble() {
  VELMO_SCOPED_PROFILE_BIN bin("spar_preamble", "");
  if (!velmo_write_intermediate_snapshot(nullptr)) VELMO_BBIC::push_routing_to_partitions();
  SWAVO_RECOMPILE_OP::parse_recompile_argument("routed -hold_fixup");
  SWAVO_RECOMPILE_OP::reset_swavo_recompile_to_current();

  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (env == nullptr) l_internal_error("env", __LINE__);
  VOK_CHIP_DB_ENTRY* chip_entry = env->get_chip_db_entry();
  if (chip_entry == nullptr) l_internal_error("chip_entry", __LINE__);
  VOK_ATOM_NETLIST* netlist = env->get_atom_netlist();
  VOK_RE_ROUTING& routing = *chip_entry->get_routing();

  const bool debug = cfg_is_on("velmo_spar_debug", false);
  if (debug) routing.debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("spar_hard_routing_constraints-stitched1.echo");

  ID_SET partition_ids;
  for (const auto& partition : JOV_ROOT::get()->get_design("")->get_partitions()) {
    const std::vector<int>& ids = partition->get_state(JOV_PARTITION::s_unspecified)->get_reserved_re_ids();
    partition_ids.grow_if_necessary(static_cast<std::uint32_t>(partition_ids.size() + ids.size()));
    for (int id : ids) partition_ids.insert(id);
  }

  ITERM_SET filtered;
  for (const VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    for (const VOK_ATOM_ITERM* iterm : atom->citerms()) {
      const bool keep = !l_port_kind_is_ordinary(iterm) || !l_either_end_modifiable(iterm) ||
                        l_is_clock_or_interface_block(atom) ||
                        (!partition_ids.empty() && l_route_passes_partition(routing, iterm, partition_ids));
      if (keep) filtered.insert(iterm);
    }
  }

  {
    VOK_RE_ROUTING_MODIFIER modifier(routing, "spar_preamble", false, false);
    const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
    if (device == nullptr) l_internal_error("dev_device", __LINE__);
    const DEV_DIE_INFO* die = device->get_die_info();
    const WUMP_DIE_INFO* wump = die ? die->get_wump_die_info() : nullptr;
    if (wump == nullptr) l_internal_error("di", __LINE__);
    const WUMP_ROUTE_INFO* route_info = wump->get_route_info();
    if (route_info == nullptr) l_internal_error("dy", __LINE__);

    for (const VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
      for (const VOK_ATOM_OTERM* oterm : atom->coterms()) {
        const int source = routing.get_source_node(oterm);
        if (source == -1) continue;
        NET_TRIMMER(routing, modifier, filtered, *route_info, oterm).trim_tree(source);
      }
    }
    msg_vdebug_impl(2, "spar_preamble: filtered %u iterms", static_cast<unsigned>(filtered.size()));
    env->m_zota_state = 0;
  }
  // The modifier has applied its erasures: the dump shows the hard
  // constraints the re-route keeps.
  if (debug) routing.debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("spar_hard_routing_constraints-stitched.echo");
}
