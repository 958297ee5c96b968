#pragma once
// The per-family MAC merge utility: which two MACs may share one DSP location
// and the netlist surgery that merges them into one atom. The merge
// operations own one variant, made for the device's family, and delete it
// through the base. Every operation is virtual and called through the
// virtual table, so a variant may replace any of them.
#include <vector>

#include "velmo_export.h"
#include "vok/vok_atom_netlist.h"
#include "yos/yos_interface.h"

class WEXAN_ENV;
class WEXAN_PIZ_TABLE;
class ZEL_MAC_UNIFIED_UTIL;
class SIV_ATOM_MOD_UTILITY;

// MAC clock numbers: 0 = none, 1..4 = clock k (bit k-1 of the clock input).
enum VOK_MAC_CLK_ENUM : int { VOK_MAC_CLK_NONE = 0, VOK_MAC_CLK_CLK0 = 1, VOK_MAC_CLK_MAX = 5 };
// MAC clock-enable numbers: 0 = none, 1..3 = enable k.
enum VOK_MAC_CLKEN_ENUM : int { VOK_MAC_CLKEN_NONE = 0, VOK_MAC_CLKEN_MAX = 4 };

class VELMO_API VELMO_QDSP_MERGE_UTIL_INTERFACE {
public:
  explicit VELMO_QDSP_MERGE_UTIL_INTERFACE(WEXAN_ENV* env);
  virtual ~VELMO_QDSP_MERGE_UTIL_INTERFACE();
  VELMO_QDSP_MERGE_UTIL_INTERFACE(const VELMO_QDSP_MERGE_UTIL_INTERFACE&) = delete;
  VELMO_QDSP_MERGE_UTIL_INTERFACE& operator=(const VELMO_QDSP_MERGE_UTIL_INTERFACE&) = delete;

  // Merges the two MACs into the first (the scan-chain driver first);
  // returns true.
  virtual bool merge_mac_atoms(std::vector<VOK_ATOM_NODE*>* mac_atoms, VOK_MAC_MODE_ENUM mode);
  // True when the two MACs may share one DSP location; with null `modes`
  // the modes come from get_mergeable_mode_of_atom.
  virtual bool mac_atoms_are_compatible(std::vector<VOK_ATOM_NODE*>* mac_atoms, std::vector<VOK_MAC_MODE_ENUM>* modes);
  // The share of one DSP block the MAC uses.
  virtual double get_usage_estimation(const VOK_ATOM_NODE* mac);
  // Fills the three per-merge-type tables (num_merge_types must be 3).
  virtual void get_params_for_family(int num_merge_types, int* max_macs_per_dsp_loc, int* num_dsp_locs_per_merge_type,
                                     int* mac_mode_per_merge_type) = 0;
  // The MAC's merge mode, or -1 when it cannot be merged.
  virtual VOK_MAC_MODE_ENUM get_mergeable_mode_of_atom(VOK_ATOM_NODE* mac) = 0;
  // True when src's scan-chain output drives dest's scan-chain input.
  virtual bool src_scanout_to_dest(VOK_ATOM_NODE* src, VOK_ATOM_NODE* dest);
  virtual bool do_all_iterms_on_bus_match(VOK_ATOM_NODE* a, VOK_ATOM_NODE* b, DB_INPUT_PORT_TYPE type);
  // Whether some bit of the port is in use; `index` (when given) gets the
  // highest such bit (inputs) or one more than it (outputs).
  virtual bool is_input_port_used(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE type, int* index);
  virtual bool is_output_port_used(VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE type, int* index);
  virtual bool do_clocks_match(VOK_ATOM_NODE* a, int clk_a, VOK_ATOM_NODE* b, int clk_b);
  virtual bool do_clock_enables_match(VOK_ATOM_NODE* a, int ena_a, VOK_ATOM_NODE* b, int ena_b);
  // The first clock (enable) of `a` matching clock (enable) `c` of `b`, or -1.
  virtual int find_clk_match(VOK_ATOM_NODE* a, VOK_ATOM_NODE* b, int clk_b);
  virtual int find_clk_enable_match(VOK_ATOM_NODE* a, VOK_ATOM_NODE* b, int ena_b);
  // The first clock (enable) of `a` that is unused and not in map[1..w], or -1.
  virtual int find_unused_and_unclaimed_clk(VOK_ATOM_NODE* a, int* clk_map);
  virtual int find_unused_and_unclaimed_clk_enable(VOK_ATOM_NODE* a, int* ena_map);
  virtual void copy_clk(VOK_ATOM_NODE* to, VOK_ATOM_NODE* from, int to_clk, int from_clk);
  virtual void copy_clk_enable(VOK_ATOM_NODE* to, VOK_ATOM_NODE* from, int to_ena, int from_ena);
  virtual void move_mac_observable_oterms(std::vector<VOK_ATOM_NODE*>* mac_atoms);
  virtual void move_mac_observable_oterms_for_type(DB_INPUT_PORT_TYPE from_type, DB_INPUT_PORT_TYPE to_type,
                                                   VOK_ATOM_NODE* to, VOK_ATOM_NODE* from, int stage);
  virtual bool is_valid_mode_for_merging(VOK_MAC_MODE_ENUM mode) = 0;
  virtual int get_new_atom_size_and_check_old_size(VOK_MAC_MODE_ENUM mode, int old_atom_size) = 0;
  virtual bool check_or_modify_clock_usage_on_mac(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode,
                                                  bool check_only) = 0;
  virtual bool check_misc_mac_settings(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode) = 0;
  virtual bool check_scan_chain_settings(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode) = 0;
  virtual void perform_atom_modifications(std::vector<VOK_ATOM_NODE*>* mac_atoms, VOK_MAC_MODE_ENUM mode) = 0;

protected:
  // The rules every family shares; the variants' operations are made of
  // them.
  using COEF_TABLE = YOS_UINT_DATA_ENUM[8];
  // The family-independent part of the mergeable-mode test (floating-point
  // MAC, DRC, multiplier elements, basic mode 2).
  bool mode_prerequisites_hold(VOK_ATOM_NODE* mac);
  // The chain-out capabilities a mergeable MAC must not have.
  void check_no_chainout(VOK_ATOM_NODE* mac);
  bool unsupported_ports_unused(VOK_ATOM_NODE* mac);
  bool params_for_family(int num_merge_types, int* max_macs_per_dsp_loc, int* num_dsp_locs_per_merge_type,
                         int* mac_mode_per_merge_type);
  int new_atom_size(VOK_MAC_MODE_ENUM mode, int old_atom_size);
  bool scan_chains_allow(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode);
  bool misc_settings_agree(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, bool compare_clear_type);
  // Clock sharing (remapped clocks) and enable sharing (one shared clock,
  // remapped enables).
  bool clock_sharing(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode, bool check_only);
  bool enable_sharing(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second, VOK_MAC_MODE_ENUM mode, bool check_only);
  void modify_18x18_full(std::vector<VOK_ATOM_NODE*>* mac_atoms, VOK_MAC_MODE_ENUM mode, bool clear_input_411_width,
                         const COEF_TABLE& coef_a, const COEF_TABLE& coef_b);
  void move_mac_data_input_and_output_for_18x18_full(std::vector<VOK_ATOM_NODE*>* mac_atoms,
                                                     bool clear_input_411_width);
  void set_mac_params_for_18x18_full(std::vector<VOK_ATOM_NODE*>* mac_atoms, const COEF_TABLE& coef_a,
                                     const COEF_TABLE& coef_b);
  // Integer item 24 of the DSP element: the highest per-stage register
  // index; false when the device does not give it.
  bool highest_stage(int* n) const;
  int port_width(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE type) const;

  WEXAN_ENV* m_env;
  SIV_ATOM_MOD_UTILITY* m_atom_mod;
  WEXAN_PIZ_TABLE* m_netlist_mod_table;
  YOS_INTERFACE* m_yos;
  ZEL_MAC_UNIFIED_UTIL* m_mac_util;
};
