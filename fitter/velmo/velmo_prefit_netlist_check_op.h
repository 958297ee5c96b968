#pragma once
// The netlist consistency check before fitting: the host's generic netlist
// check and, on families with the LUT-RAM trait, its prefit LUT-RAM checks.
class WEXAN_ENV;

class VELMO_PREFIT_NETLIST_CHECK_OP {
public:
  explicit VELMO_PREFIT_NETLIST_CHECK_OP(WEXAN_ENV* env);
  ~VELMO_PREFIT_NETLIST_CHECK_OP();
  VELMO_PREFIT_NETLIST_CHECK_OP(const VELMO_PREFIT_NETLIST_CHECK_OP&) = delete;
  VELMO_PREFIT_NETLIST_CHECK_OP& operator=(const VELMO_PREFIT_NETLIST_CHECK_OP&) = delete;

  // Nonzero when the netlist is consistent.
  int work();

private:
  WEXAN_ENV* m_env;
};
