#pragma once
// Static timing analysis over the timing netlist (KEM_NETLIST).
//
// Per analysed corner the analysis makes the graph acyclic (a combinational
// loop is cut at its lowest-id edge, repeatedly, until no loop remains; the
// cut is recorded), then:
//  - clock arrivals propagate from each declared clock's source through the
//    clock network (max and min);
//  - setup: a keeper launches at its clock's max arrival, the clock-to-output
//    arc follows; arrivals propagate forward by max delay per launch clock;
//    the required time at a keeper's data input is the capture clock's
//    period + its min arrival - setup, propagated backward;
//  - hold: min arrivals against the capture clock's max arrival + hold;
//  - node slack = required - arrival per domain (launch clock, capture
//    clock); edge slack = required(dst) - arrival(src) - delay.
// Paths launched or captured without a clock (design ports, unclocked
// keepers) belong to the unclocked domain {-1, -1, 0, 0} and have no
// requirement. Slacks are signed 32-bit ps; KEM_NO_SLACK marks "none".
//
// One slack store serves every reader: the per-corner node arrays and edge
// slacks here, copied into the KEM_EDGE records for the current corner.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/host_api.h"
#include "kem/kem_netlist.h"

// A clock domain: launch and capture clock (declaration index; -1 for none).
// The first two fields are the key.
struct HOV_INCR_WNS_DOMAIN {
  std::int32_t launch = -1;
  std::int32_t capture = -1;
  std::int32_t reserved0 = 0;
  std::int32_t reserved1 = 0;
  bool operator<(const HOV_INCR_WNS_DOMAIN& o) const {
    return launch != o.launch ? launch < o.launch : capture < o.capture;
  }
  bool operator==(const HOV_INCR_WNS_DOMAIN& o) const { return launch == o.launch && capture == o.capture; }
  bool is_unclocked() const { return launch == -1 && capture == -1; }
};

// The values of a domain: worst and total negative setup slack over its
// endpoints (keeper data inputs), and the endpoint counts.
struct HOV_INCR_DOMAIN_VALUES {
  std::int32_t wns = KEM_NO_SLACK;
  std::int32_t tns = 0;
  std::int32_t endpoints = 0;
  std::int32_t failing_endpoints = 0;
};

// algorithm: a full analysis of the timing netlist (after the pending
// taints are applied to it; built when there is none). all_corners
// chooses whether the queries below answer over every loaded corner or the
// current one only.
HOST_API void sta_full_update_timing(bool all_corners);
// algorithm: the analysis after a stage: brings the timing netlist up to
// date (as sta_full_update_timing) and updates the results incrementally
// from what changed since the last analysis, the change log and the delays
// and keeper and pin values outside it (a full analysis when the log was
// lost, or the netlist, clocks or corners are others). The results equal a
// full analysis's.
HOST_API void sta_update_timing_after_stage(bool all_corners);
// recorded: the strongly connected components of the timing graph are
// recomputed on the next analysis.
HOST_API void sta_mark_sccs_as_potentially_stale();
// algorithm: brings the timing netlist up to date with the taints recorded
// since the last update and recomputes what the nodes they dirtied change
// (see host::sta::update and host::sta::verify_incremental).
HOST_API void sta_increm_update_timing();

// algorithm: the domains of the design (the unclocked one included when a
// path has it), in key order.
HOST_API std::vector<HOV_INCR_WNS_DOMAIN> sta_get_wns_domains();
// algorithm: per clocked domain with endpoints, its values (worst over the
// analysed corners).
HOST_API std::map<HOV_INCR_WNS_DOMAIN, HOV_INCR_DOMAIN_VALUES> sta_get_wns_map(const KEM_NETLIST* kem);
// algorithm: a node's setup slack per clocked domain; worst over the
// analysed corners when `all_corners`, else at the current corner. Domains
// without a value are left out.
HOST_API std::map<HOV_INCR_WNS_DOMAIN, std::int32_t> sta_get_node_wns_map(const KEM_NODE* node, bool all_corners);
// algorithm: a node's worst hold slack over its domains (KEM_NO_SLACK when
// none), over the analysed corners when `all_corners`.
HOST_API std::int32_t sta_get_node_worst_hold_slack(const KEM_NODE* node, bool all_corners);
// algorithm: whether a path of the domain passes the node. The flag is
// accepted for the callers' sake.
HOST_API bool sta_kem_node_has_domain(const KEM_NODE* node, const HOV_INCR_WNS_DOMAIN& domain, bool flag);
// algorithm: whether the node lies on a clock network (a clock's source, its
// nets and buffers; register clock pins are not part of it).
HOST_API bool sta_is_node_in_clock_network(const KEM_NODE* node);
// data: false for nodes of dont-touch atoms (flag bit 29).
HOST_API bool sta_slack_can_be_updated_incrementally(const KEM_NODE* node);

// data: changed-register tracking. While on, every update adds the
// registers whose slack moved (keyed by atom id) to the record.
HOST_API void sta_incr_track_changed_flops(bool on, bool flag);
// data: the record, or null while tracking is off.
HOST_API const std::map<int, VOK_ATOM_NODE*>* sta_incr_get_changed_flops();
HOST_API void sta_incr_reset_changed_flops();

// data: whether an incremental update that meets a node it cannot update
// may leave the slacks as they are and mark the timing stale (default off:
// it runs a full analysis instead).
HOST_API void sta_allow_stale_timing_when_unable_to_incrementally_update(bool allow);
// data: the switch above as last set.
HOST_API bool sta_is_stale_timing_allowed();
HOST_API bool sta_is_timing_stale();
// algorithm: a full analysis; the timing is no longer stale.
HOST_API void sta_reset_timing_as_no_longer_stale();

namespace host::sta {
// data: compare every incremental update against a full analysis and raise
// an internal error on any difference (on in tests unless switched off).
HOST_API void verify_incremental(bool on);
HOST_API bool verify_incremental();
// data: the edges cut to make the graph acyclic, ascending.
HOST_API std::vector<int> cut_edges();
// data: the number of full and incremental analyses since the reset.
HOST_API int full_analysis_count();
HOST_API int incremental_update_count();
// data: the number of nodes the last incremental update recomputed, forward
// and backward together.
HOST_API int last_cone_size();
// data: the number of incremental updates that recomputed the loop cuts and
// the topological order from scratch (a change they could not follow: a
// loop made, or any structural change while the graph has loops).
HOST_API int order_rebuild_count();
// data: the number of full analyses that found the netlist, the clocks, the
// corners, every delay and every keeper's and pin's timing values as the
// last computed full analysis left them, with no incremental update since,
// and kept its results instead of computing them again.
HOST_API int kept_analysis_count();
// algorithm: analyses the timing netlist from scratch (what the timing
// utility runs after building it).
HOST_API void analyze(KEM_NETLIST* kem);
// algorithm: the analysis of `kem` after the given nodes changed: the
// delays of the created edges and of the edges at `dirty.arrival` nodes are
// read again; arrivals are recomputed from those nodes and the heads of the
// edges whose delay moved, in topological order, going on past a node only
// when its arrivals came back different; required times likewise backward
// from `dirty.required`, the tails of those edges and the data inputs of
// keepers whose clock arrival moved. The work follows what changed, not the
// cone a change could reach.
HOST_API void update(KEM_NETLIST* kem, const KEM_DIRTY& dirty);
// algorithm: update() from `dirty` and from every edge delay and keeper's
// and pin's value that moved since the last analysis without a change-log
// entry (a kept build's request for a full analysis included: those are
// what it asks to read again); analyze() when there is nothing to update
// from.
HOST_API void refresh(KEM_NETLIST* kem, const KEM_DIRTY& dirty);
// data: the analysis forgets a netlist about to be deleted.
HOST_API void forget(const KEM_NETLIST* kem);
// data: the netlist is kept whole where it would have been rebuilt (what
// the analysis reads besides its change log may have moved): the next
// update runs a full analysis, which keeps its results only when nothing
// it reads moved.
HOST_API void expect_full_analysis();
// data: one setup and hold slack per (edge, corner id); KEM_NO_SLACK when
// none.
HOST_API std::int32_t edge_setup_slack(int edge_id, int corner_id);
HOST_API std::int32_t edge_hold_slack(int edge_id, int corner_id);
// data: every edge's hold slack at a corner, by edge id (what
// edge_hold_slack reads; shorter than the edge count, or empty, where the
// analysis has none); good until the next analysis or update.
HOST_API const std::vector<std::int32_t>& edge_hold_slacks(int corner_id);
// algorithm: a node's setup slack per domain and worst hold at a corner.
HOST_API std::map<HOV_INCR_WNS_DOMAIN, std::int32_t> node_setup_slacks(int node_id, int corner_id);
HOST_API std::int32_t node_worst_hold_slack(int node_id, int corner_id);
}  // namespace host::sta

namespace host::timing {
// A declared clock: name, period and source (an output term of the design).
struct CLOCK {
  std::string name;
  int period_ps = 0;
  KEM_TERM_REF source;
  bool operator==(const CLOCK&) const = default;
};
// data: declares a clock; its index is the domain number. A second clock of
// the same name replaces the first.
HOST_API void declare_clock(const std::string& name, int period_ps, const VOK_ATOM_OTERM* source);
HOST_API const std::vector<CLOCK>& clocks();

// Per analysed corner: setup and hold worst and total negative slack over
// the keeper data inputs, and the number of failing endpoints. A corner
// analysed for hold only reports KEM_NO_SLACK and 0 for setup; a WNS without
// any endpoint is KEM_NO_SLACK.
struct CORNER_SUMMARY {
  std::string corner;
  std::int32_t setup_wns = KEM_NO_SLACK;
  std::int64_t setup_tns = 0;
  std::int32_t hold_wns = KEM_NO_SLACK;
  std::int64_t hold_tns = 0;
  int setup_failing_endpoints = 0;
  int hold_failing_endpoints = 0;
  // The endpoints failing hold, worst first (ties by name), each named by
  // the atom (register, memory or pin) whose input fails.
  std::vector<std::pair<std::int32_t, std::string>> hold_failing;
  // Every endpoint analysed for setup on this corner, named by its atom and
  // pin ("<atom>.<port type>[<index>]"), with its setup slack.
  std::vector<std::pair<std::string, std::int32_t>> setup_endpoints;
};
// algorithm: the summary of the last analysis, one entry per loaded corner.
// While any partition's active state is its blackboxing shell, each WNS is
// no better than the worst preserved slack record the chip database entry
// holds on the routing the shells hide (setup WNS on corners analysed for
// setup); the totals and counts are the analysis's own.
HOST_API std::vector<CORNER_SUMMARY> summary();
}  // namespace host::timing
