// The fitter's stage driver singleton: creation, access, destruction, the
// fitter-API library it keeps loaded, and the expert-wide snapshot queries.
#include "velmo_expert.h"

#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "jov/jov_design.h"
#include "mem/mem_initializer.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "r5t/r5t_interface.h"
#include "thr/thr_drl.h"
#include "velmo_debug.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "xab/xab_dem.h"
#include "zel/zel_dev_zota_util.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}
}  // namespace

VELMO_EXPERT* VELMO_EXPERT::s_expert = nullptr;

// Read once when the component is loaded; finalize and the post-finalize
// operations decide on the LCELL-to-LM conversion with it.
bool VELMO_EXPERT::s_do_lcell_to_lm_conversion = cfg_is_on("do_lcell_to_lm_conversion", false);

// ---------------------------------------------------------------------------
// Singleton

VELMO_EXPERT* VELMO_EXPERT::create(CMP_FACADE* cmp, WEXAN_ENV* env) {
  if (exists()) l_internal_error("!exists()", __LINE__);
  // Stored only once construction has returned: a failed construction leaves
  // no partial expert behind.
  VELMO_EXPERT* expert = new VELMO_EXPERT(cmp, env);
  s_expert = expert;
  return s_expert;
}

VELMO_EXPERT* VELMO_EXPERT::get() {
  if (!exists()) l_internal_error("exists()", __LINE__);
  return s_expert;
}

bool VELMO_EXPERT::exists() { return s_expert != nullptr; }

void VELMO_EXPERT::destroy() {
  if (!s_expert) return;
  VELMO_EXPERT* expert = s_expert;
  s_expert = nullptr;
  delete expert;
}

int VELMO_EXPERT::get_num_errors_posted() { return msg_get_default_report()->get_error_count(); }

VELMO_EXPERT::VELMO_EXPERT(CMP_FACADE* cmp, WEXAN_ENV* env) : m_cmp(cmp), m_env(env) {
  m_prep_start_time = 0;
  m_num_errors_at_start = 0;
  VELMO_SCOPED_PROFILE_BIN bin("VELMO_EXPERT::VELMO_EXPERT", "Prefit - Other");

  if (!m_env) l_internal_error("m_env != NULL", __LINE__);
  m_design = m_env->get_design();
  if (!m_design) l_internal_error("m_design != NULL", __LINE__);

  m_is_eco_compile = m_env->get_eco()->is_eco_compile();
  m_skip_vpr = m_is_eco_compile ? m_env->get_eco()->eco_skip_vpr() : false;

  // A missing facade would be dereferenced by the checks below.
  if (!m_cmp) l_internal_error("m_cmp != NULL", __LINE__);
  if (m_cmp->m_fitter_exit_after_preprocess) l_internal_error("!m_cmp->m_fitter_exit_after_preprocess", __LINE__);
  if (m_cmp->m_fitter_exit_after_placement) l_internal_error("!m_cmp->m_fitter_exit_after_placement", __LINE__);
  if (m_cmp->is_write_fitter_post_operations_database())
    l_internal_error("!m_cmp->is_write_fitter_post_operations_database()", __LINE__);
  if (m_cmp->is_fitter_post_operations_only()) l_internal_error("!m_cmp->is_fitter_post_operations_only()", __LINE__);

  msg_vdebug_impl(2, "***** VELMO_EXPERT is dynamically loading GOVIN *****");
  m_fit_api_lib = thr_drl_load("fitter_govin");
  if (!m_fit_api_lib) l_internal_error(thr_drl_get_error(), __LINE__);

  // The destructor does not run for a constructor that fails: whatever the
  // library gave is handed back here before the error travels on.
  try {
    m_fit_api_factory = reinterpret_cast<FIT_API_FACTORY>(thr_drl_find_function(m_fit_api_lib, "govin_wexan_factory"));
    if (!m_fit_api_factory) l_internal_error(thr_drl_get_error(), __LINE__);
    m_fit_api_deleter = reinterpret_cast<FIT_API_DELETER>(thr_drl_find_function(m_fit_api_lib, "govin_delete_govin"));
    if (!m_fit_api_deleter) l_internal_error(thr_drl_get_error(), __LINE__);

    m_fit_api = m_fit_api_factory(env);
    if (!m_fit_api) l_internal_error("m_fit_api != 0", __LINE__);

    if (!R5T_INTERFACE::get_or_create_instance()) l_internal_error("Could not create R5T interface", __LINE__);
  } catch (...) {
    if (m_fit_api && m_fit_api_deleter) m_fit_api_deleter(m_fit_api);
    m_fit_api = nullptr;
    thr_drl_unload(m_fit_api_lib);
    m_fit_api_lib = nullptr;
    throw;
  }
}

VELMO_EXPERT::~VELMO_EXPERT() {
  s_muvo_is_initialized = false;
  XAB_DEM::shutdown();
  if (m_fit_api_deleter) m_fit_api_deleter(m_fit_api);
  m_fit_api = nullptr;
  if (m_fit_api_lib) thr_drl_unload(m_fit_api_lib);
  m_fit_api_lib = nullptr;
}

// ---------------------------------------------------------------------------
// Snapshot queries

JOV_SNAPSHOT_BASE::ENUM get_jov_snapshot() {
  JOV_DESIGN* design = JOV_ROOT::get()->get_design("");
  std::string str = design ? design->get_current_snapshot_str() : std::string();
  if (str.empty()) l_internal_error("!str.empty()", __LINE__);
  int n = 0;
  const char* const* names = JOV_SNAPSHOT_BASE::get_strings_and_size(&n);
  for (int i = 0; i < n; ++i)
    if (str == names[i]) return static_cast<JOV_SNAPSHOT_BASE::ENUM>(i);
  // No name matches: the enumeration's own parser reports the text.
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot;
  snapshot.set_from_str(str, true);
  return snapshot.get_value();
}

bool force_ky_ea_flow() {
  JOV_SNAPSHOT_BASE::ENUM s = get_jov_snapshot();
  if (s == JOV_SNAPSHOT_BASE::NIMBREL) return cfg_is_on("fit_nmc_force_ea_flow", true);
  if (s > JOV_SNAPSHOT_BASE::ROUTED) return ZEL_DEV_ZOTA_UTIL::is_zento_retimer_debugging_flow_enabled();
  return false;
}
