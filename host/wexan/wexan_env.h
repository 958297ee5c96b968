#pragma once
// The fitter environment: made by the component at start-up with the compiler
// facade, it becomes the process-wide environment until it is deleted.
#include <cstdint>
#include <set>
#include <vector>

#include "common/host_api.h"
#include "kem/kem_timing_model.h"

namespace JUK {
template <class ID, class T> class FOREST;
}

class CMP_FACADE;
class WEXAN_HOV_UTILITY;
class VOK_ATOM_NETLIST;
class VOK_CHIP_DB_ENTRY;
class WEXAN_ENV;
class WEXAN_DESIGN;
class WEXAN_BOUNDARY_PORT_MANAGER;
class TIBEX_ZARTO_REGION_LIST;
class WEXAN_ECO;
class WEXAN_REGISTER_PACKING_HINTS_FOR_VPR;
class NOLT_ATOM_DUP_UTILITY;
class NOLT_LUT_RAM_CONVERSION_UTIL;
class HOV_ATOM_NETLIST_TAINT_MANAGER;
class YUN_ENV;
class VOK_CHIP_DB_ENTRY;
class WEXAN_DEVICE;
class WEXAN_ATOM_MOD_DRC;
class WEXAN_PIZ_TABLE;
class SIV_ATOM_MOD_UTILITY;
class WEXAN_SONDERY;
class WEXAN_INCREMENTAL_UTILITY;
class VOK_RE_ROUTING_INCREMENTAL_DB;
class VOK_ATOM_NODE;

// The host's device factory, handed to the environment's constructor.
using WEXAN_DEVICE_FACTORY_FN = void* (*)(WEXAN_ENV*);
HOST_API void* nolt_device_factory_fn(WEXAN_ENV* env);

class HOST_API WEXAN_ENV {
public:
  // recorded: makes this the process-wide environment.
  WEXAN_ENV(CMP_FACADE* cmp, int flags, WEXAN_DEVICE_FACTORY_FN device_factory);
  // recorded: frees register-packing hints still held; the process-wide
  // environment becomes null.
  virtual ~WEXAN_ENV();
  WEXAN_ENV(const WEXAN_ENV&) = delete;
  WEXAN_ENV& operator=(const WEXAN_ENV&) = delete;

  // data: the process-wide environment (null outside a fitter run).
  static WEXAN_ENV* get_env();
  // data: the boundary-port manager when partitions are managed, else null
  // (host::wexan::set_boundary_port_manager).
  WEXAN_BOUNDARY_PORT_MANAGER* get_boundary_port_manager() const;

  // data: the probe object (null unless host::wexan::set_has_sondery).
  WEXAN_SONDERY* get_sondery() const;

  // data: the compiler facade given to the constructor.
  CMP_FACADE* get_cmp() const { return m_cmp; }
  // data: the design's top-level atom netlist.
  VOK_ATOM_NETLIST* get_atom_netlist() const;
  // data: the chip database entry holding the design's routing (the
  // world's; never null).
  VOK_CHIP_DB_ENTRY* get_chip_db_entry() const;
  // data: the fitter design (the world's; never null).
  WEXAN_DESIGN* get_design() const;
  // data: the placement (Tarnbay) regions; null when the design has none.
  TIBEX_ZARTO_REGION_LIST* get_zarto_region_list() const;
  // data: the engineering-change-order state (the world's; never null).
  WEXAN_ECO* get_eco() const;
  // data: the device view (never null).
  WEXAN_DEVICE* get_device() const;
  // data: the atom-modification design-rule check (never null).
  WEXAN_ATOM_MOD_DRC* get_atom_mod_drc() const;
  // recorded: a new atom-modification utility for the algorithm, writing
  // its rows into `table` when given; the caller owns it.
  SIV_ATOM_MOD_UTILITY* create_atom_mod_utility_for_algorithm(int algorithm, WEXAN_PIZ_TABLE* table);
  // data: the environment's own utility for edits made for no particular
  // algorithm (SIV_ATOM_MOD_UTILITY::ALGORITHM_INDEPENDENT, no table): made
  // on first use, kept and deleted by the environment; never null.
  SIV_ATOM_MOD_UTILITY* get_algorithm_independent_amu();
  // recorded: reports the fitter's progress (percent) to the compiler.
  void report_fitter_status(int percent, int flag);
  // data: the incremental (netlist-reuse) utility; present unless a test
  // removes it (host::wexan::set_reuse_utility(false)).
  WEXAN_INCREMENTAL_UTILITY* get_netlist_reuse_utility() const;
  // recorded: builds the user-to-block port model; scripted, default true.
  bool run_w3j3_prefit();
  // data: codes of the configured device's family.
  int get_base_family_code() const;
  int get_internal_family_code() const;

  // recorded: taints the atom (or, with id -1, the whole netlist) for the
  // next timing rebuild (the taint manager's record).
  void indicate_that_atom_netlist_is_modified(int atom_id = -1, bool flag1 = false, bool flag2 = false);
  // data: the timing-tainting switch (default on); while off, the call
  // above leaves the taint record alone.
  void set_hov_tainting_enabled(bool on);
  bool is_hov_tainting_enabled() const { return m_hov_tainting_enabled; }

  // ---- timing
  // data: whether timing-driven compile is on (host::hov::set_on).
  bool hov_is_on() const;
  // recorded + algorithm: the timing utility, built or refreshed as the
  // request says: 0 brings the timing netlist up to date with the taints,
  // 2 reads the current snapshot's disk copy when there is no netlist in
  // memory (else like 0). The models come as a timing-model set (0 slow
  // only; 5 and 6 the part's default corners) or as a list. Every argument
  // is recorded; the forest and the flags do not change the result. Never
  // null.
  WEXAN_HOV_UTILITY* get_hov_utility_or_create_if_necessary(int request, int invoke_mode, int model_set, bool b1,
                                                            bool b2, bool b3, bool b4, JUK::FOREST<int, int>* forest,
                                                            bool b5, bool b6);
  WEXAN_HOV_UTILITY* get_hov_utility_or_create_if_necessary(int request, int invoke_mode,
                                                            std::vector<KEM_TIMING_MODEL> models, bool b1, bool b2,
                                                            bool b3, bool b4, JUK::FOREST<int, int>* forest, bool b5,
                                                            bool b6);
  // data: the timing utility, or null when none was made (or it was
  // deleted).
  WEXAN_HOV_UTILITY* get_hov_utility_ptr() const;
  // recorded: deletes the timing utility (the timing netlist stays with
  // KEM_MANAGER).
  void delete_hov_utility_completely();
  // data: no taint since the timing netlist was last brought up to date.
  bool hov_utility_reflects_atom_netlist_exactly() const;
  // recorded: writes the timing (KEM) netlist of the current snapshot to
  // disk through KEM_MANAGER; the flag is only recorded. True when written.
  bool write_out_kem_netlist(bool flag);
  // recorded: re-reads the Tarnbay region constraints; scripted, default true.
  bool clear_and_reload_tarnbay_constraints();

  // data: the atom duplication and LUT-RAM conversion utilities lent to the
  // environment. Setting records a lend ("WEXAN_ENV::set_<slot>(ptr)"),
  // setting null a take-back.
  static void set_atom_dup_util(NOLT_ATOM_DUP_UTILITY* util);
  static NOLT_ATOM_DUP_UTILITY* get_atom_dup_util();
  static void set_lut_ram_conversion_util(NOLT_LUT_RAM_CONVERSION_UTIL* util);
  static NOLT_LUT_RAM_CONVERSION_UTIL* get_lut_ram_conversion_util();

  // data: the register-packing hints slot. Once stored the environment owns
  // the hints; free deletes them (recorded) and empties the slot.
  WEXAN_REGISTER_PACKING_HINTS_FOR_VPR* get_register_packing_hints_for_vpr() const;
  void set_register_packing_hints_for_vpr(WEXAN_REGISTER_PACKING_HINTS_FOR_VPR* hints);
  void free_register_packing_hints_for_vpr();

  // recorded: sets the device factory function.
  static void set_wexan_device_factory_fn(WEXAN_DEVICE_FACTORY_FN fn);
  // data: the device factory function.
  static WEXAN_DEVICE_FACTORY_FN get_wexan_device_factory_fn();

  // ---- retiming and the port model
  // recorded: rebuilds the user-to-block port model when the taint manager
  // says the netlist changed.
  void run_w3j3(HOV_ATOM_NETLIST_TAINT_MANAGER* taints);
  // recorded + algorithm: the port model brought up to date, then the
  // atoms the taints stand for into `atoms`: every atom of the netlist after
  // a global taint, else the tainted atoms that still exist, by id.
  void run_w3j3_and_expand_taint_list(HOV_ATOM_NETLIST_TAINT_MANAGER* taints, std::vector<VOK_ATOM_NODE*>* atoms);
  // recorded: the post-fit port model.
  void run_w3j3_postfit();
  // recorded: the port model rebuilt, incrementally for the locations (and
  // the routing change record, when given) or in full; `out` (may be null)
  // is left alone.
  void run_w3j3(bool incremental, const std::set<int>& locations, const std::set<int>& more_locations,
                VOK_RE_ROUTING_INCREMENTAL_DB* changes, std::set<int>* out);
  // data: set after the hold-fix re-route (by the stage driver and the
  // delay annotation that follows it).
  void set_post_spar_flag(bool on) { m_post_spar = on; }
  bool get_post_spar_flag() const { return m_post_spar; }
  // recorded + algorithm: rebuilds the tainted part of the timing netlist
  // and updates its analysis (nothing without a timing netlist); the call is
  // recorded with the re-route's changed-atom list as it is then.
  void incremental_taint_rebuild();
  // data: the retiming environment of the early retiming flow; null unless
  // one was made (host::wexan::set_yun_env).
  YUN_ENV* get_yun_env() const;
  // data: the pipeline-register flag (set before the timing netlist or port
  // model is rebuilt on a ZOTA device; read by the host).
  void set_pipeline_register_flag(bool on) { m_pipeline_register_flag = on; }
  bool get_pipeline_register_flag() const { return m_pipeline_register_flag; }

  // data: the ZOTA state byte, set and cleared by the stage driver at fixed
  // points of the route, retime and finalize stages; read by the host.
  std::uint8_t m_zota_state = 0;

private:
  bool m_pipeline_register_flag = false;
  bool m_post_spar = false;
  bool m_hov_tainting_enabled = true;
  CMP_FACADE* m_cmp;
  int m_flags;
};

namespace host::wexan {
// The retiming environment WEXAN_ENV::get_yun_env answers (not owned).
HOST_API void set_yun_env(YUN_ENV* env);
}  // namespace host::wexan
