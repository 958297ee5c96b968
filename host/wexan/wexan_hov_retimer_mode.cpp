#include "wexan/wexan_hov_retimer_mode.h"

#include "common/host_call_log.h"
#include "kem/kem_manager.h"

WEXAN_HOV_RETIMER_MODE::WEXAN_HOV_RETIMER_MODE() {
  host::log_call("WEXAN_HOV_RETIMER_MODE::WEXAN_HOV_RETIMER_MODE");
  KEM_MANAGER::get()->set_retimer_mode_active(true);
}

WEXAN_HOV_RETIMER_MODE::~WEXAN_HOV_RETIMER_MODE() {
  host::log_call("WEXAN_HOV_RETIMER_MODE::~WEXAN_HOV_RETIMER_MODE");
  KEM_MANAGER::get()->set_retimer_mode_active(false);
}
