// The resynthesis driver is not part of this build yet: it says so on the
// debug output and reports that it had nothing to do.
#include "velmo_resyn.h"

#include "velmo_debug.h"
#include "velmo_expert.h"

bool VELMO_RESYN_WRAPPER::run(CMP_FACADE*, WEXAN_ENV*, int) {
  msg_vdebug_impl(2, "VELMO_RESYN_WRAPPER::run: not built yet");
  return true;
}

bool VELMO_EXPERT::run_resynthesis() { return VELMO_RESYN_WRAPPER::run(m_cmp, m_env, 0); }
