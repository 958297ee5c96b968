#pragma once
// Moves the core registers that sit directly on a periphery-to-core (P2C) or
// core-to-periphery (C2P) transfer into the periphery's dedicated pipeline
// registers (depopulation through the retiming engine), and hands them back
// with the top-level port of each periphery terminal so that the engine
// re-creates them at the dedicated sites (repopulation). Built on the stack
// for one run.
#include <utility>
#include <vector>

#include "hov/hov_pulse_width.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_ops.h"

class R5T_INTERFACE;
class VOK_ATOM_ITERM;
class VOK_ATOM_NODE;
class VOK_ATOM_OTERM;
class WEXAN_ENV;
class YOS_INTERFACE;

class VELMO_DEDICATED_REPOPULATION_MGR {
public:
  // The result of the candidate test; the values order the warning summary.
  enum CANDIDATE_STATUS : int {
    NOT_A_CANDIDATE = 0,
    SECONDARY_SIGNAL = 1,
    DISCONNECTED = 2,
    MULTIPLE_FANOUT = 3,
    BOUNDARY_CROSSING = 4,
    CONFLICTING_ASSIGNMENTS = 5,
    DEPOPULATE = 6,
  };

  explicit VELMO_DEDICATED_REPOPULATION_MGR(WEXAN_ENV* env);
  VELMO_DEDICATED_REPOPULATION_MGR(const VELMO_DEDICATED_REPOPULATION_MGR&) = delete;
  VELMO_DEDICATED_REPOPULATION_MGR& operator=(const VELMO_DEDICATED_REPOPULATION_MGR&) = delete;

  // The whole run; false when depopulation or repopulation fails.
  bool work();
  bool depopulation();
  bool repopulation();

  // The candidate test; on DEPOPULATE the register is already recorded in
  // its candidate list and map and carries its "P2C_ZOTA" metadata.
  CANDIDATE_STATUS is_depop_p2c_ff_candidate(VOK_ATOM_NODE* atom);
  // Some input of the register is connected, not tied to ground and used
  // neither as clock nor as data input.
  bool has_secondary_signal(const VOK_ATOM_NODE* atom) const;
  // The register's forcing assignments (value 2).
  bool has_p2c_depopulation_moz_on(const VOK_ATOM_NODE* atom) const;
  bool has_c2p_depopulation_moz_on(const VOK_ATOM_NODE* atom) const;
  // Writes the register's pipeline-register delay-chain level: its own
  // assignment when it has one, else `setting` when that is not 0.
  void process_c2p_zota_delay_chain_setting(VOK_ATOM_NODE* atom, HOV_PULSE_WIDTH_ENUM setting);

  // What the run recorded (read by tests and by repopulation).
  const std::vector<VOK_ATOM_NODE*>& get_depopulated_atoms() const { return m_depopulated_atoms; }
  const std::vector<VOK_ATOM_NODE*>& get_p2c_candidates() const { return m_p2c_candidates; }
  const std::vector<VOK_ATOM_NODE*>& get_c2p_candidates() const { return m_c2p_candidates; }

private:
  CANDIDATE_STATUS p2c_or_c2p_test(VOK_ATOM_NODE* atom, bool c2p_forced, bool p2c_forced);
  CANDIDATE_STATUS c2p_test(VOK_ATOM_NODE* atom, bool c2p_forced);
  CANDIDATE_STATUS accept_p2c(VOK_ATOM_NODE* atom, VOK_ATOM_NODE* src_atom, VOK_ATOM_OTERM* src_oterm);
  void set_metadata(const VOK_ATOM_NODE* atom, const char* key, const char* value);

  bool m_verbose_debug;
  WEXAN_ENV* m_env;
  R5T_INTERFACE* m_r5t;
  YOS_INTERFACE* m_yos;
  std::vector<VOK_ATOM_NODE*> m_depopulated_atoms;
  std::vector<VOK_ATOM_NODE*> m_p2c_candidates;
  std::vector<VOK_ATOM_NODE*> m_c2p_candidates;
  ZMP_HASH_LITE<VOK_ATOM_NODE*, std::pair<VOK_ATOM_NODE*, VOK_ATOM_OTERM*>> m_candidate_to_p2c_periphery_atom_oterm_map;
  ZMP_HASH_LITE<VOK_ATOM_NODE*, std::pair<VOK_ATOM_NODE*, VOK_ATOM_ITERM*>> m_candidate_to_c2p_periphery_atom_iterm_map;
};
