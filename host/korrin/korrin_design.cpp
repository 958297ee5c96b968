#include "korrin/korrin_design.h"

#include "zel/zel_atom_util.h"

#include <algorithm>
#include <cstdio>

#include "vok/vok_atom_netlist.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_blacklisting.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"

namespace host::korrin {

std::uint64_t term_key(const VOK_ATOM_ITERM* t) {
  return term_key(t->get_my_node()->get_id(), static_cast<int>(t->get_port_type()), t->get_index());
}
std::uint64_t term_key(const VOK_ATOM_OTERM* t) {
  return term_key(t->get_my_node()->get_id(), static_cast<int>(t->get_port_type()), t->get_index());
}

namespace {

void collect_atoms(VOK_ATOM_NETLIST* netlist, std::vector<VOK_ATOM_NODE*>& out) {
  if (netlist == nullptr) return;
  for (VOK_ATOM_NODE* a : netlist->get_atom_list()) {
    if (a->is_box()) {
      collect_atoms(static_cast<VOK_ATOM_BLACKBOX*>(a)->get_child_netlist(), out);
      continue;
    }
    if (a->is_placed()) out.push_back(a);
  }
}

}  // namespace

DESIGN collect_design(const GRAPH& g) {
  refresh_global_pin_clocks();
  DESIGN d;
  std::vector<VOK_ATOM_NODE*> atoms;
  collect_atoms(host::vok::top_netlist(), atoms);
  std::sort(atoms.begin(), atoms.end(), [](const VOK_ATOM_NODE* a, const VOK_ATOM_NODE* b) { return a->get_id() < b->get_id(); });
  std::vector<unsigned> tmp;
  for (VOK_ATOM_NODE* a : atoms) {
    const SITE site = site_of(a);
    source_elements(g, site, tmp);
    if (tmp.empty()) continue;
    const int first_net = static_cast<int>(d.nets.size());
    for (VOK_ATOM_OTERM* o : a->oterms()) {
      if (!site.slot || d.nets.size() == static_cast<std::size_t>(first_net)) {
        NET n;
        n.atom = a;
        n.driver_id = a->get_id();
        n.oterm = o;
        n.site = site;
        d.nets.push_back(n);
      }
      const int ni = static_cast<int>(d.nets.size()) - 1;
      d.net_of_oterm[term_key(o)] = ni;
      // A clock buffer without a site passes its clock on: its loads are
      // connections of this net, routed from this driver.
      std::vector<VOK_ATOM_ITERM*> sinks;
      std::vector<VOK_ATOM_OTERM*> through{o};
      for (std::size_t k = 0; k < through.size() && k < 8; ++k)
        for (VOK_ATOM_ITERM* sink : through[k]->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
          VOK_ATOM_NODE* b = sink ? sink->get_my_node() : nullptr;
          if (b != nullptr && b->get_kind() == VOK_ATOM_KIND::CLKBUF && !b->is_placed()) {
            for (VOK_ATOM_OTERM* bo : b->oterms()) {
              through.push_back(bo);
              d.net_of_oterm[term_key(bo)] = static_cast<int>(d.nets.size()) - 1;
            }
            continue;
          }
          sinks.push_back(sink);
        }
      for (VOK_ATOM_ITERM* sink : sinks) {
        if (sink == nullptr || !is_routable(g, o, sink)) continue;
        CONN c;
        c.sink = sink;
        c.site = site_of(sink->get_my_node());
        c.slot_d = is_slot_data_input(c.site, static_cast<int>(sink->get_port_type()));
        NET& n = d.nets[static_cast<std::size_t>(ni)];
        d.conn_of_iterm[term_key(sink)] = {ni, static_cast<int>(n.conns.size())};
        if (c.slot_d) d.slot_d_conn[c.site.slot_id] = {ni, static_cast<int>(n.conns.size())};
        n.conns.push_back(c);
      }
    }
    if (site.slot) {
      if (d.nets.size() == static_cast<std::size_t>(first_net)) {  // a register without outputs
        NET n;
        n.atom = a;
        n.driver_id = a->get_id();
        n.site = site;
        d.nets.push_back(n);
      }
      d.slot_net[site.slot_id] = first_net;
    }
  }
  return d;
}

namespace {
void collect_all_atoms(VOK_ATOM_NETLIST* netlist, std::vector<VOK_ATOM_NODE*>& out) {
  if (netlist == nullptr) return;
  for (VOK_ATOM_NODE* a : netlist->get_atom_list()) {
    if (a->is_box()) {
      collect_all_atoms(static_cast<VOK_ATOM_BLACKBOX*>(a)->get_child_netlist(), out);
      continue;
    }
    out.push_back(a);
  }
}

bool is_site_less_clock_buffer(const VOK_ATOM_NODE* a) {
  return a->get_kind() == VOK_ATOM_KIND::CLKBUF && !a->is_placed();
}

// An end that is no atom of its own on the device.
bool is_not_placeable(const VOK_ATOM_NODE* a) {
  return a->is_port() || a->is_box() || (!a->is_placed() && ZEL_ATOM_UTIL::is_zota_marked_reg(a));
}
}  // namespace

std::vector<std::pair<const VOK_ATOM_OTERM*, const VOK_ATOM_ITERM*>> blocked_connections(const DESIGN& d) {
  std::vector<std::pair<const VOK_ATOM_OTERM*, const VOK_ATOM_ITERM*>> out;
  std::vector<VOK_ATOM_NODE*> atoms;
  collect_all_atoms(host::vok::top_netlist(), atoms);
  std::sort(atoms.begin(), atoms.end(), [](const VOK_ATOM_NODE* a, const VOK_ATOM_NODE* b) { return a->get_id() < b->get_id(); });
  for (VOK_ATOM_NODE* a : atoms) {
    if (is_not_placeable(a) || is_site_less_clock_buffer(a)) continue;
    for (VOK_ATOM_OTERM* o : a->oterms()) {
      std::vector<VOK_ATOM_OTERM*> through{o};
      for (std::size_t k = 0; k < through.size() && k < 8; ++k)
        for (VOK_ATOM_ITERM* sink : through[k]->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
          VOK_ATOM_NODE* b = sink ? sink->get_my_node() : nullptr;
          if (b == nullptr || is_not_placeable(b)) continue;
          if (is_site_less_clock_buffer(b)) {
            for (VOK_ATOM_OTERM* bo : b->oterms()) through.push_back(bo);
            continue;
          }
          // Both ends placed: a dedicated connection when the design leaves
          // it out (a carry chain, a pad and its buffer).
          if (a->is_placed() && b->is_placed()) continue;
          if (o->get_port_type() == DB_OUTPUT_PORT_CARRY_OUT && sink->get_port_type() == DB_INPUT_PORT_CARRY_IN) continue;
          if (d.conn_of_iterm.count(term_key(sink))) continue;
          out.emplace_back(o, sink);
        }
    }
  }
  return out;
}

std::string describe(const VOK_ATOM_OTERM* driver, const VOK_ATOM_ITERM* sink) {
  std::string s = driver && driver->get_my_node() ? driver->get_name() : "?";
  s += " -> ";
  if (sink && sink->get_my_node())
    s += sink->get_my_node()->get_string_hpath() + ".in" + std::to_string(static_cast<int>(sink->get_port_type())) + "." +
         std::to_string(sink->get_index());
  else
    s += "?";
  return s;
}

std::string element_name(unsigned id) {
  char buf[32];
  std::snprintf(buf, sizeof buf, " (gid 0x%08x)", id | GID_BIT);
  return host::device::die_info()->get_route_info()->get_name(id | GID_BIT) + buf;
}

namespace {

struct LOADER {
  const GRAPH& g;
  const DESIGN& d;
  const VOK_RE_ROUTING& r;
  const WUMP_BLACKLISTING* bl;
  std::vector<std::string>* findings;
  std::vector<std::uint32_t> seen;
  std::uint32_t stamp = 0;
  std::vector<unsigned> tmp;
  LOADED* loaded = nullptr;

  void finding(const NET& net, const std::string& text) {
    if (findings) findings->push_back("net " + (net.oterm ? net.oterm->get_name() : net.atom->get_string_hpath()) + ": " + text);
  }

  bool blacklisted(unsigned id) const { return bl && bl->is_routing_gid_blacklisted(id | GID_BIT); }

  // Walks the children of routing node `node` (kept as tree node `local`,
  // element `elem`, or the source terminal when elem is NO_ELEMENT).
  void walk(int ni, NET_TREE& t, int node, int local, unsigned elem, bool valid) {
    const NET& net = d.nets[static_cast<std::size_t>(ni)];
    struct ITEM {
      int node, local;
      unsigned elem;
      bool valid;
    };
    std::vector<ITEM> stack{{node, local, elem, valid}};
    while (!stack.empty()) {
      const ITEM it = stack.back();
      stack.pop_back();
      for (int c = r.forest().first_child(it.node); c != -1; c = r.forest().next_sibling(c)) {
        const std::int32_t v = r.get_value(c);
        if (VOK_RE_ROUTING::is_wire_value(v)) {
          const unsigned e = static_cast<unsigned>(v) & ~GID_BIT;
          bool ok = it.valid && e < g.size();
          std::string why;
          if (ok && blacklisted(e)) ok = false, why = "blacklisted element ";
          if (ok && seen[e] == stamp) ok = false, why = "element used twice ";
          if (ok) {
            if (it.elem == NO_ELEMENT) {
              source_elements(g, net.site, tmp);
              if (std::find(tmp.begin(), tmp.end(), e) == tmp.end()) ok = false, why = "not an output element of the driver: ";
            } else if (!g.has_edge(it.elem, e)) {
              ok = false, why = "no edge " + element_name(it.elem) + " -> ";
            }
          }
          const int reg = ok ? d.reserved_by(e) : -1;
          if (reg >= 0) {
            // A slot holding a register: only where that register's data
            // input, fed by this net, ends.
            auto sd = d.slot_d_conn.find(e);
            const bool mine = sd != d.slot_d_conn.end() && sd->second.first == ni &&
                              t.conn_target[static_cast<std::size_t>(sd->second.second)] == -1 &&
                              r.forest().first_child(c) == -1;
            if (!mine) {
              ok = false, why = "pipeline slot of another register: ";
            } else {
              t.nodes.push_back({e, it.local, c, 0});
              seen[e] = stamp;
              t.conn_target[static_cast<std::size_t>(sd->second.second)] = static_cast<int>(t.nodes.size()) - 1;
              t.conn_node[static_cast<std::size_t>(sd->second.second)] = c;
              continue;
            }
          }
          if (!ok) {
            if (it.valid) {
              t.clean = false;
              finding(net, "illegal wire: " + why + (e < g.size() ? element_name(e) : std::to_string(v)));
            }
            stack.push_back({c, -1, e, false});
            continue;
          }
          seen[e] = stamp;
          t.nodes.push_back({e, it.local, c, 0});
          stack.push_back({c, static_cast<int>(t.nodes.size()) - 1, e, true});
          continue;
        }
        // A terminal or a virtual node. A virtual node under a legal wire
        // keeps the wires above it for the router to route on from.
        if (v == VOK_RE_ROUTING::VIRTUAL_VALUE && it.valid && it.local >= 0) {
          t.pinned.push_back(it.local);
          read_virtual_root(*loaded, c);  // sinks hung with their chains below it
        }
        bool ok = it.valid && it.elem != NO_ELEMENT && v >= 0;
        std::string why = "a node that is not a sink of the net";
        if (ok) {
          const VOK_RE_TERMINAL& term = r.get_terminal(v);
          const int type = vok_port_type_of_symbol(term.port.get_port());
          auto found = term.name_space == VOK_PORT_NAMESPACE_INPUT
                           ? d.conn_of_iterm.find(term_key(static_cast<int>(term.port.get_atom_id()), type, term.port.get_index()))
                           : d.conn_of_iterm.end();
          ok = found != d.conn_of_iterm.end() && found->second.first == ni;
          if (ok) {
            const std::size_t ci = static_cast<std::size_t>(found->second.second);
            const CONN& conn = net.conns[ci];
            target_elements(g, conn.site, conn.sink, tmp);
            const int reg = d.reserved_by(it.elem);
            if (conn.slot_d || t.conn_target[ci] != -1) {
              ok = false, why = "a second sink node for " + describe(net.oterm, conn.sink);
            } else if (std::find(tmp.begin(), tmp.end(), it.elem) == tmp.end() || (reg >= 0 && reg != ni)) {
              ok = false, why = "sink " + describe(net.oterm, conn.sink) + " not below one of its input elements";
            } else {
              t.conn_target[ci] = it.local;
              t.conn_node[ci] = c;
            }
          }
        }
        if (!ok) {
          if (it.valid) {
            t.clean = false;
            finding(net, why);
          }
        }
        if (r.forest().first_child(c) != -1) {
          if (ok) t.clean = false, finding(net, "a sink node with children");
          stack.push_back({c, -1, NO_ELEMENT, false});
        }
      }
    }
  }

  // A tree under a virtual source whose leaves are sinks hung below the
  // chain of elements leading into their input element: each such chain is
  // recorded for its connection. False when the tree holds none.
  bool read_virtual_root(LOADED& out, int root) {
    bool any = false;
    struct ITEM {
      int node;
      std::vector<unsigned> chain;
    };
    std::vector<ITEM> stack{{root, {}}};
    while (!stack.empty()) {
      ITEM it = std::move(stack.back());
      stack.pop_back();
      for (int c = r.forest().first_child(it.node); c != -1; c = r.forest().next_sibling(c)) {
        const std::int32_t v = r.get_value(c);
        if (VOK_RE_ROUTING::is_wire_value(v)) {
          const unsigned e = static_cast<unsigned>(v) & ~GID_BIT;
          if (e >= g.size() || blacklisted(e) || (!it.chain.empty() && !g.has_edge(it.chain.back(), e))) continue;
          ITEM next{c, it.chain};
          next.chain.push_back(e);
          stack.push_back(std::move(next));
          continue;
        }
        if (v < 0 || it.chain.empty() || r.forest().first_child(c) != -1) continue;
        const VOK_RE_TERMINAL& term = r.get_terminal(v);
        if (term.name_space != VOK_PORT_NAMESPACE_INPUT) continue;
        auto found = d.conn_of_iterm.find(
            term_key(static_cast<int>(term.port.get_atom_id()), vok_port_type_of_symbol(term.port.get_port()), term.port.get_index()));
        if (found == d.conn_of_iterm.end()) continue;
        const auto [ni, ci] = found->second;
        const CONN& conn = d.nets[static_cast<std::size_t>(ni)].conns[static_cast<std::size_t>(ci)];
        target_elements(g, conn.site, conn.sink, tmp);
        if (conn.slot_d || std::find(tmp.begin(), tmp.end(), it.chain.back()) == tmp.end()) continue;
        NET_TREE& t = out.trees[static_cast<std::size_t>(ni)];
        t.conn_chain[static_cast<std::size_t>(ci)] = it.chain;
        if (std::find(t.virtual_roots.begin(), t.virtual_roots.end(), root) == t.virtual_roots.end())
          t.virtual_roots.push_back(root);
        t.clean = false;
        any = true;
      }
    }
    return any;
  }
};

}  // namespace

LOADED load_trees(const GRAPH& g, const DESIGN& d, const VOK_RE_ROUTING& r, const WUMP_BLACKLISTING* bl,
                  std::vector<std::string>* findings) {
  LOADED out;
  out.trees.resize(d.nets.size());
  for (std::size_t i = 0; i < d.nets.size(); ++i) {
    out.trees[i].conn_target.assign(d.nets[i].conns.size(), -1);
    out.trees[i].conn_node.assign(d.nets[i].conns.size(), -1);
    out.trees[i].conn_chain.assign(d.nets[i].conns.size(), {});
  }
  LOADER l{g, d, r, bl, findings, std::vector<std::uint32_t>(g.size(), 0), 0, {}, &out};
  for (int root = r.forest().first_root(); root != -1; root = r.forest().next_sibling(root)) {
    const std::int32_t v = r.get_value(root);
    int ni = -1;
    if (v >= 0) {
      const VOK_RE_TERMINAL& term = r.get_terminal(v);
      if (term.name_space == VOK_PORT_NAMESPACE_OUTPUT) {
        auto it = d.net_of_oterm.find(term_key(static_cast<int>(term.port.get_atom_id()),
                                               vok_port_type_of_symbol(term.port.get_port()), term.port.get_index()));
        if (it != d.net_of_oterm.end() && !d.nets[static_cast<std::size_t>(it->second)].site.slot) ni = it->second;
      }
    } else if (VOK_RE_ROUTING::is_wire_value(v)) {
      ni = d.reserved_by(static_cast<unsigned>(v) & ~GID_BIT);
    } else if (v == VOK_RE_ROUTING::VIRTUAL_VALUE && l.read_virtual_root(out, root)) {
      continue;
    }
    if (ni < 0) {
      out.foreign.push_back(root);
      continue;
    }
    NET_TREE& t = out.trees[static_cast<std::size_t>(ni)];
    if (t.root != -1) {
      t.extra_roots.push_back(root);
      t.clean = false;
      l.finding(d.nets[static_cast<std::size_t>(ni)], "a second routing tree");
      continue;
    }
    t.root = root;
    ++l.stamp;
    if (v >= 0) {
      l.walk(ni, t, root, -1, NO_ELEMENT, true);
    } else {
      const unsigned s = static_cast<unsigned>(v) & ~GID_BIT;
      t.nodes.push_back({s, -1, root, 1});
      l.seen[s] = l.stamp;
      l.walk(ni, t, root, 0, s, true);
    }
  }
  // References: each routed connection holds the nodes on its way up.
  for (std::size_t i = 0; i < d.nets.size(); ++i) {
    NET_TREE& t = out.trees[i];
    for (int target : t.conn_target)
      for (int n = target; n >= 0; n = t.nodes[static_cast<std::size_t>(n)].parent) ++t.nodes[static_cast<std::size_t>(n)].refs;
    for (int pin : t.pinned)
      for (int n = pin; n >= 0; n = t.nodes[static_cast<std::size_t>(n)].parent) ++t.nodes[static_cast<std::size_t>(n)].refs;
    const bool slot_net = d.nets[i].site.slot;
    // A hold stub: a single dangling leaf wire under a used wire, a real
    // fan-out of it, met once in the tree. It is kept as if a connection
    // ended there; a dangling chain stays a finding.
    std::vector<int> children(t.nodes.size(), 0);
    for (const TREE_NODE& n : t.nodes)
      if (n.parent >= 0) ++children[static_cast<std::size_t>(n.parent)];
    for (std::size_t k = slot_net ? 1 : 0; k < t.nodes.size(); ++k) {
      TREE_NODE& n = t.nodes[k];
      if (n.refs != 0 || children[k] != 0 || n.parent < 0) continue;
      const TREE_NODE& p = t.nodes[static_cast<std::size_t>(n.parent)];
      if (p.refs == 0 || !g.has_edge(p.elem, n.elem)) continue;
      int uses = 0;
      for (const TREE_NODE& o : t.nodes) uses += o.elem == n.elem ? 1 : 0;
      if (uses != 1) continue;
      n.refs = 1;
      ++out.hold_stubs;
    }
    for (std::size_t k = slot_net ? 1 : 0; k < t.nodes.size(); ++k)
      if (t.nodes[k].refs == 0) {
        if (t.clean) l.finding(d.nets[i], "a wire that leads to no sink: " + element_name(t.nodes[k].elem));
        t.clean = false;
      }
  }
  return out;
}

}  // namespace host::korrin
