// Post-route incremental resynthesis comes with a later part of the fitter;
// until then its test entry says so and reports that it had nothing to do.
#include "velmo_eco_tcl.h"

#include "msg/msg_internal_error.h"
#include "velmo_debug.h"
#include "wexan/wexan_env.h"

int VELMO_ECO_TCL::test_incremental_resynthesis() {
  if (WEXAN_ENV::get_env() == nullptr) MSG_INTERNAL_ERROR::report("m_env", "VELMO", "velmo_irsyn_test", __LINE__);
  msg_vdebug_impl(2, "VELMO_ECO_TCL::test_incremental_resynthesis: not built yet");
  return 1;
}
