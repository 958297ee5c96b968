#pragma once
// The retiming engine's interfaces, implemented by libzarn_yun.so and by the
// component's adaptor.
#include <list>
#include <string>
#include <vector>

#include "common/host_api.h"
#include "kem/kem_timing_model.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_hash_set_lite_sys.h"
#include "zmp_ops.h"

class CMP_FACADE;
class SIV_ATOM_MOD_UTILITY;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_RE_ROUTING_MODIFIER;
class HOV_ATOM_NETLIST_TAINT_MANAGER;
class PIZ_TABLE;

// The fitter as the engine sees it. The component implements it; the engine
// keeps the pointer for the utility's whole life.
class HOST_API YUN_ENV {
public:
  // The settings the engine asks for.
  enum BOOL_DATA : int {
    EXPAND_LABS = 0,          // expand LABs in the timing netlist for the retimer
    SPAR_FLOW_RETIMED = 1,    // SPAR flow, retime stage
    SPAR_FLOW_FINAL = 2,      // SPAR flow, final snapshot
  };

  virtual ~YUN_ENV();
  virtual CMP_FACADE* get_cmp_facade() = 0;
  virtual VOK_ATOM_NETLIST* get_atom_netlist() = 0;
  virtual SIV_ATOM_MOD_UTILITY* get_atom_mod_utility() = 0;
  virtual bool get_bool_data(BOOL_DATA d) const = 0;
  virtual bool copy_atom_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, bool a, bool b) = 0;
};

// The engine's utility, made by the library's factory and owned by the
// caller (live counter "yun_utility").
class HOST_API YUN_UTILITY {
public:
  YUN_UTILITY();
  virtual ~YUN_UTILITY();
  YUN_UTILITY(const YUN_UTILITY&) = delete;
  YUN_UTILITY& operator=(const YUN_UTILITY&) = delete;

  // One retiming run over the environment's netlist; true on success.
  virtual bool retime() = 0;
  // Appends the timing models the engine needs to `models`.
  virtual void get_timing_models(std::vector<KEM_TIMING_MODEL>& models) = 0;

  // ---- pipeline-register (ZOTA) operations
  using ITERM_SET = ZMP_HASH_SET_LITE<const VOK_ATOM_ITERM*>;
  using ATOM_LIST = std::list<VOK_ATOM_NODE*>;
  using PORT_GID_MAP = ZMP_HASH_LITE<VOK_ATOM_NODE*, unsigned>;
  // Retimes the netlist around the two input-term sets; the atoms it
  // changed go to `changed`. True on success.
  virtual bool retime(const ITERM_SET& first, const ITERM_SET& second, ATOM_LIST& changed) = 0;
  // Depopulates every unlocked ZOTA-marked register.
  virtual bool depopulate_netlist(HOV_ATOM_NETLIST_TAINT_MANAGER* taints) = 0;
  // Fills `out` with the retiming candidates.
  virtual bool collect_candidates(HOV_ATOM_NETLIST_TAINT_MANAGER* taints, ATOM_LIST& out) = 0;
  // Writes the register restrictions into `table`.
  virtual void fill_register_restriction_table(PIZ_TABLE* table) = 0;
  // Takes the registers out of the core: each stays in the netlist
  // ZOTA-marked and unplaced, for the placer to put into a pipeline slot.
  virtual bool depopulate_registers(const std::vector<VOK_ATOM_NODE*>& registers,
                                    HOV_ATOM_NETLIST_TAINT_MANAGER* taints) = 0;
  // Re-creates every depopulated register as a placed register at its slot;
  // the new atoms go to `out`. False when one has no slot.
  virtual bool repopulate(ATOM_LIST& out) = 0;
  // Places the periphery-transfer registers at the slots of their ports.
  virtual bool repopulate_periphery_transfer_registers(const std::vector<VOK_ATOM_NODE*>& p2c,
                                                       const PORT_GID_MAP& p2c_ports,
                                                       const std::vector<VOK_ATOM_NODE*>& c2p,
                                                       const PORT_GID_MAP& c2p_ports) = 0;
  // Re-creates the registers unplaced; returns the new atoms.
  virtual ATOM_LIST repopulate_uib_esram_c2p_registers(const ATOM_LIST& registers,
                                                       VOK_RE_ROUTING_MODIFIER& modifier) = 0;
  // Called before a repopulation.
  virtual void prepare_repopulation() = 0;
};

using YUN_UTILITY_FACTORY_FN = YUN_UTILITY* (*)(YUN_ENV*);

namespace host::yun {
// data: why the engine's last failed operation failed, in words a user
// reads ("" when none failed since the last take_failure or reset). Taken,
// it is cleared.
HOST_API void note_failure(const std::string& why);
HOST_API std::string take_failure();
}  // namespace host::yun
