#pragma once
// Hold fixing by incremental re-routing: every input connection whose hold
// slack is negative gets its delay budget raised by the violation (and so
// does each pipeline-register hop in front of it); the legality engine
// re-routes them all through the incremental router.
#include <cstdint>
#include <utility>

class KEM_NETLIST;
class DUX;
class VOK_ATOM_ITERM;

class VELMO_SPAR {
public:
  explicit VELMO_SPAR(bool dump_netlist) : m_dump_netlist(dump_netlist) {}
  VELMO_SPAR(const VELMO_SPAR&) = delete;
  VELMO_SPAR& operator=(const VELMO_SPAR&) = delete;

  // Hold-slack values: no slack (no interconnect edge, or none computed) and
  // an invalid slack.
  static constexpr int NO_SLACK = 2147483647;
  static constexpr int INVALID_SLACK = -2147483647;

  // Runs the re-route; true when the implement step succeeded.
  bool run();
  // The hold slack of the term's interconnect edge; NO_SLACK without one.
  int get_iterm_hold_slack(VOK_ATOM_ITERM* iterm);
  // The worst hold slack over the term and the pipeline-register chain
  // feeding it.
  int get_iterm_worst_hold_slack(VOK_ATOM_ITERM* iterm);
  // The term to re-route for a failing term: the most upstream failing data
  // input of its pipeline-register chain, else the term itself.
  VOK_ATOM_ITERM* get_iterm_for_reroute(VOK_ATOM_ITERM* iterm);

private:
  KEM_NETLIST* m_kem_netlist = nullptr;
  const std::pair<std::int32_t, std::int32_t>* m_edge_slack_data = nullptr;  // (setup, hold) per edge id
  DUX* m_dux = nullptr;
  bool m_dump_netlist;
};
