#include "velmo_periphery_placement_util.h"

#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_ram_estimator.h"
#include "rcf/rcf_drl.h"
#include "velmo_mac_merge_op.h"
#include "wexan/wexan_env.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_periphery_placement_util", line);
}
}  // namespace

// ---------------------------------------------------------------- estimators

OXTER_MAC_MERGE_ESTIMATOR_IMPL::OXTER_MAC_MERGE_ESTIMATOR_IMPL(WEXAN_ENV* env) : m_env(env) {}
OXTER_MAC_MERGE_ESTIMATOR_IMPL::~OXTER_MAC_MERGE_ESTIMATOR_IMPL() { delete m_op; }

int OXTER_MAC_MERGE_ESTIMATOR_IMPL::estimate_mac_count_after_merging(const std::list<VOK_ATOM_NODE*>& atoms) {
  if (m_op == nullptr) m_op = new VELMO_MAC_MERGE_OP(m_env, true);
  return m_op->estimate_min_macs_required(&atoms);
}

OXTER_RAM_ESTIMATOR_IMPL::~OXTER_RAM_ESTIMATOR_IMPL() { nolt_uninit_ram_estimator(); }

int OXTER_RAM_ESTIMATOR_IMPL::estimate_num_rams_required(const std::list<VOK_ATOM_NODE*>& atoms) {
  return nolt_estimate_num_rams_required(atoms);
}

// ---------------------------------------------------------------- router constraints

VELMO_VPR_DYNAMIC_RCF_UTILITY* VELMO_VPR_DYNAMIC_RCF_UTILITY::m_instance = nullptr;

VELMO_VPR_DYNAMIC_RCF_UTILITY::~VELMO_VPR_DYNAMIC_RCF_UTILITY() { destroy_hard_constraints(); }

RCF_DRL_RCF_WRAPPER* VELMO_VPR_DYNAMIC_RCF_UTILITY::get_hard_constraints() const { return m_hard_constraints; }

VELMO_VPR_DYNAMIC_RCF_UTILITY* VELMO_VPR_DYNAMIC_RCF_UTILITY::get_instance() {
  if (m_instance == nullptr) m_instance = new VELMO_VPR_DYNAMIC_RCF_UTILITY();
  return m_instance;
}

void VELMO_VPR_DYNAMIC_RCF_UTILITY::destroy_instance() {
  delete m_instance;
  m_instance = nullptr;
}

RCF_DRL_RCF_WRAPPER* VELMO_VPR_DYNAMIC_RCF_UTILITY::create_hard_constraints() {
  if (m_hard_constraints == nullptr) {
    // Making a wrapper makes it the host's current one; the host's own
    // current wrapper must stay.
    RCF_DRL_RCF_WRAPPER* saved = rcf_drl_get_rcf_wrapper_ptr();
    m_hard_constraints = rcf_drl_rcf_wrapper_factory();
    rcf_drl_set_rcf_wrapper_ptr(saved);
  }
  return m_hard_constraints;
}

void VELMO_VPR_DYNAMIC_RCF_UTILITY::destroy_hard_constraints() {
  if (m_hard_constraints != nullptr) rcf_drl_rcf_wrapper_delete(m_hard_constraints);
  m_hard_constraints = nullptr;
}

// ---------------------------------------------------------------- the utility

VELMO_PERIPHERY_PLACEMENT_UTIL::VELMO_PERIPHERY_PLACEMENT_UTIL() {
  if (OXTER_ENV::get_dynamic_router_constraints() != nullptr) l_internal_error("!m_dynamic_router_constraints", __LINE__);
  OXTER_ENV::set_dynamic_router_constraints(VELMO_VPR_DYNAMIC_RCF_UTILITY::get_instance()->create_hard_constraints());

  if (OXTER_ENV::get_mac_merge_estimator() != nullptr) l_internal_error("!m_mac_merge_estimator", __LINE__);
  m_mac_merge_estimator = new OXTER_MAC_MERGE_ESTIMATOR_IMPL(WEXAN_ENV::get_env());
  OXTER_ENV::set_mac_merge_estimator(m_mac_merge_estimator);

  if (OXTER_ENV::get_ram_estimator() != nullptr) l_internal_error("m_ram_estimator == NULL", __LINE__);
  m_ram_estimator = new OXTER_RAM_ESTIMATOR_IMPL();
  nolt_init_ram_estimator();
  OXTER_ENV::set_ram_estimator(m_ram_estimator);
}

VELMO_PERIPHERY_PLACEMENT_UTIL::~VELMO_PERIPHERY_PLACEMENT_UTIL() {
  // The planning environment must not keep hooks that are gone: a later
  // start-up fills the slots again.
  if (OXTER_ENV::get_mac_merge_estimator() == m_mac_merge_estimator) OXTER_ENV::set_mac_merge_estimator(nullptr);
  delete m_mac_merge_estimator;
  m_mac_merge_estimator = nullptr;
  if (OXTER_ENV::get_ram_estimator() == m_ram_estimator) OXTER_ENV::set_ram_estimator(nullptr);
  delete m_ram_estimator;
  m_ram_estimator = nullptr;
  VELMO_VPR_DYNAMIC_RCF_UTILITY* rcf = VELMO_VPR_DYNAMIC_RCF_UTILITY::get_instance();
  if (OXTER_ENV::get_dynamic_router_constraints() == rcf->get_hard_constraints())
    OXTER_ENV::set_dynamic_router_constraints(nullptr);
  VELMO_VPR_DYNAMIC_RCF_UTILITY::destroy_instance();
}
