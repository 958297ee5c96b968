#pragma once
// The MAC merge utility of the KY device families.
#include "velmo_qdsp_merge_util.h"

// Coefficient parameters: the absorbed MAC's coefficient k is read from A[k]
// and written to the merged atom's B[k].
extern const YOS_UINT_DATA_ENUM KY_MAC_MERGE_COEF_A_YOS[8];
extern const YOS_UINT_DATA_ENUM KY_MAC_MERGE_COEF_B_YOS[8];

class VELMO_API VELMO_QDSP_MERGE_UTIL_KY : public VELMO_QDSP_MERGE_UTIL_INTERFACE {
public:
  explicit VELMO_QDSP_MERGE_UTIL_KY(WEXAN_ENV* env);
  ~VELMO_QDSP_MERGE_UTIL_KY() override;

  void get_params_for_family(int num_merge_types, int* max_macs_per_dsp_loc, int* num_dsp_locs_per_merge_type,
                             int* mac_mode_per_merge_type) override;
  VOK_MAC_MODE_ENUM get_mergeable_mode_of_atom(VOK_ATOM_NODE* mac) override;
  bool is_valid_mode_for_merging(VOK_MAC_MODE_ENUM mode) override;
  int get_new_atom_size_and_check_old_size(VOK_MAC_MODE_ENUM mode, int old_atom_size) override;
  bool check_or_modify_clock_usage_on_mac(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode,
                                          bool check_only) override;
  bool check_misc_mac_settings(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode) override;
  bool check_scan_chain_settings(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode) override;
  void perform_atom_modifications(std::vector<VOK_ATOM_NODE*>* mac_atoms, VOK_MAC_MODE_ENUM mode) override;
  // True when the MAC uses none of the features a merge cannot carry over.
  virtual bool check_for_unsupported_mac_features(VOK_ATOM_NODE* mac, VOK_MAC_MODE_ENUM mode);
};
