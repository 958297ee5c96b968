#pragma once
// Prefit MAC merging: decides which MAC atoms share one DSP location and
// merges them on the atom netlist. Every MAC is first placed on a model of
// the device's DSP locations (the DSP floorplan), honouring location
// constraints, placement regions and DSP chains; the placement is checked
// against the device and every region; merges not needed to fit are undone
// (unless merging for density); the MACs still sharing a location are merged.
//
// An estimate-only instance builds no floorplan and answers how many DSP
// locations a list of atoms needs after merging.
#include <list>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "vok/vok_atom_netlist.h"
#include "zmp_bbox.h"
#include "zmp_hash_lite_sys.h"

class WEXAN_ENV;
class WEXAN_DESIGN;
class WUMP_DIE_INFO;
class WUMP_PLACE_INFO;
class MSG_BASE;
class VELMO_QDSP_MERGE_UTIL_INTERFACE;

// One record per MAC atom.
struct VELMO_MAC_MERGE_MAC_INFO {
  bool has_been_placed = false;
  VOK_MAC_MODE_ENUM mode = VOK_MAC_MODE_NONE;  // -1: not mergeable
  int logical_group = -1;
  int chain_id = -1;
  int region_id = -1;  // Tarnbay region of the floating constraint
  // Locked location constraint; empty (max < min) when unconstrained.
  ZMP::BBOX_2D constraint_box;
  VOK_ATOM_NODE* atom = nullptr;  // not owned
};

// The MACs of one DSP location: slot 0 is the first MAC placed there, slots 1
// and 2 MACs merged onto it.
struct VELMO_MAC_TRIO {
  VELMO_MAC_MERGE_MAC_INFO* slots[3] = {nullptr, nullptr, nullptr};
  int scan_index = -1;  // position of the location in column-major scan order
};

class VELMO_MAC_MERGE_OP {
public:
  VELMO_MAC_MERGE_OP(WEXAN_ENV* env, bool estimate_only);
  ~VELMO_MAC_MERGE_OP();
  VELMO_MAC_MERGE_OP(const VELMO_MAC_MERGE_OP&) = delete;
  VELMO_MAC_MERGE_OP& operator=(const VELMO_MAC_MERGE_OP&) = delete;

  // The merge run; false when the design does not fit or a merge failed.
  bool work();
  // DSP locations the listed atoms need after merging (estimate-only mode).
  int estimate_min_macs_required(const std::list<VOK_ATOM_NODE*>* atom_list);

private:
  using BOX = ZMP::BBOX_2D;

  // Gathering and ordering (records, chains, groups).
  bool gather_mac_info();
  bool mac_info_sort(const VELMO_MAC_MERGE_MAC_INFO* a, const VELMO_MAC_MERGE_MAC_INFO* b) const;

  // Floorplan, regions and the fit check.
  bool check_floorplan(int* num_dsp_locations_used);
  void print_user_nofit_message();
  void get_tbr_dsp_boxes(const std::set<int>& region_ids);
  void get_tbr_dsp_capacity(int region_id, int& capacity, int& longest_run);
  bool is_dsp_location_in_tbr(int x, int y, int region_id) const;
  VELMO_MAC_TRIO*** alloc_2d_array_of_dsp_floorplan();
  void destroy_2d_array_of_dsp_floorplan(VELMO_MAC_TRIO*** floorplan);

  // Placement, spreading, merging and dumps.
  bool find_placement_for_given_mac(VELMO_MAC_MERGE_MAC_INFO* record, bool report);
  bool place_mac_at_xy_location_if_legal(VELMO_MAC_MERGE_MAC_INFO* record, int x, int y, bool);
  bool spread_macs(int num_dsp_locations_used);
  bool perform_merges();
  void dump_debug_info_to_file();
  void print_constraints_on_atom_for_debug(VOK_ATOM_NODE* atom);

  // Helpers.
  int merge_type_of(VOK_MAC_MODE_ENUM mode) const;
  bool compatible(VELMO_MAC_MERGE_MAC_INFO* first, VELMO_MAC_MERGE_MAC_INFO* other);
  bool has_free_merge_slot(const VELMO_MAC_TRIO* trio) const;
  void note_location_changed(VELMO_MAC_TRIO* trio);
  int first_empty_location();
  bool try_location(VELMO_MAC_MERGE_MAC_INFO* record, int scan_index, bool report);
  void attach_names(MSG_BASE* msg, bool (*match)(const VELMO_MAC_MERGE_MAC_INFO*, int), int key);
  void attach_region_boxes(MSG_BASE* msg, const char* title_format, int region_id);
  std::string region_name(int region_id) const;

  WEXAN_ENV* m_env = nullptr;
  WEXAN_DESIGN* m_design = nullptr;
  WUMP_DIE_INFO* m_die_info = nullptr;
  const WUMP_PLACE_INFO* m_place_info = nullptr;
  VELMO_QDSP_MERGE_UTIL_INTERFACE* m_merge_util = nullptr;
  VELMO_MAC_TRIO*** m_dsp_floorplan = nullptr;
  std::vector<BOX> m_dsp_column_bboxes;
  std::vector<std::vector<BOX>> m_tbr_dsp_bboxes;
  std::vector<VELMO_MAC_MERGE_MAC_INFO*> m_mac_infos;
  int m_dsp_element = 0;
  int m_num_dsp_locations = 0;
  int m_dsp_usage_capacity = 0;
  int m_num_rows = 0;
  int m_num_cols = 0;
  int m_dsp_height = 1;
  int m_num_chains = 0;
  int m_address_register_row = -1;
  bool m_estimate_only = false;
  bool m_debug = false;

  // Placement acceleration; placement results are those of a first-fit scan
  // over the locations in column-major order.
  std::vector<VELMO_MAC_TRIO*> m_scan_locations;        // the DSP locations in scan order
  std::vector<std::pair<int, int>> m_scan_xy;           // their coordinates
  int m_empty_cursor = 0;                               // no empty location before it
  std::map<int, std::set<int>> m_open_by_group;         // locations with a free merge slot, per group
  std::map<std::pair<int, int>, bool> m_compatible_memo;  // (first atom id, other atom id)
};
