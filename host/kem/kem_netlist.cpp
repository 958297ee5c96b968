#include "kem/kem_netlist.h"
#include "wexan/wexan_pll_delay_chains_op.h"

#include <map>

#include "common/host_world.h"

#include <algorithm>
#include <atomic>

#include "kem/kem_parallel.h"
#include "sta/sta_io_constraints.h"
#include "vok/vok_atom_netlist_boxes.h"
#include "vok/vok_chip_db_entry.h"
#include "wump/wump_die_info.h"
#include "xab/xab_dem.h"
#include "yeb/yeb_timing_model.h"
#include "yos/yos_interface.h"

namespace {

bool is_device_pin_atom(const VOK_ATOM_NODE* atom) {
  if (atom->is_io_pad()) return true;
  return atom->is_port() && atom->get_parent_netlist() != nullptr &&
         atom->get_parent_netlist()->get_parent_box() == nullptr;
}

bool has_driven_clock(const VOK_ATOM_NODE* atom) {
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
    const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
    if (t && t->get_port_type() == DB_INPUT_PORT_CLK && t->get_source(VOK_TRAVERSE_HIERARCHICAL)) return true;
  }
  return false;
}

bool is_sequential(const VOK_ATOM_NODE* atom) {
  if (atom->is_ff() || atom->is_lutram() || atom->is_ram()) return true;
  return (atom->is_mac() || atom->is_fp_mac()) && has_driven_clock(atom);
}

YEB_CELL_KIND cell_kind(const VOK_ATOM_NODE* atom) {
  if (atom->is_ff()) return YEB_CELL_KIND::REGISTER;
  if (is_sequential(atom)) return YEB_CELL_KIND::MEMORY;
  if (atom->get_kind() == VOK_ATOM_KIND::ARITH_CELL) return YEB_CELL_KIND::ARITH;
  if (atom->is_lcell_comb() || atom->is_logic_module()) return YEB_CELL_KIND::LUT;
  return YEB_CELL_KIND::BUFFER;
}

bool dont_touch(const VOK_ATOM_NODE* atom) {
  return !atom->is_modifiable() || (atom->get_parent_netlist() && !atom->get_parent_netlist()->is_modifiable());
}

void collect(VOK_ATOM_NETLIST* netlist, std::vector<VOK_ATOM_NODE*>& out) {
  for (VOK_ATOM_NODE* atom : netlist->get_atom_list()) {
    if (atom->is_box()) {
      if (auto* child = static_cast<VOK_ATOM_BLACKBOX*>(atom)->get_child_netlist()) collect(child, out);
      continue;
    }
    if (atom->is_port() && netlist->get_parent_box() != nullptr) continue;
    out.push_back(atom);
  }
}

bool is_buried_io_register(const VOK_ATOM_NODE* atom) {
  return atom != nullptr && (atom->get_io_roles() & VOK_ATOM_NODE::IO_ROLE_BURIED_IO_REGISTER) != 0;
}

KEM_TERM_REF ref_of(const VOK_ATOM_ITERM* t) {
  if (!t || !t->get_my_node()) return {};
  return {t->get_my_node()->get_id(), static_cast<int>(t->get_port_type()), t->get_index()};
}
KEM_TERM_REF ref_of(const VOK_ATOM_OTERM* t) {
  if (!t || !t->get_my_node()) return {};
  return {t->get_my_node()->get_id(), static_cast<int>(t->get_port_type()), t->get_index()};
}

// The slow-corner delay of a routed connection: the hop delays of the wire
// nodes from each of the sink's nodes up to its tree's root, the worst sink
// node counting. False when the input has no routing.
bool routed_delay_ps(const VOK_ATOM_ITERM* sink, int* ps) {
  const VOK_RE_ROUTING* routing = VOK_CHIP_DB_ENTRY::current()->get_routing();
  const std::vector<int> nodes = routing->get_sink_nodes(sink);
  if (nodes.empty()) return false;
  const WUMP_ROUTE_INFO* info = host::device::die_info()->get_route_info();
  double worst = 0.0;
  for (int node : nodes) {
    double sum = 0.0;
    for (int id = node; id >= 0; id = routing->forest().parent(id)) {
      if (routing->is_wire(id)) sum += info->get_hop_delay_ps(routing->get_gid(id), 1.0);
      sum += host::kem::dangling_load_ps(routing, id);
    }
    worst = std::max(worst, sum);
  }
  *ps = static_cast<int>(worst + 0.5);
  return true;
}

int scaled(int base_ps, double scale) {
  const double v = base_ps * scale;
  return static_cast<int>(v < 0 ? v - 0.5 : v + 0.5);
}

}  // namespace

namespace {
// The atom with the id among those timing_atoms lists (null when none).
VOK_ATOM_NODE* timing_atom_by_id(const VOK_ATOM_NETLIST* netlist, int id) {
  if (!netlist) return nullptr;
  if (VOK_ATOM_NODE* atom = netlist->get_atom_by_id(id)) {
    if (atom->is_box() || (atom->is_port() && netlist->get_parent_box() != nullptr)) return nullptr;
    return atom;
  }
  for (const VOK_ATOM_BLACKBOX* box : host::vok::boxes_of(netlist))
    if (VOK_ATOM_NODE* atom = timing_atom_by_id(box->get_child_netlist(), id)) return atom;
  return nullptr;
}
}  // namespace

namespace host::kem {
std::vector<VOK_ATOM_NODE*> timing_atoms(VOK_ATOM_NETLIST* top) {
  std::vector<VOK_ATOM_NODE*> out;
  if (top) collect(top, out);
  return out;
}
}  // namespace host::kem

// ---------------------------------------------------------------- nodes, edges, cells

int KEM_NODE::begin_clock_edges() const {
  for (int e = m_first_fanin; e >= 0;) {
    const KEM_EDGE* edge = m_netlist->get_edge(e);
    if (!edge) break;
    const KEM_NODE* src = edge->get_src_node();
    if (src && src->has_any_flag(KEM_NODE_FLAG_CLOCK_PIN)) return e;
    e = edge->get_next_fanin();
  }
  return -1;
}

std::string KEM_NODE::get_string_name() const {
  std::string name = m_atom ? m_atom->get_string_hpath() : "atom#" + std::to_string(m_atom_id);
  if (m_type == KEM_NODE_KEEPER) return name + "|keeper";
  if (m_type == KEM_NODE_DEVICE_PIN) return name;
  if (m_type == KEM_NODE_OUTPUT_PIN && m_oterm)
    return name + "|" + host::vok::output_port_name(m_oterm->get_port_type(), m_oterm->get_index());
  if (m_iterm) return name + "|in" + std::to_string(m_iterm->get_port_type()) + "." + std::to_string(m_iterm->get_index());
  return name;
}

VOK_ATOM_ITERM* KEM_EDGE::get_iterm() const {
  if (m_kind != KEM_EDGE_INTERCONNECT) return nullptr;
  const KEM_NODE* dst = get_dst_node();
  return dst ? dst->get_iterm() : nullptr;
}

int KEM_EDGE::get_next_fanin_of_kind(int kind) const {
  const KEM_EDGE* next = m_netlist->get_edge(m_next_fanin);
  if (!next) return -1;
  if (kind != KEM_EDGE_ANY && next->get_kind() != kind) return -1;
  return next->get_id();
}

std::vector<int> KEM_NETLIST_CELL::keeper_range() const {
  std::vector<int> res;
  for (int id : m_nodes)
    if (is_node_id_a_keeper(id)) res.push_back(id);
  return res;
}

bool KEM_NETLIST_CELL::is_node_id_a_keeper(int node_id) const {
  const KEM_NODE* n = m_netlist->get_node(node_id);
  return n && n->get_cell_id() >= 0 && m_netlist->get_cell_from_kem_node(n) == this && n->is_sta_type(KEM_NODE_KEEPER);
}

// ---------------------------------------------------------------- KEM_NETLIST

KEM_NETLIST::KEM_NETLIST() = default;
KEM_NETLIST::~KEM_NETLIST() = default;

KEM_NODE* KEM_NETLIST::get_kem_node_from_oterm(const VOK_ATOM_OTERM* oterm) const {
  auto it = m_node_of_term.find(oterm);
  return it == m_node_of_term.end() ? nullptr : get_node(it->second);
}

KEM_NODE* KEM_NETLIST::get_kem_node_from_iterm(const VOK_ATOM_ITERM* iterm) const {
  auto it = m_node_of_term.find(iterm);
  return it == m_node_of_term.end() ? nullptr : get_node(it->second);
}

const KEM_NETLIST_CELL* KEM_NETLIST::get_cell_from_atom_id(int atom_id) const {
  auto it = m_cell_of_atom.find(atom_id);
  return it == m_cell_of_atom.end() ? nullptr : m_cells[static_cast<std::size_t>(it->second)].get();
}

const KEM_NETLIST_CELL* KEM_NETLIST::get_cell_from_kem_node(const KEM_NODE* node) const {
  if (!node || node->get_cell_id() < 0 || node->get_cell_id() >= static_cast<int>(m_cells.size())) return nullptr;
  return m_cells[static_cast<std::size_t>(node->get_cell_id())].get();
}

namespace {
// An annotated delay, with the atom it was written for and where that atom
// then was.
struct KEM_ANNOTATION {
  int max_ps = 0;
  int min_ps = 0;
  int atom_id = -1;
  std::uint32_t location = 0xFFFFFFFFu;
};
struct KEM_ANNOTATIONS {
  std::map<const VOK_ATOM_ITERM*, KEM_ANNOTATION> delays;
};
}  // namespace

void host::kem::annotate_iterm_delay(const VOK_ATOM_ITERM* iterm, int max_ps, int min_ps) {
  const VOK_ATOM_NODE* atom = iterm ? iterm->get_my_node() : nullptr;
  host_world_slot<KEM_ANNOTATIONS>().delays[iterm] = {max_ps, min_ps, atom ? atom->get_id() : -1,
                                                      atom ? atom->get_location_gid() : 0xFFFFFFFFu};
}

namespace {
// The atom of id `id` that still owns `term`, in `netlist` or a netlist
// below it (an atom of a partition lives in its box's child netlist). The
// term is compared, never read: it may be gone.
const VOK_ATOM_NODE* owner_of(const VOK_ATOM_NETLIST* netlist, int id, const VOK_ATOM_ITERM* term) {
  if (netlist == nullptr) return nullptr;
  if (const VOK_ATOM_NODE* a = netlist->get_atom_by_id(id))
    for (const VOK_ATOM_ITERM* t : a->citerms())
      if (t == term) return a;
  for (const VOK_ATOM_NODE* a : netlist->get_atom_list())
    if (a->get_kind() == VOK_ATOM_KIND::BLACKBOX)
      if (const VOK_ATOM_NODE* found = owner_of(static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist(), id, term))
        return found;
  return nullptr;
}
}  // namespace

void host::kem::drop_moved_iterm_delay_annotations(const VOK_ATOM_NETLIST* top) {
  auto& delays = host_world_slot<KEM_ANNOTATIONS>().delays;
  for (auto it = delays.begin(); it != delays.end();) {
    const VOK_ATOM_NODE* atom = it->second.atom_id >= 0 ? owner_of(top, it->second.atom_id, it->first) : nullptr;
    const bool still = atom != nullptr && atom->get_location_gid() == it->second.location;
    it = still ? std::next(it) : delays.erase(it);
  }
}

int KEM_NETLIST::get_edge_delay_ps(const KEM_EDGE& edge, int corner_id) const {
  const auto& annotated = host_world_slot<KEM_ANNOTATIONS>().delays;
  if (!annotated.empty()) {
    const auto it = annotated.find(edge.get_iterm());
    if (it != annotated.end()) return it->second.max_ps;
  }
  const auto& corners = m_corners.get_loaded_corners();
  const double scale = corner_id >= 0 && corner_id < static_cast<int>(corners.size())
                           ? corners[static_cast<std::size_t>(corner_id)].get_delay_scale()
                           : 1.0;
  // Only an edge marked when made can carry a chain: the others skip the call.
  const int chain = edge.may_carry_chain() && corner_id >= 0 && corner_id < static_cast<int>(corners.size())
                        ? host::timing::chain_delay_ps(edge, corners[static_cast<std::size_t>(corner_id)])
                        : 0;
  const int cell = scaled(edge.m_base_ps, scale);
  // A compensating PLL's reference-to-output arc carries its chain settings.
  const int pll = corner_id >= 0 && corner_id < static_cast<int>(corners.size())
                      ? host::pll::compensation_ps(edge, corners[static_cast<std::size_t>(corner_id)], cell)
                      : 0;
  return cell + chain + pll;
}

int KEM_NETLIST::get_setup_ps(const KEM_NODE& keeper, int corner_id) const {
  return scaled(keeper.m_setup_ps, m_corners.get_loaded_corners().at(static_cast<std::size_t>(corner_id)).get_delay_scale());
}

int KEM_NETLIST::get_hold_ps(const KEM_NODE& keeper, int corner_id) const {
  const double scale = m_corners.get_loaded_corners().at(static_cast<std::size_t>(corner_id)).get_delay_scale();
  const int pulse = keeper.m_pulse_level >= 0 ? scaled(host::kem::pulse_width_ps(keeper.m_pulse_level), scale) : 0;
  return scaled(keeper.m_hold_ps, scale) + pulse;
}

int host::kem::pulse_width_ps(int level) { return 30 << std::clamp(level, 0, 2); }

bool host::kem::is_pulse_latch(const VOK_ATOM_NODE* atom) {
  if (atom == nullptr || !atom->is_ff() || !atom->is_placed()) return false;
  const unsigned gid = atom->get_location_gid();
  return gid != 0xFFFFFFFFu && (gid & 0x80000000u) != 0;
}

int KEM_NODE::get_micro_delay(int kind, const KEM_CORNER* corner) const {
  if ((kind != 3 && kind != 4) || corner == nullptr || m_pulse_level < 0 || !(m_flags & KEM_NODE_FLAG_CLOCK_PIN))
    return 0;
  return scaled(host::kem::pulse_width_ps(m_pulse_level), corner->get_timing_model().get_delay_scale());
}

void KEM_NETLIST::annotate_current_corner() {
  const int corner = m_corners.get_current_corner_id();
  for (int id = 0; id < m_edge_count; ++id) {
    KEM_EDGE* e = get_edge(id);
    if (!e) continue;
    const int d = get_edge_delay_ps(*e, corner);
    for (int& v : e->m_delays) v = d;
  }
}

void KEM_NETLIST::set_edge_slacks(int id, std::int32_t setup, std::int32_t hold) const {
  if (KEM_EDGE* e = get_edge(id)) {
    e->m_setup_slack = setup;
    e->m_hold_slack = hold;
  }
}

void KEM_NETLIST::set_quick_slack(int id, std::int32_t slack) const {
  if (KEM_EDGE* e = get_edge(id)) e->m_quick_slack = slack;
}

namespace {
// While rebuild_atoms runs: the freed node objects per atom id, taken again
// (id and object) by a new node of the same atom and type.
using REUSABLE_NODES = std::unordered_map<int, std::vector<std::unique_ptr<KEM_NODE>>>;
REUSABLE_NODES* l_reusable_nodes = nullptr;
}  // namespace

int KEM_NETLIST::new_node(KEM_NODE_TYPE type, VOK_ATOM_NODE* atom, int cell) {
  m_build_id = 0;
  m_structure_id = 0;
  std::unique_ptr<KEM_NODE> node;
  if (auto reuse = atom && l_reusable_nodes ? l_reusable_nodes->find(atom->get_id()) : REUSABLE_NODES::iterator();
      atom && l_reusable_nodes && reuse != l_reusable_nodes->end())
    for (auto it = reuse->second.begin(); it != reuse->second.end(); ++it)
      if ((*it)->m_type == type) {
        node = std::move(*it);
        reuse->second.erase(it);
        const int id = node->m_id;
        *node = KEM_NODE();
        node->m_id = id;
        break;
      }
  if (!node) {
    node = std::make_unique<KEM_NODE>();
    node->m_id = static_cast<int>(m_nodes.size());
  }
  node->m_type = type;
  node->m_cell = cell;
  node->m_atom = atom;
  node->m_atom_id = atom ? atom->get_id() : -1;
  node->m_netlist = this;
  if (atom && dont_touch(atom)) node->m_flags |= KEM_NODE_FLAG_DONT_TOUCH;
  if (atom && (atom->get_io_roles() & VOK_ATOM_NODE::IO_ROLE_BURIED_IO_REGISTER) && type != KEM_NODE_KEEPER)
    node->m_flags |= KEM_NODE_FLAG_BURIED_IO_REGISTER;
  const int id = node->m_id;
  if (log_open()) m_log.new_nodes.push_back(id);
  if (id < static_cast<int>(m_nodes.size()))
    m_nodes[static_cast<std::size_t>(id)] = std::move(node);
  else
    m_nodes.push_back(std::move(node));
  return id;
}

int KEM_NETLIST::new_edge(int src, int dst, int kind, int base_ps) {
  m_build_id = 0;
  m_structure_id = 0;
  int id;
  if (!m_free_edges.empty()) {
    id = *m_free_edges.begin();
    m_free_edges.erase(m_free_edges.begin());
  } else {
    id = m_edge_count++;
    if (static_cast<std::size_t>(id / CHUNK) >= m_chunks.size())
      m_chunks.push_back(std::unique_ptr<KEM_EDGE[]>(new KEM_EDGE[CHUNK]));
  }
  KEM_EDGE& e = record(id);
  e = KEM_EDGE();
  e.m_key = id;
  e.m_live = 1;
  e.m_kind = static_cast<std::uint8_t>(kind & 3);
  e.m_src = src;
  e.m_dst = dst;
  e.m_base_ps = base_ps;
  e.m_netlist = this;
  // Whether the edge can carry an I/O delay chain: decided once here, so that
  // a delay read tests one flag (the chain's settings are read on the read).
  e.m_chain = host::timing::may_carry_chain(e) ? 1 : 0;
  KEM_NODE& s = *m_nodes[static_cast<std::size_t>(src)];
  KEM_NODE& d = *m_nodes[static_cast<std::size_t>(dst)];
  e.m_prev_fanout = s.m_last_fanout;
  if (s.m_last_fanout >= 0) record(s.m_last_fanout).m_next_fanout = id;
  else s.m_first_fanout = id;
  s.m_last_fanout = id;
  e.m_prev_fanin = d.m_last_fanin;
  if (d.m_last_fanin >= 0) record(d.m_last_fanin).m_next_fanin = id;
  else d.m_first_fanin = id;
  d.m_last_fanin = id;
  const int corner = m_corners.get_current_corner_id();
  const int delay = get_edge_delay_ps(e, corner);
  for (int& v : e.m_delays) v = delay;
  if (log_open()) m_log.new_edges.push_back(id);
  ++m_generation;
  return id;
}

void KEM_NETLIST::free_edge(int id) {
  KEM_EDGE& e = record(id);
  if (e.m_key < 0) return;
  m_build_id = 0;
  m_structure_id = 0;
  if (log_open()) m_log.freed_edges.push_back({id, e.m_src, e.m_dst, e.m_kind});
  KEM_NODE* s = get_node(e.m_src);
  KEM_NODE* d = get_node(e.m_dst);
  if (s) {
    if (e.m_prev_fanout >= 0) record(e.m_prev_fanout).m_next_fanout = e.m_next_fanout;
    else s->m_first_fanout = e.m_next_fanout;
    if (e.m_next_fanout >= 0) record(e.m_next_fanout).m_prev_fanout = e.m_prev_fanout;
    else s->m_last_fanout = e.m_prev_fanout;
  }
  if (d) {
    if (e.m_prev_fanin >= 0) record(e.m_prev_fanin).m_next_fanin = e.m_next_fanin;
    else d->m_first_fanin = e.m_next_fanin;
    if (e.m_next_fanin >= 0) record(e.m_next_fanin).m_prev_fanin = e.m_prev_fanin;
    else d->m_last_fanin = e.m_prev_fanin;
  }
  e = KEM_EDGE();
  m_free_edges.insert(id);
  ++m_generation;
}

void KEM_NETLIST::free_node(int id) {
  KEM_NODE* n = get_node(id);
  if (!n) return;
  m_build_id = 0;
  m_structure_id = 0;
  while (n->m_first_fanin >= 0) free_edge(n->m_first_fanin);
  while (n->m_first_fanout >= 0) free_edge(n->m_first_fanout);
  // The terms may be gone already: only their addresses are compared.
  for (const void* term : {static_cast<const void*>(n->m_iterm), static_cast<const void*>(n->m_oterm)}) {
    auto it = term ? m_node_of_term.find(term) : m_node_of_term.end();
    if (it != m_node_of_term.end() && it->second == id) m_node_of_term.erase(it);
  }
  // While a rebuild runs, the object waits for the atom's new cell.
  if (log_open()) m_log.freed_nodes.push_back(id);
  if (l_reusable_nodes && n->m_atom_id >= 0)
    (*l_reusable_nodes)[n->m_atom_id].push_back(std::move(m_nodes[static_cast<std::size_t>(id)]));
  m_nodes[static_cast<std::size_t>(id)].reset();
  ++m_generation;
}

void KEM_NETLIST::bind_terms(KEM_NODE& node) {
  if (node.m_iterm) m_node_of_term[node.m_iterm] = node.m_id;
  if (node.m_oterm) m_node_of_term[node.m_oterm] = node.m_id;
  node.m_iterm_ref = ref_of(node.m_iterm);
  node.m_oterm_ref = ref_of(node.m_oterm);
}

int KEM_NETLIST::cell_delay_base(const VOK_ATOM_NODE* atom, const VOK_ATOM_ITERM* in) const {
  const YEB_CELL_KIND kind = cell_kind(atom);
  const YEB_CELL_DELAY& d = host::yeb::cell_delay(kind);
  if (kind == YEB_CELL_KIND::LUT || kind == YEB_CELL_KIND::ARITH) {
    const int type = in->get_port_type();
    if (type == DB_INPUT_PORT_CARRY_IN && d.has(8)) return d.ps(8, 1.0);
    if (type >= DB_INPUT_PORT_LUT_DATA && type < DB_INPUT_PORT_LUT_DATA + 8) return d.ps(type - DB_INPUT_PORT_LUT_DATA, 1.0);
  }
  return d.ps(0, 1.0);
}

void KEM_NETLIST::add_cell(VOK_ATOM_NODE* atom, std::vector<int>* added) {
  auto note = [&](int id) {
    if (added) added->push_back(id);
  };
  if (is_device_pin_atom(atom) && atom->is_pin() && host::timing::older_pin_form()) {
    // The device-pin node keeps the terms that reach a register buried in
    // the pin (the register sits between the pad and the core); every other
    // term is a node of the pin's cell, joined to the device-pin node.
    const int pin = new_node(KEM_NODE_DEVICE_PIN, atom, -1);
    m_device_pin_of_atom[atom->get_id()] = pin;
    note(pin);
    const int cell_id = static_cast<int>(m_cells.size());
    auto cell = std::make_unique<KEM_NETLIST_CELL>();
    cell->m_atom_id = atom->get_id();
    cell->m_netlist = this;
    const int base = host::yeb::cell_delay(YEB_CELL_KIND::BUFFER).ps(0, 1.0);
    for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
      VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
      VOK_ATOM_OTERM* src = t ? t->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
      if (!src) continue;
      KEM_NODE& p = *m_nodes[static_cast<std::size_t>(pin)];
      if (is_buried_io_register(src->get_my_node()) && !p.m_iterm) {
        p.m_iterm = t;
        continue;
      }
      const int id = new_node(KEM_NODE_INPUT_PIN, atom, cell_id);
      m_nodes[static_cast<std::size_t>(id)]->m_iterm = t;
      bind_terms(*m_nodes[static_cast<std::size_t>(id)]);
      cell->m_nodes.push_back(id);
      new_edge(id, pin, KEM_EDGE_CELL, base);
    }
    for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i) {
      VOK_ATOM_OTERM* t = atom->get_oterm_slot(i);
      if (!t) continue;
      KEM_NODE& p = *m_nodes[static_cast<std::size_t>(pin)];
      bool buried = false;
      for (VOK_ATOM_ITERM* f = t->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL); f && !buried;
           f = f->get_next_fanout(VOK_TRAVERSE_HIERARCHICAL))
        buried = is_buried_io_register(f->get_my_node());
      if (buried && !p.m_oterm) {
        p.m_oterm = t;
        continue;
      }
      const int id = new_node(KEM_NODE_OUTPUT_PIN, atom, cell_id);
      m_nodes[static_cast<std::size_t>(id)]->m_oterm = t;
      bind_terms(*m_nodes[static_cast<std::size_t>(id)]);
      cell->m_nodes.push_back(id);
      new_edge(pin, id, KEM_EDGE_CELL, base);
    }
    bind_terms(*m_nodes[static_cast<std::size_t>(pin)]);
    for (int id : cell->m_nodes) note(id);
    if (!cell->m_nodes.empty()) {
      m_cell_of_atom[atom->get_id()] = cell_id;
      m_cells.push_back(std::move(cell));
    }
    return;
  }
  if (is_device_pin_atom(atom)) {
    const int id = new_node(KEM_NODE_DEVICE_PIN, atom, -1);
    KEM_NODE& n = *m_nodes[static_cast<std::size_t>(id)];
    for (std::size_t i = 0; i < atom->get_iterm_slot_count() && !n.m_iterm; ++i) n.m_iterm = atom->get_iterm_slot(i);
    for (std::size_t i = 0; i < atom->get_oterm_slot_count() && !n.m_oterm; ++i) n.m_oterm = atom->get_oterm_slot(i);
    bind_terms(n);
    m_device_pin_of_atom[atom->get_id()] = id;
    note(id);
    return;
  }
  const int cell_id = static_cast<int>(m_cells.size());
  auto cell = std::make_unique<KEM_NETLIST_CELL>();
  cell->m_atom_id = atom->get_id();
  cell->m_netlist = this;
  std::vector<int> inputs, outputs;
  for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
    VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
    if (!t || !t->get_source(VOK_TRAVERSE_HIERARCHICAL)) continue;
    const int id = new_node(KEM_NODE_INPUT_PIN, atom, cell_id);
    KEM_NODE& n = *m_nodes[static_cast<std::size_t>(id)];
    n.m_iterm = t;
    bind_terms(n);
    inputs.push_back(id);
  }
  for (std::size_t i = 0; i < atom->get_oterm_slot_count(); ++i) {
    VOK_ATOM_OTERM* t = atom->get_oterm_slot(i);
    if (!t) continue;
    const int id = new_node(KEM_NODE_OUTPUT_PIN, atom, cell_id);
    KEM_NODE& n = *m_nodes[static_cast<std::size_t>(id)];
    n.m_oterm = t;
    bind_terms(n);
    outputs.push_back(id);
  }
  cell->m_nodes = inputs;
  cell->m_nodes.insert(cell->m_nodes.end(), outputs.begin(), outputs.end());
  if (is_sequential(atom)) {
    const YEB_CELL_KIND kind = cell_kind(atom);
    const YEB_CELL_DELAY& d = host::yeb::cell_delay(kind);
    const int keeper = new_node(KEM_NODE_KEEPER, atom, cell_id);
    KEM_NODE& k = *m_nodes[static_cast<std::size_t>(keeper)];
    k.m_flags |= kind == YEB_CELL_KIND::REGISTER ? KEM_NODE_FLAG_REGISTER_KEEPER : KEM_NODE_FLAG_RAM_KEEPER;
    k.m_setup_ps = d.ps(1, 1.0);
    k.m_hold_ps = d.ps(2, 1.0);
    int pulse_level = -1;
    if (host::kem::is_pulse_latch(atom)) {
      int level = -1;  // absent: level 0
      yos_current_interface()->get_enum_data(atom, static_cast<YOS_ENUM_DATA_ENUM>(YOS_PULSE_WIDTH_LEVEL), &level);
      pulse_level = std::clamp(level, 0, 2);
    }
    k.m_pulse_level = pulse_level;
    cell->m_nodes.push_back(keeper);
    // Data edges first, then the clock edges: the kind-1 run starts the
    // keeper's fan-in list.
    for (int in : inputs) {
      const VOK_ATOM_ITERM* t = m_nodes[static_cast<std::size_t>(in)]->m_iterm;
      if (t->get_port_type() == DB_INPUT_PORT_CLK || t->get_port_type() == DB_INPUT_PORT_ACLR) continue;
      new_edge(in, keeper, KEM_EDGE_KEEPER_DATA, 0);
    }
    for (int in : inputs) {
      KEM_NODE& n = *m_nodes[static_cast<std::size_t>(in)];
      if (n.m_iterm->get_port_type() != DB_INPUT_PORT_CLK) continue;
      n.m_flags |= KEM_NODE_FLAG_CLOCK_PIN;
      n.m_pulse_level = pulse_level;
      new_edge(in, keeper, KEM_EDGE_CELL, 0);
    }
    for (int out : outputs) new_edge(keeper, out, KEM_EDGE_CELL, d.ps(0, 1.0));
  } else {
    for (int in : inputs) {
      // A PLL's feedback clock input has no arc to its outputs.
      if (atom->is_pll() && m_nodes[static_cast<std::size_t>(in)]->m_iterm->get_port_type() == DB_INPUT_PORT_PLL_FBCLK)
        continue;
      const int base = cell_delay_base(atom, m_nodes[static_cast<std::size_t>(in)]->m_iterm);
      for (int out : outputs) new_edge(in, out, KEM_EDGE_CELL, base);
    }
  }
  for (int id : cell->m_nodes) note(id);
  m_cell_of_atom[atom->get_id()] = cell_id;
  m_cells.push_back(std::move(cell));
}

namespace {
// The interconnect edge a sink node should have: its source node and
// slow-corner delay; false when it has none.
bool interconnect_of(const KEM_NETLIST& kem, const KEM_NODE* sink, int* src_id, int* base) {
  if (!sink || !sink->get_iterm() || sink->get_type() == KEM_NODE_OUTPUT_PIN || sink->get_type() == KEM_NODE_KEEPER)
    return false;
  VOK_ATOM_OTERM* src_term = sink->get_iterm()->get_source(VOK_TRAVERSE_HIERARCHICAL);
  const KEM_NODE* src = src_term ? kem.get_kem_node_from_oterm(src_term) : nullptr;
  if (!src) return false;
  const VOK_ATOM_NODE* from = src->get_atom();
  const VOK_ATOM_NODE* to = sink->get_atom();
  if (!routed_delay_ps(sink->get_iterm(), base))
    *base = XAB_DEM::estimate_delay_ps(from ? from->get_location_gid() : 0xFFFFFFFFu,
                                       to ? to->get_location_gid() : 0xFFFFFFFFu);
  *src_id = src->get_id();
  return true;
}
}  // namespace

namespace {
// Build ids start at 1 (0: not as built); builds may run on several threads.
std::uint64_t next_build_id() {
  static std::atomic<std::uint64_t> s_builds{0};
  return ++s_builds;
}
}  // namespace

std::unique_ptr<KEM_NETLIST> KEM_NETLIST::build(VOK_ATOM_NETLIST* top, const std::vector<KEM_TIMING_MODEL>& corners) {
  auto kem = std::make_unique<KEM_NETLIST>();
  kem->m_corners.set_corners(corners);
  for (VOK_ATOM_NODE* atom : host::kem::timing_atoms(top)) {
    kem->m_build_pos[atom->get_id()] = kem->m_next_pos++;
    kem->add_cell(atom, nullptr);
  }
  // Each input's interconnect (source and delay) read in parallel, the edges
  // then made in node order.
  const int n = kem->get_node_count();
  std::vector<int> src(static_cast<std::size_t>(n), -1), base(static_cast<std::size_t>(n), 0);
  host::kem::parallel_ranges(static_cast<std::size_t>(n), [&](std::size_t b, std::size_t e) {
    for (std::size_t id = b; id < e; ++id)
      if (!interconnect_of(*kem, kem->get_node(static_cast<int>(id)), &src[id], &base[id])) src[id] = -1;
  });
  for (int id = 0; id < n; ++id)
    if (src[static_cast<std::size_t>(id)] >= 0)
      kem->new_edge(src[static_cast<std::size_t>(id)], id, KEM_EDGE_INTERCONNECT, base[static_cast<std::size_t>(id)]);
  kem->m_generation = 0;
  kem->build_re_hops();
  kem->m_build_id = kem->m_structure_id = next_build_id();
  return kem;
}

bool KEM_NETLIST::refresh_routing(const std::vector<KEM_TIMING_MODEL>& corners, KEM_DIRTY* dirty) {
  if (m_structure_id == 0) return false;
  // Every interconnect edge's delay as a build would read it, each from
  // the source it has; nothing changes unless all of them still hold.
  std::vector<int> edges;
  for (int id = 0; id < m_edge_count; ++id)
    if (const KEM_EDGE& e = record(id); e.m_key >= 0 && e.m_kind == KEM_EDGE_INTERCONNECT) edges.push_back(id);
  std::vector<int> bases(edges.size(), 0);
  std::atomic<bool> moved{false};
  host::kem::parallel_ranges(edges.size(), [&](std::size_t b, std::size_t end) {
    for (std::size_t i = b; i < end && !moved.load(std::memory_order_relaxed); ++i) {
      const KEM_EDGE& e = record(edges[i]);
      int src = -1;
      if (!interconnect_of(*this, get_node(e.m_dst), &src, &bases[i]) || src != e.m_src) moved = true;
    }
  });
  if (moved) return false;
  // An edge whose delay moved is logged as made anew and its ends marked,
  // as when a connection is read again in place: an analysis follows it.
  for (std::size_t i = 0; i < edges.size(); ++i) {
    KEM_EDGE& e = record(edges[i]);
    if (e.m_base_ps == bases[i]) continue;
    e.m_base_ps = bases[i];
    if (log_open()) m_log.new_edges.push_back(edges[i]);
    if (dirty) {
      dirty->arrival.push_back(e.m_dst);
      dirty->required.push_back(e.m_src);
    }
  }
  m_routing_changes.reset();
  m_generation = 0;
  reset_to_as_built(corners);  // the corners first: the hops are kept per corner loaded
  build_re_hops();
  m_build_id = m_structure_id = next_build_id();
  return true;
}

void KEM_NETLIST::reset_to_as_built(const std::vector<KEM_TIMING_MODEL>& corners) {
  KEM_CORNER_MANAGER fresh;
  fresh.set_corners(corners);
  m_corners = fresh;
  annotate_current_corner();
  for (int id = 0; id < m_edge_count; ++id)
    if (KEM_EDGE* e = get_edge(id)) e->m_quick_slack = KEM_QUICK_NO_SLACK;
}

void KEM_NETLIST::rebuild_atoms(VOK_ATOM_NETLIST* top, const std::set<int>& atom_ids, KEM_DIRTY* dirty) {
  m_build_id = 0;
  auto arrival = [&](int node) {
    if (dirty && node >= 0 && get_node(node)) dirty->arrival.push_back(node);
  };
  auto required = [&](int node) {
    if (dirty && node >= 0 && get_node(node)) dirty->required.push_back(node);
  };
  // The atoms' old nodes, and the driving pins of the nets feeding them.
  std::set<int> net_sources;
  std::vector<int> old_nodes;
  for (int atom_id : atom_ids) {
    auto cit = m_cell_of_atom.find(atom_id);
    if (cit != m_cell_of_atom.end()) {
      KEM_NETLIST_CELL& cell = *m_cells[static_cast<std::size_t>(cit->second)];
      old_nodes.insert(old_nodes.end(), cell.m_nodes.begin(), cell.m_nodes.end());
      cell.m_nodes.clear();
      m_cell_of_atom.erase(cit);
    }
    auto dit = m_device_pin_of_atom.find(atom_id);
    if (dit != m_device_pin_of_atom.end()) {
      old_nodes.push_back(dit->second);
      m_device_pin_of_atom.erase(dit);
    }
  }
  for (int id : old_nodes) {
    const KEM_NODE* n = get_node(id);
    if (!n) continue;
    for (int e = n->m_first_fanin; e >= 0; e = record(e).m_next_fanin)
      if (record(e).m_kind == KEM_EDGE_INTERCONNECT) {
        net_sources.insert(record(e).m_src);
        required(record(e).m_src);
      }
    for (int e = n->m_first_fanout; e >= 0; e = record(e).m_next_fanout) arrival(record(e).m_dst);
  }
  // A rebuilt cell takes back the ids and objects of its old nodes where it
  // has nodes of the same kinds, so that node pointers held across the
  // rebuild (the optimisers' register records) stay good.
  REUSABLE_NODES reusable;
  l_reusable_nodes = &reusable;
  for (int id : old_nodes) free_node(id);

  // New cells for the atoms that still exist, in build order (found by id
  // through the hierarchy's boxes, without a walk of the design).
  std::vector<int> added;
  std::vector<std::pair<std::int64_t, VOK_ATOM_NODE*>> order;
  for (int id : atom_ids) {
    VOK_ATOM_NODE* atom = timing_atom_by_id(top, id);
    if (!atom) continue;
    auto pos = m_build_pos.find(id);
    if (pos == m_build_pos.end()) pos = m_build_pos.emplace(id, m_next_pos++).first;
    order.emplace_back(pos->second, atom);
  }
  std::sort(order.begin(), order.end());
  for (const auto& [pos, atom] : order) add_cell(atom, &added);
  l_reusable_nodes = nullptr;
  std::set<const VOK_ATOM_OTERM*> sources;
  for (int id : net_sources)
    if (const KEM_NODE* s = get_node(id)) sources.insert(s->m_oterm);
  for (int id : added) {
    const KEM_NODE* n = get_node(id);
    if (n->m_oterm) sources.insert(n->m_oterm);
    if (n->m_iterm) sources.insert(n->m_iterm->get_source(VOK_TRAVERSE_HIERARCHICAL));
    arrival(id);
    required(id);
  }
  sources.erase(nullptr);
  if (!m_routing_changes) {
    reconnect_sinks(sources, {}, dirty);
    refresh_re_hops(sources);
    return;
  }
  // Known routing changes: the changed nets and the rebuilt cells' own nets
  // whole (their driver nodes are new), else only the rebuilt inputs.
  std::set<const VOK_ATOM_OTERM*> whole = std::move(*m_routing_changes);
  m_routing_changes.reset();
  std::set<const VOK_ATOM_ITERM*> own;
  for (int id : added) {
    const KEM_NODE* n = get_node(id);
    if (n->m_oterm) whole.insert(n->m_oterm);
    if (n->m_iterm) own.insert(n->m_iterm);
  }
  whole.erase(nullptr);
  reconnect_sinks(whole, own, dirty);
  refresh_re_hops(whole);
}

void KEM_NETLIST::reconnect_sinks(const std::set<const VOK_ATOM_OTERM*>& sources,
                                  const std::set<const VOK_ATOM_ITERM*>& sinks, KEM_DIRTY* dirty) {
  auto arrival = [&](int node) {
    if (dirty && node >= 0 && get_node(node)) dirty->arrival.push_back(node);
  };
  auto required = [&](int node) {
    if (dirty && node >= 0 && get_node(node)) dirty->required.push_back(node);
  };
  // The sink nodes: the fanouts of the sources and the given sinks, in id
  // order (as freed edge ids are reused lowest first).
  std::vector<int> nodes;
  auto add = [&](const VOK_ATOM_ITERM* t) {
    auto it = m_node_of_term.find(t);
    if (it == m_node_of_term.end()) return;
    const KEM_NODE* n = get_node(it->second);
    if (n && n->m_iterm == t && n->m_type != KEM_NODE_OUTPUT_PIN && n->m_type != KEM_NODE_KEEPER)
      nodes.push_back(it->second);
  };
  for (const VOK_ATOM_OTERM* o : sources)
    if (o)
      for (const VOK_ATOM_ITERM* t : o->cfanout(VOK_TRAVERSE_HIERARCHICAL)) add(t);
  for (const VOK_ATOM_ITERM* t : sinks) add(t);
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  // A sink has one interconnect edge; one that comes back unchanged stays.
  for (int id : nodes) {
    KEM_NODE* n = get_node(id);
    int old_src = -1, old_base = 0, old_count = 0;
    for (int e = n->m_first_fanin; e >= 0; e = record(e).m_next_fanin)
      if (record(e).m_kind == KEM_EDGE_INTERCONNECT) {
        old_src = record(e).m_src;
        old_base = record(e).m_base_ps;
        ++old_count;
      }
    int new_src = -1, new_base = 0;
    interconnect_of(*this, n, &new_src, &new_base);
    if (old_count <= 1 && old_src == new_src && old_base == new_base) continue;
    if (old_count == 1 && old_src == new_src) {
      // The same connection with another delay: the edge keeps its id and
      // its places in the fan-in and fan-out lists, as a build would have
      // made it; the analysis reads it again as a new one.
      for (int e = n->m_first_fanin; e >= 0; e = record(e).m_next_fanin)
        if (record(e).m_kind == KEM_EDGE_INTERCONNECT) {
          KEM_EDGE& edge = record(e);
          edge.m_base_ps = new_base;
          const int delay = get_edge_delay_ps(edge, m_corners.get_current_corner_id());
          for (int& v : edge.m_delays) v = delay;
          if (log_open()) m_log.new_edges.push_back(e);
        }
      m_build_id = 0;
      arrival(id);
      required(old_src);
      continue;
    }
    for (int e = n->m_first_fanin; e >= 0;) {
      const int next = record(e).m_next_fanin;
      if (record(e).m_kind == KEM_EDGE_INTERCONNECT) free_edge(e);
      e = next;
    }
    if (new_src >= 0) new_edge(new_src, id, KEM_EDGE_INTERCONNECT, new_base);
    arrival(id);
    required(old_src);
    required(new_src);
  }
}

void KEM_NETLIST::reread_connections(const std::set<int>& atom_ids, std::set<const VOK_ATOM_OTERM*> nets,
                                     KEM_DIRTY* dirty) {
  m_build_id = 0;
  std::set<const VOK_ATOM_ITERM*> own;
  auto add_node = [&](int id) {
    if (const KEM_NODE* n = get_node(id)) {
      if (n->m_oterm) nets.insert(n->m_oterm);
      if (n->m_iterm) own.insert(n->m_iterm);
    }
  };
  for (int atom_id : atom_ids) {
    if (auto cit = m_cell_of_atom.find(atom_id); cit != m_cell_of_atom.end())
      for (int id : m_cells[static_cast<std::size_t>(cit->second)]->m_nodes) add_node(id);
    if (auto dit = m_device_pin_of_atom.find(atom_id); dit != m_device_pin_of_atom.end()) add_node(dit->second);
  }
  nets.erase(nullptr);
  m_routing_changes.reset();
  reconnect_sinks(nets, own, dirty);
  refresh_re_hops(nets);
}

void KEM_NETLIST::rebuild_nets(const std::set<const VOK_ATOM_OTERM*>& nets,
                               const std::set<const VOK_ATOM_ITERM*>& sinks, KEM_DIRTY* dirty) {
  m_build_id = 0;
  std::set<const VOK_ATOM_OTERM*> sources = nets;
  for (const VOK_ATOM_ITERM* t : sinks) sources.insert(t->get_source(VOK_TRAVERSE_HIERARCHICAL));
  sources.erase(nullptr);
  refresh_re_hops(sources);
  reconnect_sinks(nets, sinks, dirty);
}

std::unique_ptr<const KEM_NETLIST::KEPT> KEM_NETLIST::keep() const {
  auto kept = std::make_unique<KEPT>();
  kept->corners = m_corners;
  kept->nodes.resize(m_nodes.size());
  for (std::size_t i = 0; i < m_nodes.size(); ++i) {
    const KEM_NODE* n = m_nodes[i].get();
    if (!n) continue;
    kept->nodes[i] = KEPT::NODE{n->m_id,           n->m_type,         n->m_flags,       n->m_cell,
                                n->m_atom_id,      n->m_iterm_ref,    n->m_oterm_ref,   n->m_first_fanin,
                                n->m_last_fanin,   n->m_first_fanout, n->m_last_fanout, n->m_setup_ps,
                                n->m_hold_ps,      n->m_pulse_level};
  }
  kept->edges.reserve(static_cast<std::size_t>(m_edge_count));
  for (int id = 0; id < m_edge_count; ++id) {
    kept->edges.push_back(record(id));
    kept->edges.back().m_netlist = nullptr;
  }
  kept->free_edges = m_free_edges;
  kept->cells.reserve(m_cells.size());
  for (const auto& cell : m_cells) kept->cells.emplace_back(cell->m_atom_id, cell->m_nodes);
  kept->cell_of_atom = m_cell_of_atom;
  kept->device_pin_of_atom = m_device_pin_of_atom;
  kept->generation = m_generation;
  kept->build_pos = m_build_pos;
  kept->next_pos = m_next_pos;
  kept->hops = m_hops;
  kept->hop_corner_count = m_hop_corner_count;
  kept->hop_of_sink.assign(m_hop_of_sink.begin(), m_hop_of_sink.end());
  std::sort(kept->hop_of_sink.begin(), kept->hop_of_sink.end());
  return kept;
}

std::unique_ptr<KEM_NETLIST> KEM_NETLIST::restore(const KEPT& kept, VOK_ATOM_NETLIST* top) {
  auto copy = std::make_unique<KEM_NETLIST>();
  copy->m_corners = kept.corners;
  std::unordered_map<int, VOK_ATOM_NODE*> atoms;
  for (VOK_ATOM_NODE* a : host::kem::timing_atoms(top)) atoms[a->get_id()] = a;
  auto atom_of = [&](int id) -> VOK_ATOM_NODE* {
    auto it = atoms.find(id);
    return it == atoms.end() ? nullptr : it->second;
  };
  copy->m_nodes.resize(kept.nodes.size());
  for (std::size_t i = 0; i < kept.nodes.size(); ++i) {
    const KEPT::NODE& k = kept.nodes[i];
    if (k.id < 0) continue;
    auto n = std::make_unique<KEM_NODE>();
    n->m_id = k.id;
    n->m_type = k.type;
    n->m_flags = k.flags;
    n->m_cell = k.cell;
    n->m_atom_id = k.atom_id;
    n->m_iterm_ref = k.iterm_ref;
    n->m_oterm_ref = k.oterm_ref;
    n->m_first_fanin = k.first_fanin;
    n->m_last_fanin = k.last_fanin;
    n->m_first_fanout = k.first_fanout;
    n->m_last_fanout = k.last_fanout;
    n->m_setup_ps = k.setup_ps;
    n->m_hold_ps = k.hold_ps;
    n->m_pulse_level = k.pulse_level;
    n->m_netlist = copy.get();
    n->m_atom = atom_of(k.atom_id);
    if (VOK_ATOM_NODE* a = atom_of(k.iterm_ref.atom_id))
      n->m_iterm = a->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(k.iterm_ref.port_type), k.iterm_ref.index);
    if (VOK_ATOM_NODE* a = atom_of(k.oterm_ref.atom_id))
      n->m_oterm = a->get_output_term_by_type(static_cast<DB_OUTPUT_PORT_TYPE>(k.oterm_ref.port_type), k.oterm_ref.index);
    if (n->m_iterm) copy->m_node_of_term[n->m_iterm] = n->m_id;
    if (n->m_oterm) copy->m_node_of_term[n->m_oterm] = n->m_id;
    copy->m_nodes[i] = std::move(n);
  }
  copy->m_edge_count = static_cast<int>(kept.edges.size());
  copy->m_free_edges = kept.free_edges;
  for (std::size_t first = 0; first < kept.edges.size(); first += CHUNK) {
    std::unique_ptr<KEM_EDGE[]> c(new KEM_EDGE[CHUNK]);
    for (std::size_t i = 0; i < CHUNK && first + i < kept.edges.size(); ++i) {
      c[i] = kept.edges[first + i];
      if (c[i].m_key >= 0) c[i].m_netlist = copy.get();
    }
    copy->m_chunks.push_back(std::move(c));
  }
  for (const auto& [atom_id, nodes] : kept.cells) {
    auto c = std::make_unique<KEM_NETLIST_CELL>();
    c->m_atom_id = atom_id;
    c->m_nodes = nodes;
    c->m_netlist = copy.get();
    copy->m_cells.push_back(std::move(c));
  }
  copy->m_cell_of_atom = kept.cell_of_atom;
  copy->m_device_pin_of_atom = kept.device_pin_of_atom;
  copy->m_generation = kept.generation;
  copy->m_build_pos = kept.build_pos;
  copy->m_next_pos = kept.next_pos;
  copy->m_hops = kept.hops;
  copy->m_hop_corner_count = kept.hop_corner_count;
  copy->m_hop_of_sink.reserve(kept.hop_of_sink.size());
  for (const auto& entry : kept.hop_of_sink) copy->m_hop_of_sink.insert(entry);
  return copy;
}

bool KEM_NETLIST::log_open() const {
  if (m_log.overflow) return false;
  const std::size_t n =
      m_log.new_edges.size() + m_log.freed_edges.size() + m_log.new_nodes.size() + m_log.freed_nodes.size();
  if (n <= 2 * (m_nodes.size() + static_cast<std::size_t>(m_edge_count)) + 1024) return true;
  m_log = CHANGE_LOG();
  return false;
}

KEM_NETLIST::CHANGE_LOG KEM_NETLIST::take_change_log() {
  CHANGE_LOG log = std::move(m_log);
  m_log = CHANGE_LOG();
  m_log.overflow = false;
  return log;
}

VOK_ATOM_NODE* kem_get_atom_from_node(const KEM_NODE* node) { return node ? node->get_atom() : nullptr; }

VOK_ATOM_NODE* kem_get_atom_from_node(const KEM_NETLIST* netlist, const KEM_NODE* node) {
  return node && node->get_netlist() == netlist ? node->get_atom() : nullptr;
}
