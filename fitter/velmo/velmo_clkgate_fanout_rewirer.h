#pragma once
// The sector clock-gate fanout rewirer the host's fitter-main library calls
// after placement; start-up lends it to the host for the whole fitter run.
// The host passes the placed coordinates atom by atom, calls work(), then
// frees the coordinates.
#include "tibex/tibex_env.h"

class WEXAN_ENV;
class VELMO_CLKGATE_FANOUT_REWIRER_IMPL;

class VELMO_CLKGATE_FANOUT_REWIRER : public TIBEX_CLKGATE_FANOUT_REWIRER {
public:
  explicit VELMO_CLKGATE_FANOUT_REWIRER(WEXAN_ENV* env);
  ~VELMO_CLKGATE_FANOUT_REWIRER() override;
  VELMO_CLKGATE_FANOUT_REWIRER(const VELMO_CLKGATE_FANOUT_REWIRER&) = delete;
  VELMO_CLKGATE_FANOUT_REWIRER& operator=(const VELMO_CLKGATE_FANOUT_REWIRER&) = delete;

  // Moves each fanout of a sector clock gate to the gate of its group whose
  // sector holds the fanout; 1 when anything moved, else 0.
  int work() override;
  void set_atom_location(int atom_id, int x, int y) override;
  void free_all_atom_locations() override;

private:
  VELMO_CLKGATE_FANOUT_REWIRER_IMPL* m_impl;
};
