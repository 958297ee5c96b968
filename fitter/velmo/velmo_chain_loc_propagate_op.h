#pragma once
// Location assignments on one cell of a carry chain must hold for the whole
// chain, which is placed as one rigid column. The host's operation walks each
// chain from its head and propagates them; this class tells it, for this
// component's devices, which atoms start a chain and which atom follows one.
#include "nolt/nolt_prefit_ops.h"

class VOK_ATOM_NODE;
class WEXAN_ENV;

class VELMO_CHAIN_LOC_PROPAGATE_OP : public NOLT_CHAIN_LOC_PROPAGATE_OP {
public:
  explicit VELMO_CHAIN_LOC_PROPAGATE_OP(WEXAN_ENV* env);
  ~VELMO_CHAIN_LOC_PROPAGATE_OP() override;

  bool carry_chain_is_head(VOK_ATOM_NODE* atom) override;
  // Null when the chain ends.
  VOK_ATOM_NODE* carry_chain_get_next_atom(VOK_ATOM_NODE* atom) override;

  // Runs the propagation over the design; its result.
  static bool propagate_constraints(WEXAN_ENV* env);
};
