#pragma once
// Early (prefit) retiming, pipeline-register (ZOTA) depopulation and
// repopulation: the operations the plan, place, route-stage and finalize
// steps call.
#include <list>
#include <vector>

#include "velmo_export.h"
#include "yun/yun_utility.h"

class CMP_FACADE;
class VOK_RE_ROUTING_MODIFIER;
class WEXAN_DESIGN;
class WEXAN_ENV;

// Stateless: every operation builds what it needs on the stack.
class VELMO_API VELMO_RETIMER {
public:
  // Forced early depopulation of registers into ZOTA registers.
  static bool force_depop_ffs_for_zota(WEXAN_ENV* env);
  // Report of the registers that cannot become ZOTA registers.
  static bool generate_zento_reg_restriction_report(WEXAN_ENV* env);
  // Periphery-core transfer registers into the dedicated ZOTA registers.
  static bool dedicated_depop_repop_for_p2c2p_zota(WEXAN_ENV* env);
  // Register duplication ahead of early retiming.
  static void dup_regs_for_retiming(WEXAN_ENV* env);
  // The early (prefit) retiming flow; false stops the caller's chain.
  static bool run_prefit_early_retiming_flow(WEXAN_ENV* env);
  // The flow's work: input disconnection, register duplication and the
  // engine's retiming; `hov_rebuilt` becomes true when the timing utility
  // was rebuilt.
  static bool run_early_retiming_flow(WEXAN_ENV* env, const YUN_UTILITY::ITERM_SET& first,
                                      const YUN_UTILITY::ITERM_SET& second, bool& hov_rebuilt, bool run_retimer,
                                      bool hack_ce_aclr, bool pre_dup_regs);
  // Takes the atoms the retiming changed into the design.
  static void update_atoms_after_early_retime(WEXAN_DESIGN* design, const std::list<VOK_ATOM_NODE*>& atoms, bool flag);
  // The engine's retiming candidates (for the host).
  static bool collect_candidate_list(CMP_FACADE* cmp, WEXAN_ENV* env, std::vector<VOK_ATOM_NODE*>& out);
  // Depopulates the pipeline registers for retiming; false stops the chain.
  static bool depopulate_netlist_for_retiming_flow(CMP_FACADE* cmp, WEXAN_ENV* env);
  // Merges equivalent ZOTA-marked registers on each output term.
  static void retimer_merge_zotas(WEXAN_ENV* env);
  // The netlist changes for ZOTA depopulation and repopulation.
  static bool retimer_prep_update_netlist_for_depopulation(bool repopulate, WEXAN_ENV* env);
  // Re-creates the UIB/ESRAM core-to-periphery registers (unplaced) for the
  // periphery-core placement.
  static void dedicated_repopulate_uib_esram_c2p_core_atoms(WEXAN_ENV* env, VOK_RE_ROUTING_MODIFIER& modifier);
};
