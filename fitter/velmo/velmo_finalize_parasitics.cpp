// Post-finalize hold fixing with dangling parasitic wires.
//
// Hold failures that remain on a routed design are fixed without
// re-routing: spare routing wires are attached as dangling stubs to the
// routing tree of the net feeding a failing input term, so that their load
// raises that term's delay. The work goes corner by corner, because a stub
// chosen for one corner changes every corner. The corners selected on the
// first call are listed twice, so a pass (a window of half the list) can
// start anywhere in the cycle; a pass that added wires starts the next one
// where it stopped.
//
// Per corner: a hold analysis, the worst slack per routing element of the
// sensitive edges (kept as preserved router slacks), a parallel search in
// which each worker asks its own local routing annotator for candidate
// stubs, then, on this thread and in edge order, the acceptance and
// insertion of candidates per failure.
#include "velmo_finalize_parasitics.h"

#include <tbb/parallel_for_each.h>
#include <tbb/task_group.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_element_desc.h"
#include "dev/dev_family.h"
#include "hov/hov_utility.h"
#include "jov/jov_design.h"
#include "jov/jov_routing_splitter.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "kem/kem_timing_model.h"
#include "msg/msg_internal_error.h"
#include "pexa/pexa_utility.h"
#include "sta/sta_analysis.h"
#include "sta/sta_debug.h"
#include "swavo/swavo_recompile_op.h"
#include "thr/thr_drl.h"
#include "umbr/umbr_tcl.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_logical_port.h"
#include "vok/vok_re_presslack.h"
#include "vok/vok_re_routing.h"
#include "vok/vok_re_routing_incremental_db.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_finalize_services.h"
#include "wump/wump_blacklisting.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "wump/wump_route_info_singleton_manager.h"
#include "xab/xab_dem.h"
#include "xab/xab_delay_annotator.h"
#include "xab/xab_local_routing_annotator.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_atom_util.h"
#include "zmp_dense_hash.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_hash_set_lite_sys.h"

bool VELMO_FINALIZE_PARASITICS::has_written_out_kem = false;

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_finalize_parasitics", line);
}

constexpr std::int32_t NO_SLACK_PS = -2147483647;
constexpr float NO_SLACK_SECONDS = -3e38f;
constexpr unsigned GID_BIT = 0x80000000u;
constexpr int GLOBAL_CLOCK_KIND = 318;
constexpr int ELEMENT_FANOUT_LIMIT_DATUM = 21;
constexpr int VID_PART_TRAIT = 32;

float slack_seconds(std::int32_t ps) { return ps == NO_SLACK_PS ? NO_SLACK_SECONDS : static_cast<float>(ps * 1e-12); }

// The configuration of one call; each default is written where it is read.
struct CONFIG {
  bool verbose;
  bool all_corners;
  int vid_slow_cold;
  int vid_slow_hot;
  int voltage;
  bool serialize;
  bool within_partition_only;
  bool force;
  int worst_slack_to_fix_ps;
  int max_failures;
  int threads;
  int sensitive_ps;
  bool run_w3j3;
  bool run_hep;
  bool prevent_fanout_assert;

  static CONFIG read() {
    const bool serialize = cfg_is_on("parasitic_fixup_serialize_kem_corners", false);
    CONFIG c{
        .verbose = cfg_is_on("route_fixup_flow_verbose", false),
        .all_corners = cfg_is_on("route_fixup_analyze_all_corners", false),
        .vid_slow_cold = cfg_get_int_value("route_fixup_flow_analyze_vid_corners_slow_cold", 1),
        .vid_slow_hot = cfg_get_int_value("route_fixup_flow_analyze_vid_corners_slow_hot", 1),
        .voltage = cfg_get_int_value("route_fixup_flow_analyze_voltage", -1),
        .serialize = serialize,
        .within_partition_only = cfg_is_on("hold_parasitics_fixing_routing_within_partition_only", false),
        .force = cfg_is_on("force_hold_parasitics_fixing", false),
        .worst_slack_to_fix_ps = cfg_get_int_value("route_fixup_flow_parasitics_worst_case_slack_to_fix", -200),
        .max_failures = cfg_get_int_value("route_fixup_flow_parasitics_max_num_failures_to_fix", serialize ? 200 : 400),
        .threads = cfg_get_int_value("route_fixup_flow_parasitics_num_parallel_threads", 8),
        .sensitive_ps = cfg_get_int_value("route_fixup_flow_parasitics_sensitive_hold_slack_ps", 200),
        .run_w3j3 = cfg_is_on("route_fixup_parasitics_run_incremental_w3j3", true),
        .run_hep = cfg_is_on("route_fixup_parasitics_run_incremental_hep", true),
        .prevent_fanout_assert = cfg_is_on("velmo_prevent_fanout_limit_check_assert", false),
    };
    if (c.all_corners || c.vid_slow_cold > 0) c.voltage = -2;
    return c;
  }
};

const char* kind_name(int kind) {
  switch (kind) {
    case 0: return "slow";
    case 1: return "fast";
    case 2: return "fastest_slow";
    case 3: return "typical";
    default: l_internal_error("Unknown HEP_TIMING_MODEL", __LINE__);
  }
}

using FAILURE = std::pair<KEM_EDGE*, std::vector<XAB_DANGLING_RE_DELAY>>;

// What the fixes of one call share (built once per call, the editor first).
struct FIX_CONTEXT {
  VOK_RE_ROUTING* routing = nullptr;
  const WUMP_ROUTE_INFO* route_info = nullptr;
  const WUMP_BLACKLISTING* blacklisting = nullptr;
  const WUMP_DIE_INFO* die = nullptr;
  KEM_NETLIST* kem = nullptr;
  ZMP::DENSE_HASH<unsigned, int> gid_to_node;
  std::map<JOV_PARTITION*, std::set<unsigned>> partition_wires;
  std::map<VOK_ATOM_NETLIST*, std::map<VOK_ATOM_NETLIST*, JOV_PARTITION*>> ancestor;
  ZMP_HASH_SET_LITE<unsigned> locked;
  WEXAN_JOV_PR_UTILITY* regions = nullptr;
  std::unique_ptr<VOK_RE_ROUTING_INCREMENTAL_DB> changes;
  std::vector<VOK_ATOM_OTERM*> touched_drivers;
  std::set<unsigned> unowned_wires;
};

VOK_RE_ROUTING_ZOTA_SKIP skip() { return VOK_RE_ROUTING_ZOTA_SKIP{}; }

VOK_ATOM_NETLIST* partition_netlist(JOV_PARTITION* p, const char* condition, int line) {
  JOV_STATE* state = p ? p->get_state() : nullptr;
  if (state == nullptr) l_internal_error(condition, line);
  return state->get_atom_netlist();
}

void build_fix_context(FIX_CONTEXT& ctx) {
  // 1. GID -> routing node.
  const auto& forest = ctx.routing->forest();
  for (int id = 0; id < forest.num_slots(); ++id) {
    if (!ctx.routing->is_live(id)) continue;
    const std::int32_t value = ctx.routing->get_value(id);
    const unsigned gid = static_cast<unsigned>(value);
    if ((gid & GID_BIT) == 0 || gid == 0xFFFFFFFFu) continue;
    ctx.gid_to_node.insert(gid, id);
  }
  // 2. Partition maps.
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  std::vector<JOV_PARTITION*> partitions;
  if (design)
    for (const auto& p : design->get_partitions()) partitions.push_back(p.get());
  for (JOV_PARTITION* a : partitions) {
    ctx.partition_wires[a];
    VOK_ATOM_NETLIST* na = partition_netlist(a, "partition_a.has_netlist()", __LINE__);
    for (JOV_PARTITION* b : partitions) {
      VOK_ATOM_NETLIST* nb = partition_netlist(b, "partition_b.has_netlist()", __LINE__);
      JOV_PARTITION* lca = JOV_UTILS::get_lowest_common_ancestor_partition(a, b);
      if (lca == nullptr) l_internal_error("lca_partition", __LINE__);
      ctx.ancestor[na][nb] = lca;
    }
  }
  // 3. Routing of partitions whose netlist may not change.
  for (JOV_PARTITION* p : partitions) {
    if (partition_netlist(p, "partition_a.has_netlist()", __LINE__)->is_modifiable()) continue;
    const std::unique_ptr<VOK_RE_ROUTING> part = JOV_ROUTING_SPLITTER::get_routing_for_partition(p);
    if (!part) continue;
    for (auto it = part->begin_node_ids(skip()); it != part->end_node_ids(skip()); ++it) {
      const unsigned gid = static_cast<unsigned>(part->get_value(*it));
      if ((gid & GID_BIT) == 0 || gid == 0xFFFFFFFFu) continue;
      ctx.locked.insert(gid);
    }
  }
  // 4.-5.
  ctx.regions = WEXAN_JOV_PR_UTILITY::get_existing_instance();
  ctx.changes = std::make_unique<VOK_RE_ROUTING_INCREMENTAL_DB>(ctx.routing);
}

unsigned region_of(const FIX_CONTEXT& ctx, unsigned gid) {
  return ctx.regions ? ctx.regions->get_region_of_routing_gid(gid) : 0u;
}

int node_of(const FIX_CONTEXT& ctx, unsigned gid) {
  auto it = ctx.gid_to_node.find(gid);
  return it == ctx.gid_to_node.end() ? -1 : it->second;
}

// The parent element's gid of a candidate (0xFFFFFFFF when its node is
// free).
unsigned parent_gid(const KEM_NETLIST* kem, const XAB_DANGLING_RE_DELAY& c) {
  return kem ? kem->get_re_element_gid(c.node) : 0xFFFFFFFFu;
}

// Attaches the stub c under node n.
void attach(FIX_CONTEXT& ctx, VOK_RE_ROUTING_MODIFIER& editor, const KEM_EDGE* edge, JOV_PARTITION* partition, int n,
            unsigned c) {
  const VOK_ATOM_ITERM* iterm = edge->get_iterm();
  VOK_ATOM_OTERM* source = iterm->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (ctx.routing->get_atom_netlist() == nullptr) l_internal_error("m_atom_netlist", __LINE__);
  // The net's driver, seen through pipeline registers.
  const ZMP_TINY_VECTOR<int> sinks =
      ctx.routing->get_iterm_mappings(iterm, vok_get_logical_port(iterm), skip());
  int root = sinks.empty() ? n : sinks[0];
  for (int up = ctx.routing->get_parent(root, skip()); up >= 0; up = ctx.routing->get_parent(root, skip())) root = up;
  if (ctx.routing->get_value(root) >= 0 && ctx.routing->get_node_terminal(root).name_space == 9)
    ctx.changes->mark_oterm_with_changing_routing(source);
  (void)editor;
  ctx.routing->bump_change_counter();
  const int added = ctx.routing->append_child(n, c & ~GID_BIT);
  if (partition)
    ctx.partition_wires[partition].insert(c);
  else
    ctx.unowned_wires.insert(c);
  if (std::find(ctx.touched_drivers.begin(), ctx.touched_drivers.end(), source) == ctx.touched_drivers.end())
    ctx.touched_drivers.push_back(source);
  ctx.gid_to_node.insert(c, added);
}

// Fixes one failure; the number of wires added.
int fix_failure(FIX_CONTEXT& ctx, VOK_RE_ROUTING_MODIFIER& editor, KEM_EDGE* edge,
                const std::vector<XAB_DANGLING_RE_DELAY>& candidates, bool& all_fixed) {
  std::vector<XAB_DANGLING_RE_DELAY> list = candidates;
  const float s = slack_seconds(edge->get_hold_slack());
  const VOK_ATOM_ITERM* iterm = edge->get_iterm();
  const VOK_ATOM_OTERM* source = iterm->get_source(VOK_TRAVERSE_HIERARCHICAL);
  VOK_ATOM_NODE* sink_atom = iterm->get_my_node();
  VOK_ATOM_NODE* source_atom = source->get_my_node();
  msg_vdebug_impl(2, "Fixing hold slack of %g at iterm node id = %u with source node id = %u...", s,
                  static_cast<unsigned>(sink_atom->get_id()), static_cast<unsigned>(source_atom->get_id()));
  JOV_PARTITION* partition = nullptr;
  if (auto a = ctx.ancestor.find(sink_atom->get_parent_netlist()); a != ctx.ancestor.end())
    if (auto b = a->second.find(source_atom->get_parent_netlist()); b != a->second.end()) partition = b->second;
  if (partition && !partition_netlist(partition, "partition_a.has_netlist()", __LINE__)->is_modifiable()) {
    msg_vdebug_impl(2, "This hold failure is not fixable by PR requirement. Skip.");
    all_fixed = false;
    return 0;
  }
  const double need = -static_cast<double>(s);
  const int count = static_cast<int>(list.size());
  int last = -1;
  for (int j = 0; j < count; ++j) {
    XAB_DANGLING_RE_DELAY& cand = list[static_cast<std::size_t>(j)];
    const unsigned p = parent_gid(ctx.kem, cand);
    const unsigned c = cand.stub_gid;
    const int pn = p == 0xFFFFFFFFu ? -1 : node_of(ctx, p);
    if (pn < 0) {
      msg_vdebug_impl(2, "Parent GID %u is in BBIC region. Skip.", p);
      cand.stub_gid = 0xFFFFFFFFu;
      continue;
    }
    if (ctx.locked.find(p) != ctx.locked.end() || ctx.locked.find(c) != ctx.locked.end()) {
      msg_vdebug_impl(2, "This hold failure is not fixable in this partition. Skip.");
      all_fixed = false;
      return 0;
    }
    if (region_of(ctx, p) != region_of(ctx, c)) {
      msg_vdebug_impl(2, "Child GID %u is not in the same region. Skip.", c);
      continue;
    }
    if (ctx.blacklisting && ctx.blacklisting->is_routing_gid_blacklisted(c)) {
      msg_vdebug_impl(2, "Child GID %u is blacklisted. Skip.", c);
      cand.stub_gid = 0xFFFFFFFFu;
      continue;
    }
    if (const int cn = node_of(ctx, c); cn >= 0 && ctx.routing->get_parent(cn, skip()) != pn) continue;
    if (cand.rise > need && cand.fall > need) {
      last = j;
      break;
    }
  }
  if (last < 0) {
    msg_vdebug_impl(2, "Suggested dangling wires are not sufficient fix hold. Trying anyway.");
    all_fixed = false;
    last = count - 1;
  }
  int added = 0;
  for (int j = 0; j <= last; ++j) {
    const XAB_DANGLING_RE_DELAY& cand = list[static_cast<std::size_t>(j)];
    const unsigned c = cand.stub_gid;
    if (c == 0xFFFFFFFFu || node_of(ctx, c) >= 0) continue;
    const unsigned p = parent_gid(ctx.kem, cand);
    if (region_of(ctx, p) != region_of(ctx, c)) continue;
    const int n = node_of(ctx, p);
    if (n < 0) continue;
    const int up = ctx.routing->get_parent(n, skip());
    const bool near_root = up < 0 || ctx.routing->get_parent(up, skip()) < 0;
    int element_limit = -1;
    if (const DEV_ELEMENT_DESC* desc = ctx.die->get_element_desc(p))
      if (desc->is_valid_int_enum(ELEMENT_FANOUT_LIMIT_DATUM)) element_limit = desc->get_int_data(ELEMENT_FANOUT_LIMIT_DATUM);
    int limit = VELMO_EXPERT::get_fanout_limit_for_special_cases(*ctx.route_info, static_cast<unsigned>(ctx.routing->get_value(n)),
                                                                 near_root);
    if (limit == -1) limit = element_limit;
    if (limit != -1 && ctx.routing->get_num_children(n, skip()) >= limit) {
      msg_vdebug_impl(2, "Seeing fanout limit of %d for node id %u", limit, static_cast<unsigned>(n));
      continue;
    }
    attach(ctx, editor, edge, partition, n, c);
    ++added;
  }
  msg_vdebug_impl(2, "Added %d wires to fix this failure.", added);
  return added;
}

void publish(FIX_CONTEXT& ctx) {
  for (auto& [partition, wires] : ctx.partition_wires) {
    if (!partition_netlist(partition, "partition_a.has_netlist()", __LINE__)->is_modifiable()) {
      if (!wires.empty()) l_internal_error("dangling_wires.size() == 0", __LINE__);
      continue;
    }
    std::vector<int>& list = partition->get_state()->reserved_re_ids();
    for (unsigned gid : wires) list.push_back(static_cast<int>(gid & ~GID_BIT));
  }
  // Wires of failures outside every partition's netlist belong to the root
  // partition when its netlist may change; otherwise they stay in the
  // routing only.
  if (ctx.unowned_wires.empty()) return;
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  JOV_PARTITION* root = design ? design->get_top_partition() : nullptr;
  if (root && root->get_state() && root->get_state()->get_atom_netlist()->is_modifiable()) {
    for (unsigned gid : ctx.unowned_wires) root->get_state()->reserved_re_ids().push_back(static_cast<int>(gid & ~GID_BIT));
  } else {
    msg_vdebug_impl(2, "%d dangling wires belong to no partition; kept in the routing only.",
                    static_cast<int>(ctx.unowned_wires.size()));
  }
}

// The worst hold slack of the sensitive edges per routing element.
void update_sensitive_slacks(KEM_NETLIST* kem, VOK_RE_ROUTING* routing, int threshold_ps,
                             ZMP_HASH_LITE<unsigned, float>& map) {
  const float threshold = slack_seconds(threshold_ps);
  for (int id = 0; id < kem->get_node_count(); ++id) {
    const KEM_NODE* node = kem->get_node(id);
    if (!node) continue;
    for (int e = node->begin_fanout(); e >= 0;) {
      const KEM_EDGE* edge = kem->get_edge(e);
      if (!edge) break;
      e = edge->get_next_fanout();
      if (!edge->is_live() || edge->is_excluded() || edge->get_kind() != KEM_EDGE_INTERCONNECT) continue;
      const VOK_ATOM_ITERM* iterm = edge->get_iterm();
      if (!iterm || !iterm->get_source(VOK_TRAVERSE_HIERARCHICAL)) continue;
      if (edge->get_hold_slack() >= threshold_ps) continue;
      unsigned key = 0xFFFFFFFFu;
      const ZMP_TINY_VECTOR<int> sinks = routing->get_iterm_mappings(iterm, vok_get_logical_port(iterm), skip());
      if (!sinks.empty() && routing->get_parent(sinks[0], skip()) >= 0) {
        for (int up = routing->get_parent(sinks[0], skip()); up >= 0 && routing->get_parent(up, skip()) >= 0;
             up = routing->get_parent(up, skip())) {
          const unsigned v = static_cast<unsigned>(routing->get_value(up));
          if ((v & GID_BIT) && v != 0xFFFFFFFFu) {
            key = v;
            break;
          }
        }
      }
      if (key == 0xFFFFFFFFu) {
        const int loc = iterm->get_my_node()->get_location_index();
        if (loc == -1) continue;
        key = static_cast<unsigned>(loc);
      }
      const float s = slack_seconds(edge->get_hold_slack());
      auto it = map.find(key);
      if (it == map.end()) {
        if (s < threshold) map.insert(key, s);
      } else if (s < it->second) {
        it->second = s;
      }
    }
  }
}

// The search of one corner. The failure list is filled in completion order.
struct SEARCH {
  HOV_ACCESSORIES* accessories;
  int threads;
  THR_MUTEX* mutex;
  std::atomic<bool>& stop;
  bool force;
  int worst_slack_to_fix_ps;
  std::atomic<bool>& all_fixed;
  bool within_partition_only;
  const ZMP::DENSE_HASH<unsigned, int>& gid_to_node;
  const VOK_RE_ROUTING* routing;
  const WUMP_ROUTE_INFO* route_info;
  std::vector<FAILURE>& failures;
  int max_failures;

  void run_worker(std::pair<int, XAB_LOCAL_ROUTING_ANNOTATOR>& worker) const {
    const int index = worker.first;
    thr_mutex_lock(mutex);
    const KEM_NETLIST* kem = accessories->get_kem_netlist();
    thr_mutex_unlock(mutex);
    if (kem == nullptr || stop.load()) return;
    const auto [first, last] = velmo_parasitics::worker_range(kem->get_node_count(), threads, index);
    std::vector<XAB_DANGLING_RE_DELAY> candidates;
    for (int id = first; id < last && !stop.load(); ++id) {
      const KEM_NODE* node = kem->get_node(id);
      if (!node) continue;
      for (int e = node->begin_fanout(); e >= 0 && !stop.load();) {
        KEM_EDGE* edge = kem->get_edge(e);
        if (!edge) break;
        e = edge->get_next_fanout();
        examine(index, worker.second, edge, candidates);
      }
    }
  }

  void examine(int index, const XAB_LOCAL_ROUTING_ANNOTATOR& annotator, KEM_EDGE* edge,
               std::vector<XAB_DANGLING_RE_DELAY>& candidates) const {
    if (!edge->is_live() || edge->is_excluded() || edge->get_kind() != KEM_EDGE_INTERCONNECT) return;
    const VOK_ATOM_ITERM* iterm = edge->get_iterm();
    const VOK_ATOM_OTERM* source = iterm ? iterm->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    if (!source) return;
    const std::int32_t ps = edge->get_hold_slack();
    // An unconstrained connection has no hold requirement: it is neither a
    // failure nor a violation too big to fix (unless forced).
    if (!force && ps == NO_SLACK_PS) return;
    const float s = slack_seconds(ps);
    if (!force && s >= 0.0f) return;
    const VOK_ATOM_NODE* sink_atom = iterm->get_my_node();
    const VOK_ATOM_NODE* source_atom = source->get_my_node();
    msg_vdebug_impl(2, "Thread %d: Fixing hold slack of %g at iterm node id = %u with source node id = %u...", index,
                    s, static_cast<unsigned>(sink_atom->get_id()), static_cast<unsigned>(source_atom->get_id()));
    if (!force && worst_slack_to_fix_ps > ps) {
      msg_vdebug_impl(2, "Thread %d: Not fixing big hold violations. Skip.", index);
      all_fixed = false;
      return;
    }
    if (within_partition_only && sink_atom->get_parent_netlist() != source_atom->get_parent_netlist()) {
      msg_vdebug_impl(2, "Thread %d: Not fixing hold violations crossing partitions. Skip.", index);
      all_fixed = false;
      return;
    }
    const int code = iterm->get_connection_code() & 0x1F;
    if (code != 0 && code != 1 && code != 3 && code != 4) {
      msg_vdebug_impl(2, "Thread %d: Not fixing hold on global clock routing. Skip.", index);
      all_fixed = false;
      return;
    }
    annotator.find_dangling_routes_to_increase_iterm_delay(candidates, iterm, -1.0);
    if (candidates.empty()) {
      msg_vdebug_impl(2, "Found no dangling wire to fix hold. Skip.");
      all_fixed = false;
      return;
    }
    // Global clock routing above the first candidate's parent. A parent
    // outside the routing tree is left to the fix, which rejects it.
    const KEM_NETLIST* kem = edge->get_src_node()->get_netlist();
    const unsigned parent = kem->get_re_element_gid(candidates.front().node);
    if (auto it = gid_to_node.find(parent); parent != 0xFFFFFFFFu && it != gid_to_node.end()) {
      const WUMP_ACTIVE_ROUTE_INFO& active = WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().get_active();
      for (int n = it->second; n >= 0; n = routing->get_parent(n, skip())) {
        const std::int32_t value = routing->get_value(n);
        if (value == -1) break;
        if ((static_cast<unsigned>(value) & GID_BIT) == 0) continue;
        if (active.info->get_dev_element_from_gid(static_cast<unsigned>(value)) == GLOBAL_CLOCK_KIND) {
          msg_vdebug_impl(2, "Not fixing hold on global clock routing. Skip.");
          all_fixed = false;
          return;
        }
      }
    }
    thr_mutex_lock(mutex);
    failures.emplace_back(edge, candidates);
    if (static_cast<int>(failures.size()) > max_failures) {
      msg_vdebug_impl(2, "Thread %d: Exceeded maximum number of failures to fix. Stop parasitics.", index);
      all_fixed = false;
      stop = true;
    }
    thr_mutex_unlock(mutex);
  }
};

void dump_routing(const VOK_RE_ROUTING* routing, const char* file) {
  std::ofstream out(file, std::ios::trunc);
  if (out) routing->debug_dump(out, skip());
}

void print_parameters(const HOV_ACCESSORIES::ANALYSIS_PARAMETERS& p) {
  msg_vdebug_impl(2,
                  "KELD Parameters: %d %d, %g %g, %d %d, %g %g, %g %g %g %g, %g %g %g %g, %g %g %g, %d, %g, %d, %d, "
                  "%d, %d, %d, %d, %d, %s\n",
                  p.max_paths, p.max_depth, p.clock_uncertainty, p.hold_margin, p.report_level, p.corner_mode,
                  p.setup_derate, p.hold_derate, p.clock_skew[0], p.clock_skew[1], p.clock_skew[2], p.clock_skew[3],
                  p.io_delay[0], p.io_delay[1], p.io_delay[2], p.io_delay[3], p.jitter[0], p.jitter[1], p.jitter[2],
                  p.iterations, p.tolerance, p.threads, p.verbosity, p.seed, static_cast<int>(p.analyze_setup),
                  p.path_limit, static_cast<int>(p.analyze_hold), static_cast<int>(p.hold_on_all_edges),
                  p.name ? p.name : "None");
}

void unload_models_if_allowed() {
  if (YEB_TIMING_MODEL::is_delay_estimator_enabled() && XAB_DELAY_ANNOTATOR::is_unload_all_models_allowed()) {
    XAB_DEM::shutdown();
    msg_vdebug_impl(2, "do_post_finalize_hold_fixing calls timing model unload");
    XAB_DELAY_ANNOTATOR::unload_all_models(true);
  }
}

}  // namespace

namespace velmo_parasitics {

std::pair<int, int> worker_range(int nodes, int workers, int index) {
  if (workers < 1 || index < 0 || index >= workers) return {0, 0};
  const int q = nodes / workers;
  if (index == workers - 1) return {std::max((workers - 1) * q, 0), nodes};
  if (q < 1) return {0, 0};
  return {std::max(index * q, 0), index * q + q};
}

std::vector<KEM_TIMING_MODEL> select_corners(const std::vector<KEM_TIMING_MODEL>& part_models,
                                             const KEM_TIMING_MODEL& slow, const KEM_TIMING_MODEL& fast,
                                             const CORNER_RULES& rules) {
  std::vector<KEM_TIMING_MODEL> out;
  for (const KEM_TIMING_MODEL& m : part_models) {
    if (m.get_celsius() != slow.get_celsius() && m.get_celsius() != fast.get_celsius()) continue;
    const bool default_voltage =
        m.get_millivolts() == slow.get_millivolts() || m.get_millivolts() == fast.get_millivolts();
    if (rules.voltage >= 0 && m.get_millivolts() != rules.voltage) continue;
    if (rules.voltage == -1 && !default_voltage) continue;
    const bool is_slow = m.get_corner() == KEM_TIMING_MODEL::SLOW;
    if (default_voltage) {
      if (rules.vid_part && rules.vid_slow_cold == 2 && !(m == slow || m == fast || !is_slow)) continue;
    } else if (rules.vid_part) {
      if (is_slow || m.get_celsius() == fast.get_celsius()) {
        if (rules.vid_slow_cold == 0) continue;
      } else if (m.get_celsius() == slow.get_celsius()) {
        if (rules.vid_slow_hot == 0) continue;
      } else {
        continue;
      }
    }
    out.push_back(m);
  }
  return out;
}

}  // namespace velmo_parasitics

bool VELMO_FINALIZE_PARASITICS::run(WEXAN_ENV* env, std::vector<KEM_TIMING_MODEL> models, int start) {
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::do_post_finalize_hold_fixing", "Postfit - Other", "VELMO");
  if (SWAVO_RECOMPILE_OP::did_spar_give_up()) {
    SWAVO_RECOMPILE_OP::set_spar_give_up_flag(false);
    has_written_out_kem = true;
    hov_get_atom_netlist_taint_manager()->clear_tainted_atom_ids();
    hov_get_atom_netlist_taint_manager()->indicate_hov_reflects_atom_netlist_exactly();
    return true;
  }
  const bool first_call = models.empty();
  if (first_call) run_incremental_hep_after_spar(env);

  msg_vdebug_impl(2, "Performing post finalize hold fixing operations...");
  const CONFIG cfg = CONFIG::read();
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  const int device_enum = static_cast<int>(device->get_device_enum());
  const bool vid_part = DEV_PART_MANAGER().test_device_trait(device_enum, VID_PART_TRAIT);
  CMP_FACADE* cmp = env->get_cmp();
  const KEM_TIMING_MODEL slow = KEM_TIMING_MODEL::create_default_timing_model(cmp, 0);
  const KEM_TIMING_MODEL fast = KEM_TIMING_MODEL::create_default_timing_model(cmp, 1);

  HOV_ACCESSORIES* accessories = hov_get_accessories();
  HOV_ACCESSORIES::ANALYSIS_PARAMETERS parameters = accessories->get_analysis_parameters();
  parameters.analyze_setup = 0;
  parameters.analyze_hold = 1;
  parameters.hold_on_all_edges = 1;
  parameters.report_unconstrained = 0;
  print_parameters(parameters);
  std::atomic<bool> all_fixed{true};

  // The fix context; the editor is opened first and released at the end of
  // the pass, on every exit.
  const DEV_DIE_INFO* die = device->get_die_info();
  WUMP_DIE_INFO* wump_die = const_cast<WUMP_DIE_INFO*>(die->get_wump_die_info());
  FIX_CONTEXT ctx;
  ctx.die = wump_die;
  ctx.route_info = wump_die->get_route_info();
  WUMP_BLACKLISTING_LOADER::setup_blacklisting(wump_die);
  ctx.blacklisting = wump_die->get_blacklisting();
  VOK_CHIP_DB_ENTRY* entry = env->get_chip_db_entry();
  VOK_RE_PRESSLACK_CONTAINER& preserved = entry->get_preserved_router_slacks();
  ctx.routing = entry->get_routing();
  ZMP_HASH_LITE<unsigned, float> sensitive;
  auto editor = std::make_unique<VOK_RE_ROUTING_MODIFIER>(*ctx.routing, "velmo_parasitic_hold_fixup", false, false);
  build_fix_context(ctx);

  if (first_call) {
    if (cfg.verbose) {
      ZEL_ATOM_DUMPER(entry).dump_atom_netlist("routing_fixup_parasitics_atom_netlist.echo", env->get_atom_netlist(), true);
      dump_routing(ctx.routing, "routing_fixup_parasitics_before.echo");
    }
    velmo_parasitics::CORNER_RULES rules;
    rules.voltage = cfg.voltage;
    rules.vid_part = vid_part;
    rules.vid_slow_cold = cfg.vid_slow_cold;
    rules.vid_slow_hot = cfg.vid_slow_hot;
    models = velmo_parasitics::select_corners(KEM_TIMING_MODEL::get_list_of_timing_models(device_enum), slow, fast,
                                              rules);
    const std::size_t k = models.size();
    for (std::size_t m = 0; m < k; ++m) models.push_back(models[m]);
    start = 0;
  }

  const int n = static_cast<int>(models.size());
  int end = std::min(n, start + n / 2);
  if (!cfg.serialize && start < end)
    env->get_hov_utility_or_create_if_necessary(
        0, 3, std::vector<KEM_TIMING_MODEL>(models.begin() + start, models.begin() + end), false, false, true, false,
        nullptr, true, false);
  unload_models_if_allowed();

  int total = 0;
  bool first_corner = true;
  std::atomic<bool> stop{false};
  int i = start;
  while (i < end) {
    const KEM_TIMING_MODEL& corner = models[static_cast<std::size_t>(i)];
    msg_vdebug_impl(2, "Checking corner %s_%dV_%dcc", kind_name(corner.get_corner()), corner.get_millivolts(),
                    corner.get_celsius());
    env->get_hov_utility_or_create_if_necessary(0, 3, std::vector<KEM_TIMING_MODEL>{corner}, false, false, true, false,
                                                nullptr, true, false);
    KEM_NETLIST* kem = accessories->get_kem_netlist();
    kem->get_corner_manager()->change_corner(corner);
    kem->annotate_current_corner();
    msg_vdebug_impl(2, "do_post_finalize_hold_fixing calls timing model unload");
    XAB_DELAY_ANNOTATOR::unload_all_models(true);
    accessories->run_hold_analysis(true, parameters, true);
    kem = accessories->get_kem_netlist();
    ctx.kem = kem;
    {
      VELMO_SCOPED_PROFILE_BIN slacks_bin("Storing slacks for GID", "VELMO");
      update_sensitive_slacks(kem, ctx.routing, cfg.sensitive_ps, sensitive);
    }
    std::vector<FAILURE> failures;
    {
      VELMO_SCOPED_PROFILE_BIN search_bin("Find parasitic wires", "VELMO");
      std::vector<std::pair<int, XAB_LOCAL_ROUTING_ANNOTATOR>> workers;
      for (int t = 0; t < cfg.threads; ++t) workers.emplace_back(t, XAB_LOCAL_ROUTING_ANNOTATOR(entry, corner, cmp));
      THR_MUTEX* mutex = thr_mutex_create();
      SEARCH search{accessories, cfg.threads, mutex, stop, cfg.force, cfg.worst_slack_to_fix_ps, all_fixed,
                    cfg.within_partition_only, ctx.gid_to_node, ctx.routing, ctx.route_info, failures,
                    cfg.max_failures};
      try {
        if (!workers.empty()) {
          tbb::task_group_context context;
          tbb::parallel_for_each(
              workers.begin(), workers.end(),
              [&](std::pair<int, XAB_LOCAL_ROUTING_ANNOTATOR>& w) { search.run_worker(w); }, context);
        }
      } catch (...) {
        thr_mutex_destroy(mutex);
        throw;
      }
      thr_mutex_destroy(mutex);
    }
    int corner_wires = 0;
    if (!stop.load()) {
      std::sort(failures.begin(), failures.end(),
                [](const FAILURE& a, const FAILURE& b) { return a.first->get_id() < b.first->get_id(); });
      bool fixed = all_fixed.load();
      for (const FAILURE& f : failures) corner_wires += fix_failure(ctx, *editor, f.first, f.second, fixed);
      if (!fixed) all_fixed = false;
    }
    msg_vdebug_impl(2, "Added %d wires to fix this corner.", corner_wires);
    total += corner_wires;
    if (cfg.serialize) {
      if (total == 0) {
        if (first_corner) {
          KEM_MANAGER::get()->write_kem_netlist_to_disk();
        } else {
          KEM_MANAGER::get()->write_kem_corners_to_disk(std::vector<KEM_TIMING_MODEL>{corner});
          kem->get_corner_manager()->erase_corner(corner);
        }
      } else {
        msg_vdebug_impl(2, "Stop this round of hold parasitic fixing to save runtime from HEP on other corners.");
        i = i + 1;
        break;
      }
    }
    first_corner = false;
    if (stop.load()) {
      end = i;
      break;
    }
    ++i;
  }

  // End of the pass.
  if (!stop.load()) end = std::min(n, i + n / 2);
  publish(ctx);
  msg_vdebug_impl(2, all_fixed.load() ? "All hold failures are fixed." : "Some hold failures remain.");
  if (end <= i || total == 0) {
    if (cfg.verbose) dump_routing(ctx.routing, "routing_fixup_parasitics_after.echo");
    VELMO_EXPERT::analyze_fanout_violations(env, !cfg.prevent_fanout_assert);
    for (auto it = sensitive.begin(); it != sensitive.end(); ++it) {
      VOK_RE_PRESSLACK record{};
      const double ps = static_cast<double>(it->second) * 1e12;
      const std::int32_t slack = ps <= -2147483647.0 ? NO_SLACK_PS : static_cast<std::int32_t>(std::lround(ps));
      record.gid = it->first;
      record.slack[0] = slack;
      record.slack[1] = slack;
      preserved.add(record);
    }
  }
  msg_vdebug_impl(2, "%d dangling wires were added to fix hold failures.", total);
  editor.reset();

  bool result = all_fixed.load();
  if (total > 0) {
    if (cfg.run_w3j3) {
      ctx.changes->perform_diff();
      env->run_w3j3(true, {}, {}, ctx.changes.get(), nullptr);
    }
    if (!cfg.run_hep) {
      env->indicate_that_atom_netlist_is_modified();
    } else if (cfg.serialize) {
      l_internal_error("Incremental HEP currently not working with serialized KEM loading / writing.", __LINE__);
    } else {
      VELMO_SCOPED_PROFILE_BIN hep_bin("Incremental HEP", "VELMO");
      XAB_DELAY_ANNOTATOR annotator(cmp, true);
      annotator.rebuild_netlist_for_atoms({}, {}, {}, ctx.touched_drivers, {});
      hov_get_atom_netlist_taint_manager()->clear_tainted_atom_ids();
      hov_get_atom_netlist_taint_manager()->indicate_hov_reflects_atom_netlist_exactly();
    }
    if (i < end) result = run(env, models, i) && result;
  }
  return result;
}

bool VELMO_FINALIZE_PARASITICS::run_incremental_hep_after_spar(WEXAN_ENV* env) {
  if (!SWAVO_RECOMPILE_OP::enable_post_spar_incremental_hep()) return false;
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_FINALIZE_PARASITICS::run_incremental_hep_after_spar", "VELMO");
  msg_vdebug_impl(2, "Incremental HEP after SPAR.");
  const bool force = cfg_is_on("velmo_force_read_sdc_after_post_spar_incremental_hep", false);
  std::vector<unsigned>& changed = SWAVO_RECOMPILE_OP::get_spar_modified_atom_ids();
  if (changed.empty() && !force) return false;
  VOK_ATOM_NETLIST* netlist = env->get_atom_netlist();
  if (cfg_is_on("route_fixup_flow_verbose", false))
    ZEL_ATOM_DUMPER(env->get_chip_db_entry()).dump_atom_netlist("spar_incremental_hep_atom_netlist.echo", netlist, true);
  for (unsigned id : changed) env->indicate_that_atom_netlist_is_modified(static_cast<int>(id), false, true);
  changed.clear();
  changed.push_back(2147483647u);
  const bool verbose_zota = msg_vdebug_is_enabled(3);
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!ZEL_ATOM_UTIL::is_zota_marked_reg(atom) || atom->get_location_index() == -1) continue;
    if (SWAVO_RECOMPILE_OP::get_placed_zota_atom_id(atom->get_location_index()) == static_cast<unsigned>(atom->get_id()))
      continue;
    env->indicate_that_atom_netlist_is_modified(atom->get_id(), false, false);
    if (verbose_zota)
      msg_vdebug_impl(2, "SPAR found modified ZOTA atom id %u: %s", static_cast<unsigned>(atom->get_id()),
                      atom->get_string_hpath().c_str());
  }
  env->set_post_spar_flag(true);
  env->incremental_taint_rebuild();
  changed.clear();

  const bool verify = cfg_is_on("velmo_verify_skipped_read_sdc", false);
  const bool dump = cfg_is_on("velmo_verify_skipped_read_sdc_dump_dots", false);
  HOV_ACCESSORIES* accessories = hov_get_accessories();
  const HOV_ACCESSORIES::INVOKE_MODE mode{1000, false, {NO_SLACK_PS, NO_SLACK_PS, NO_SLACK_PS}};
  auto update = [&] {
    if (accessories) accessories->update(env->get_cmp(), netlist, 0, 0, 0, mode, 0);
  };
  if (verify || !force) {
    sta_mark_sccs_as_potentially_stale();
    update();
  }
  std::uint64_t cookie_a = 0;
  if (verify) {
    cookie_a = sta_debug_compute_outgoing_slack_cookie(false);
    sta_debug_remember_last_traversal_settings();
    if (dump)
      umbr_tcl_eval(umbr_get_interpreter(), "load_package sta_internal; dump_dot sta_dump.before *; report_sdc -file before.sdc");
  }
  if (verify || force) {
    const char* sw = "internal_hov_disable_skipping_of_read_sdc_dont_cache";
    const bool was_on = cfg_is_on(sw, false);
    cfg_set_on(sw);
    update();
    if (!was_on) cfg_set_off(sw);
  }
  if (verify) {
    sta_debug_restore_last_traversal_settings_and_refresh();
    const std::uint64_t cookie_b = sta_debug_compute_outgoing_slack_cookie(false);
    if (dump)
      umbr_tcl_eval(umbr_get_interpreter(), "load_package sta_internal; dump_dot sta_dump.after *; report_sdc -file after.sdc");
    if (cookie_a != cookie_b) {
      if (!force) l_internal_error("cookies don't match before/after skipping read_sdc", __LINE__);
      msg_vdebug_impl(2, "cookies don't match, but not asserting because we detected this case and forced a read_sdc ");
    }
  }
  return true;
}
