#include "velmo_yun_env.h"

#include "msg/msg_internal_error.h"
#include "siv/siv_atom_mod_utility.h"
#include "thr/thr_drl.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"

namespace {
// The atom-modification algorithm number of the retiming engine.
constexpr int RETIMER_ATOM_MOD_ALGORITHM = 7;
}  // namespace

VELMO_YUN_ENV::~VELMO_YUN_ENV() { delete m_amu; }

bool VELMO_YUN_ENV::copy_atom_location_constraints(const VOK_ATOM_NODE* from, VOK_ATOM_NODE* to, bool a, bool b) {
  return m_design->copy_atom_location_constraints(from, to, a, b);
}

YUN_UTILITY* VELMO_YUN_ENV::create_yun_utility(WEXAN_PIZ_TABLE* report_table) {
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  if (!env) MSG_INTERNAL_ERROR::report("env", "VELMO", "velmo_yun_env", __LINE__);
  m_cmp = env->get_cmp();
  m_atom_netlist = env->get_atom_netlist();
  // A second utility made over the same environment replaces the first's
  // modification utility, which nobody else frees.
  delete m_amu;
  m_amu = env->create_atom_mod_utility_for_algorithm(RETIMER_ATOM_MOD_ALGORITHM, report_table);
  m_design = env->get_design();
  if (!m_cmp) MSG_INTERNAL_ERROR::report("m_cmp", "VELMO", "velmo_yun_env", __LINE__);
  if (!m_atom_netlist) MSG_INTERNAL_ERROR::report("m_atom_netlist", "VELMO", "velmo_yun_env", __LINE__);
  if (!m_amu) MSG_INTERNAL_ERROR::report("m_amu", "VELMO", "velmo_yun_env", __LINE__);
  if (!m_design) MSG_INTERNAL_ERROR::report("m_design", "VELMO", "velmo_yun_env", __LINE__);

  THR_DRL_HANDLE lib = thr_drl_load("zarn_yun");
  if (!lib) MSG_INTERNAL_ERROR::report(thr_drl_get_error(), "VELMO", "velmo_yun_env", __LINE__);
  auto factory = reinterpret_cast<YUN_UTILITY_FACTORY_FN>(thr_drl_find_function(lib, "yun_utility_factory"));
  if (!factory) MSG_INTERNAL_ERROR::report(thr_drl_get_error(), "VELMO", "velmo_yun_env", __LINE__);
  return factory(this);
}
