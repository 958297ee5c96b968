#pragma once
// Hold fixing by incremental re-routing.

class VELMO_SPAR {
public:
  explicit VELMO_SPAR(bool dump_netlist) : m_dump_netlist(dump_netlist) {}
  // Runs the re-route; true when it succeeded.
  bool run();

private:
  bool m_dump_netlist;
};
