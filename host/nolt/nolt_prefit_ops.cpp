#include "nolt/nolt_prefit_ops.h"

#include <cstdarg>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "msg/msg_base.h"
#include "tibex/tibex_location_constraint.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"

namespace {
bool l_scripted(const char* name) { return host::script::next<bool>(name, true); }

void l_debug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  msg_local_vdebug("NOLT", 2, format, args);
  va_end(args);
}

void l_for_each_netlist(VOK_ATOM_NETLIST* netlist, const std::function<void(VOK_ATOM_NETLIST*)>& fn) {
  if (!netlist) return;
  fn(netlist);
  for (VOK_ATOM_NODE* atom : netlist->get_atom_list())
    if (atom->is_box()) l_for_each_netlist(static_cast<VOK_ATOM_BLACKBOX*>(atom)->get_child_netlist(), fn);
}
}  // namespace

bool NOLT_RAM_LOCATION_CHECK::check_legality(WEXAN_ENV*, bool flag) {
  host::log_call("NOLT_RAM_LOCATION_CHECK::check_legality", flag);
  return l_scripted("NOLT_RAM_LOCATION_CHECK::check_legality");
}

#define NOLT_RECORDED_OP_BODY(NAME)                 \
  NAME::NAME(WEXAN_ENV* env) : m_env(env) {}        \
  NAME::~NAME() = default;                          \
  bool NAME::work() {                               \
    host::log_call(#NAME "::work");                 \
    return l_scripted(#NAME "::work");              \
  }

NOLT_RECORDED_OP_BODY(NOLT_GLOBAL_ASGN_OP)
NOLT_RECORDED_OP_BODY(NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP)
NOLT_RECORDED_OP_BODY(NOLT_RAM_DUP_DATA_OP)

#undef NOLT_RECORDED_OP_BODY

// ---------------------------------------------------------------------------
// Netlist check

NOLT_NETLIST_CHECK_OP::NOLT_NETLIST_CHECK_OP(WEXAN_ENV* env) : m_env(env) {}
NOLT_NETLIST_CHECK_OP::~NOLT_NETLIST_CHECK_OP() = default;

int NOLT_NETLIST_CHECK_OP::netlist_is_ok() {
  host::log_call("NOLT_NETLIST_CHECK_OP::netlist_is_ok");
  bool ok = true;
  std::set<int> ids;
  l_for_each_netlist(m_env->get_atom_netlist(), [&](VOK_ATOM_NETLIST* netlist) {
    std::string why;
    if (!netlist->sanity_check(&why)) {
      ok = false;
      l_debug("Netlist check: %s", why.c_str());
    }
    for (VOK_ATOM_NODE* atom : netlist->get_atom_list()) {
      const std::string name = atom->get_string_hpath();
      if (!ids.insert(atom->get_id()).second) {
        ok = false;
        l_debug("Netlist check: duplicate atom id %d (%s)", atom->get_id(), name.c_str());
      }
      for (std::size_t i = 0; i < atom->get_iterm_slot_count(); ++i) {
        const VOK_ATOM_ITERM* t = atom->get_iterm_slot(i);
        if (t && t->is_used() && !t->get_source(VOK_TRAVERSE_AS_STORED) && !t->is_connected()) {
          ok = false;
          l_debug("Netlist check: input %d.%d of %s is used but neither driven nor tied", t->get_port_type(),
                  t->get_index(), name.c_str());
        }
      }
      if (atom->is_ff()) {
        const VOK_ATOM_ITERM* clk = atom->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
        if (!clk || !clk->get_source(VOK_TRAVERSE_AS_STORED)) {
          ok = false;
          l_debug("Netlist check: register %s has no clock", name.c_str());
        }
      }
    }
  });
  return ok ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Carry-chain location propagation

NOLT_CHAIN_LOC_PROPAGATE_OP::NOLT_CHAIN_LOC_PROPAGATE_OP(WEXAN_ENV* env) : m_env(env) {}
NOLT_CHAIN_LOC_PROPAGATE_OP::~NOLT_CHAIN_LOC_PROPAGATE_OP() = default;

namespace {
int l_floor_div(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

bool NOLT_CHAIN_LOC_PROPAGATE_OP::work() {
  host::log_call("NOLT_CHAIN_LOC_PROPAGATE_OP::work");
  constexpr unsigned kAny = host::constraints::SOURCE_ANY;
  constexpr int kStep = 3;
  constexpr int kLabSites = 60;
  VOK_ATOM_NETLIST* netlist = m_env->get_atom_netlist();
  WEXAN_DESIGN* design = m_env->get_design();

  std::vector<VOK_ATOM_NODE*> heads;
  std::size_t bound = 0;
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    ++bound;
    if (carry_chain_is_head(atom)) heads.push_back(atom);
  }

  bool result = true;
  for (VOK_ATOM_NODE* head : heads) {
    std::vector<VOK_ATOM_NODE*> chain;
    bool ring = false;
    for (VOK_ATOM_NODE* a = head; a != nullptr; a = carry_chain_get_next_atom(a)) {
      if (chain.size() >= bound) {
        ring = true;
        break;
      }
      chain.push_back(a);
    }
    if (ring) {
      host::log_call("NOLT_CHAIN_LOC_PROPAGATE_OP::ring", host::vok::arg(head));
      result = false;
      continue;
    }

    int anchor = -1;
    TIBEX_LOCATION_CONSTRAINT anchor_constraint;
    for (std::size_t k = 0; k < chain.size(); ++k) {
      anchor_constraint = design->get_atom_location_constraint(chain[k]->get_id());
      if (anchor_constraint.has_locked_constraint(kAny)) {
        anchor = static_cast<int>(k);
        break;
      }
    }
    if (anchor < 0) continue;

    const TIBEX_LOCKED_CONSTRAINT locked = anchor_constraint.get_locked_constraint(kAny);
    unsigned sources = 0;
    for (const auto& e : anchor_constraint.entries())
      if (e.locked && e.locked_constraint == locked) {
        sources = e.sources;
        break;
      }

    for (std::size_t k = 0; k < chain.size(); ++k) {
      if (static_cast<int>(k) == anchor) continue;
      VOK_ATOM_NODE* member = chain[k];
      TIBEX_LOCATION_CONSTRAINT own = design->get_atom_location_constraint(member->get_id());
      TIBEX_LOCKED_CONSTRAINT want = locked;
      if (locked.is_specified_exactly()) {
        const int pos = locked.get_sub_location() + kStep * (static_cast<int>(k) - anchor);
        const int rows = l_floor_div(pos, kLabSites);
        want = TIBEX_LOCKED_CONSTRAINT::exact(locked.get_x(), locked.get_y() + rows, pos - rows * kLabSites);
      }
      if (own.has_locked_constraint(kAny)) {
        const TIBEX_LOCKED_CONSTRAINT have = own.get_locked_constraint(kAny);
        if (locked.is_specified_exactly() && have.is_specified_exactly() && !(have == want)) {
          host::log_call("NOLT_CHAIN_LOC_PROPAGATE_OP::conflict", host::vok::arg(member));
          result = false;
        }
        continue;
      }
      own.add_locked(want, sources);
      design->set_atom_location_constraint(member->get_id(), own);
    }
  }
  return result;
}
