#pragma once
// The fitter's stage driver: one process-wide object that lives from start-up
// to shut-down and carries the fitter's state from stage to stage. Every
// exported stage entry point fetches it with get() and calls the member of
// the same role.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gen/gen_profile.h"
#include "jov/jov_enum.h"

class CMP_FACADE;
class OMZ_NAMESPACE;
class KEM_TIMING_MODEL;
class VOK_ATOM_NETLIST;
class WEXAN_DESIGN;
class WEXAN_ENV;
class WEXAN_INCREMENTAL_UTILITY;
class WUMP_ROUTE_INFO;
enum MUVO_FLOW_TYPE : int;

// Opens a profiling bin of the component and closes it when the scope ends,
// also when an internal error unwinds through it.
class VELMO_SCOPED_PROFILE_BIN {
public:
  VELMO_SCOPED_PROFILE_BIN(const char* name, const char* tag) : m_name(name) {
    GEN_PROFILE_BINS::open_with_tag("VELMO", name, 2147483647, tag);
  }
  VELMO_SCOPED_PROFILE_BIN(const char* name, const char* group, const char* tag) : m_name(name) {
    GEN_PROFILE_BINS::open_with_tag("VELMO", name, 2147483647, group, tag);
  }
  ~VELMO_SCOPED_PROFILE_BIN() { GEN_PROFILE_BINS::close(m_name); }
  VELMO_SCOPED_PROFILE_BIN(const VELMO_SCOPED_PROFILE_BIN&) = delete;
  VELMO_SCOPED_PROFILE_BIN& operator=(const VELMO_SCOPED_PROFILE_BIN&) = delete;

private:
  const char* m_name;
};

class VELMO_EXPERT {
public:
  // The fitter-API library's factory and deleter.
  using FIT_API_FACTORY = void* (*)(WEXAN_ENV*);
  using FIT_API_DELETER = void (*)(void*);

  // ---- Singleton -------------------------------------------------------
  // Makes the expert; an expert that already exists is an internal error.
  static VELMO_EXPERT* create(CMP_FACADE* cmp, WEXAN_ENV* env);
  // The expert; internal error when there is none.
  static VELMO_EXPERT* get();
  static bool exists();
  // Destroys the expert if there is one.
  static void destroy();

  VELMO_EXPERT(CMP_FACADE* cmp, WEXAN_ENV* env);
  virtual ~VELMO_EXPERT();
  VELMO_EXPERT(const VELMO_EXPERT&) = delete;
  VELMO_EXPERT& operator=(const VELMO_EXPERT&) = delete;

  // Errors posted so far in the host's default message report (also before
  // any expert exists).
  static int get_num_errors_posted();

  bool is_eco_compile() const { return m_is_eco_compile; }
  bool skip_vpr() const { return m_skip_vpr; }
  CMP_FACADE* get_cmp() const { return m_cmp; }
  WEXAN_ENV* get_env() const { return m_env; }
  WEXAN_DESIGN* get_design() const { return m_design; }
  int get_num_errors_at_start() const { return m_num_errors_at_start; }
  // Written by start-up right after create().
  void set_num_errors_at_start(int n) { m_num_errors_at_start = n; }
  // Start of the fitter preparation (host clock seconds); 0 when none is
  // running. report_pre_vpr posts the preparation's end once and clears it.
  void set_prep_start_time(std::int64_t seconds) { m_prep_start_time = seconds; }
  std::int64_t get_prep_start_time() const { return m_prep_start_time; }

  // ---- Prefit steps ----------------------------------------------------
  bool check_constraint_legality();
  bool run_w3j3_prefit();
  bool translate_current_strengths();
  bool perform_port_translation_wrapper();
  bool perform_dangling_clock_routing_cleanup();
  bool perform_lutram_conversion();
  bool create_timing_netlist(int request, int invoke_mode, const std::vector<KEM_TIMING_MODEL>& models, bool b1,
                             bool b2, bool b3, bool b4);
  bool do_global_asgn_op(WEXAN_ENV* env);
  void set_location_listener();
  void clear_location_listener();
  bool perform_user_logic_duplication();
  bool process_macs_after_regpacking();
  bool process_ale_placement_legality();
  bool prepare_huv();
  bool perform_p2c();
  bool process_delay_chains_after_regpacking();
  bool merge_macs();
  bool check_netlist_legality();
  bool process_rams();
  bool process_l10_iopll_es_fix_legality();
  bool ground_unconnected_blackbox_inputs();
  bool lutrom_fixup_after_belq();
  bool run_resynthesis();

  // ---- Place stage -----------------------------------------------------
  bool place();
  bool place_pre_vpr();
  bool report_pre_vpr(bool result);
  bool run_vpr(bool do_place, bool do_route, bool do_finalize, bool do_fixup, MUVO_FLOW_TYPE flow);
  bool vpr_prelude(WEXAN_INCREMENTAL_UTILITY* iu);
  void vpr_postlude(bool ok, WEXAN_INCREMENTAL_UTILITY* iu);
  bool post_place_operation();
  bool run_post_place_operation();
  bool muvo_unit(const char* name);
  void write_back_tibex_locations_to_atoms();
  void unload_vpr();

  // ---- Design without device -------------------------------------------
  bool process_design_without_device();
  bool check_design_without_device();
  bool modify_design_without_device();

  // ---- Timing-netlist write-out ----------------------------------------
  bool write_out_kem_netlist(bool host_flag, bool force_write);

  // ---- Retime and Nimbrel ----------------------------------------------
  bool retime();
  bool nimbrel();
  bool do_retime();
  bool do_postfit_retime();
  bool mark_lutram_zota_ffs_no_touch_for_retimer();
  // Writes the timing netlist into the partition database as the Nimbrel
  // snapshot's view, leaving the database on "retimed".
  void write_nimbrel_view();

  // ---- Route stage -----------------------------------------------------
  bool route();
  bool global_route();
  bool do_post_route_ops(bool ok);
  void do_common_post_route_post_finalize_ops(bool ok);
  bool muvo_post_route_fixup_iter(bool first, bool unload, bool& result1, bool& result2);
  bool is_post_route_physical_synthesis_enabled(bool* muvo_run) const;
  bool post_route_physical_synthesis(bool muvo_run);
  int test_incremental_retiming();
  int test_incremental_resynthesis();

  // ---- Finalize and after ----------------------------------------------
  bool finalize();
  void report_success_or_failure(bool ok);
  void do_post_finalize_ops(bool ok);
  bool final_cleanup();
  // Whether logic cells are converted into logic modules after the fit
  // (configuration variable "do_lcell_to_lm_conversion", read when the
  // component is loaded).
  static bool s_do_lcell_to_lm_conversion;

  // ---- Post-fit checks -------------------------------------------------
  void check_and_report(bool check, bool legality);
  static int get_fanout_limit_for_special_cases(const WUMP_ROUTE_INFO& route_info, unsigned int id,
                                                bool starts_fabric);
  static bool analyze_fanout_violations(const WEXAN_ENV* env, bool assert_on_violation);
  bool final_lutram_check();
  bool final_p2c2p_zota_check();

  // ---- Debug dumps -----------------------------------------------------
  void dump_netlists(const std::string& variable, const std::string& tag);
  void dump_placement();
  void do_initial_debug_ops();
  bool debug_dump_info_and_maybe_stop_after_prefit();
  void generate_debug_xab_design_dump_file();
  void do_debug_drask();
  void dump_json_file_for_atom_netlist(VOK_ATOM_NETLIST* netlist, const char* path);
  // Compares an incremental timing update with a full one (when
  // "velmo_verify_incremental_hep" is on); differing results are an internal
  // error.
  static void verify_incremental_hep(WEXAN_ENV* env);

private:
  bool m_is_eco_compile = false;
  bool m_skip_vpr = false;
  CMP_FACADE* m_cmp = nullptr;
  WEXAN_ENV* m_env = nullptr;
  WEXAN_DESIGN* m_design = nullptr;
  std::int64_t m_prep_start_time = 0;
  int m_num_errors_at_start = 0;
  void* m_fit_api_lib = nullptr;
  FIT_API_FACTORY m_fit_api_factory = nullptr;
  FIT_API_DELETER m_fit_api_deleter = nullptr;
  void* m_fit_api = nullptr;

  static VELMO_EXPERT* s_expert;
  // Set once a resynthesis unit has begun the facade's flow; cleared when the
  // facade is unloaded and when the expert goes away.
  static bool s_muvo_is_initialized;
};

// Debug statistics of the pipeline registers of a netlist (no stage calls
// it).
void velmo_dump_zota_stats(VOK_ATOM_NETLIST* netlist);

// The design's current snapshot (the partition database's current design).
JOV_SNAPSHOT_BASE::ENUM get_jov_snapshot();
// Whether the early-access flow is forced for the current snapshot.
bool force_ky_ea_flow();

// Decides whether intermediate fitter snapshots are committed and posts the
// message that says so. velmo_write_intermediate_snapshot calls it once per
// process and keeps the answer.
std::pair<bool, std::string> velmo_write_intermediate_snapshot_and_report_reason_(const OMZ_NAMESPACE* ns,
                                                                                const std::string& command_line);

// Prepares the routing for the hold-fixing re-route of finalize: keeps the
// routing of the input terms the re-route must not touch and erases what
// serves only the others.
void spar_preamble();
// The timing models the retiming engine wants (asks a fresh engine utility).
std::vector<KEM_TIMING_MODEL> velmo_get_retimer_timing_models();
