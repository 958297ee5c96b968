#include "velmo_mac_merge_util_kx.h"

const YOS_UINT_DATA_ENUM KX_MAC_MERGE_COEF_A_YOS[8] = {
    YOS_UINT_DATA_ENUM(359), YOS_UINT_DATA_ENUM(363), YOS_UINT_DATA_ENUM(356), YOS_UINT_DATA_ENUM(366),
    YOS_UINT_DATA_ENUM(353), YOS_UINT_DATA_ENUM(361), YOS_UINT_DATA_ENUM(357), YOS_UINT_DATA_ENUM(355)};
const YOS_UINT_DATA_ENUM KX_MAC_MERGE_COEF_B_YOS[8] = {
    YOS_UINT_DATA_ENUM(352), YOS_UINT_DATA_ENUM(360), YOS_UINT_DATA_ENUM(358), YOS_UINT_DATA_ENUM(365),
    YOS_UINT_DATA_ENUM(367), YOS_UINT_DATA_ENUM(362), YOS_UINT_DATA_ENUM(354), YOS_UINT_DATA_ENUM(364)};

VELMO_QDSP_MERGE_UTIL_KX::VELMO_QDSP_MERGE_UTIL_KX(WEXAN_ENV* env) : VELMO_QDSP_MERGE_UTIL_INTERFACE(env) {}
VELMO_QDSP_MERGE_UTIL_KX::~VELMO_QDSP_MERGE_UTIL_KX() = default;

void VELMO_QDSP_MERGE_UTIL_KX::get_params_for_family(int num_merge_types, int* max_macs_per_dsp_loc,
                                                    int* num_dsp_locs_per_merge_type, int* mac_mode_per_merge_type) {
  params_for_family(num_merge_types, max_macs_per_dsp_loc, num_dsp_locs_per_merge_type, mac_mode_per_merge_type);
}

VOK_MAC_MODE_ENUM VELMO_QDSP_MERGE_UTIL_KX::get_mergeable_mode_of_atom(VOK_ATOM_NODE* mac) {
  if (!mode_prerequisites_hold(mac)) return VOK_MAC_MODE_NONE;
  if (!check_for_unsupported_mac_features(mac, VOK_MAC_MODE_M18X18_FULL)) return VOK_MAC_MODE_NONE;
  check_no_chainout(mac);
  return VOK_MAC_MODE_M18X18_FULL;
}

bool VELMO_QDSP_MERGE_UTIL_KX::check_for_unsupported_mac_features(VOK_ATOM_NODE* mac, VOK_MAC_MODE_ENUM) {
  return unsupported_ports_unused(mac);
}

bool VELMO_QDSP_MERGE_UTIL_KX::is_valid_mode_for_merging(VOK_MAC_MODE_ENUM mode) {
  return mode == VOK_MAC_MODE_M18X18_FULL;
}

int VELMO_QDSP_MERGE_UTIL_KX::get_new_atom_size_and_check_old_size(VOK_MAC_MODE_ENUM mode, int old_atom_size) {
  return new_atom_size(mode, old_atom_size);
}

bool VELMO_QDSP_MERGE_UTIL_KX::check_or_modify_clock_usage_on_mac(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second,
                                                                 VOK_MAC_MODE_ENUM mode, bool check_only) {
  return clock_sharing(first, second, mode, check_only);
}

bool VELMO_QDSP_MERGE_UTIL_KX::check_misc_mac_settings(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second,
                                                      VOK_MAC_MODE_ENUM) {
  return misc_settings_agree(first, second, false);
}

bool VELMO_QDSP_MERGE_UTIL_KX::check_scan_chain_settings(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second,
                                                        VOK_MAC_MODE_ENUM mode) {
  return scan_chains_allow(first, second, mode);
}

void VELMO_QDSP_MERGE_UTIL_KX::perform_atom_modifications(std::vector<VOK_ATOM_NODE*>* mac_atoms,
                                                         VOK_MAC_MODE_ENUM mode) {
  modify_18x18_full(mac_atoms, mode, false, KX_MAC_MERGE_COEF_A_YOS, KX_MAC_MERGE_COEF_B_YOS);
}
