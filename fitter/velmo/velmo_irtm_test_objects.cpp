// The retimer's value types: registers and input pins, moves and failures.
#include <functional>
#include <type_traits>

#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {

// The smaller of two slacks; NO_SLACK only when both are.
std::int32_t min_known(std::int32_t a, std::int32_t b) {
  if (a == IRTM_NO_SLACK) return b;
  if (b == IRTM_NO_SLACK) return a;
  return a < b ? a : b;
}

VOK_ATOM_NODE* atom_by_id(std::uint32_t id) {
  if (id == 0xFFFFFFFFu || !WEXAN_ENV::get_env()) return nullptr;
  VOK_ATOM_NETLIST* netlist = WEXAN_ENV::get_env()->get_atom_netlist();
  return netlist ? netlist->get_atom_by_id(static_cast<int>(id)) : nullptr;
}

VOK_ATOM_ITERM* iterm_of(VOK_ATOM_NODE* atom, PELK symbol, std::uint16_t index) {
  if (!atom) return nullptr;
  const IRTM_INPUT_PORT_SYMBOL typed(symbol);
  const int type = vok_port_type_of_symbol(typed.get());
  return type < 0 ? nullptr : atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(type), index);
}

// The slack of a terminal's timing node (NO_SLACK without one).
template <class TERM> std::int32_t slack_of(const TERM* term) {
  const IRTM_UTIL* util = IRTM_UTIL::s_instance;
  if (!util || !util->get_kem_netlist() || !term) return IRTM_NO_SLACK;
  const KEM_NETLIST* kem = util->get_kem_netlist();
  const KEM_NODE* node;
  if constexpr (std::is_same_v<TERM, VOK_ATOM_ITERM>)
    node = kem->get_kem_node_from_iterm(term);
  else
    node = kem->get_kem_node_from_oterm(term);
  return util->get_min_node_slack(node);
}

bool connected(const VOK_ATOM_ITERM* t) { return t && t->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr; }
bool used(const VOK_ATOM_OTERM* o) { return o && !o->cfanout(VOK_TRAVERSE_HIERARCHICAL).empty(); }

}  // namespace

// ---------------------------------------------------------------- failures and moves

const char* IRTM_FAILURE::reason_text(std::uint32_t reason) {
  switch (reason) {
    case NONE: return "";
    case NO_REGISTER: return "no register";
    case INCOMPATIBLE_REGISTER: return "incompatible register";
    case SECSIG_LEGALITY: return "secsig legality";
    case BAD_FANOUT: return "bad fanout";
    case NO_SLOT: return "no slot";
    case INCOMPATIBLE_ZOTA: return "incompatible zota";
    default: return "unknown";
  }
}

void IRTM_FAILURE::set(REASON reason, const VOK_ATOM_ITERM* iterm) {
  m_reason = reason;
  m_port = vok_get_logical_port(iterm);
  IRTM_INPUT_PORT_SYMBOL checked(m_port.get_port());
  m_input = 1;
}

void IRTM_FAILURE::set(REASON reason, const VOK_ATOM_OTERM* oterm) {
  m_reason = reason;
  m_port = vok_get_logical_port(oterm);
  IRTM_OUTPUT_PORT_SYMBOL checked(m_port.get_port());
  m_input = 0;
}

void IRTM_FAILURE::clear() {
  m_port = VOK_ATOM_LOGICAL_PORT();
  m_reason = NONE;
  m_input = 0;
}

VOK_ATOM_ITERM* IRTM_FAILURE::get_iterm() const {
  if (m_port.is_empty() || !m_input) return nullptr;
  return iterm_of(atom_by_id(m_port.get_atom_id()), m_port.get_port(), m_port.get_index());
}

const char* IRTM_MOVE::type_name(std::uint32_t type) {
  static const char* const names[] = {"None", "Forward", "Backward", "Wirelut", "Reroute"};
  return type < 5 ? names[type] : "None";
}

IRTM_MOVE::IRTM_MOVE(std::uint64_t checkpoint_id) : m_checkpoint_id(checkpoint_id) {}

void IRTM_MOVE::clear() {
  m_bypassed.clear();
  m_enabled.clear();
  m_slots.clear();
  m_gid_to_id.clear();
  m_rerouted.clear();
  type = None;
  m_atoms.clear();
  m_qfbk_gid = 0xFFFFFFFFu;
  failure.clear();
}

// ---------------------------------------------------------------- objects

std::int32_t IRTM_OBJ::min_slack() const { return min_known(min_input_slack(), min_output_slack()); }

IRTM_FF::IRTM_FF(VOK_ATOM_NODE* atom)
    : m_atom(atom), m_atom_id(atom ? static_cast<std::uint32_t>(atom->get_id()) : 0xFFFFFFFFu) {
  m_type = FF;
}

std::int32_t IRTM_FF::min_input_slack() const {
  return min_known(min_known(m_data_slack, m_secondary_slack_a), m_secondary_slack_b);
}

bool IRTM_FF::is_bypassed() const { return ZEL_ZOTA_UTIL::is_ff_bypassed(m_atom); }

bool IRTM_FF::update_slack(bool full) {
  if (m_deleted) {
    m_data_slack = m_output_slack = m_secondary_slack_a = m_secondary_slack_b = IRTM_NO_SLACK;
    return false;
  }
  if (!full) return false;
  const std::int32_t old[4] = {m_output_slack, m_data_slack, m_secondary_slack_a, m_secondary_slack_b};
  if (const VOK_ATOM_OTERM* o = get_output(DB_OUTPUT_PORT_REG, false)) m_output_slack = slack_of(o);
  if (const VOK_ATOM_ITERM* t = get_input(DB_INPUT_PORT_DATA_IN, false)) m_data_slack = slack_of(t);
  if (const VOK_ATOM_ITERM* t = get_input(DB_INPUT_PORT_ENA, false)) m_secondary_slack_a = slack_of(t);
  if (const VOK_ATOM_ITERM* t = get_input(DB_INPUT_PORT_SCLR, false)) m_secondary_slack_b = slack_of(t);
  return old[0] != m_output_slack || old[1] != m_data_slack || old[2] != m_secondary_slack_a ||
         old[3] != m_secondary_slack_b;
}

IRTM_MOVE::TYPE IRTM_FF::compute_move() const {
  const std::int32_t in = min_input_slack(), out = min_output_slack();
  if (in == out) return IRTM_MOVE::None;
  if (in == min_slack()) return IRTM_MOVE::Backward;
  return IRTM_MOVE::Forward;
}

VOK_ATOM_ITERM* IRTM_FF::get_input(int port_type, bool any) const {
  VOK_ATOM_ITERM* t = m_atom ? m_atom->get_input_term_by_type(static_cast<DB_INPUT_PORT_TYPE>(port_type), 0) : nullptr;
  return t && (any || connected(t)) ? t : nullptr;
}

VOK_ATOM_OTERM* IRTM_FF::get_output(int port_type, bool any) const {
  VOK_ATOM_OTERM* o = m_atom ? m_atom->get_output_term_by_type(static_cast<DB_OUTPUT_PORT_TYPE>(port_type), 0) : nullptr;
  return o && (any || used(o)) ? o : nullptr;
}

bool IRTM_FF::has_secondary_signals() const {
  return get_input(DB_INPUT_PORT_ENA, false) || get_input(DB_INPUT_PORT_SCLR, false);
}

bool IRTM_FF::has_only_sync_signal() const {
  if (!m_atom) return false;
  constexpr std::uint32_t SYNC = 0x40100180u;  // types 7, 8, 20 and 30
  for (std::size_t i = 0; i < m_atom->get_iterm_slot_count(); ++i) {
    const VOK_ATOM_ITERM* t = m_atom->get_iterm_slot(i);
    if (!connected(t)) continue;
    const int type = t->get_port_type();
    if (type < 0 || type > 30 || ((SYNC >> type) & 1u) == 0) return false;
  }
  return true;
}

bool IRTM_FF::compatible_inputs(const IRTM_FF* other, int port_type) const {
  const VOK_ATOM_ITERM* a = get_input(port_type, true);
  const VOK_ATOM_ITERM* b = other->get_input(port_type, true);
  if (a && b)
    return a->get_source(VOK_TRAVERSE_HIERARCHICAL) == b->get_source(VOK_TRAVERSE_HIERARCHICAL) &&
           a->is_inverted() == b->is_inverted();
  const VOK_ATOM_ITERM* only = a ? a : b;
  if (only) return only->get_source(VOK_TRAVERSE_HIERARCHICAL) == nullptr && !only->is_used();
  return true;
}

bool IRTM_FF::compatible(const IRTM_FF* other, bool check_secondary, bool check_bypass) const {
  if (!has_only_sync_signal() || !other->has_only_sync_signal()) return false;
  if (check_bypass && (is_bypassed() || other->is_bypassed())) return false;
  if (check_secondary &&
      (!compatible_inputs(other, DB_INPUT_PORT_SCLR) || !compatible_inputs(other, DB_INPUT_PORT_ENA)))
    return false;
  if (!compatible_inputs(other, DB_INPUT_PORT_CLK)) return false;
  return get_input(DB_INPUT_PORT_DATA_IN, false) && other->get_input(DB_INPUT_PORT_DATA_IN, false);
}

std::int32_t IRTM_FF::get_tco() const {
  const IRTM_UTIL* util = IRTM_UTIL::s_instance;
  const VOK_ATOM_OTERM* o = get_output(DB_OUTPUT_PORT_REG, false);
  if (!util || !o) return 0;
  const KEM_NETLIST* kem = util->get_kem_netlist();
  const KEM_NODE* node = kem->get_kem_node_from_oterm(o);
  const KEM_EDGE* e = node ? kem->get_edge(node->begin_fanin()) : nullptr;
  return e ? e->get_max_delay() : 0;
}

bool IRTM_FF::operator<(const IRTM_FF& other) const {
  const std::int32_t a = min_slack(), b = other.min_slack();
  if (a != b) {
    if (a == IRTM_NO_SLACK) return false;
    if (b == IRTM_NO_SLACK) return true;
    return a < b;
  }
  const VOK_ATOM_NODE* x = get_atom();
  const VOK_ATOM_NODE* y = other.get_atom();
  if (x == y) return std::less<const IRTM_FF*>()(this, &other);
  if (!x) return false;
  if (!y) return true;
  return x->get_id() < y->get_id();
}

IRTM_IPIN::IRTM_IPIN(const VOK_ATOM_LOGICAL_PORT& port) : m_port(port) { m_type = IPIN; }

VOK_ATOM_NODE* IRTM_IPIN::get_atom() const { return atom_by_id(m_port.get_atom_id()); }

VOK_ATOM_ITERM* IRTM_IPIN::get_iterm() const { return iterm_of(get_atom(), m_port.get_port(), m_port.get_index()); }

std::int32_t IRTM_IPIN::min_input_slack() const { return slack_of(get_iterm()); }
