#include "vok/vok_re_routing.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "msg/msg_internal_error.h"
#include "vok/vok_atom_netlist.h"

namespace {
[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "HOST", "vok_re_routing", line);
}
}  // namespace

int VOK_RE_ROUTING::new_record(std::int32_t value) {
  m_records.push_back(VOK_RE_ROUTING_RECORD{value, 0, 0});
  return static_cast<int>(m_records.size() - 1);
}

int VOK_RE_ROUTING::new_root(std::int32_t value) {
  const int id = m_forest.create_node(VOK_RE_ROUTING_PAYLOAD{new_record(value)});
  m_forest.append_root(id);
  ++m_live_count;
  index_element(id);
  return id;
}

int VOK_RE_ROUTING::append_child_value(int parent, std::int32_t value) {
  if (!is_live(parent)) fail("parent is a live node", __LINE__);
  const int id = m_forest.create_node(VOK_RE_ROUTING_PAYLOAD{new_record(value)});
  m_forest.append_child(parent, id);
  ++m_live_count;
  index_element(id);
  return id;
}

int VOK_RE_ROUTING::append_child(int parent, unsigned element_index) {
  return append_child_value(parent, static_cast<std::int32_t>(element_index | WIRE_BIT));
}

int VOK_RE_ROUTING::insert_as_parent(int node, std::int32_t value) {
  if (!is_live(node)) fail("node is a live node", __LINE__);
  const int id = m_forest.create_node(VOK_RE_ROUTING_PAYLOAD{new_record(value)});
  m_forest.insert_before(node, id);
  m_forest.unlink(node);
  m_forest.append_child(id, node);
  ++m_live_count;
  index_element(id);
  return id;
}

int VOK_RE_ROUTING::new_source(const VOK_ATOM_OTERM* oterm) {
  const int id = new_root(add_terminal(vok_get_logical_port(oterm), VOK_PORT_NAMESPACE_OUTPUT));
  m_oterm_map.insert(oterm, id);
  return id;
}

int VOK_RE_ROUTING::append_sink(int parent, const VOK_ATOM_ITERM* iterm) {
  const int id = append_child_value(parent, add_terminal(vok_get_logical_port(iterm), VOK_PORT_NAMESPACE_INPUT));
  m_iterm_map[iterm].push_back(id);
  return id;
}

int VOK_RE_ROUTING::add_terminal(const VOK_ATOM_LOGICAL_PORT& port, int name_space) {
  // A port's symbol namespace is its side, so the port alone is the key.
  auto r = m_terminal_index.insert(port, static_cast<int>(m_terminals.size()));
  if (r.second) m_terminals.push_back(VOK_RE_TERMINAL{port, name_space});
  return r.first.value();
}

void VOK_RE_ROUTING::set_zota_pair(int d, int q, bool overflow) {
  if (!is_live(d) || !is_live(q) || d == q) fail("d and q are two live nodes", __LINE__);
  if (m_forest.parent(d) == -1) fail("the D side has a parent", __LINE__);
  if (m_forest.parent(q) != -1) fail("the Q side is a root", __LINE__);
  const int needed = std::max(d, q) + 1;
  if (m_zota_bits.size() < static_cast<unsigned>(needed)) m_zota_bits.resize(static_cast<unsigned>(needed));
  m_zota_bits.set(static_cast<unsigned>(d), true);
  m_zota_bits.set(static_cast<unsigned>(q), true);
  const long distance = static_cast<long>(q) - d;
  const bool fits = distance > OVERFLOW_PAIR_OFFSET && distance <= 32767;
  auto& rd = m_records[static_cast<std::size_t>(m_forest.payload(d).record)];
  auto& rq = m_records[static_cast<std::size_t>(m_forest.payload(q).record)];
  if (overflow || !fits) {
    rd.pair_offset = rq.pair_offset = OVERFLOW_PAIR_OFFSET;
    m_zota_overflow[d] = q;
    m_zota_overflow[q] = d;
  } else {
    rd.pair_offset = static_cast<std::int16_t>(distance);
    rq.pair_offset = static_cast<std::int16_t>(-distance);
  }
}

// Drops the mark of a node about to be freed; true when its pair link was in
// the overflow map.
bool VOK_RE_ROUTING::forget_node(int id) {
  --m_live_count;
  if (!is_zota_node(id)) return false;
  m_zota_bits.set(static_cast<unsigned>(id), false);
  return get_record(id).pair_offset == OVERFLOW_PAIR_OFFSET;
}

void VOK_RE_ROUTING::erase(int id) {
  if (!is_live(id)) fail("id is a live node", __LINE__);
  // Collect the subtree through the skip view: a marked D side brings its
  // pair root along.
  std::vector<int> tops{id};
  std::vector<int> doomed;
  for (std::size_t t = 0; t < tops.size(); ++t) {
    std::vector<int> stack{tops[t]};
    while (!stack.empty()) {
      const int n = stack.back();
      stack.pop_back();
      doomed.push_back(n);
      if (is_zota_node(n) && m_forest.parent(n) != -1) {
        const int q = get_corresponding_zota_id(n);
        if (is_live(q) && m_forest.parent(q) == -1) tops.push_back(q);
      }
      for (int c = m_forest.first_child(n); c != -1; c = m_forest.next_sibling(c)) stack.push_back(c);
    }
  }
  std::vector<int> sorted = doomed;
  std::sort(sorted.begin(), sorted.end());
  std::vector<int> overflow;
  for (int n : doomed) {
    // A pair whose other side survives (a Q side erased on its own) leaves
    // that side an ordinary node rather than one pointing at a freed id.
    if (is_zota_node(n)) {
      const bool in_map = get_record(n).pair_offset == OVERFLOW_PAIR_OFFSET;
      const auto found = in_map ? m_zota_overflow.find(n) : m_zota_overflow.end();
      const int p = !in_map ? n + get_record(n).pair_offset : found == m_zota_overflow.end() ? -1 : found->second;
      if (is_live(p) && is_zota_node(p) && !std::binary_search(sorted.begin(), sorted.end(), p)) {
        m_zota_bits.set(static_cast<unsigned>(p), false);
        auto& rec = m_records[static_cast<std::size_t>(m_forest.payload(p).record)];
        if (rec.pair_offset == OVERFLOW_PAIR_OFFSET) overflow.push_back(p);
        rec.pair_offset = 0;
      }
    }
    unmap_terminal_node(n);
    unindex_element(n);
    if (forget_node(n)) overflow.push_back(n);
  }
  for (int top : tops) m_forest.erase(top);
  if (!overflow.empty()) {
    // The dense map has no removal: rebuild it without the freed ids.
    std::sort(overflow.begin(), overflow.end());
    ZMP::DENSE_HASH<int, int> kept;
    for (const auto& e : m_zota_overflow)
      if (!std::binary_search(overflow.begin(), overflow.end(), e.first)) kept.insert(e.first, e.second);
    m_zota_overflow = std::move(kept);
  }
}

void VOK_RE_ROUTING::unpair_zota(int id) {
  if (!is_live(id) || !is_zota_node(id)) return;
  const int other = get_corresponding_zota_id(id);
  bool in_map = false;
  for (int n : {id, other}) {
    if (!is_live(n) || !is_zota_node(n)) continue;
    auto& rec = m_records[static_cast<std::size_t>(m_forest.payload(n).record)];
    in_map = in_map || rec.pair_offset == OVERFLOW_PAIR_OFFSET;
    rec.pair_offset = 0;
    m_zota_bits.set(static_cast<unsigned>(n), false);
  }
  if (!in_map) return;
  ZMP::DENSE_HASH<int, int> kept;
  for (const auto& e : m_zota_overflow)
    if (e.first != id && e.first != other) kept.insert(e.first, e.second);
  m_zota_overflow = std::move(kept);
}

void VOK_RE_ROUTING::drop_zota_overflow_entry(int id) {
  ZMP::DENSE_HASH<int, int> kept;
  for (const auto& e : m_zota_overflow)
    if (e.first != id) kept.insert(e.first, e.second);
  m_zota_overflow = std::move(kept);
}

void VOK_RE_ROUTING::clear() {
  m_forest = FOREST();
  m_records.clear();
  m_terminals.clear();
  m_terminal_index.clear();
  m_oterm_map.clear();
  m_iterm_map.clear();
  m_hard_constraint_ids.clear();
  m_zota_bits = ZMP_BOOL_VECTOR();
  m_zota_overflow = ZMP::DENSE_HASH<int, int>();
  m_gid_map.clear();
  m_gid_more.clear();
  m_live_count = 0;
}

void VOK_RE_ROUTING::index_element(int id) {
  const std::int32_t value = get_value(id);
  if (!is_wire_value(value)) return;
  const unsigned element = static_cast<unsigned>(value) & ~WIRE_BIT;
  if (!m_gid_map.insert(element, id).second) m_gid_more.emplace(element, id);
}

void VOK_RE_ROUTING::unindex_element(int id) {
  const std::int32_t value = get_value(id);
  if (!is_wire_value(value)) return;
  const unsigned element = static_cast<unsigned>(value) & ~WIRE_BIT;
  int* first = m_gid_map.lookup(element);
  auto [lo, hi] = m_gid_more.equal_range(element);
  if (first != nullptr && *first == id) {
    // The next holder, if any, moves up.
    if (lo != hi) {
      *first = lo->second;
      m_gid_more.erase(lo);
    } else {
      m_gid_map.erase(element);
    }
    return;
  }
  for (auto it = lo; it != hi; ++it)
    if (it->second == id) {
      m_gid_more.erase(it);
      return;
    }
}

std::vector<int> VOK_RE_ROUTING::get_element_nodes(unsigned element_index) const {
  std::vector<int> out;
  const unsigned element = element_index & ~WIRE_BIT;
  if (const int* first = m_gid_map.lookup(element)) out.push_back(*first);
  auto [lo, hi] = m_gid_more.equal_range(element);
  for (auto it = lo; it != hi; ++it) out.push_back(it->second);
  return out;
}

void VOK_RE_ROUTING::map_terminal_node(int id) {
  const std::int32_t value = get_value(id);
  if (value < 0 || m_atom_netlist == nullptr) return;
  const VOK_RE_TERMINAL& t = get_terminal(value);
  const bool hierarchical = m_traverse_mode == VOK_TRAVERSE_HIERARCHICAL;
  if (t.name_space == VOK_PORT_NAMESPACE_OUTPUT) {
    if (const VOK_ATOM_OTERM* o = vok_find_oterm(m_atom_netlist, t.port, hierarchical)) m_oterm_map.insert(o, id);
  } else if (t.name_space == VOK_PORT_NAMESPACE_INPUT) {
    if (const VOK_ATOM_ITERM* i = vok_find_iterm(m_atom_netlist, t.port, hierarchical)) m_iterm_map[i].push_back(id);
  }
}

void VOK_RE_ROUTING::unmap_terminal_node(int id) {
  const std::int32_t value = get_value(id);
  if (value < 0 || m_atom_netlist == nullptr) return;
  const VOK_RE_TERMINAL& t = get_terminal(value);
  const bool hierarchical = m_traverse_mode == VOK_TRAVERSE_HIERARCHICAL;
  if (t.name_space == VOK_PORT_NAMESPACE_OUTPUT) {
    const VOK_ATOM_OTERM* o = vok_find_oterm(m_atom_netlist, t.port, hierarchical);
    const int* mapped = o ? m_oterm_map.lookup(o) : nullptr;
    if (mapped != nullptr && *mapped == id) m_oterm_map.erase(o);
  } else if (t.name_space == VOK_PORT_NAMESPACE_INPUT) {
    const VOK_ATOM_ITERM* i = vok_find_iterm(m_atom_netlist, t.port, hierarchical);
    auto it = i ? m_iterm_map.find(i) : m_iterm_map.end();
    if (it == m_iterm_map.end()) return;
    ZMP_TINY_VECTOR<int> rest;
    for (int n : it.value())
      if (n != id) rest.push_back(n);
    if (rest.empty())
      m_iterm_map.erase(i);
    else
      it.value() = rest;
  }
}

namespace {
struct TERMINAL_MAP_READS {
  int count = 0;
};
}  // namespace

int host::vok::terminal_map_reads() { return host_world_slot<TERMINAL_MAP_READS>().count; }

void VOK_RE_ROUTING::rebuild_terminal_maps() {
  ++host_world_slot<TERMINAL_MAP_READS>().count;
  m_oterm_map.clear();
  m_iterm_map.clear();
  for (auto it = m_forest.nodes_begin(); !(it == m_forest.nodes_end()); ++it) map_terminal_node(it.id());
}

void VOK_RE_ROUTING::rebind_atom_terminals(std::uint32_t from, std::uint32_t to) {
  bool changed = false;
  for (VOK_RE_TERMINAL& t : m_terminals) {
    if (t.port.get_atom_id() != from) continue;
    t.port = VOK_ATOM_LOGICAL_PORT(to, t.port.get_port(), t.port.get_index());
    changed = true;
  }
  if (changed && m_atom_netlist != nullptr) rebuild_terminal_maps();
}

void VOK_RE_ROUTING::attach_atom_netlist(VOK_ATOM_NETLIST* netlist, int mode) {
  host::log_call("VOK_RE_ROUTING::attach_atom_netlist", netlist, mode);
  m_atom_netlist = netlist;
  m_traverse_mode = mode;
  ++m_attach_generation;
  rebuild_terminal_maps();
}

int VOK_RE_ROUTING::get_source_node(const VOK_ATOM_OTERM* oterm) const {
  const int* n = m_oterm_map.lookup(oterm);
  return n ? *n : -1;
}

std::vector<int> VOK_RE_ROUTING::get_sink_nodes(const VOK_ATOM_ITERM* iterm) const {
  const ZMP_TINY_VECTOR<int>* v = m_iterm_map.lookup(iterm);
  return v ? std::vector<int>(v->begin(), v->end()) : std::vector<int>();
}

void VOK_RE_ROUTING::debug_dump(std::ostream& out, VOK_RE_ROUTING_ZOTA_SKIP skip) const {
  struct ITEM {
    int id;
    int depth;
  };
  std::vector<ITEM> stack;
  auto roots = root_ids<VOK_RE_ROUTING_ZOTA_SKIP>();
  std::vector<int> root_list;
  for (auto it = roots.first; !(it == roots.second); ++it) root_list.push_back(*it);
  for (int root : root_list) {
    stack.push_back({root, 0});
    while (!stack.empty()) {
      const ITEM item = stack.back();
      stack.pop_back();
      out << std::string(static_cast<std::size_t>(2 * item.depth), ' ') << '[' << item.id << "] ";
      const std::int32_t v = get_value(item.id);
      if (v == VIRTUAL_VALUE) {
        out << "virtual";
      } else if (v < 0) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(v));
        out << "wire " << buf;
      } else {
        const VOK_RE_TERMINAL& t = get_terminal(v);
        out << (t.name_space == VOK_PORT_NAMESPACE_OUTPUT ? "source" : "sink") << " atom#"
            << t.port.get_atom_id() << ' ' << t.port.get_port().cname() << '.' << t.port.get_index();
      }
      out << '\n';
      std::vector<int> children;
      for (int c = get_first_child(item.id, skip); c != -1; c = get_next_sibling(c, skip)) children.push_back(c);
      for (auto c = children.rbegin(); c != children.rend(); ++c) stack.push_back({*c, item.depth + 1});
    }
  }
}

// ---- modifier ------------------------------------------------------------

VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER(VOK_RE_ROUTING& routing, const std::string& tag, bool flag1,
                                                 bool flag2)
    : m_routing(routing), m_tag(tag), m_flag1(flag1), m_flag2(flag2) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::VOK_RE_ROUTING_MODIFIER", tag, flag1, flag2);
}

VOK_RE_ROUTING_MODIFIER::~VOK_RE_ROUTING_MODIFIER() {
  host::log_call("VOK_RE_ROUTING_MODIFIER::~VOK_RE_ROUTING_MODIFIER", m_tag);
  if (m_pending.empty()) return;
  VOK_RE_ROUTING& r = m_routing;
  // Whole subtrees first, then the leaf requests in the order given
  // (children were requested before their parents); a node is a leaf when
  // the skip view shows no child.
  for (const PENDING& p : m_pending)
    if (p.kind == 1 && r.is_live(p.id)) r.erase(p.id);
  for (const PENDING& p : m_pending)
    if (p.kind == 0 && r.is_live(p.id) && r.get_first_child(p.id, VOK_RE_ROUTING_ZOTA_SKIP()) == -1) r.erase(p.id);
  r.rebuild_terminal_maps();
}

void VOK_RE_ROUTING_MODIFIER::erase(const VOK_ATOM_NODE* atom) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::erase", m_tag, host::vok::arg(atom));
  if (atom == nullptr) return;
  for (const VOK_ATOM_OTERM* oterm : atom->coterms()) {
    const int source = m_routing.get_source_node(oterm);
    if (source != -1) m_pending.push_back({1, source});
  }
  for (const VOK_ATOM_ITERM* iterm : atom->citerms()) {
    for (int node : m_routing.get_sink_nodes(iterm)) {
      // Leaf requests apply in order, each only when its node has no child
      // left, so the chain stops below the first node that serves another
      // sink.
      while (node != -1 && m_routing.get_parent(node, VOK_RE_ROUTING_ZOTA_SKIP()) != -1) {
        m_pending.push_back({0, node});
        node = m_routing.get_parent(node, VOK_RE_ROUTING_ZOTA_SKIP());
      }
    }
  }
}

void VOK_RE_ROUTING_MODIFIER::merge_at_routing_register(const VOK_ATOM_ITERM* iterm, const VOK_ATOM_OTERM* oterm) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::merge_at_routing_register", m_tag, host::vok::arg(iterm),
                 host::vok::arg(oterm));
}

int VOK_RE_ROUTING_MODIFIER::insert_source(const VOK_ATOM_OTERM* oterm, bool* created) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::insert_source", m_tag, oterm);
  VOK_RE_ROUTING& r = m_routing;
  const int existing = r.get_source_node(oterm);
  if (created) *created = existing == -1;
  if (existing != -1) return existing;
  const int id = r.new_source(oterm);
  m_other_changed = true;
  ++r.m_change_counter;
  return id;
}

int VOK_RE_ROUTING_MODIFIER::insert_sink(int parent, const VOK_ATOM_ITERM* iterm) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::insert_sink", m_tag, parent, iterm);
  VOK_RE_ROUTING& r = m_routing;
  const int id = r.append_sink(parent, iterm);
  m_other_changed = true;
  ++r.m_change_counter;
  return id;
}

int VOK_RE_ROUTING_MODIFIER::insert_virtual_source() {
  host::log_call("VOK_RE_ROUTING_MODIFIER::insert_virtual_source", m_tag);
  const int id = m_routing.new_root(VOK_RE_ROUTING::VIRTUAL_VALUE);
  m_other_changed = true;
  ++m_routing.m_change_counter;
  return id;
}

int VOK_RE_ROUTING_MODIFIER::insert_virtual_sink(int parent) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::insert_virtual_sink", m_tag, parent);
  const int id = m_routing.append_child_value(parent, VOK_RE_ROUTING::VIRTUAL_VALUE);
  m_other_changed = true;
  ++m_routing.m_change_counter;
  return id;
}

int VOK_RE_ROUTING_MODIFIER::insert_wire_as_parent(int node, unsigned masked_gid) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::insert_wire_as_parent", m_tag, node, masked_gid);
  const int id =
      m_routing.insert_as_parent(node, static_cast<std::int32_t>((masked_gid & 0x7FFFFFFFu) | VOK_RE_ROUTING::WIRE_BIT));
  m_wire_changed = true;
  ++m_routing.m_change_counter;
  return id;
}

void VOK_RE_ROUTING_MODIFIER::erase_leaf(int node) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::erase_leaf", m_tag, node);
  m_pending.push_back({0, node});
}

void VOK_RE_ROUTING_MODIFIER::erase(int id) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::erase", m_tag, id);
  if (m_erase_at_once)
    erase_node_now(id);
  else
    m_pending.push_back({1, id});
}

void VOK_RE_ROUTING_MODIFIER::erase(const VOK_ATOM_OTERM* oterm) {
  host::log_call("VOK_RE_ROUTING_MODIFIER::erase", m_tag, oterm);
  const int source = m_routing.get_source_node(oterm);
  if (source == -1) return;
  if (m_erase_at_once) {
    m_wire_changed = true;
    ++m_routing.m_change_counter;
    m_routing.erase(source);
  } else {
    m_pending.push_back({1, source});
  }
}
