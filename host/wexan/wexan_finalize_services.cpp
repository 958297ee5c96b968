#include "wexan/wexan_finalize_services.h"

#include <memory>

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"

namespace {
struct WEXAN_FINALIZE_STATE {
  WEXAN_JOV_PR_UTILITY pr;
  bool pr_absent = false;
  std::unique_ptr<WEXAN_ASD_UTILITY> asd;
  bool asd_absent = false;
  WEXAN_SONDERY sondery;
  bool has_sondery = false;
};
WEXAN_FINALIZE_STATE& l_state() { return host_world_slot<WEXAN_FINALIZE_STATE>(); }
}  // namespace

void WEXAN_UNLOAD::unload_device_data(int level) { host::log_call("WEXAN_UNLOAD::unload_device_data", level); }
void WEXAN_UNLOAD::reload_device_data(int level) { host::log_call("WEXAN_UNLOAD::reload_device_data", level); }

WEXAN_JOV_PR_UTILITY* WEXAN_JOV_PR_UTILITY::get_existing_instance() {
  return l_state().pr_absent ? nullptr : &l_state().pr;
}
void WEXAN_JOV_PR_UTILITY::destroy_instance() { host::log_call("WEXAN_JOV_PR_UTILITY::destroy_instance"); }
WEXAN_JOV_PR_UTILITY* WEXAN_JOV_PR_UTILITY::get_new_instance() {
  host::log_call("WEXAN_JOV_PR_UTILITY::get_new_instance");
  l_state().pr = WEXAN_JOV_PR_UTILITY();
  return get_existing_instance();
}
void WEXAN_JOV_PR_UTILITY::update_post_fit_partition_info() {
  host::log_call("WEXAN_JOV_PR_UTILITY::update_post_fit_partition_info");
}
void WEXAN_JOV_PR_UTILITY::update_post_fit_region_info() {
  host::log_call("WEXAN_JOV_PR_UTILITY::update_post_fit_region_info");
}
void WEXAN_JOV_PR_UTILITY::update_post_fit_routing_info() {
  host::log_call("WEXAN_JOV_PR_UTILITY::update_post_fit_routing_info");
}
void WEXAN_JOV_PR_UTILITY::write_post_fit_pr_bitstream_info() {
  host::log_call("WEXAN_JOV_PR_UTILITY::write_post_fit_pr_bitstream_info");
}
void WEXAN_JOV_PR_UTILITY::finish_post_fit_pr_processing() {
  host::log_call("WEXAN_JOV_PR_UTILITY::finish_post_fit_pr_processing");
}

void WEXAN_DESIGN_HASH_UTILITY::apply_design_hash() { host::log_call("WEXAN_DESIGN_HASH_UTILITY::apply_design_hash"); }

WEXAN_ASD_UTILITY* WEXAN_ASD_UTILITY::get_instance() {
  WEXAN_FINALIZE_STATE& st = l_state();
  if (st.asd_absent) return nullptr;
  if (!st.asd) st.asd = std::make_unique<WEXAN_ASD_UTILITY>();
  return st.asd.get();
}
void WEXAN_ASD_UTILITY::destroy() {
  host::log_call("WEXAN_ASD_UTILITY::destroy");
  l_state().asd.reset();
}
void WEXAN_ASD_UTILITY::start() { host::log_call("WEXAN_ASD_UTILITY::start"); }
void WEXAN_ASD_UTILITY::finish() { host::log_call("WEXAN_ASD_UTILITY::finish"); }

void WEXAN_SONDERY::update_oterm_omz_instance_tappable_flags() {
  host::log_call("WEXAN_SONDERY::update_oterm_omz_instance_tappable_flags");
}
bool WEXAN_SONDERY::is_save_to_database() const {
  return host::script::next<bool>("WEXAN_SONDERY::is_save_to_database", false);
}
void WEXAN_SONDERY::save_sondery_required_info() { host::log_call("WEXAN_SONDERY::save_sondery_required_info"); }


namespace host::wexan {
void set_pr_utility_absent(bool absent) { l_state().pr_absent = absent; }
void set_asd_utility_absent(bool absent) { l_state().asd_absent = absent; }
void set_has_sondery(bool on) { l_state().has_sondery = on; }
WEXAN_SONDERY* sondery() { return l_state().has_sondery ? &l_state().sondery : nullptr; }
}  // namespace host::wexan
