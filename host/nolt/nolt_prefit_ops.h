#pragma once
// Operations of the shared-algorithm library run by the prefit steps: the
// RAM location check, global assignments, the two RAM operations, the netlist
// consistency check and the carry-chain location propagation. The RAM
// operations, the location check and global assignments are recorded with
// scripted results (default true); the netlist check and the chain
// propagation are real.
#include "common/host_api.h"

class WEXAN_ENV;
class VOK_ATOM_NODE;

class HOST_API NOLT_RAM_LOCATION_CHECK {
public:
  // recorded: scripted, default true.
  static bool check_legality(WEXAN_ENV* env, bool flag);
};

#define NOLT_RECORDED_OP(NAME)                 \
  class HOST_API NAME {                        \
  public:                                      \
    explicit NAME(WEXAN_ENV* env);             \
    virtual ~NAME();                           \
    NAME(const NAME&) = delete;                \
    NAME& operator=(const NAME&) = delete;     \
    /* recorded: scripted, default true. */    \
    bool work();                               \
                                               \
  private:                                     \
    WEXAN_ENV* m_env;                          \
  };

NOLT_RECORDED_OP(NOLT_GLOBAL_ASGN_OP)
NOLT_RECORDED_OP(NOLT_ADD_GROUND_ADDRESS_LINES_TO_RAM_OP)
NOLT_RECORDED_OP(NOLT_RAM_DUP_DATA_OP)

#undef NOLT_RECORDED_OP

// The netlist consistency check.
class HOST_API NOLT_NETLIST_CHECK_OP {
public:
  explicit NOLT_NETLIST_CHECK_OP(WEXAN_ENV* env);
  virtual ~NOLT_NETLIST_CHECK_OP();
  NOLT_NETLIST_CHECK_OP(const NOLT_NETLIST_CHECK_OP&) = delete;
  NOLT_NETLIST_CHECK_OP& operator=(const NOLT_NETLIST_CHECK_OP&) = delete;
  // algorithm: 0 when the design netlist (top and black-box contents) has a
  // used input with neither a source nor a tie, a source and a fanout list
  // that disagree, a duplicate id, or a register without a clock; 1
  // otherwise. Each finding gets a "NOLT" debug line.
  int netlist_is_ok();

private:
  WEXAN_ENV* m_env;
};

// Propagates location constraints along carry chains. A derived class says
// which atoms start a chain and which atom follows an atom.
class HOST_API NOLT_CHAIN_LOC_PROPAGATE_OP {
public:
  explicit NOLT_CHAIN_LOC_PROPAGATE_OP(WEXAN_ENV* env);
  virtual ~NOLT_CHAIN_LOC_PROPAGATE_OP();
  NOLT_CHAIN_LOC_PROPAGATE_OP(const NOLT_CHAIN_LOC_PROPAGATE_OP&) = delete;
  NOLT_CHAIN_LOC_PROPAGATE_OP& operator=(const NOLT_CHAIN_LOC_PROPAGATE_OP&) = delete;

  virtual bool carry_chain_is_head(VOK_ATOM_NODE* atom) = 0;
  virtual VOK_ATOM_NODE* carry_chain_get_next_atom(VOK_ATOM_NODE* atom) = 0;

  // algorithm (recorded): for each head in hierarchical order, walks its
  // successors (at most as many steps as the netlist has atoms: a longer
  // walk is a ring, recorded, and the result is false). The first member
  // with a locked constraint anchors the chain: an exact one puts every
  // member without a locked constraint at z_anchor + 3 * (k - k_anchor)
  // (carrying into the next row every 60 sub-locations) with the anchor's
  // sources; a box is copied as it is. A member whose own exact constraint
  // is not its column position is recorded and makes the result false.
  // Chains without a locked constraint are left alone.
  bool work();

protected:
  WEXAN_ENV* m_env;
};
