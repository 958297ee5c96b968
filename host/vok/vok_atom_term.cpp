#include "vok/vok_atom_term.h"

#include <set>
#include <string>
#include <utility>

#include "common/host_world.h"
#include "msg/msg_internal_error.h"
#include "vok/vok_atom_netlist.h"

namespace {
[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VOK", "vok_atom_term", line);
}
// More boundary crossings than this on one signal can only be a loop of
// feed-throughs.
constexpr int MAX_HIER_CROSSINGS = 1 << 20;
}  // namespace

// ---------------------------------------------------------------- VOK_ATOM_ITERM

VOK_ATOM_ITERM::VOK_ATOM_ITERM(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index)
    : m_atom(atom), m_port_type(type), m_index(index), m_usage(type) {}

VOK_ATOM_ITERM::~VOK_ATOM_ITERM() {
  unlink_from_source();
  if (m_hier_equiv != nullptr) m_hier_equiv->m_hier_equiv = nullptr;
}

void VOK_ATOM_ITERM::unlink_from_source() {
  if (m_source == nullptr) return;
  if (m_prev_fanout != nullptr)
    m_prev_fanout->m_next_fanout = m_next_fanout;
  else
    m_source->m_first_fanout = m_next_fanout;
  if (m_next_fanout != nullptr)
    m_next_fanout->m_prev_fanout = m_prev_fanout;
  else
    m_source->m_last_fanout = m_prev_fanout;
  m_source = nullptr;
  m_next_fanout = m_prev_fanout = nullptr;
}

VOK_ATOM_OTERM* VOK_ATOM_ITERM::get_source(VOK_TRAVERSE mode) const {
  VOK_ATOM_OTERM* source = m_source;
  if (mode != VOK_TRAVERSE_HIERARCHICAL) return source;
  // A box output term leads to the inner output port's input term; an inner
  // input port's output term leads to the box input term. Either way, follow
  // that term's source.
  for (int crossings = 0; source != nullptr && source->m_hier_equiv != nullptr; ++crossings) {
    if (crossings == MAX_HIER_CROSSINGS) fail("hierarchical source loop", __LINE__);
    source = source->m_hier_equiv->m_source;
  }
  return source;
}

VOK_ATOM_ITERM* VOK_ATOM_ITERM::get_next_fanout(VOK_TRAVERSE) const { return m_next_fanout; }

void VOK_ATOM_ITERM::disconnect_from_source(CONNECT_STATE state) {
  if (state != OPEN && state != GROUND) fail("state == OPEN || state == GROUND", __LINE__);
  unlink_from_source();
  m_connected = (state == GROUND);
  m_tie_low = (state == GROUND);
  set_used(m_connected);
}

void VOK_ATOM_ITERM::tie(bool low) {
  unlink_from_source();
  m_connected = true;
  m_tie_low = low;
  set_used(true);
}

// ---------------------------------------------------------------- VOK_ATOM_OTERM

VOK_ATOM_OTERM::VOK_ATOM_OTERM(VOK_ATOM_NODE* atom, DB_OUTPUT_PORT_TYPE type, int index)
    : m_atom(atom), m_port_type(type), m_index(index), m_usage(type) {}

VOK_ATOM_OTERM::~VOK_ATOM_OTERM() {
  disconnect_all_fanouts();
  if (m_hier_equiv != nullptr) m_hier_equiv->m_hier_equiv = nullptr;
}

std::string VOK_ATOM_OTERM::get_name() const {
  if (m_atom == nullptr) return "GND";
  std::string path = m_atom->get_string_hpath();
  if (m_atom->get_oterm_slot_count() > 0 && m_atom->get_oterm_slot(0) == this) return path;
  return path + "~" + host::vok::output_port_name(m_port_type, m_index);
}

VOK_ATOM_ITERM* VOK_ATOM_OTERM::get_first_fanout(VOK_TRAVERSE) const { return m_first_fanout; }

int VOK_ATOM_OTERM::get_number_of_fanout_nodes(VOK_TRAVERSE mode) const {
  std::set<const VOK_ATOM_NODE*> atoms;
  for (auto it = VOK_ATOM_FANOUT_ITERATOR<true>(this, mode), end = VOK_ATOM_FANOUT_ITERATOR<true>(); it != end; ++it)
    atoms.insert((*it)->get_my_node());
  return static_cast<int>(atoms.size());
}

int VOK_ATOM_OTERM::count_fanouts_up_to(int limit, VOK_TRAVERSE mode) const {
  int n = 0;
  for (auto it = VOK_ATOM_FANOUT_ITERATOR<true>(this, mode), end = VOK_ATOM_FANOUT_ITERATOR<true>(); it != end && n < limit;
       ++it)
    ++n;
  return n;
}

bool VOK_ATOM_OTERM::has_fanout_exactly(int n, VOK_TRAVERSE mode) const {
  return n >= 0 && count_fanouts_up_to(n + 1, mode) == n;
}

bool VOK_ATOM_OTERM::has_fanout_less_than(int n, VOK_TRAVERSE mode) const { return count_fanouts_up_to(n, mode) < n; }

int VOK_ATOM_OTERM::count_flatten_fanouts() const {
  int n = 0;
  for (const VOK_ATOM_ITERM* iterm : cfanout(VOK_TRAVERSE_HIERARCHICAL)) {
    (void)iterm;
    ++n;
  }
  return n;
}

VOK_ATOM_ITERM* VOK_ATOM_OTERM::get_only_fanout_or_die(VOK_TRAVERSE mode) const {
  auto it = VOK_ATOM_FANOUT_ITERATOR<true>(this, mode);
  const auto end = VOK_ATOM_FANOUT_ITERATOR<true>();
  if (it == end) fail("has_fanout_exactly(1)", __LINE__);
  VOK_ATOM_ITERM* only = const_cast<VOK_ATOM_ITERM*>(*it);
  if (++it != end) fail("has_fanout_exactly(1)", __LINE__);
  return only;
}

void VOK_ATOM_OTERM::disconnect_all_fanouts() {
  while (m_first_fanout != nullptr) m_first_fanout->disconnect_from_source(VOK_NET_ITERM::OPEN);
}

// ---------------------------------------------------------------- free functions

void vok_connect(VOK_ATOM_OTERM* source, VOK_ATOM_ITERM* sink) {
  if (source == nullptr || sink == nullptr) fail("source && sink", __LINE__);
  VOK_ATOM_NETLIST* sink_netlist = sink->m_atom ? sink->m_atom->get_parent_netlist() : nullptr;
  if (source->m_atom == nullptr) {
    if (sink_netlist == nullptr || source != sink_netlist->get_ground_oterm())
      fail("the ground term of the sink's own netlist", __LINE__);
  } else if (source->m_atom->get_parent_netlist() != sink_netlist) {
    fail("source and sink in the same netlist", __LINE__);
  }
  sink->unlink_from_source();
  sink->m_source = source;
  sink->m_prev_fanout = source->m_last_fanout;
  sink->m_next_fanout = nullptr;
  if (source->m_last_fanout != nullptr)
    source->m_last_fanout->m_next_fanout = sink;
  else
    source->m_first_fanout = sink;
  source->m_last_fanout = sink;
  sink->m_connected = true;
  sink->m_tie_low = false;
  sink->set_used(true);
}

VOK_ATOM_OTERM* vok_hier_get_equivalent_oterm(const VOK_ATOM_ITERM* iterm) {
  return iterm ? iterm->get_hier_equiv() : nullptr;
}

VOK_ATOM_ITERM* vok_hier_get_equivalent_iterm(const VOK_ATOM_OTERM* oterm) {
  return oterm ? oterm->get_hier_equiv() : nullptr;
}

void vok_link_hier_equivalents(VOK_ATOM_ITERM* iterm, VOK_ATOM_OTERM* oterm) {
  if (iterm == nullptr || oterm == nullptr) fail("iterm && oterm", __LINE__);
  if (iterm->m_hier_equiv != nullptr || oterm->m_hier_equiv != nullptr) fail("not yet linked", __LINE__);
  iterm->m_hier_equiv = oterm;
  oterm->m_hier_equiv = iterm;
}

void vok_unlink_hier_equivalent(VOK_ATOM_ITERM* iterm) {
  if (iterm == nullptr || iterm->m_hier_equiv == nullptr) return;
  iterm->m_hier_equiv->m_hier_equiv = nullptr;
  iterm->m_hier_equiv = nullptr;
}

void vok_unlink_hier_equivalent(VOK_ATOM_OTERM* oterm) {
  if (oterm == nullptr || oterm->m_hier_equiv == nullptr) return;
  oterm->m_hier_equiv->m_hier_equiv = nullptr;
  oterm->m_hier_equiv = nullptr;
}

bool vok_is_connected(const VOK_ATOM_ITERM* iterm) { return iterm != nullptr && iterm->is_connected(); }

namespace {
struct PORT_DEFAULTS {
  std::set<std::pair<int, int>> inverted;  // (atom id, usage)
};
PORT_DEFAULTS& port_defaults() { return host_world_slot<PORT_DEFAULTS>(); }
}  // namespace

bool vok_port_default_is_inverted(const VOK_ATOM_NODE* atom, int usage) {
  return atom != nullptr && port_defaults().inverted.count({atom->get_id(), usage}) != 0;
}

namespace host::vok {
void set_port_default_inverted(int atom_id, int usage) { port_defaults().inverted.insert({atom_id, usage}); }
}  // namespace host::vok

bool vok_is_connected(const VOK_ATOM_OTERM* oterm, VOK_TRAVERSE mode) {
  return oterm != nullptr && !oterm->cfanout(mode).empty();
}
