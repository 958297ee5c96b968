#include "velmo_periphery_placement_util.h"

#include "mem/mem_initializer.h"
#include "velmo_mac_merge_op.h"
#include "wexan/wexan_env.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");
}  // namespace

OXTER_MAC_MERGE_ESTIMATOR_IMPL::OXTER_MAC_MERGE_ESTIMATOR_IMPL(WEXAN_ENV* env) : m_env(env) {}
OXTER_MAC_MERGE_ESTIMATOR_IMPL::~OXTER_MAC_MERGE_ESTIMATOR_IMPL() = default;

int OXTER_MAC_MERGE_ESTIMATOR_IMPL::estimate_mac_count_after_merging(const std::list<VOK_ATOM_NODE*>& atoms) {
  if (!m_op) m_op = std::make_unique<VELMO_MAC_MERGE_OP>(m_env, true);
  return m_op->estimate_min_macs_required(&atoms);
}

VELMO_PERIPHERY_PLACEMENT_UTIL::VELMO_PERIPHERY_PLACEMENT_UTIL() {
  if (OXTER_ENV::get_mac_merge_estimator() == nullptr) {
    m_mac_estimator = std::make_unique<OXTER_MAC_MERGE_ESTIMATOR_IMPL>(WEXAN_ENV::get_env());
    OXTER_ENV::set_mac_merge_estimator(m_mac_estimator.get());
  }
}

VELMO_PERIPHERY_PLACEMENT_UTIL::~VELMO_PERIPHERY_PLACEMENT_UTIL() {
  // The planning environment must not keep an estimator that is gone.
  if (m_mac_estimator && OXTER_ENV::get_mac_merge_estimator() == m_mac_estimator.get())
    OXTER_ENV::set_mac_merge_estimator(nullptr);
}
