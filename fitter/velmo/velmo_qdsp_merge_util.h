#pragma once
// The per-family MAC merge utility: which MACs may share one DSP location and
// the netlist surgery that merges them. The prefit MAC merge operation owns
// one, made for the device's family, and deletes it through the base.
#include <vector>

#include "vok/vok_atom_netlist.h"

class WEXAN_ENV;
class ZEL_MAC_UNIFIED_UTIL;
class SIV_ATOM_MOD_UTILITY;

class VELMO_QDSP_MERGE_UTIL_INTERFACE {
public:
  explicit VELMO_QDSP_MERGE_UTIL_INTERFACE(WEXAN_ENV* env);
  virtual ~VELMO_QDSP_MERGE_UTIL_INTERFACE();
  VELMO_QDSP_MERGE_UTIL_INTERFACE(const VELMO_QDSP_MERGE_UTIL_INTERFACE&) = delete;
  VELMO_QDSP_MERGE_UTIL_INTERFACE& operator=(const VELMO_QDSP_MERGE_UTIL_INTERFACE&) = delete;

  // Fills the three per-merge-type tables (num_merge_types must be 3): the
  // most MACs one DSP location may hold, the DSP locations one merge
  // occupies, and the MAC mode the merge type merges.
  virtual void get_params_for_family(int num_merge_types, int* max_macs_per_dsp_loc,
                                     int* num_dsp_locs_per_merge_type, int* mac_mode_per_merge_type);
  // The MAC's merge mode, or -1 when it cannot be merged.
  virtual VOK_MAC_MODE_ENUM get_mergeable_mode_of_atom(VOK_ATOM_NODE* mac);
  // True when the two MACs may share one DSP location; with null `modes`
  // the modes come from get_mergeable_mode_of_atom.
  virtual bool mac_atoms_are_compatible(std::vector<VOK_ATOM_NODE*>* atoms,
                                        const std::vector<VOK_MAC_MODE_ENUM>* modes);
  // The share of one DSP block the MAC uses.
  virtual double get_usage_estimation(const VOK_ATOM_NODE* mac);
  // Merges the MACs (the DSP location's first MAC first) into one MAC of the
  // mode; false when the merge fails.
  virtual bool merge_mac_atoms(std::vector<VOK_ATOM_NODE*>* atoms, VOK_MAC_MODE_ENUM mode);

protected:
  WEXAN_ENV* m_env;
  ZEL_MAC_UNIFIED_UTIL* m_mac_util;
  SIV_ATOM_MOD_UTILITY* m_atom_mod;
};
