#include "velmo_lutram_conversion.h"

#include "cfg/cfg.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vinto/vinto_ram_manager.h"
#include "wexan/wexan_env.h"

namespace {
// The family whose LUT-RAMs are converted during RAM clustering.
constexpr int kClusteringFamily = 48;
// The family that gets the RAM power optimisation.
constexpr int kPowerOptFamily = 26;
}  // namespace

VELMO_LUTRAM_CONVERSION_MGR::VELMO_LUTRAM_CONVERSION_MGR(WEXAN_ENV* env)
    : m_env(env), m_at_plan(cfg_is_on("velmo_perform_lutram_conversion_at_plan", true)) {}

VELMO_LUTRAM_CONVERSION_MGR::~VELMO_LUTRAM_CONVERSION_MGR() = default;

bool VELMO_LUTRAM_CONVERSION_MGR::work() {
  VELMO_SCOPED_PROFILE_BIN bin("Lutram Conversion", nullptr);
  bool skip = false;
  if (m_at_plan) {
    if (m_env->get_base_family_code() == kClusteringFamily) {
      skip = true;
      msg_vdebug_impl(2,
                      "For vintrel, Skipping lutram conversion in plan, will run it during ram clustering in place "
                      "stage");
    }
  } else {
    skip = true;
    msg_vdebug_impl(2, "Skipping lutram conversion in plan, will run it during ram clustering in place stage");
  }

  static const bool s_perform_kz_ram_power_opt = cfg_is_on("velmo_perform_kz_ram_power_opt", true);

  VINTO ram_manager;
  bool result = skip ? true : ram_manager.perform_lutram_conversion(m_env);
  if (s_perform_kz_ram_power_opt && m_env->get_base_family_code() == kPowerOptFamily && m_env->hov_is_on() && result)
    result = ram_manager.perform_ram_power_opt(m_env);
  return result;
}
