#pragma once
// The environment's services the last fitter stage uses: device-data
// unloading, partial-reconfiguration and power bookkeeping, the design hash,
// and the probe data. All recorded; answers are
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
  // recorded: drops the utility and makes a new one (null while absent).
  static void destroy_instance();
  static WEXAN_JOV_PR_UTILITY* get_new_instance();
  // data: the partial-reconfiguration region of a routing gid (bit 31
  // ignored; 0, the static region, unless host::wexan::set_routing_region).
  unsigned get_region_of_routing_gid(unsigned gid) const;
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

namespace host::wexan {
HOST_API void set_pr_utility_absent(bool absent);
HOST_API void set_asd_utility_absent(bool absent);
// Whether the environment has a probe object (default: none).
HOST_API void set_has_sondery(bool on);
HOST_API WEXAN_SONDERY* sondery();
// The partial-reconfiguration region of a routing gid (bit 31 ignored).
HOST_API void set_routing_region(unsigned gid, unsigned region);
}  // namespace host::wexan
