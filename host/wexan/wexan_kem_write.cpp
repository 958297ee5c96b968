#include "common/host_call_log.h"
#include "kem/kem_manager.h"
#include "wexan/wexan_env.h"

bool WEXAN_ENV::write_out_kem_netlist(bool flag) {
  host::log_call("WEXAN_ENV::write_out_kem_netlist", flag);
  return KEM_MANAGER::get()->write_kem_netlist_to_disk();
}
