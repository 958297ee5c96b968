#pragma once
// Physical MAC merging: after analytic placement, lets two compatible MAC
// atoms share one DSP location, choosing partners from where the placer put
// each MAC. MACs are grouped by compatibility, paired with their neighbours
// in each DSP column, trial-placed on a model of the device's DSP locations
// (the floorplan) and checked against the device, the DSP chains and the
// Tarnbay regions; pairs not needed to fit are split again (unless merging
// for density) and the pairs still sharing a location are merged into one
// atom. The host constructs the operation, runs do_transformation once and
// destroys it.
#include <set>
#include <vector>

#include "velmo_export.h"
#include "vok/vok_atom_netlist.h"
#include "zmp_bbox.h"
#include "zmp_hash_lite_sys.h"

class WEXAN_ENV;
class WEXAN_DESIGN;
class WUMP_DIE_INFO;
class WUMP_PLACE_INFO;
class VELMO_QDSP_MERGE_UTIL_INTERFACE;

// One MAC atom.
struct VELMO_MAC_MERGE_NODE {
  bool placed = false;
  VOK_MAC_MODE_ENUM mode = VOK_MAC_MODE_NONE;  // -1: not mergeable
  int index = -1;
  int compatible_group = -1;
  int chain_id = -1;
  int tbr_id = -1;  // Tarnbay region of the floating constraint
  int apl_x = -1;   // nearest DSP column to the analytic x; -1 without one
  int apl_y = -1;   // nearest row to the analytic y; -1 without one
  // Locked location constraint; empty (max < min) when unconstrained.
  ZMP::BBOX_2D location_constraint;
  VOK_ATOM_NODE* atom = nullptr;  // not owned
};

// A pair of node indices to place together, or a single (second -1).
struct VELMO_MAC_MERGE_INDEX_PAIR {
  int first = -1;
  int second = -1;
};

// One grid location of a DSP column.
struct VELMO_DSP_FLOORPLAN_CELL {
  int first = -1;   // node placed here first; -1 when free
  int second = -1;  // node sharing the location; -1 when none
  bool is_dsp = false;
};

class VELMO_API VELMO_MAC_MERGE_PHYSICAL_OP {
public:
  explicit VELMO_MAC_MERGE_PHYSICAL_OP(WEXAN_ENV* env);
  ~VELMO_MAC_MERGE_PHYSICAL_OP();
  VELMO_MAC_MERGE_PHYSICAL_OP(const VELMO_MAC_MERGE_PHYSICAL_OP&) = delete;
  VELMO_MAC_MERGE_PHYSICAL_OP& operator=(const VELMO_MAC_MERGE_PHYSICAL_OP&) = delete;

  // The whole operation: true when merging was disabled, had nothing to do
  // or succeeded; false when the MACs cannot be fitted.
  bool do_transformation();

private:
  using BOX = ZMP::BBOX_2D;
  using ID_MAP = ZMP_HASH_LITE<int, int>;

  bool merge_enabled();

  // Collection and pairing.
  bool gather_mac_info();
  bool collect_mac_atoms(ID_MAP& atom_to_node, std::set<int>& floating_tbr_ids);
  bool collect_floating_tbr_bboxes(const std::set<int>& floating_tbr_ids);
  bool is_dsp_location_in_tbr(int x, int y, int tbr_id) const;
  bool collect_chain_info(ID_MAP& atom_to_node);
  bool compatible(const VELMO_MAC_MERGE_NODE& a, const VELMO_MAC_MERGE_NODE& b) const;
  bool group_compatible_nodes();
  bool sort_groups_by_column();
  bool make_mergeable_pairs();
  void pair_within_column(const std::vector<int>& dsp_column);
  void pair_within_column_even_odd_macs(const std::vector<int>& dsp_column, int index_to_skip);
  int find_index_to_skip(const std::vector<int>& dsp_column) const;
  void sort_merging_pairs();
  int sort_merging_pairs_helper_get_size(const VELMO_MAC_MERGE_INDEX_PAIR& pair) const;
  bool has_bbox_overlap(const BOX& b1, const BOX& b2) const;
  void alloc_2d_array_of_dsp_floorplan();
  int find_closest_dsp_column(int x) const;

  // Placement, spreading, merging and dumps.
  bool trial_placement();
  bool find_placement_for_given_pair(const VELMO_MAC_MERGE_INDEX_PAIR& pair);
  bool find_placement_for_given_mac(VELMO_MAC_MERGE_NODE& node, bool require_empty);
  bool find_placement_in_column(int x, const VELMO_MAC_MERGE_INDEX_PAIR& pair, bool require_empty);
  bool find_placement_without_apl_info(const VELMO_MAC_MERGE_INDEX_PAIR& pair, bool require_empty);
  bool is_legal(const VELMO_MAC_MERGE_NODE& node, int x, int y, bool require_empty) const;
  bool spread_overlap_macs(int& num_dsp_locations_used);
  bool perform_merges();
  void dump_debug_info_to_file();
  void print_constraints_on_atom_for_debug(VOK_ATOM_NODE* atom);

  // Capacity check and user messages.
  bool check_floorplan(int& num_dsp_locations_used);
  void get_tbr_dsp_capacity(int tbr_id, int& total, int& longest);
  void print_user_nofit_message();

  // The node's search start: its analytic row, or row 0 without one.
  int start_row(const VELMO_MAC_MERGE_NODE& node) const;
  int start_column(const VELMO_MAC_MERGE_NODE& node) const;
  int pair_distance(const VELMO_DSP_FLOORPLAN_CELL& cell) const;
  std::vector<const VOK_ATOM_NODE*> atoms_of_nodes(bool (*match)(const VELMO_MAC_MERGE_NODE&, int), int key) const;

  WEXAN_ENV* m_env = nullptr;
  WEXAN_DESIGN* m_design = nullptr;
  WUMP_DIE_INFO* m_die_info = nullptr;
  const WUMP_PLACE_INFO* m_place_info = nullptr;
  VELMO_QDSP_MERGE_UTIL_INTERFACE* m_merge_util = nullptr;
  std::vector<std::vector<VELMO_DSP_FLOORPLAN_CELL>> m_dsp_floorplan;
  std::vector<BOX> m_dsp_column_bboxes;
  std::vector<std::vector<BOX>> m_tbr_dsp_bboxes;
  std::vector<std::vector<int>> m_compatible_groups;
  std::vector<VELMO_MAC_MERGE_NODE> m_mac_atom_info;
  std::vector<VELMO_MAC_MERGE_INDEX_PAIR> m_merging_pairs;
  std::int16_t m_dsp_element = 0;
  std::int32_t m_enabled = 0;
  int m_num_dsp_locations = 0;
  int m_num_dsps_available = 0;
  int m_num_rows = 0;
  int m_num_cols = 0;
  int m_dsp_height = 1;
  int m_num_chains = 0;
  int m_num_locations = 0;
  int m_max_dsps_to_list_in_errors = 10;
  int m_distance_threshold = -1;
  bool m_debug = false;
  bool m_debug_verbose = false;
};
