#include "nolt/nolt_utilities.h"

#include "common/host_call_log.h"
#include "common/host_script.h"
#include "common/host_world.h"
#include "dev/dev_family.h"
#include "thr/thr_drl.h"
#include "wexan/wexan_env.h"

namespace {
struct NOLT_STATE {
  WEXAN_ENV* bin_env = nullptr;
};
}  // namespace

void nolt_bin_set_env(WEXAN_ENV* env) {
  host::log_call("nolt_bin_set_env", env);
  host_world_slot<NOLT_STATE>().bin_env = env;
}

WEXAN_ENV* nolt_bin_get_env() { return host_world_slot<NOLT_STATE>().bin_env; }

NOLT_ATOM_DUP_UTILITY::NOLT_ATOM_DUP_UTILITY() { host::counters::add("NOLT_ATOM_DUP_UTILITY", 1); }
NOLT_ATOM_DUP_UTILITY::~NOLT_ATOM_DUP_UTILITY() { host::counters::add("NOLT_ATOM_DUP_UTILITY", -1); }
void NOLT_ATOM_DUP_UTILITY::release() {
  host::log_call("NOLT_ATOM_DUP_UTILITY::release");
  if (WEXAN_ENV::get_atom_dup_util() == this) WEXAN_ENV::set_atom_dup_util(nullptr);
  delete this;
}

#define NOLT_ENV_UTILITY_BODY(NAME)                                            \
  NAME::NAME(WEXAN_ENV* env) : m_env(env) { host::counters::add(#NAME, 1); } \
  NAME::~NAME() { host::counters::add(#NAME, -1); }

NOLT_ENV_UTILITY_BODY(NOLT_LUT_RAM_CONVERSION_UTIL)
NOLT_ENV_UTILITY_BODY(NOLT_RAM_PACKING_CHECK_BODY)
NOLT_ENV_UTILITY_BODY(NOLT_CLKBUF_FIX_ATOM_NETLIST)
NOLT_ENV_UTILITY_BODY(NOLT_GND_LCELL_MANAGER)
NOLT_ENV_UTILITY_BODY(NOLT_DEVICE_MIGRATION_CONSTRAINTS_BODY)

#undef NOLT_ENV_UTILITY_BODY

NOLT_KX_MERGE_RAM_OP_BODY::NOLT_KX_MERGE_RAM_OP_BODY(WEXAN_ENV* env, bool flag) : m_env(env), m_flag(flag) {
  host::counters::add("NOLT_KX_MERGE_RAM_OP_BODY", 1);
}
NOLT_KX_MERGE_RAM_OP_BODY::~NOLT_KX_MERGE_RAM_OP_BODY() { host::counters::add("NOLT_KX_MERGE_RAM_OP_BODY", -1); }

NOLT_DELAY_CHAIN_UTIL_BODY::NOLT_DELAY_CHAIN_UTIL_BODY(DEV_FAMILY_ENUM family) : m_family(family) {
  host::counters::add("NOLT_DELAY_CHAIN_UTIL_BODY", 1);
}
NOLT_DELAY_CHAIN_UTIL_BODY::~NOLT_DELAY_CHAIN_UTIL_BODY() { host::counters::add("NOLT_DELAY_CHAIN_UTIL_BODY", -1); }

NOLT_RAM_ENABLE_CONVERSION_UTIL* NOLT_RAM_ENABLE_CONVERSION_UTIL::s_utility = nullptr;

NOLT_RAM_ENABLE_CONVERSION_UTIL::NOLT_RAM_ENABLE_CONVERSION_UTIL(WEXAN_ENV* env) : m_env(env) {
  host::counters::add("NOLT_RAM_ENABLE_CONVERSION_UTIL", 1);
}
NOLT_RAM_ENABLE_CONVERSION_UTIL::~NOLT_RAM_ENABLE_CONVERSION_UTIL() {
  host::counters::add("NOLT_RAM_ENABLE_CONVERSION_UTIL", -1);
}

NOLT_RAM_ENABLE_CONVERSION_UTIL* NOLT_RAM_ENABLE_CONVERSION_UTIL::get_utility() { return s_utility; }

void NOLT_RAM_ENABLE_CONVERSION_UTIL::destroy_utility() {
  host::log_call("NOLT_RAM_ENABLE_CONVERSION_UTIL::destroy_utility");
  NOLT_RAM_ENABLE_CONVERSION_UTIL* u = s_utility;
  s_utility = nullptr;
  delete u;
}

bool NOLT_LUT_RAM_CONVERSION_UTIL::perform_prefit_lutram_netlist_checks() {
  host::log_call("NOLT_LUT_RAM_CONVERSION_UTIL::perform_prefit_lutram_netlist_checks");
  return host::script::next<bool>("NOLT_LUT_RAM_CONVERSION_UTIL::perform_prefit_lutram_netlist_checks", true);
}
