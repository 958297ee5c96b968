#include "velmo_chain_loc_propagate_op.h"

#include "msg/msg_internal_error.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"

namespace {
// Carry and shared-arithmetic inputs and outputs of a logic cell.
constexpr auto kCarryIn = static_cast<DB_INPUT_PORT_TYPE>(2);
constexpr auto kSharedIn = static_cast<DB_INPUT_PORT_TYPE>(273);
constexpr auto kCarryOut = static_cast<DB_OUTPUT_PORT_TYPE>(0);
constexpr auto kSharedOut = static_cast<DB_OUTPUT_PORT_TYPE>(252);

VOK_ATOM_OTERM* l_oterm_with_fanout(VOK_ATOM_NODE* atom, DB_OUTPUT_PORT_TYPE type) {
  VOK_ATOM_OTERM* oterm = atom->get_output_term_by_type(type, 0);
  if (oterm == nullptr || oterm->has_fanout_less_than(1, VOK_TRAVERSE_HIERARCHICAL)) return nullptr;
  return oterm;
}

// Connected and driven.
bool l_is_fed(const VOK_ATOM_ITERM* iterm) {
  return iterm != nullptr && iterm->is_connected() && iterm->get_source(VOK_TRAVERSE_HIERARCHICAL) != nullptr;
}

VOK_ATOM_NODE* l_first_fanout_atom(VOK_ATOM_OTERM* oterm) {
  auto range = oterm->fanout(VOK_TRAVERSE_HIERARCHICAL);
  auto it = range.begin();
  if (it == range.end() || *it == nullptr) return nullptr;
  return (*it)->get_my_node();
}
}  // namespace

VELMO_CHAIN_LOC_PROPAGATE_OP::VELMO_CHAIN_LOC_PROPAGATE_OP(WEXAN_ENV* env) : NOLT_CHAIN_LOC_PROPAGATE_OP(env) {}

VELMO_CHAIN_LOC_PROPAGATE_OP::~VELMO_CHAIN_LOC_PROPAGATE_OP() = default;

bool VELMO_CHAIN_LOC_PROPAGATE_OP::carry_chain_is_head(VOK_ATOM_NODE* atom) {
  if (!atom->is_lcell_comb()) return false;
  if (!l_oterm_with_fanout(atom, kCarryOut) && !l_oterm_with_fanout(atom, kSharedOut)) return false;
  if (l_is_fed(atom->get_input_term_by_type(kCarryIn, 0))) return false;
  VOK_ATOM_ITERM* shared_in = atom->get_input_term_by_type(kSharedIn, 0);
  if (shared_in == nullptr || !shared_in->is_connected()) return true;
  return shared_in->get_source(VOK_TRAVERSE_HIERARCHICAL) == nullptr;
}

VOK_ATOM_NODE* VELMO_CHAIN_LOC_PROPAGATE_OP::carry_chain_get_next_atom(VOK_ATOM_NODE* atom) {
  if (atom == nullptr) MSG_INTERNAL_ERROR::report("atom != 0", "VELMO", "velmo_chain_loc_propagate_op", __LINE__);
  VOK_ATOM_OTERM* shared_out = l_oterm_with_fanout(atom, kSharedOut);
  if (VOK_ATOM_OTERM* carry_out = l_oterm_with_fanout(atom, kCarryOut)) {
    if (VOK_ATOM_NODE* next = l_first_fanout_atom(carry_out)) return next;
    return shared_out ? l_first_fanout_atom(shared_out) : nullptr;
  }
  if (shared_out) return l_first_fanout_atom(shared_out);
  return nullptr;
}

bool VELMO_CHAIN_LOC_PROPAGATE_OP::propagate_constraints(WEXAN_ENV* env) {
  VELMO_SCOPED_PROFILE_BIN bin("Propagate Chain Assignments", nullptr);
  VELMO_CHAIN_LOC_PROPAGATE_OP op(env);
  return op.work();
}
