#pragma once
// Fitter-common operations and utilities the stage driver runs around
// placement: the incremental (netlist-reuse) utility, the recompile skip
// decision, legality
// checks, user atom duplication, the wire-LUT constrainer and the base of the
// PLL delay-chain operation. Checks and operations are recorded; their
// boolean results are scripted under the member's name and default to true.
#include <set>
#include "common/host_api.h"

class WEXAN_ENV;
class JOV_DESIGN;
class VOK_ATOM_NODE;

// The incremental (netlist-reuse) utility of the environment.
class HOST_API WEXAN_INCREMENTAL_UTILITY {
public:
  WEXAN_INCREMENTAL_UTILITY();
  virtual ~WEXAN_INCREMENTAL_UTILITY();
  WEXAN_INCREMENTAL_UTILITY(const WEXAN_INCREMENTAL_UTILITY&) = delete;
  WEXAN_INCREMENTAL_UTILITY& operator=(const WEXAN_INCREMENTAL_UTILITY&) = delete;
  // data: the world's utility, null when a test removed it.
  static WEXAN_INCREMENTAL_UTILITY* current();

  // data: the empty-partition flow is enabled (default false).
  bool is_empty_flow_enabled() const { return m_empty_flow; }
  void set_empty_flow_enabled(bool on) { m_empty_flow = on; }
  // recorded: hides the locked nodes from the placer-router.
  void hide_locked_nodes(void* filter);
  // recorded: shows them again.
  void show_locked_nodes(bool ok, bool flag);
  // recorded: creates the post-fit routing constraints; scripted, default true.
  bool create_postfit_rcf();
  // recorded: keeps the routing constraints for a retry.
  void save_rcf_for_retry();
  // recorded: applies changed post-fit probe assignments; the two flags say
  // whether the netlist and its ports changed (scripted under
  // "...:netlist_changed" and "...:ports_changed", default false); the
  // result is scripted, default true.
  bool process_postfit_tracelyn_assignments_if_necessary(bool* netlist_changed, bool* ports_changed);
  // recorded: probe connections are left for the router.
  void set_has_unrouted_postfit_tracelyn_connections(bool on);

  // ---- delay chains the reuse flow preserves (its own set, apart from the
  // modification check's)
  // data: whether the atom's delay chains may be changed (yes unless
  // preserve_delay_chains named it).
  bool allowed_to_optimize_delay_chain(const VOK_ATOM_NODE* atom) const;
  void preserve_delay_chains(int atom_id) { m_preserved_delay_chains.insert(atom_id); }
  // algorithm: whether some pin of the design's netlist may have its chains
  // changed.
  bool any_optimizable_delay_chains() const;

private:
  bool m_empty_flow = false;
  std::set<int> m_preserved_delay_chains;
};

// The incremental recompile's skip decision.
class HOST_API WEXAN_SWAVO_RECOMPILE_UTILITY {
public:
  // data: every partition can skip the fitter (default false;
  // host::wexan::set_all_partitions_can_skip_fitter).
  static bool all_partitions_can_skip_fitter();
  // recorded: keeps the routing for preservation in the next recompile.
  static void cache_routing_preservation(bool ok);
  // recorded: writes the recompile's reports.
  static void generate_swavo_recompile_reports(bool flag, bool legality);
  // data: the atom was taken over from the previous fit's netlist (default
  // none; host::wexan::set_pfit_netlist_atoms).
  static bool atom_from_pfit_netlist(unsigned atom_id);
};

class HOST_API WEXAN_MAC_LOCATION_CHECK {
public:
  // recorded: the MAC location check of the given phase ("first" / "last");
  // scripted, default true.
  static bool check_legality(WEXAN_ENV* env, const char* phase, bool flag);
  // recorded
  WEXAN_MAC_LOCATION_CHECK(WEXAN_ENV* env, const char* phase);
  virtual ~WEXAN_MAC_LOCATION_CHECK();
  // recorded: scripted, default true.
  bool work(bool flag);

private:
  const char* m_phase;
};

class HOST_API WEXAN_USER_ATOM_DUP {
public:
  explicit WEXAN_USER_ATOM_DUP(WEXAN_ENV* env);
  virtual ~WEXAN_USER_ATOM_DUP();
  // recorded: scripted, default true.
  bool work();
};

class HOST_API WEXAN_CHECK_LCELL_LEGALITY_OP {
public:
  explicit WEXAN_CHECK_LCELL_LEGALITY_OP(WEXAN_ENV* env);
  virtual ~WEXAN_CHECK_LCELL_LEGALITY_OP();
  // recorded: scripted, default true.
  bool check_netlist_lcells_prefit();
};

class HOST_API WEXAN_JOV_WIRELUT {
public:
  // recorded: constrains the wire LUTs of the family; scripted, default true.
  static bool constrain_wireluts(int internal_family_code);
  // recorded: back-annotates the routed wire LUTs.
  static void backannotate_wireluts();
  // recorded: wire-LUT insertion at partition boundaries, the completion of
  // dangling output and input ports and the ZOTA LUT-RAM wire LUTs of the
  // parent and child partitions; each scripted, default true.
  static bool insert_wireluts();
  static bool insert_wirelut_to_complete_dangling_output_ports_in_design(JOV_DESIGN* design);
  static bool insert_wirelut_to_complete_dangling_input_ports_in_design(JOV_DESIGN* design);
  static bool insert_wirelut_for_zota_lutram_parent_partition_in_design(JOV_DESIGN* design);
  static bool insert_wirelut_for_zota_lutram_child_partition_in_design(JOV_DESIGN* design);
};

// Base of the PLL delay-chain operation; the component derives from it.
#include "wexan/wexan_pll_delay_chains_op.h"

namespace host::wexan {
HOST_API void set_reuse_utility(bool present);
HOST_API void set_all_partitions_can_skip_fitter(bool on);
HOST_API void set_pfit_netlist_atoms(std::set<unsigned> atom_ids);
}  // namespace host::wexan
