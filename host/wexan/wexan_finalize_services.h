#pragma once
// The environment's services the last fitter stage uses: device-data
// unloading, partial-reconfiguration and power bookkeeping, the design hash,
// the probe data and the netlist reuse utility. All recorded; answers are
// scripted (host::script names "<CLASS>::<member>").
#include "common/host_api.h"

class HOST_API WEXAN_UNLOAD {
public:
  static void unload_device_data(int level);
  static void reload_device_data(int level);
};

class HOST_API WEXAN_JOV_PR_UTILITY {
public:
  // data: the world's utility; null while host::wexan::set_pr_utility_absent.
  static WEXAN_JOV_PR_UTILITY* get_existing_instance();
  // recorded: the five post-fit operations, called in this order.
  void update_post_fit_partition_info();
  void update_post_fit_region_info();
  void update_post_fit_routing_info();
  void write_post_fit_pr_bitstream_info();
  void finish_post_fit_pr_processing();
};

class HOST_API WEXAN_DESIGN_HASH_UTILITY {
public:
  static void apply_design_hash();
};

class HOST_API WEXAN_ASD_UTILITY {
public:
  // data: the world's utility (made on first use); null while
  // host::wexan::set_asd_utility_absent.
  static WEXAN_ASD_UTILITY* get_instance();
  static void destroy();
  void start();
  void finish();
};

// The probe (Sondery) data of the design.
class HOST_API WEXAN_SONDERY {
public:
  void update_oterm_omz_instance_tappable_flags();
  // scripted "WEXAN_SONDERY::is_save_to_database", default false.
  bool is_save_to_database() const;
  void save_sondery_required_info();
};

// The netlist reuse (incremental) utility's post-fit probe handling.
class HOST_API WEXAN_NETLIST_REUSE_UTILITY {
public:
  // recorded: scripted result (default true) and the two change flags
  // ("...::changed_a", "...::changed_b", default false).
  bool process_postfit_tracelyn_assignments_if_necessary(bool* a, bool* b);
  void set_has_unrouted_postfit_tracelyn_connections(bool on);
};

namespace host::wexan {
HOST_API void set_pr_utility_absent(bool absent);
HOST_API void set_asd_utility_absent(bool absent);
// Whether the environment has a probe object / a netlist reuse utility
// (default: no probe object, a reuse utility).
HOST_API void set_has_sondery(bool on);
HOST_API void set_has_netlist_reuse_utility(bool on);
HOST_API WEXAN_SONDERY* sondery();
HOST_API WEXAN_NETLIST_REUSE_UTILITY* netlist_reuse_utility();
}  // namespace host::wexan
