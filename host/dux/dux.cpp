#include "dux/dux.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"
#include "sta/sta_timers.h"
#include "vok/vok_atom_netlist_boxes.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"

namespace {

[[noreturn]] void fail(const char* condition, int line) { MSG_INTERNAL_ERROR::report(condition, "DUX", __FILE__, line); }

// The netlist and the partitions' netlists below it: an edit may touch an
// atom of any of them.
std::vector<const VOK_ATOM_NETLIST*> netlists_below(const VOK_ATOM_NETLIST* top) {
  std::vector<const VOK_ATOM_NETLIST*> out{top};
  for (std::size_t i = 0; i < out.size(); ++i)
    for (const VOK_ATOM_BLACKBOX* box : host::vok::boxes_of(out[i]))
      if (box->get_child_netlist() != nullptr) out.push_back(box->get_child_netlist());
  return out;
}
VOK_ATOM_NODE* atom_below(const VOK_ATOM_NETLIST* top, int id) {
  for (const VOK_ATOM_NETLIST* n : netlists_below(top))
    if (VOK_ATOM_NODE* a = n->get_atom_by_id(id)) return a;
  return nullptr;
}
std::vector<VOK_ATOM_NODE*> atoms_at_gid(const VOK_ATOM_NETLIST* top, unsigned gid) {
  std::vector<VOK_ATOM_NODE*> out;
  for (const VOK_ATOM_NETLIST* n : netlists_below(top))
    for (VOK_ATOM_NODE* a : n->get_atoms_at_gid(gid)) out.push_back(a);
  return out;
}

// An input's connection as it stands.
struct TERM_STATE {
  VOK_ATOM_OTERM* source = nullptr;
  bool connected = false;
  bool tie_low = false;
  std::uint8_t state = 0;
};

TERM_STATE capture(const VOK_ATOM_ITERM* t) {
  return {t->get_source(VOK_TRAVERSE_AS_STORED), t->is_connected(), t->is_tie_low(), t->get_state()};
}

void apply(VOK_ATOM_ITERM* t, const TERM_STATE& s) {
  if (s.source)
    vok_connect(s.source, t);
  else if (s.connected)
    t->tie(s.tie_low);
  else
    t->disconnect_from_source(VOK_NET_ITERM::OPEN);
  t->set_state(s.state);
}

DB_INPUT_PORT_TYPE input_type(const VOK_ATOM_LOGICAL_PORT& p) {
  return static_cast<DB_INPUT_PORT_TYPE>(vok_port_type_of_symbol(p.get_port()));
}

bool is_slot_gid(unsigned gid) { return gid != 0xFFFFFFFFu && (gid & 0x80000000u) != 0; }

// The site kind an atom needs.
int site_kind_of(const VOK_ATOM_NODE* atom) { return atom->get_default_dev_element(); }

}  // namespace

// ---------------------------------------------------------------- legality handle

std::pair<int, int> DUX_ZOTA_LEGALITY::row_segment_of(unsigned gid) {
  if (!is_slot_gid(gid)) return {-1, -1};
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  if (!info->is_zota_gid(gid)) return {-1, -1};
  const std::uint64_t xy = info->get_location(gid, 0);
  const int x = static_cast<int>(xy & 0xFFFFFFFFu), y = static_cast<int>(xy >> 32);
  return {y, x / 10};
}

DUX_ZOTA_LEGALITY::PAIR DUX_ZOTA_LEGALITY::clock_pair_of(const VOK_ATOM_NODE* reg) {
  const VOK_ATOM_ITERM* clk = reg ? reg->get_input_term_by_type(DB_INPUT_PORT_CLK, 0) : nullptr;
  const VOK_ATOM_OTERM* src = clk ? clk->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
  return {src && src->get_my_node() ? src->get_my_node()->get_id() : -1, clk && clk->is_inverted()};
}

std::set<DUX_ZOTA_LEGALITY::PAIR> DUX_ZOTA_LEGALITY::pairs_in(std::pair<int, int> segment) const {
  std::set<PAIR> out;
  for (const auto& [id, gid] : m_placed)
    if (row_segment_of(gid) == segment) out.insert(m_pair.at(id));
  return out;
}

// ---------------------------------------------------------------- engine

DUX::DUX(int state, bool flag, WEXAN_ENV* env) : m_env(env) {
  host::log_call("DUX::DUX", state, flag, static_cast<const void*>(env));
  m_legality.m_owner = this;
  // The engine finds sinks and sources through the routing's terminal maps.
  // They are read whole once here (the design may have changed since they
  // were attached); from then on every edit keeps them current.
  if (routing().get_atom_netlist() == nullptr)
    routing().attach_atom_netlist(top(), VOK_TRAVERSE_HIERARCHICAL);
  else
    routing().rebuild_terminal_maps();
}

DUX::~DUX() { clear_checkpoint_data(); }

VOK_RE_ROUTING& DUX::routing() const { return *VOK_CHIP_DB_ENTRY::current()->get_routing(); }
VOK_ATOM_NETLIST* DUX::top() const { return host::vok::top_netlist(); }

DUX::ENTRY& DUX::push(std::function<void(DUX_RESULT&)> undo) {
  m_log.push_back(ENTRY{std::move(undo), {}, nullptr, nullptr});
  return m_log.back();
}

void DUX::touch(const VOK_ATOM_NODE* atom) {
  if (atom) m_touched.insert(atom->get_id());
  m_only_routed = false;
}

void DUX::touch_routed(const VOK_ATOM_NODE* atom) {
  if (atom) m_touched.insert(atom->get_id());
}

// ---- routing snapshots: a net is the tree of its source node with the
// pipeline-register continuations hanging under its marked nodes.
namespace {
int group_top(const VOK_RE_ROUTING& r, int n) {
  const auto& f = r.forest();
  for (int guard = 0; n >= 0 && guard < 1 << 20; ++guard) {
    while (f.parent(n) >= 0) n = f.parent(n);
    if (!r.is_zota_node(n)) return n;
    const int d = r.get_corresponding_zota_id(n);
    if (d < 0 || !r.is_live(d) || f.parent(d) < 0) return n;
    n = d;
  }
  return n;
}
}  // namespace

void DUX::snapshot_net(ENTRY& e, const VOK_ATOM_OTERM* oterm) {
  if (!oterm || !oterm->get_my_node()) return;
  m_rerouted.push_back(vok_get_logical_port(oterm));
  VOK_RE_ROUTING& r = routing();
  int top_node = r.get_source_node(oterm);
  if (top_node < 0)
    for (VOK_ATOM_ITERM* t = oterm->get_first_fanout(VOK_TRAVERSE_AS_STORED); t && top_node < 0;
         t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED))
      for (int s : r.get_sink_nodes(t)) {
        top_node = group_top(r, s);
        break;
      }
  VOK_ATOM_LOGICAL_PORT key = vok_get_logical_port(oterm);
  if (top_node >= 0) {
    if (!r.is_terminal(top_node)) return;  // a net without a source terminal is not kept
    key = r.get_node_terminal(top_node).port;
  }
  for (const TREE_SNAP& s : e.trees)
    if (s.key == key) return;
  TREE_SNAP snap{key, {}};
  if (top_node >= 0) {
    const auto& f = r.forest();
    struct ITEM {
      int node, parent, pair_of;
    };
    std::vector<ITEM> stack{{top_node, -1, -1}};
    while (!stack.empty()) {
      const ITEM it = stack.back();
      stack.pop_back();
      const int idx = static_cast<int>(snap.nodes.size());
      TREE_NODE tn{r.get_value(it.node), {}, 0, it.parent, it.pair_of};
      if (r.is_terminal(it.node)) {
        tn.port = r.get_node_terminal(it.node).port;
        tn.name_space = r.get_node_terminal(it.node).name_space;
      }
      snap.nodes.push_back(tn);
      std::vector<ITEM> children;
      for (int c = f.first_child(it.node); c != -1; c = f.next_sibling(c)) children.push_back({c, idx, -1});
      if (r.is_zota_node(it.node) && f.parent(it.node) >= 0) {
        const int q = r.get_corresponding_zota_id(it.node);
        if (r.is_live(q) && f.parent(q) < 0) children.push_back({q, -1, idx});
      }
      for (auto c = children.rbegin(); c != children.rend(); ++c) stack.push_back(*c);
    }
  }
  note_rerouted(snap);
  e.trees.push_back(std::move(snap));
}

void DUX::note_rerouted(const TREE_SNAP& snap) {
  // The net, and the nets of its tree's sinks (behind a routing slot's
  // register they are that register's).
  m_rerouted.push_back(snap.key);
  for (const TREE_NODE& n : snap.nodes)
    if (n.value >= 0 && n.parent >= 0) m_rerouted.push_back(n.port);
}

std::set<const VOK_ATOM_OTERM*> DUX::rerouted_nets() const {
  std::set<const VOK_ATOM_OTERM*> nets;
  for (const VOK_ATOM_LOGICAL_PORT& p : m_rerouted)
    if (p.is_output()) {
      nets.insert(vok_find_oterm(top(), p));
    } else if (const VOK_ATOM_ITERM* t = vok_find_iterm(top(), p)) {
      nets.insert(t->get_source(VOK_TRAVERSE_AS_STORED));
      nets.insert(t->get_source(VOK_TRAVERSE_HIERARCHICAL));
    }
  nets.erase(nullptr);
  return nets;
}

void DUX::update_timing(bool clean) {
  // With nothing tainted by others, the nets this engine re-routed are all
  // the routing changes the timing netlist has to read.
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  if (kem && clean) kem->set_routing_changes(rerouted_nets());
  m_rerouted.clear();
  if (!kem) return;
  sta_increm_update_timing();
  if (KEM_NETLIST* now = host::hov::current_kem_netlist()) now->forget_routing_changes();
}

void DUX::update_routed_timing() {
  // What rebuilding the touched atoms' cells would read again: the nets
  // re-routed and those the touched atoms drive, whole, and the
  // connections into the touched atoms. Their cells would come back as
  // they are, so the timing netlist keeps them, and its structure stays
  // that of its build wherever a connection keeps its source.
  KEM_NETLIST* kem = host::hov::current_kem_netlist();
  std::set<const VOK_ATOM_OTERM*> nets = rerouted_nets();
  m_rerouted.clear();
  KEM_DIRTY dirty;
  kem->reread_connections(m_touched, std::move(nets), &dirty);
  const host::timers::SCOPE timer(host::timers::SCOPE::TIMING);
  host::sta::update(kem, dirty);
}

void DUX::snapshot_atom_nets(ENTRY& e, const VOK_ATOM_NODE* atom) {
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i)
    if (const VOK_ATOM_OTERM* o = atom->get_oterm_slot(i)) snapshot_net(e, o);
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i)
    if (const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i)) snapshot_net(e, t->get_source(VOK_TRAVERSE_AS_STORED));
}

void DUX::restore_tree(const TREE_SNAP& snap) {
  VOK_RE_ROUTING& r = routing();
  const VOK_ATOM_OTERM* oterm = vok_find_oterm(top(), snap.key);
  note_rerouted(snap);
  // The atoms whose terminals the net gains or loses are rebuilt, and the
  // source's, so that the net is read again; a sink on both trees keeps its
  // atom (the timing netlist marks it when its route's delays moved). A
  // high-fanout net (a clock) then costs what changed on it, not its fanout.
  // Per terminal (atom, port symbol, index, namespace): 1 on the snapshot,
  // 2 on the tree now.
  std::map<std::tuple<std::uint32_t, int, int, int>, int> terminals;
  auto key = [](const VOK_ATOM_LOGICAL_PORT& p, int name_space) {
    return std::tuple<std::uint32_t, int, int, int>{p.get_atom_id(), p.get_port().index(), p.get_index(), name_space};
  };
  for (const TREE_NODE& n : snap.nodes)
    if (n.value >= 0) terminals[key(n.port, n.name_space)] |= 1;
  m_touched.insert(static_cast<int>(snap.key.get_atom_id()));
  if (oterm) {
    const int now = r.get_source_node(oterm);
    if (now >= 0 && r.is_live(now)) {
      std::vector<int> stack{now};
      while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        if (r.is_terminal(n)) terminals[key(r.get_node_terminal(n).port, r.get_node_terminal(n).name_space)] |= 2;
        for (int c = r.forest().first_child(n); c != -1; c = r.forest().next_sibling(c)) stack.push_back(c);
      }
      r.erase(now);
    }
  }
  for (const auto& [t, where] : terminals)
    if (where != 3) m_touched.insert(static_cast<int>(std::get<0>(t)));
  if (snap.nodes.empty() || !oterm) return;
  // A slot's Q side comes back with its pair: a Q root left standing when its
  // D leaf was ripped up alone gives way to it.
  for (const TREE_NODE& n : snap.nodes)
    if (n.parent < 0 && n.pair_of >= 0 && VOK_RE_ROUTING::is_wire_value(n.value))
      for (int id : r.get_element_nodes(static_cast<unsigned>(n.value)))
        if (r.is_live(id) && r.forest().parent(id) < 0) r.erase(id);
  std::vector<int> ids(snap.nodes.size(), -1);
  for (std::size_t i = 0; i < snap.nodes.size(); ++i) {
    const TREE_NODE& n = snap.nodes[i];
    const bool terminal = n.value >= 0;
    if (n.parent < 0) {
      ids[i] = terminal ? r.new_source(vok_find_oterm(top(), n.port)) : r.new_root(n.value);
      if (n.pair_of >= 0) r.set_zota_pair(ids[static_cast<std::size_t>(n.pair_of)], ids[i]);
      continue;
    }
    const int parent = ids[static_cast<std::size_t>(n.parent)];
    if (terminal) {
      const VOK_ATOM_ITERM* t = vok_find_iterm(top(), n.port);
      ids[i] = t ? r.append_sink(parent, t) : r.append_child_value(parent, VOK_RE_ROUTING::VIRTUAL_VALUE);
    } else {
      ids[i] = r.append_child_value(parent, n.value);
    }
  }
}

void DUX::rip_up_sink(const VOK_ATOM_ITERM* iterm) {
  VOK_RE_ROUTING& r = routing();
  const auto& f = r.forest();
  std::vector<int> sinks = r.get_sink_nodes(iterm);
  // The data input of a register in a routing slot has no terminal node: its
  // route ends in the slot's D leaf (the only wire leaf of that element). The
  // leaf goes alone; the Q side keeps the register's own routes.
  const VOK_ATOM_NODE* owner = iterm->get_my_node();
  if (owner && is_slot_gid(owner->get_location_gid()) && iterm->get_port_type() == DB_INPUT_PORT_DATA_IN)
    for (int id : r.get_element_nodes(owner->get_location_gid()))
      if (r.is_live(id) && f.parent(id) >= 0 && f.first_child(id) == -1) {
        r.unpair_zota(id);
        sinks.push_back(id);
        break;
      }
  for (int s : sinks) {
    if (!r.is_live(s)) continue;
    int top_node = s;
    for (int p = f.parent(top_node); p >= 0 && r.is_wire(p) && !r.is_zota_node(p) && f.parent(p) >= 0 &&
                                     f.first_child(p) == top_node && f.next_sibling(top_node) == -1;
         p = f.parent(top_node))
      top_node = p;
    r.erase(top_node);
  }
}

void DUX::rip_up_atom(const VOK_ATOM_NODE* atom) {
  VOK_RE_ROUTING& r = routing();
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i)
    if (const VOK_ATOM_OTERM* o = atom->get_oterm_slot(i)) {
      const int s = r.get_source_node(o);
      if (s >= 0 && r.is_live(s)) r.erase(s);
    }
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i)
    if (const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i)) rip_up_sink(t);
  // A register in a routing slot: its D leaf (and with it its Q side), then
  // a Q root left alone. Below a parent only a pipeline pair's node is the
  // register's: an unpaired node of the same element is a route passing
  // through the slot (as in a net restored under an undone creation) and
  // stays.
  if (is_slot_gid(atom->get_location_gid())) {
    const unsigned slot = atom->get_location_gid();
    for (int id : r.get_element_nodes(slot))
      if (r.is_live(id) && r.forest().parent(id) >= 0 && r.is_zota_node(id)) {
        r.erase(id);
        break;
      }
    for (int id : r.get_element_nodes(slot))
      if (r.is_live(id) && r.forest().parent(id) < 0) {
        r.erase(id);
        break;
      }
  }
}

void DUX::queue_atom_connections(const VOK_ATOM_NODE* atom) {
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i)
    if (const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i)) m_to_route.push_back(vok_get_logical_port(t));
  // The atoms an output feeds as stored are the ones the edit touches; the
  // connections to route again are those the routing holds, which end at the
  // registers inside a black box rather than at its port.
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i)
    if (const VOK_ATOM_OTERM* o = atom->get_oterm_slot(i)) {
      for (VOK_ATOM_ITERM* t = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); t; t = t->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        touch(t->get_my_node());
      for (const VOK_ATOM_ITERM* t : o->cfanout(VOK_TRAVERSE_HIERARCHICAL)) m_to_route.push_back(vok_get_logical_port(t));
    }
}

// ---- edits

void DUX::connect(const VOK_ATOM_LOGICAL_PORT& source, const VOK_ATOM_LOGICAL_PORT& input, bool inverted, int mode) {
  host::log_call("DUX::connect", static_cast<int>(source.get_atom_id()), static_cast<int>(input.get_atom_id()),
                 inverted, mode);
  VOK_ATOM_OTERM* src = vok_find_oterm(top(), source);
  VOK_ATOM_NODE* atom = atom_below(top(), static_cast<int>(input.get_atom_id()));
  if (!src || !atom) fail("source && sink atom", __LINE__);
  VOK_ATOM_ITERM* t = vok_find_iterm(top(), input);
  const bool created_term = t == nullptr;
  if (created_term) t = atom->add_input_term(input_type(input), input.get_index());
  const TERM_STATE old = capture(t);
  const int atom_id = atom->get_id();
  const int old_src = old.source && old.source->get_my_node() ? old.source->get_my_node()->get_id() : -1;
  const int new_src = src->get_my_node()->get_id();
  ENTRY& e = push([this, atom_id, input, old, created_term, old_src, new_src](DUX_RESULT& res) {
    res.m_restored.push_back(new_src);
    if (old_src >= 0) res.m_restored.push_back(old_src);
    VOK_ATOM_NODE* a = atom_below(top(), atom_id);
    VOK_ATOM_ITERM* term = vok_find_iterm(top(), input);
    if (!a || !term) return;
    rip_up_sink(term);
    if (created_term) {
      term->disconnect_from_source(VOK_NET_ITERM::OPEN);
      a->remove_input_term(term);
    } else {
      apply(term, old);
    }
    res.m_restored.push_back(atom_id);
  });
  snapshot_net(e, old.source);
  snapshot_net(e, src);
  rip_up_sink(t);
  vok_connect(src, t);
  t->set_inverted(inverted);
  constexpr int kGenericGlobalCode = 2;
  if (mode && !t->is_global())
    t->set_connection_code(kGenericGlobalCode);
  else if (!mode && t->is_global())
    t->set_connection_code(0);
  touch(atom);
  touch(src->get_my_node());
  if (old.source) touch(old.source->get_my_node());
  if (t->get_port_type() == DB_INPUT_PORT_CLK) m_relocated.insert(atom_id);
  m_to_route.push_back(input);
}

void DUX::connect_to_constant(const VOK_ATOM_LOGICAL_PORT& input, bool value) {
  host::log_call("DUX::connect_to_constant", static_cast<int>(input.get_atom_id()), value);
  VOK_ATOM_ITERM* t = vok_find_iterm(top(), input);
  if (!t) fail("iterm", __LINE__);
  const TERM_STATE old = capture(t);
  const int atom_id = t->get_my_node()->get_id();
  const int old_src = old.source && old.source->get_my_node() ? old.source->get_my_node()->get_id() : -1;
  ENTRY& e = push([this, input, old, atom_id, old_src](DUX_RESULT& res) {
    if (old_src >= 0) res.m_restored.push_back(old_src);
    if (VOK_ATOM_ITERM* term = vok_find_iterm(top(), input)) apply(term, old);
    res.m_restored.push_back(atom_id);
  });
  snapshot_net(e, old.source);
  rip_up_sink(t);
  t->tie(!value);
  t->set_inverted(false);  // the input reads `value`
  touch(t->get_my_node());
  if (old.source) touch(old.source->get_my_node());
}

void DUX::disconnect(VOK_ATOM_ITERM* iterm, bool flag) {
  host::log_call("DUX::disconnect", host::vok::arg(iterm), flag);
  if (!iterm) return;
  const TERM_STATE old = capture(iterm);
  const VOK_ATOM_LOGICAL_PORT port = vok_get_logical_port(iterm);
  const int atom_id = iterm->get_my_node()->get_id();
  const int old_src = old.source && old.source->get_my_node() ? old.source->get_my_node()->get_id() : -1;
  ENTRY& e = push([this, port, old, atom_id, old_src](DUX_RESULT& res) {
    if (old_src >= 0) res.m_restored.push_back(old_src);
    if (VOK_ATOM_ITERM* term = vok_find_iterm(top(), port)) apply(term, old);
    res.m_restored.push_back(atom_id);
  });
  snapshot_net(e, old.source);
  rip_up_sink(iterm);
  iterm->disconnect_from_source(VOK_NET_ITERM::OPEN);
  touch(iterm->get_my_node());
  if (old.source) touch(old.source->get_my_node());
}

void DUX::reroute(VOK_ATOM_ITERM* iterm) {
  host::log_call("DUX::reroute", host::vok::arg(iterm));
  if (!iterm) return;
  ENTRY& e = push([](DUX_RESULT&) {});
  snapshot_net(e, iterm->get_source(VOK_TRAVERSE_AS_STORED));
  rip_up_sink(iterm);
  touch_routed(iterm->get_my_node());
  if (const VOK_ATOM_OTERM* s = iterm->get_source(VOK_TRAVERSE_AS_STORED)) touch_routed(s->get_my_node());
  m_to_route.push_back(vok_get_logical_port(iterm));
}

VOK_ATOM_NODE* DUX::create_atom(int basic_type, PELK output_port, const std::string& name, VOK_ATOM_NODE* model,
                                int implementation) {
  host::log_call("DUX::create_atom", basic_type, name, host::vok::arg(model), implementation);
  VOK_ATOM_NETLIST* netlist = model && model->get_parent_netlist() ? model->get_parent_netlist() : top();
  return add_atom(basic_type, output_port, model ? model->get_string_hpath() + "~" + name : name, netlist);
}

VOK_ATOM_NODE* DUX::create_atom(int basic_type, PELK output_port, const std::string& name, VOK_ATOM_NETLIST* netlist,
                                int implementation) {
  host::log_call("DUX::create_atom", basic_type, name, netlist && netlist != top() ? "netlist" : "top", implementation);
  return add_atom(basic_type, output_port, name, netlist ? netlist : top());
}

VOK_ATOM_NODE* DUX::add_atom(int basic_type, PELK output_port, const std::string& name, VOK_ATOM_NETLIST* netlist) {
  VOK_ATOM_KIND kind;
  if (basic_type == 47)
    kind = VOK_ATOM_KIND::CORE_REGISTER;
  else if (basic_type == 247)
    kind = VOK_ATOM_KIND::COMB_CELL;
  else
    fail("basic type 47 or 247", __LINE__);
  VOK_ATOM_NODE* atom = VOK_ATOM_FACTORY::create_node(kind);
  atom->set_name(name);
  const int type = vok_port_type_of_symbol(output_port);
  if (type >= 0 && !atom->get_output_term_by_type(static_cast<DB_OUTPUT_PORT_TYPE>(type), 0))
    atom->add_output_term(static_cast<DB_OUTPUT_PORT_TYPE>(type), 0);
  netlist->add_node(atom);
  const int id = atom->get_id();
  ENTRY& e = push([this, id](DUX_RESULT& res) {
    VOK_ATOM_NODE* a = nullptr;
    for (ENTRY& x : m_log)
      if (x.created && x.created->get_id() == id) a = x.created;
    if (!a || !a->get_parent_netlist()) return;
    rip_up_atom(a);
    for (std::size_t i = 0; i < a->get_oterm_slot_count(); ++i)
      if (VOK_ATOM_OTERM* o = a->get_oterm_slot(i))
        while (VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED)) f->disconnect_from_source(VOK_NET_ITERM::OPEN);
    for (std::size_t i = 0; i < a->get_iterm_slot_count(); ++i)
      if (VOK_ATOM_ITERM* t = a->get_iterm_slot(i)) t->disconnect_from_source(VOK_NET_ITERM::OPEN);
    a->get_parent_netlist()->detach(a);
    res.m_deleted.push_back(id);
  });
  e.created = atom;
  m_created_since.push_back(id);
  touch(atom);
  return atom;
}

void DUX::delete_atom(VOK_ATOM_NODE* atom) {
  host::log_call("DUX::delete_atom", host::vok::arg(atom));
  if (!atom || !atom->get_parent_netlist()) fail("atom in a netlist", __LINE__);
  struct FANOUT {
    VOK_ATOM_ITERM* sink;
    TERM_STATE state;
  };
  std::vector<std::pair<VOK_ATOM_ITERM*, TERM_STATE>> inputs;
  std::vector<FANOUT> fanouts;
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i)
    if (VOK_ATOM_ITERM* t = atom->get_iterm_slot(i)) inputs.emplace_back(t, capture(t));
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i)
    if (VOK_ATOM_OTERM* o = atom->get_oterm_slot(i))
      for (VOK_ATOM_ITERM* f = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); f; f = f->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        fanouts.push_back({f, capture(f)});
  VOK_ATOM_NETLIST* netlist = atom->get_parent_netlist();
  const int id = atom->get_id();
  ENTRY& e = push([this, atom, netlist, inputs, fanouts, id](DUX_RESULT& res) {
    netlist->add_node(atom);
    for (const auto& [t, s] : inputs) apply(t, s);
    for (const FANOUT& f : fanouts) apply(f.sink, f.state);
    for (const FANOUT& f : fanouts) touch(f.sink->get_my_node());
    res.m_created.push_back(id);
  });
  snapshot_atom_nets(e, atom);
  rip_up_atom(atom);
  for (const FANOUT& f : fanouts) {
    touch(f.sink->get_my_node());
    f.sink->disconnect_from_source(VOK_NET_ITERM::OPEN);
  }
  for (const auto& [t, s] : inputs) {
    if (s.source) touch(s.source->get_my_node());
    t->disconnect_from_source(VOK_NET_ITERM::OPEN);
  }
  netlist->detach(atom);
  e.deleted = atom;
  m_deleted_since.push_back(id);
  m_touched.insert(id);
}

void DUX::set_location(VOK_ATOM_NODE* atom, unsigned gid) {
  host::log_call("DUX::set_location", host::vok::arg(atom), gid);
  if (!atom) fail("atom", __LINE__);
  const unsigned old_gid = atom->get_location_gid();
  const int old_element = atom->get_location_element();
  const int id = atom->get_id();
  ENTRY& e = push([this, atom, old_gid, old_element, id](DUX_RESULT& res) {
    rip_up_atom(atom);
    if (old_element == 0)
      atom->clear_location();
    else
      atom->set_location(old_gid, old_element);
    res.m_restored.push_back(id);
  });
  snapshot_atom_nets(e, atom);
  rip_up_atom(atom);
  int element = 0;
  if (is_slot_gid(gid))
    element = static_cast<int>(host::device::die_info()->get_route_info()->get_dev_element_from_gid(gid));  // mux or wire
  else if (auto block = host::device::die_info()->get_place_info()->get_place_block(gid))
    element = static_cast<int>(block->get_element_enum());
  else
    fail("a placement or slot gid", __LINE__);
  atom->set_location(gid, element);
  m_relocated.insert(id);
  touch(atom);
  queue_atom_connections(atom);
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i)
    if (const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i))
      if (const VOK_ATOM_OTERM* s = t->get_source(VOK_TRAVERSE_AS_STORED)) touch(s->get_my_node());
}

unsigned DUX::find_location_at_xy(VOK_ATOM_NODE* atom, std::pair<int, int> xy, unsigned hint) const {
  host::log_call("DUX::find_location_at_xy", host::vok::arg(atom), xy.first, xy.second, hint);
  const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
  if (!atom || xy.first < 0 || xy.second < 0 || xy.first >= place->get_nx() || xy.second >= place->get_ny())
    return 0xFFFFFFFFu;
  // A site is free when no other atom of the design is placed on it (read
  // from the netlist's index of placed atoms, not a walk of the design).
  auto used = [&](unsigned gid) {
    for (const VOK_ATOM_NODE* a : atoms_at_gid(top(), gid))
      if (a != atom) return true;
    return false;
  };
  const int kind = site_kind_of(atom);
  auto fits = [&](unsigned gid) {
    auto block = place->get_place_block(gid);
    return block && block->get_x() == xy.first && block->get_y() == xy.second &&
           static_cast<int>(block->get_element_enum()) == kind && !used(gid);
  };
  if (fits(hint)) return hint;
  for (unsigned gid : place->get_global_ids_at(xy.first, xy.second))
    if (fits(gid)) return gid;
  return 0xFFFFFFFFu;
}

void DUX::set_atom_parameter(VOK_ATOM_NODE* atom, int parameter, bool value) {
  host::log_call("DUX::set_atom_parameter", host::vok::arg(atom), parameter, value);
  std::int64_t old = 0;
  const bool had = atom->get_parameter(VOK_PARAMETER_TYPE::BOOL, parameter, &old);
  // Re-enabling a bypassed LAB register: it comes back powering up low with
  // no "any power-up" mark (parameter 240), undone with the same record.
  std::int64_t old_any = 0;
  const bool reenable = parameter == 5 && !value && had && old != 0 && atom->is_ff() && !atom->is_zota_marked() &&
                        !is_slot_gid(atom->get_location_gid());
  const bool had_any = reenable && atom->get_parameter(VOK_PARAMETER_TYPE::BOOL, 240, &old_any);
  const bool old_powers_up = atom->powers_up();
  const int id = atom->get_id();
  push([atom, parameter, had, old, id, reenable, had_any, old_any, old_powers_up](DUX_RESULT& res) {
    if (had)
      atom->set_parameter(VOK_PARAMETER_TYPE::BOOL, parameter, old);
    else
      atom->erase_parameter(VOK_PARAMETER_TYPE::BOOL, parameter);
    if (reenable) {
      if (had_any) atom->set_parameter(VOK_PARAMETER_TYPE::BOOL, 240, old_any);
      atom->set_powers_up(old_powers_up);
    }
    res.m_restored.push_back(id);
  });
  atom->set_parameter(VOK_PARAMETER_TYPE::BOOL, parameter, value ? 1 : 0);
  if (reenable) {
    if (had_any) atom->erase_parameter(VOK_PARAMETER_TYPE::BOOL, 240);
    atom->set_powers_up(false);
  }
  touch(atom);
}

void DUX::set_powers_up(VOK_ATOM_NODE* atom, bool value) {
  host::log_call("DUX::set_powers_up", host::vok::arg(atom), value);
  const bool old = atom->powers_up();
  const int id = atom->get_id();
  push([atom, old, id](DUX_RESULT& res) {
    atom->set_powers_up(old);
    res.m_restored.push_back(id);
  });
  atom->set_powers_up(value);
  touch(atom);
}

void DUX::set_lutmask(VOK_ATOM_NODE* atom, const VOK_LUTMASK& mask) {
  host::log_call("DUX::set_lutmask", host::vok::arg(atom), static_cast<unsigned long long>(mask.get_value()));
  const VOK_LUTMASK old = atom->get_lutmask();
  const int id = atom->get_id();
  push([atom, old, id](DUX_RESULT& res) {
    atom->get_lutmask() = old;
    res.m_restored.push_back(id);
  });
  atom->get_lutmask() = mask;
  touch(atom);
}

void DUX::record_zota_placement(int atom_id, unsigned gid, const DUX_ZOTA_LEGALITY::PAIR& pair) {
  auto old_gid = m_legality.m_placed.find(atom_id);
  const bool had = old_gid != m_legality.m_placed.end();
  const unsigned prev_gid = had ? old_gid->second : 0;
  const DUX_ZOTA_LEGALITY::PAIR prev_pair = had ? m_legality.m_pair.at(atom_id) : DUX_ZOTA_LEGALITY::PAIR{};
  push([this, atom_id, had, prev_gid, prev_pair](DUX_RESULT&) {
    if (had) {
      m_legality.m_placed[atom_id] = prev_gid;
      m_legality.m_pair[atom_id] = prev_pair;
    } else {
      m_legality.m_placed.erase(atom_id);
      m_legality.m_pair.erase(atom_id);
    }
  });
  m_legality.m_placed[atom_id] = gid;
  m_legality.m_pair[atom_id] = pair;
}

// ---- implement

int DUX::legality_status() const {
  const WUMP_PLACE_INFO* place = host::device::die_info()->get_place_info();
  // 1: sites of the wrong kind or already occupied. The netlist's index of
  // placed atoms answers for the relocated atoms' sites alone, so a check
  // costs what those sites hold, not the design.
  if (!m_relocated.empty()) {
    for (int id : m_relocated) {
      const VOK_ATOM_NODE* a = atom_below(top(), id);
      if (!a || !a->is_placed()) continue;
      const unsigned gid = a->get_location_gid();
      if (atoms_at_gid(top(), gid).size() > 1) return 1;
      if (is_slot_gid(gid)) {
        if (!a->is_ff() || !host::device::die_info()->get_route_info()->is_zota_gid(gid)) return 1;
      } else {
        auto block = place->get_place_block(gid);
        if (!block || static_cast<int>(block->get_element_enum()) != site_kind_of(a)) return 1;
      }
    }
    // 2: more than two clock pairs in a LAB. A LAB's registers are the
    // flip-flops placed at the placement gids of its tile (pipeline slots
    // have routing gids and no block, so they do not count here).
    std::set<std::pair<int, int>> labs;
    for (int id : m_relocated)
      if (const VOK_ATOM_NODE* a = atom_below(top(), id); a && a->is_ff() && a->is_placed())
        if (auto block = place->get_place_block(a->get_location_gid())) labs.insert({block->get_x(), block->get_y()});
    for (const auto& [x, y] : labs) {
      std::set<DUX_ZOTA_LEGALITY::PAIR> pairs;
      for (unsigned gid : place->get_global_ids_at(x, y))
        for (const VOK_ATOM_NODE* a : atoms_at_gid(top(), gid))
          if (a->is_ff()) pairs.insert(DUX_ZOTA_LEGALITY::clock_pair_of(a));
      if (pairs.size() > 2) return 2;
    }
  }
  // 0: the row-segment clock budget of the pipeline registers.
  std::set<std::pair<int, int>> segments;
  for (const auto& [id, gid] : m_legality.m_placed) segments.insert(DUX_ZOTA_LEGALITY::row_segment_of(gid));
  for (const auto& s : segments)
    if (m_legality.pairs_in(s).size() > 2) return 0;
  // 7: a dont-touch atom touched.
  if (const KEM_NETLIST* kem = host::hov::current_kem_netlist())
    for (int id : m_touched)
      if (const KEM_NETLIST_CELL* cell = kem->get_cell_from_atom_id(id))
        for (int n : cell->get_node_ids())
          if (const KEM_NODE* node = kem->get_node(n); node && node->has_any_flag(KEM_NODE_FLAG_DONT_TOUCH)) return 7;
  return 10;
}

namespace {
std::function<void()>& implement_observer() {
  static std::function<void()> s_observer;
  return s_observer;
}
}  // namespace

void DUX::set_implement_observer(std::function<void()> observer) { implement_observer() = std::move(observer); }

DUX_RESULT DUX::implement(const DUX_IMPLEMENT_ARGS& args) {
  host::log_call("DUX::implement", args.stop_at_first_failure);
  const host::timers::SCOPE timer(host::timers::SCOPE::ENGINE);
  if (implement_observer()) implement_observer()();
  DUX_RESULT res;
  const int scripted = host::script::next<int>("DUX::implement", -1);
  int status = scripted >= 0 ? scripted : legality_status();
  if (status == 10) {
    for (auto& [t, b] : args.delay_budgets)
      if (t && !b.empty() && !routing().get_sink_nodes(t).empty() && current_delay_into(t) < b.back().first) reroute(t);
    // Route every touched connection that has a source and no routing. A
    // connection into or out of a black box is routed from the driver it
    // reaches through the box's ports, as the routing holds it.
    VOK_RE_ROUTING& r = routing();
    KORRIN::INCREMENTAL_ROUTER router(&r, nullptr, nullptr);
    ENTRY& e = push([](DUX_RESULT&) {});
    std::set<std::tuple<int, int, int>> seen;
    for (const VOK_ATOM_LOGICAL_PORT& p : m_to_route) {
      VOK_ATOM_ITERM* t = vok_find_iterm(top(), p);
      if (!t || !seen.insert({static_cast<int>(p.get_atom_id()), t->get_port_type(), t->get_index()}).second) continue;
      VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_HIERARCHICAL);
      if (!src || !src->get_my_node() || !r.get_sink_nodes(t).empty()) continue;
      if (!t->get_my_node()->is_placed() || !src->get_my_node()->is_placed()) continue;
      snapshot_net(e, src);
      std::vector<KORRIN::DELAY_BUDGET> derived;
      router.add_connection(src, t, budgets_for(args, t, derived), host::device::die_info()->get_blacklisting());
      touch_routed(t->get_my_node());
      touch_routed(src->get_my_node());
    }
    res.m_ir.reset(router.route_all_new_connections(args.stop_at_first_failure, nullptr));
    router.commit(res.m_ir.get(), &r);
    if (!res.m_ir->routing_succeeded()) status = 4;
  }
  // The timing follows the edits whatever the environment's switches say.
  HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
  const bool clean = !taints->is_globally_tainted() && taints->get_tainted_atom_ids().empty();
  if (clean && m_only_routed && m_created_since.empty() && m_deleted_since.empty() && m_relocated.empty() &&
      host::hov::current_kem_netlist() != nullptr) {
    update_routed_timing();
  } else {
    for (int id : m_touched) taints->taint_atom(static_cast<unsigned>(id));
    update_timing(clean);
  }
  m_only_routed = true;
  res.m_status = static_cast<std::uint8_t>(status);
  res.m_created = m_created_since;
  res.m_deleted = m_deleted_since;
  m_created_since.clear();
  m_deleted_since.clear();
  m_touched.clear();
  m_relocated.clear();
  m_to_route.clear();
  return res;
}

// ---- checkpoints

void DUX::undo_entry(ENTRY& e, DUX_RESULT& result) {
  e.undo(result);
  for (auto it = e.trees.rbegin(); it != e.trees.rend(); ++it) restore_tree(*it);
}

void DUX::release_entry(ENTRY& e) {
  // A deletion that stands frees the atom; a creation that was undone frees
  // the detached atom.
  if (e.deleted && !e.deleted->get_parent_netlist()) delete e.deleted;
  if (e.created && !e.created->get_parent_netlist()) delete e.created;
  e.deleted = e.created = nullptr;
}

DUX_RESULT DUX::restore_checkpoint(std::uint64_t id) {
  host::log_call("DUX::restore_checkpoint", static_cast<unsigned long long>(id));
  const host::timers::SCOPE timer(host::timers::SCOPE::ENGINE);
  DUX_RESULT res;
  if (id > m_log.size()) fail("id <= get_checkpoint_id()", __LINE__);
  m_touched.clear();
  for (std::size_t i = m_log.size(); i > id; --i) {
    ENTRY& e = m_log[i - 1];
    if (e.deleted) e.deleted = nullptr;  // back in its netlist: nothing to free
    undo_entry(e, res);
  }
  for (std::size_t i = static_cast<std::size_t>(id); i < m_log.size(); ++i) release_entry(m_log[i]);
  m_log.resize(static_cast<std::size_t>(id));
  // Everything the undo touched is rebuilt by the timing update below.
  HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
  std::set<int> ids(m_touched.begin(), m_touched.end());
  ids.insert(res.m_restored.begin(), res.m_restored.end());
  ids.insert(res.m_created.begin(), res.m_created.end());
  ids.insert(res.m_deleted.begin(), res.m_deleted.end());
  const bool clean = !taints->is_globally_tainted() && taints->get_tainted_atom_ids().empty();
  for (int a : ids) taints->taint_atom(static_cast<unsigned>(a));
  // The timing follows the restore at once, through the cones of what the
  // undo touched (the next query would otherwise see stale slacks).
  update_timing(clean);
  m_touched.clear();
  m_relocated.clear();
  m_to_route.clear();
  m_created_since.clear();
  m_deleted_since.clear();
  return res;
}

void DUX::clear_checkpoint_data() {
  for (ENTRY& e : m_log) release_entry(e);
  m_log.clear();
}
