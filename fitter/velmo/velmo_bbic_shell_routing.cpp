// The routing a blackboxed partition's shell keeps.
#include "velmo_bbic_shell_routing.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "jov/jov_design.h"
#include "msg/msg_internal_error.h"
#include "pexa/pexa_utility.h"
#include "velmo_bbic_shell_models.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_routing_model.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"
#include "zmp_hash_lite_sys.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

constexpr VOK_RE_ROUTING_ZOTA_SKIP kSkip{};

// Whether the node has an earlier sibling in the skip view: the mirror image
// of the skip view's next sibling.
bool l_has_earlier_sibling(const VOK_RE_ROUTING& r, int node) {
  const auto& f = r.forest();
  const int s = f.prev_sibling(node);
  if (s != -1) {
    if (!r.is_zota_node(s)) return true;
    // A D side stands for its pair's children.
    if (f.parent(s) != -1) return f.first_child(r.get_corresponding_zota_id(s)) != -1;
    // Marked roots are not shown: look further back along the root list.
    for (int p = s; p != -1; p = f.prev_sibling(p))
      if (!r.is_zota_node(p)) return true;
    return false;
  }
  const int parent = f.parent(node);
  if (parent == -1 || !r.is_zota_node(parent)) return false;
  // The node is a first child under a Q root: its skip-view siblings before
  // it are those shown before the root's D side.
  for (int p = f.prev_sibling(r.get_corresponding_zota_id(parent)); p != -1; p = f.prev_sibling(p)) {
    if (!r.is_zota_node(p)) return true;
    const int pair = r.get_corresponding_zota_id(p);
    if (pair == parent) continue;
    return f.first_child(pair) != -1;
  }
  return false;
}

// Every atom a shell shows: all atoms of partitions without a keep set, the
// keep sets of the others.
using ATOM_SET = VELMO_BBIC_KEEP_SET;

void l_collect_visible_atoms(const VELMO_BBIC_KEEP_SET_TABLE& keep_sets, ATOM_SET& visible) {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  for (const auto& p : design->get_partitions()) {
    const std::size_t id = static_cast<std::size_t>(p->get_id());
    const VELMO_BBIC_KEEP_SET* keep = id < keep_sets.size() ? keep_sets[id] : nullptr;
    if (keep == nullptr) {
      for (VOK_ATOM_NODE* a : p->get_state()->get_atom_netlist()->nodes(VOK_TRAVERSE_AS_STORED)) visible.insert(a);
    } else {
      for (VOK_ATOM_NODE* a : keep->nodes()) visible.insert(a);
    }
  }
}

bool l_is_dangling_kind(const WUMP_ROUTE_INFO* ri, unsigned id) {
  const WUMP_ROUTE_ELEMENT* e = ri->get_element_by_gid(id);
  if (e == nullptr) return true;
  const int kind = static_cast<int>(e->get_element_enum());
  return kind != 659 && kind != 318 && kind != 282;
}

// Erases each collected node that is still there and not a pipeline-register
// node, through the eraser or directly.
void l_erase_collected(const std::vector<int>& ids, VOK_RE_ROUTING& r, VOK_RE_ROUTING_MODIFIER& m,
                       const VELMO_BBIC_STOP_FN* stop) {
  for (int id : ids) {
    if (r.is_zota_node(id) || !r.is_live(id)) continue;
    if (stop != nullptr)
      erase_from_vok_re_routing_with_stop_fn(id, r, m, *stop);
    else
      m.erase_node_now(id);
  }
}

// The shell's routing loses its netlist binding and terminal maps.
void l_detach(VOK_RE_ROUTING& r) {
  r.attach_atom_netlist(nullptr, 0);
}

}  // namespace

const WUMP_ROUTE_INFO* velmo_bbic_get_route_info() {
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (device == nullptr) l_internal_error("dev_device", __LINE__);
  const DEV_DIE_INFO* di = device->get_die_info();
  if (di == nullptr) l_internal_error("di", __LINE__);
  const WUMP_DIE_INFO* dy = di->get_wump_die_info();
  if (dy == nullptr) l_internal_error("dy", __LINE__);
  const WUMP_ROUTE_INFO* ri = dy->get_route_info();
  if (ri == nullptr) l_internal_error("route_info", __LINE__);
  return ri;
}

VOK_ATOM_NETLIST* velmo_bbic_get_design_netlist() {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  JOV_STATE* top_state = design != nullptr && design->get_top_partition() != nullptr
                             ? design->get_top_partition()->get_state()
                             : nullptr;
  VOK_ATOM_NETLIST* netlist = top_state != nullptr ? top_state->get_atom_netlist() : nullptr;
  if (netlist == nullptr) l_internal_error("netlist", __LINE__);
  return netlist;
}

bool velmo_bbic_is_stop_element(const WUMP_ROUTE_INFO* route_info, unsigned id) {
  const WUMP_ROUTE_ELEMENT* e = route_info->get_element_by_gid(id);
  if (e == nullptr) return false;
  const int kind = static_cast<int>(e->get_element_enum());
  return kind == 659 || kind == 318;
}

VELMO_BBIC_STOP_FN velmo_bbic_stop_fn(const WUMP_ROUTE_INFO* route_info) {
  return [route_info](unsigned id) { return velmo_bbic_is_stop_element(route_info, id); };
}

void erase_from_vok_re_routing_with_stop_fn(int node, const VOK_RE_ROUTING& routing, VOK_RE_ROUTING_MODIFIER& modifier,
                                            const VELMO_BBIC_STOP_FN& stop) {
  for (;;) {
    if (routing.forest().parent(node) == -1 || l_has_earlier_sibling(routing, node) ||
        routing.get_next_sibling(node, kSkip) != -1)
      break;
    const int parent = routing.get_parent(node, kSkip);
    if (parent == -1) break;
    if (routing.is_wire(parent) && stop(routing.get_gid(parent))) break;
    node = parent;
  }
  modifier.erase_node_now(node);
}

void erase_iterm_from_vok_re_routing_with_stop_fn(const VOK_ATOM_ITERM* iterm, const VOK_RE_ROUTING& routing,
                                                  VOK_RE_ROUTING_MODIFIER& modifier, const VELMO_BBIC_STOP_FN& stop) {
  const ZMP_TINY_VECTOR<int> sinks = routing.get_iterm_mappings(iterm, vok_get_logical_port(iterm), kSkip);
  for (int id : sinks)
    if (routing.is_live(id)) erase_from_vok_re_routing_with_stop_fn(id, routing, modifier, stop);
}

void determine_routing_to_keep(VELMO_BBIC_KEPT_ROUTING& kept, const VELMO_BBIC_KEEP_SET_TABLE& keep_sets) {
  VELMO_SCOPED_PROFILE_BIN bin("determine_routing_to_keep", "BBIC", nullptr);
  static unsigned debug_dump_count = 0;
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  VOK_CHIP_DB_ENTRY* entry = VOK_CHIP_DB_ENTRY::current();
  VOK_ATOM_NETLIST* netlist = velmo_bbic_get_design_netlist();
  const WUMP_ROUTE_INFO* ri = velmo_bbic_get_route_info();
  const VELMO_BBIC_STOP_FN stop = velmo_bbic_stop_fn(ri);

  VOK_RE_ROUTING copy;
  copy = *entry->get_routing();
  VOK_RE_ROUTING_MODIFIER modifier(copy, "bbic_determine_routing_to_keep", false, false);
  modifier.set_erase_at_once(true);
  const bool debug = cfg_is_on("bbic_debug_routing", false);
  auto dump = [&](const char* tag) {
    char name[64];
    std::snprintf(name, sizeof name, "bbic-routing-%03u-%s.dump", debug_dump_count, tag);
    copy.debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>(name);
  };
  if (debug) dump("aaa");

  ATOM_SET visible;
  l_collect_visible_atoms(keep_sets, visible);
  const bool zota_family = ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, 0);

  unsigned nets = 0;
  unsigned connections = 0;
  for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (visible.contains(n)) continue;
    for (VOK_ATOM_OTERM* o : n->oterms()) {
      modifier.erase(o);
      ++nets;
    }
  }
  for (VOK_ATOM_NODE* n : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    const bool keep_sink = visible.contains(n);
    if (keep_sink && !zota_family) continue;
    for (VOK_ATOM_ITERM* i : n->iterms()) {
      const VOK_ATOM_OTERM* source = i->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (source == nullptr) continue;
      const VOK_ATOM_NODE* src = source->get_my_node();
      const bool keep_src = visible.contains(src);
      bool erase = false;
      if (keep_sink) {
        if (!zota_family) l_internal_error("zota_family", __LINE__);
        erase = !keep_src;
      } else if (keep_src) {
        erase = true;
      } else {
        if (!(zota_family || keep_src || !i->is_global()))
          l_internal_error("zota_family|| keep_src || !iterm->is_global()", __LINE__);
        erase = ZEL_ATOM_UTIL::is_zota_marked_reg(src);
      }
      if (!erase) continue;
      erase_iterm_from_vok_re_routing_with_stop_fn(i, copy, modifier, stop);
      ++connections;
    }
  }
  // A partition removed completely loses every connection out of its box.
  for (const auto& p : design->get_partitions()) {
    if (p->get_parent() == nullptr) continue;
    const std::size_t id = static_cast<std::size_t>(p->get_id());
    const VELMO_BBIC_KEEP_SET* keep = id < keep_sets.size() ? keep_sets[id] : nullptr;
    if (keep == nullptr || !keep->empty()) continue;
    VOK_ATOM_BLACKBOX* box = p->get_state()->get_atom_netlist()->get_parent_box();
    if (box == nullptr) l_internal_error("box", __LINE__);
    for (VOK_ATOM_OTERM* o : box->oterms())
      for (VOK_ATOM_ITERM* i : o->fanout(VOK_TRAVERSE_AS_STORED))
        erase_iterm_from_vok_re_routing_with_stop_fn(i, copy, modifier, stop);
  }
  msg_vdebug_impl(2, "Removed routing for %u nets and %u connections", nets, connections);

  // Dangling routing: empty roots, then leaves that lead nowhere useful.
  std::vector<int> dangling;
  std::vector<int> roots;
  auto rr = copy.root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
  for (auto it = rr.first; !(it == rr.second); ++it) roots.push_back(*it);
  for (int root : roots)
    if (copy.forest().first_child(root) == -1) dangling.push_back(root);
  for (int root : roots) {
    for (VOK_RE_ROUTING::leaf_id_iterator it(&copy, copy.get_first_leaf(root, kSkip), root); !it.at_end(); ++it) {
      const int leaf = *it;
      if (copy.is_wire(leaf) && l_is_dangling_kind(ri, copy.get_gid(leaf))) dangling.push_back(leaf);
    }
  }
  l_erase_collected(dangling, copy, modifier, &stop);

  // What is left: every routing element of every tree, in pre-order.
  auto left = copy.root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
  for (auto it = left.first; !(it == left.second); ++it) {
    const int root = *it;
    int cur = root;
    while (cur != -1) {
      if (copy.is_wire(cur)) kept.insert(copy.get_gid(cur));
      int next = copy.get_first_child(cur, kSkip);
      while (next == -1 && cur != root) {
        next = copy.get_next_sibling(cur, kSkip);
        if (next == -1) cur = copy.get_parent(cur, kSkip);
      }
      cur = next;
    }
  }
  if (debug) {
    dump("bbb");
    ++debug_dump_count;
  }
}

void filter_routing(JOV_PARTITION* partition, KIV_STATE& state, VOK_ATOM_NETLIST* netlist,
                    const VELMO_BBIC_KEEP_SET& keep_set, const VELMO_BBIC_KEPT_ROUTING& kept) {
  VELMO_SCOPED_PROFILE_BIN bin("bbic_filter_routing", nullptr);
  static unsigned long dd = 0;
  VOK_ROUTING_MODEL* model = velmo_bbic_get_model<VOK_ROUTING_MODEL>(state, "routing");
  if (model == nullptr) return;
  VOK_RE_ROUTING* r = model->get_routing();
  if (r == nullptr) l_internal_error("re_routing", __LINE__);
  r->attach_atom_netlist(netlist, VOK_TRAVERSE_HIERARCHICAL);
  const unsigned old_count = static_cast<unsigned>(r->get_live_node_count());
  const bool debug = cfg_is_on("bbic_filter_routing_debug", false);
  if (debug) r->debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("bbic_filter_routing-" + std::to_string(dd) + "-pre.rt");

  ZMP_HASH_LITE<VOK_ATOM_LOGICAL_PORT, int, VOK_ATOM_LOGICAL_PORT_OPS> port_roots;
  auto rr = r->root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
  for (auto it = rr.first; !(it == rr.second); ++it) {
    const int root = *it;
    if (!r->is_terminal(root)) continue;
    const VOK_ATOM_LOGICAL_PORT& port = r->get_node_terminal(root).port;
    if (port.get_port().get_namespace() == VOK_PORT_NAMESPACE_OUTPUT) port_roots.insert(port, root);
  }
  VOK_RE_ROUTING_MODIFIER modifier(*r, "bbic_filter_routing", false, false);
  modifier.set_erase_at_once(true);
  for (VOK_ATOM_NODE* a : netlist->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (keep_set.contains(a)) continue;
    for (VOK_ATOM_OTERM* o : a->oterms()) {
      const int* root = port_roots.lookup(vok_get_logical_port(o));
      if (root != nullptr && r->is_live(*root)) modifier.erase_node_now(*root);
    }
  }
  // The sink leaves of atoms outside the keep set go too. A hidden sink that
  // shares its last routing element with a visible one keeps that element
  // in `kept`, so the element pass below would leave the leaf behind: a
  // terminal of an atom the shell does not have, which every later walk of
  // the routing over the shell netlist would fail to find.
  std::vector<int> hidden_sinks;
  for (VOK_ATOM_NODE* a : netlist->nodes(VOK_TRAVERSE_AS_STORED)) {
    if (keep_set.contains(a)) continue;
    for (VOK_ATOM_ITERM* i : a->iterms())
      for (int id : r->get_iterm_mappings(i, vok_get_logical_port(i), kSkip))
        if (r->is_live(id) && r->is_terminal(id) && !r->is_zota_node(id)) hidden_sinks.push_back(id);
  }
  for (int id : hidden_sinks)
    if (r->is_live(id)) modifier.erase_node_now(id);
  std::vector<int> outside;
  for (int id = 0; id < r->forest().num_slots(); ++id)
    if (r->is_live(id) && !r->is_zota_node(id) && r->is_wire(id) && kept.find(r->get_gid(id)).is_end())
      outside.push_back(id);
  l_erase_collected(outside, *r, modifier, nullptr);
  std::vector<int> empty_roots;
  auto left = r->root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
  for (auto it = left.first; !(it == left.second); ++it)
    if (r->forest().first_child(*it) == -1) empty_roots.push_back(*it);
  l_erase_collected(empty_roots, *r, modifier, nullptr);
  msg_vdebug_impl(2, "BBIC routing for partition %s routing=%u (was %u)", partition->get_name().c_str(),
                  static_cast<unsigned>(r->get_live_node_count()), old_count);
  if (debug) {
    r->debug_dump<VOK_RE_ROUTING_ZOTA_SKIP>("bbic_filter_routing-" + std::to_string(dd) + "-post.rt");
    ++dd;
  }
  l_detach(*r);
}
