#include "wexan/wexan_env.h"

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "dev/dev_family.h"
#include "vok/vok_atom_netlist.h"

namespace {
struct WEXAN_STATE {
  WEXAN_ENV* env = nullptr;
  WEXAN_DEVICE_FACTORY_FN device_factory = nullptr;
};
WEXAN_STATE& state() { return host_world_slot<WEXAN_STATE>(); }
}  // namespace

void* nolt_device_factory_fn(WEXAN_ENV*) { return nullptr; }

WEXAN_ENV::WEXAN_ENV(CMP_FACADE* cmp, int flags, WEXAN_DEVICE_FACTORY_FN device_factory)
    : m_cmp(cmp), m_flags(flags) {
  host::log_call("WEXAN_ENV::WEXAN_ENV", cmp, flags, device_factory);
  state().env = this;
  state().device_factory = device_factory;
}

WEXAN_ENV::~WEXAN_ENV() {
  host::log_call("WEXAN_ENV::~WEXAN_ENV");
  if (state().env == this) state().env = nullptr;
}

WEXAN_ENV* WEXAN_ENV::get_env() { return state().env; }

VOK_ATOM_NETLIST* WEXAN_ENV::get_atom_netlist() const { return host::vok::top_netlist(); }

int WEXAN_ENV::get_base_family_code() const { return host::device::base_family_code(); }
int WEXAN_ENV::get_internal_family_code() const { return host::device::internal_family_code(); }

void WEXAN_ENV::set_wexan_device_factory_fn(WEXAN_DEVICE_FACTORY_FN fn) {
  host::log_call("WEXAN_ENV::set_wexan_device_factory_fn", fn);
  state().device_factory = fn;
}

WEXAN_DEVICE_FACTORY_FN WEXAN_ENV::get_wexan_device_factory_fn() { return state().device_factory; }
