#include "tibex/tibex_env.h"

#include "common/host_call_log.h"
#include "common/host_lent.h"
#include "common/host_world.h"

namespace {
struct TIBEX_STATE {
  CMP_FACADE* cmp = nullptr;
};
}  // namespace

void TIBEX_ENV::set_cmp_facade(CMP_FACADE* cmp) {
  host::log_call("TIBEX_ENV::set_cmp_facade", cmp);
  host_world_slot<TIBEX_STATE>().cmp = cmp;
}

CMP_FACADE* TIBEX_ENV::get_cmp_facade() { return host_world_slot<TIBEX_STATE>().cmp; }

bool TIBEX_ENV::has_allocated_interface_objects() { return !host::lent().empty(); }
