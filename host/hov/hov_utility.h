#pragma once
// The timing utility (WEXAN_HOV_UTILITY), its accessories, the atom-netlist
// taint manager and the incremental timing controller (HOV_INCR).
//
// The environment's get-or-create request builds or refreshes the timing
// netlist held by KEM_MANAGER and analyses it:
//  - request 0 rebuilds what the taints name (a global taint: everything,
//    as a new netlist whose edges are new objects with the same ids, unless
//    the netlist in memory is as built and nothing a build reads changed
//    since: then it stays, see hov_rebuilds.h; atom taints: the tainted
//    cells and their nets) and updates the analysis;
//  - request 2 takes the netlist in memory, else reads the current
//    snapshot's disk copy, else builds like request 0.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/host_api.h"
#include "hov/hov_yun_utility.h"
#include "kem/kem_netlist.h"

class CMP_FACADE;
class VOK_ATOM_NETLIST;
class WEXAN_ENV;

// data: the atoms changed since the timing netlist was last brought up to
// date, and whether it reflects the atom netlist exactly.
class HOST_API HOV_ATOM_NETLIST_TAINT_MANAGER {
public:
  const std::set<unsigned>& get_tainted_atom_ids() const { return m_ids; }
  int get_num_tainted_atoms() const { return static_cast<int>(m_ids.size()); }
  // Taints one atom, or (global) the whole netlist.
  void taint_atom(unsigned atom_id);
  void taint_all();
  bool is_globally_tainted() const { return m_global; }
  // Forgets the taints (the global one included).
  void clear_tainted_atom_ids();
  void indicate_hov_reflects_atom_netlist_exactly() { m_reflects = true; }
  // Forgets the taints of the listed atoms.
  void clear_tainted_atom_ids(const std::set<unsigned>& ids) {
    for (unsigned id : ids) m_ids.erase(id);
  }
  bool hov_reflects_atom_netlist_exactly() const { return m_reflects; }

private:
  std::set<unsigned> m_ids;
  bool m_global = false;
  bool m_reflects = false;
};

// data: the world's taint manager (never null).
HOST_API HOV_ATOM_NETLIST_TAINT_MANAGER* hov_get_atom_netlist_taint_manager();

class HOST_API HOV_ACCESSORIES {
public:
  // How a timing update was invoked: a mode, a flag and three values.
  struct INVOKE_MODE {
    std::int32_t mode = 0;
    bool flag = false;
    std::int32_t values[3] = {0, 0, 0};
  };
  // The timing analysis's parameter record. Its users print it in field
  // order; the flags are one byte each.
  struct ANALYSIS_PARAMETERS {
    std::int32_t max_paths = 1000;
    std::int32_t max_depth = 64;
    double clock_uncertainty = 0.0;
    double hold_margin = 0.0;
    std::int32_t report_level = 0;
    std::int32_t corner_mode = 0;
    double setup_derate = 1.0;
    double hold_derate = 1.0;
    double clock_skew[4] = {0.0, 0.0, 0.0, 0.0};
    double io_delay[4] = {0.0, 0.0, 0.0, 0.0};
    double jitter[3] = {0.0, 0.0, 0.0};
    std::int32_t iterations = 1;
    double tolerance = 1e-12;
    std::int32_t threads = 1;
    std::int32_t verbosity = 0;
    std::int32_t seed = 0;
    std::uint8_t analyze_setup = 1;  // printed fourth of the seven
    std::int32_t path_limit = 0;
    std::uint8_t analyze_hold = 0;      // printed sixth
    std::uint8_t hold_on_all_edges = 0;  // printed seventh
    std::uint8_t report_unconstrained = 1;  // not printed
    const char* name = nullptr;
  };
  // data: the parameter record.
  const ANALYSIS_PARAMETERS& get_analysis_parameters() const { return m_parameters; }
  void set_analysis_parameters(const ANALYSIS_PARAMETERS& p) { m_parameters = p; }
  // recorded + algorithm: a hold analysis of the timing netlist's current
  // corner (the one slack store; the edge records then hold its slacks).
  // The record's hold switch must be on (internal error "analyze_hold"
  // otherwise); the flags are recorded only. Nothing without a netlist.
  void run_hold_analysis(bool flag1, const ANALYSIS_PARAMETERS& parameters, bool flag2);
  // recorded + algorithm: the timing update: the pending taints applied and
  // the analysis brought up to date, the constraints read again unless the
  // update may skip them (the counts are host::hov::constraint_reads). The
  // values are recorded only.
  void update(CMP_FACADE* cmp, VOK_ATOM_NETLIST* netlist, int a, int b, int c, const INVOKE_MODE& mode, int d);

  // data: the timing netlist (KEM_MANAGER's; may be null).
  KEM_NETLIST* get_kem_netlist() const;
  // algorithm: brings the timing netlist up to date with the atom netlist
  // (the pending taints) and updates the analysis.
  void update();
  // recorded: refreshes the accessories' cached state.
  void refresh();
  // data: the STA edge filter: while set, the quick analyses write only the
  // listed edges' slacks.
  bool has_sta_edge_filter() const { return m_has_filter; }
  void clear_sta_edge_filter();
  void set_sta_edge_filter(const std::vector<KEM_EDGE*>& edges);
  bool edge_passes_filter(int edge_id) const { return !m_has_filter || m_filter.count(edge_id) != 0; }
  // recorded + algorithm: brings the cells of the listed atoms up to date
  // in the timing netlist (a global taint rebuilds it all) and updates the
  // analysis; their taints are forgotten. Corner flag 0 asks for the
  // current corner, 1 for every loaded one (the stand-in's analysis covers
  // every loaded corner either way); another flag is an internal error. The
  // facade and the other arguments are recorded only.
  void incrementally_update(const std::vector<VOK_ATOM_NODE*>& atoms, CMP_FACADE* cmp, int corner_flag, int mode,
                            bool flag1, bool flag2);
  // data: the compound mode the edge lists use (0 plain edges, 1 compound
  // edges; default 0).
  int get_compound_mode() const;
  void set_compound_mode(int mode);

  // ---- the timing-analysis debug run (DRASK)
  // data: its settings: two analysis switches and the router mode.
  struct DRASK_SETTINGS {
    bool report_paths = false;
    bool check_consistency = false;
    bool router_mode = false;
  };
  // recorded: marks a point of the run in the timing log.
  void record_label(const std::string& label);
  // recorded: prepares the analysis.
  void prepare_drask();
  // data: a copy of the current settings.
  DRASK_SETTINGS get_drask_settings() const { return m_drask_settings; }
  // recorded: runs the plain analysis of the timing netlist with the
  // settings (which are kept).
  void run_drask(const DRASK_SETTINGS& settings);
  // recorded: releases the analysis state.
  void release_drask();

  // ---- the hold re-route pass's analysis and edge slack array
  // data: the options of its analysis run; only the four flags at the end
  // mean anything to the stand-in (the first: hold slacks on every edge).
  struct DRASK_OPTIONS {
    std::int32_t level = 0;
    std::int32_t max_paths = 0;
    bool flags[4] = {false, false, false, false};
  };
  DRASK_OPTIONS get_drask_options() const { return m_drask_options; }
  // recorded + algorithm: a full analysis of every loaded corner with the
  // options (kept); refills the edge slack array in place. 0, or 1 without
  // a timing netlist. The mode and the flag are recorded only.
  int run_drask_analysis(int mode, const DRASK_OPTIONS& options, bool flag);
  // algorithm: one (setup, hold) pair per edge id, each the worst over the
  // analysed corners: 2147483647 when none was computed or no edge is there,
  // -2147483647 for an excluded edge. Filled on each call, refilled by
  // run_drask_analysis without moving; null without a timing netlist.
  const std::pair<std::int32_t, std::int32_t>* get_edge_slack_data();
  // recorded + algorithm: writes the timing netlist to the file; false when
  // there is none or the file cannot be written. The flags are recorded.
  bool write_kem_netlist(const std::string& name, bool flag1, bool flag2);
  // recorded: the pass's closing call: frees the edge slack array.
  void close_edge_slack_data();

  // ---- the retiming utility and the timing-analysis Tcl commands
  // data: the retiming utility (null when there is none).
  HOV_YUN_UTILITY* get_yun_utility() const { return m_yun.get(); }
  // recorded: creates the retiming utility unless there is one.
  void setup_yun_utility();
  // recorded: deletes the retiming utility.
  void release_yun_utility();
  // recorded: readies the analysis for Tcl commands, then names the
  // report they write.
  void prepare_for_sta_cmd();
  void prepare_sta_report(const std::string& label);
  // recorded: runs a Tcl command against the analysis; true.
  bool run_sta_tcl_cmd(const std::string& cmd);
  // data: the set_net_delay constraints (timing edge, delay in ps), in the
  // order they were given.
  const std::vector<std::pair<KEM_EDGE*, int>>& get_set_net_delays() const { return m_set_net_delays; }
  void add_set_net_delay(KEM_EDGE* edge, int delay_ps) { m_set_net_delays.emplace_back(edge, delay_ps); }

private:
  ANALYSIS_PARAMETERS m_parameters;
  std::unique_ptr<HOV_YUN_UTILITY> m_yun;
  DRASK_SETTINGS m_drask_settings;
  bool m_has_filter = false;
  std::set<int> m_filter;
  std::vector<std::pair<KEM_EDGE*, int>> m_set_net_delays;
  DRASK_OPTIONS m_drask_options;
  std::vector<std::pair<std::int32_t, std::int32_t>> m_edge_slacks;
  void fill_edge_slacks();
};

// data: the world's accessories (never null).
HOST_API HOV_ACCESSORIES* hov_get_accessories();

// The timing analysis's clock network: whether a node is a clock (a clock's
// source or a node it reaches, register clock pins excluded). The flag is
// accepted and not used.
class HOST_API HOV_CLOCK_UTIL {
public:
  bool is_clock(const KEM_NODE* node, bool flag) const;
};
// data: the world's clock utility (never null).
HOST_API HOV_CLOCK_UTIL* hov_get_clock_util();

class HOST_API WEXAN_HOV_UTILITY {
public:
  WEXAN_HOV_UTILITY();
  virtual ~WEXAN_HOV_UTILITY();
  WEXAN_HOV_UTILITY(const WEXAN_HOV_UTILITY&) = delete;
  WEXAN_HOV_UTILITY& operator=(const WEXAN_HOV_UTILITY&) = delete;

  // data: the invoke mode of the last request.
  int get_mode() const { return m_mode; }
  void set_mode(int mode) { m_mode = mode; }

  // algorithm: setup analysis on the annotated corner; afterwards every edge
  // (every filtered edge while a filter is set) holds its setup slack in its
  // quick-analysis slack (0x7FFFFFFF when it has none). False without a
  // timing netlist.
  bool perform_quick_timing_analysis(bool flag);
  // algorithm: the same with the hold slack.
  bool perform_quick_min_timing_analysis();
  // algorithm: makes model the annotated (current) corner, loading it when
  // needed; the edge records then carry its delays and slacks.
  void switch_annotated_timing_model(WEXAN_ENV* env, const KEM_TIMING_MODEL& model);
  // algorithm: the current corner's setup and hold slack of an atom's
  // input (port type, index): the worst over the input node's domains;
  // KEM_NO_SLACK when the atom, input or slack is missing.
  std::int32_t get_setup_slack(int atom_id, int port_type, int index) const;
  std::int32_t get_hold_slack(int atom_id, int port_type, int index) const;
  // recorded: readies the timing netlist for a retiming run.
  void prepare_for_retiming();
  // data: fixes the delay of the connection into an atom's input (port
  // type, index): the timing netlist's edges into that input then take the
  // maximum (the stand-in's edges carry one delay, used by both analyses).
  void annotate_delays_of_connection(VOK_ATOM_NODE* atom, int port_type, int index, int max_ps, int min_ps);
  // data: the last get-or-create request met initialisation errors (the
  // world's host::hov::set_init_errors at that request).
  bool get_had_hov_init_errors() const { return m_had_init_errors; }
  void set_had_hov_init_errors(bool on) { m_had_init_errors = on; }

private:
  int m_mode = 0;
  bool m_had_init_errors = false;
};

// The incremental timing controller of the retimer and the resynthesiser.
class HOST_API HOV_INCR {
public:
  // algorithm: with the flag, every loaded corner is analysed and the
  // queries answer over all of them; without, the current corner only.
  static void enable_timing_on_all_corners(KEM_NETLIST* kem, CMP_FACADE* cmp, bool all_corners);
  // data: a controller over the netlists, owned by the caller.
  static HOV_INCR* create_hov_incr(VOK_ATOM_NETLIST* atoms, KEM_NETLIST* kem, CMP_FACADE* cmp);
  virtual ~HOV_INCR();

  // recorded: the stop sequence of a run.
  void stop(bool flag);
  // recorded: the controller's release.
  void release();
  // algorithm: one debug line per loaded corner (module "HOV", level 0):
  // "<title>: <corner> setup WNS <ps> ps, hold WNS <ps> ps" ("none" when
  // the corner has no requirement).
  static void print_fmax_across_loaded_corners(const std::string& title, int a, int b);

private:
  HOV_INCR(VOK_ATOM_NETLIST* atoms, KEM_NETLIST* kem);
  VOK_ATOM_NETLIST* m_atoms;
  KEM_NETLIST* m_kem;
};

namespace host::hov {
// data: whether timing-driven compile is on (default on).
HOST_API void set_on(bool on);
HOST_API bool is_on();
// data: the timing netlist in memory (KEM_MANAGER's).
HOST_API KEM_NETLIST* current_kem_netlist();
// algorithm: applies the pending taints to the timing netlist (building it
// when there is none) and records the nodes they dirtied; returns the
// netlist. Afterwards it reflects the atom netlist exactly.
HOST_API KEM_NETLIST* apply_pending_taints(KEM_DIRTY* dirty);
// algorithm: the get-or-create request behind both WEXAN_ENV overloads.
HOST_API WEXAN_HOV_UTILITY* get_or_create(int request, int invoke_mode, const std::vector<KEM_TIMING_MODEL>& models);
// The models of a timing-model set: 0 slow only, 5 and 6 the part's
// default corners; another set is an internal error.
HOST_API std::vector<KEM_TIMING_MODEL> models_of_set(int set);
// data: the utility (null when there is none) and its deletion.
HOST_API WEXAN_HOV_UTILITY* utility();
HOST_API void delete_utility();
// data: whether building the timing utility meets initialisation errors
// (default false); each get-or-create request passes it to the utility.
HOST_API void set_init_errors(bool on);
// data: the updates that read the timing constraints again and those that
// skipped them, since the reset.
HOST_API int constraint_reads();
HOST_API int constraint_skips();
}  // namespace host::hov
