#include "velmo_qdsp_merge_util.h"

#include "msg/msg_internal_error.h"
#include "siv/siv_atom_mod_utility.h"
#include "wexan/wexan_env.h"
#include "zel/zel_mac_unified_util.h"

namespace {
[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_qdsp_merge_util", line);
}
}  // namespace

VELMO_QDSP_MERGE_UTIL_INTERFACE::VELMO_QDSP_MERGE_UTIL_INTERFACE(WEXAN_ENV* env)
    : m_env(env),
      m_mac_util(new ZEL_MAC_UNIFIED_UTIL()),
      m_atom_mod(env->create_atom_mod_utility_for_algorithm(4, nullptr)) {}

VELMO_QDSP_MERGE_UTIL_INTERFACE::~VELMO_QDSP_MERGE_UTIL_INTERFACE() {
  delete m_atom_mod;
  delete m_mac_util;
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::get_params_for_family(int num_merge_types, int* max_macs_per_dsp_loc,
                                                            int* num_dsp_locs_per_merge_type,
                                                            int* mac_mode_per_merge_type) {
  if (num_merge_types != 3) l_internal_error("num_merge_types == 3", __LINE__);
  // Every merge type puts two 18x18-full MACs into one DSP location.
  for (int i = 0; i < 3; ++i) {
    max_macs_per_dsp_loc[i] = 2;
    num_dsp_locs_per_merge_type[i] = 1;
    mac_mode_per_merge_type[i] = VOK_MAC_MODE_M18X18_FULL;
  }
}

VOK_MAC_MODE_ENUM VELMO_QDSP_MERGE_UTIL_INTERFACE::get_mergeable_mode_of_atom(VOK_ATOM_NODE* mac) {
  if (mac == nullptr || mac->is_fp_mac() || !mac->is_mac()) return VOK_MAC_MODE_NONE;
  const VOK_MAC_MODE_ENUM mode = m_mac_util->get_basic_mode(mac);
  return mode == VOK_MAC_MODE_M18X18_FULL ? mode : VOK_MAC_MODE_NONE;
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::mac_atoms_are_compatible(std::vector<VOK_ATOM_NODE*>* atoms,
                                                               const std::vector<VOK_MAC_MODE_ENUM>* modes) {
  if (atoms == nullptr || atoms->size() != 2) l_internal_error("mac_atoms->size() == 2", __LINE__);
  const VOK_MAC_MODE_ENUM a = modes != nullptr ? modes->at(0) : get_mergeable_mode_of_atom((*atoms)[0]);
  const VOK_MAC_MODE_ENUM b = modes != nullptr ? modes->at(1) : get_mergeable_mode_of_atom((*atoms)[1]);
  return a == b && a == VOK_MAC_MODE_M18X18_FULL;
}

double VELMO_QDSP_MERGE_UTIL_INTERFACE::get_usage_estimation(const VOK_ATOM_NODE* mac) {
  if (mac->is_fp_mac()) return 1.0;
  return m_mac_util->get_usage_estimation(mac);
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::merge_mac_atoms(std::vector<VOK_ATOM_NODE*>* atoms, VOK_MAC_MODE_ENUM mode) {
  if (atoms == nullptr || atoms->size() < 2) return false;
  const int first = (*atoms)[0]->get_id();
  if (!m_atom_mod->merge_mac_atoms(*atoms, mode)) return false;
  m_env->indicate_that_atom_netlist_is_modified(first, false, false);
  return true;
}
