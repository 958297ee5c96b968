#pragma once
// The timing database manager and the timer engine as the time-borrowing
// optimiser sees them: the analysis corners and path types, the recorded
// analysis-state operation, the borrow databases and the slack calculator.
#include <vector>

#include "common/host_api.h"
#include "kem/kem_netlist.h"
#include "kem/kem_timing_model.h"
#include "zmp_small_vector.h"

class CMP_FACADE;

// The kind of path analysis of an analysed corner.
enum STA_DO_LONG_OR_SHORT_PATH_ANALYSIS : int {
  STA_LONG_PATH_ANALYSIS = 1,   // setup
  STA_SHORT_PATH_ANALYSIS = 2,  // hold
};

class STA_SLACK_CALCULATOR_CALLBACK_BASE;

// The slack calculator the timer engine makes: walks the slacks of a timing
// node or edge at the corners of the models set (sta_slack_calculator.cpp).
class HOST_API STA_SLACK_CALCULATOR {
public:
  virtual ~STA_SLACK_CALCULATOR();
  // data: the path type of the walk (1 setup, 2 hold) and the models whose
  // corners it answers at, in order; the flag is recorded only.
  void set_analysis_types(int type, const std::vector<KEM_TIMING_MODEL>& models, bool flag);
  // algorithm: per model set (whose corner is loaded), the edge's slack of
  // the path type at that corner from the analysis's slack store; the
  // callback hears each slack its is_valid_slack accepts.
  void iterate_over_node_or_edge_slacks(STA_SLACK_CALCULATOR_CALLBACK_BASE& callback, const KEM_EDGE* edge) const;

private:
  int m_type = STA_LONG_PATH_ANALYSIS;
  std::vector<KEM_TIMING_MODEL> m_models;
};

class HOST_API STA_TIMER_ENGINE {
public:
  // A new slack calculator, owned by the caller.
  STA_SLACK_CALCULATOR* create_slack_calculator() const;
  // recorded + algorithm: applies the pending taints and analyses the timing
  // netlist again (every loaded corner, so every corner set for analysis,
  // with setup and hold slacks). The arguments are recorded only.
  void update_timing(int mode, const std::vector<KEM_NODE*>* nodes, int level, bool flag1, bool flag2, bool flag3);
};

class HOST_API STA_DB_MGR {
public:
  // data: the process's timer engine (never null).
  STA_TIMER_ENGINE* get_timer_engine() const;
  // data: the timing netlist in memory (KEM_MANAGER), or null.
  KEM_NETLIST* get_netlist() const;
  // recorded: the analysis-state operation (the optimisers call it with 1
  // before and 2 after an analysis run, 0 at the start of theirs).
  void set_analysis_state(int state);
};

// data: the world's manager (never null).
HOST_API STA_DB_MGR* sta_get_db_mgr();
// data: the part's default corners (slow and fast); with with_hold_only the
// device's hold-only corners follow them.
HOST_API std::vector<KEM_TIMING_MODEL> sta_get_default_timing_models(bool with_hold_only, const CMP_FACADE* cmp);

// data: the corners set for analysis and their path types (until set: every
// loaded corner, setup). Corners no longer loaded are left out.
HOST_API std::vector<KEM_CORNER*> sta_get_corners();
HOST_API std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS> sta_get_long_or_short_path_types();
// data: sets the analysis corners (models not loaded yet are loaded into the
// timing netlist) with one path type each; an internal error when the counts
// differ.
HOST_API void sta_set_corners_for_analysis(const std::vector<KEM_TIMING_MODEL>& models,
                                           const std::vector<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>& types);
HOST_API void sta_set_corners_for_analysis(const ZMP_SMALL_VECTOR<KEM_CORNER*>& corners,
                                           const ZMP_SMALL_VECTOR<STA_DO_LONG_OR_SHORT_PATH_ANALYSIS>& types);

// algorithm: per analysed corner, every pulse latch borrows
// min(max(0, -setup slack at its data input), its pulse width); the corner's
// borrow database gets one entry {b, b, b, b} per latch keeper node.
HOST_API void sta_compute_optimal_time_borrowing(bool flag);
// data: empties the borrow database of every loaded corner.
HOST_API void sta_create_empty_borrow_db(bool flag);

namespace host::sta {
// data: the analysis states set through STA_DB_MGR, in order.
HOST_API const std::vector<int>& analysis_states();
}  // namespace host::sta
