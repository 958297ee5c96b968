#pragma once
// The automatic I/O delay-chain pass: built by the delay-chain operation's
// automatic step on the operation whose chain lists and edge classification
// it uses. It tabulates the delay of every setting of every chain per timing
// corner, turns the classified timing edges into optimisation elements (one
// per pin and chain) grouped per pin, measures their slacks per corner and
// searches each group's settings for the best worst-case slack.
#include <array>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "velmo_delay_chain_op.h"
#include "velmo_export.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_delay_chain_util.h"

class HOV_ACCESSORIES;
class KEM_EDGE;
class KEM_NODE;
class WEXAN_ENV;
class WEXAN_HOV_UTILITY;
class WEXAN_MSGR;

// Kind of timing edge an optimisation record stands for.
enum VELMO_KEM_EDGE_TYPE : int {
  VELMO_KEM_EDGE_DATA = 0,
};

// No slack, score or delay recorded.
inline constexpr std::int32_t VELMO_NO_SLACK_VALUE = static_cast<std::int32_t>(0x80000001u);

struct OPTIMIZATION_ELEMENT;

// One timing edge the chains act on, with its slacks per corner and the
// elements acting on it (element, PLL relationship or -1).
struct VELMO_API KEM_EDGE_SLACK_INFO {
  std::int32_t edge_id = -1;
  VELMO_KEM_EDGE_TYPE edge_type = static_cast<VELMO_KEM_EDGE_TYPE>(-1);
  VELMO_OPT_ELEMENT_GROUP_TYPE group_type = static_cast<VELMO_OPT_ELEMENT_GROUP_TYPE>(-1);
  std::vector<std::pair<OPTIMIZATION_ELEMENT*, std::int32_t>> opt_elements;
  std::int32_t slack[2][3];  // [setup 0 / hold 1][corner]
  KEM_EDGE_SLACK_INFO();
  // The edge of the current timing netlist; null when it is gone.
  KEM_EDGE* get_edge() const;
};

// One chain of one pin: the knob the search turns.
struct VELMO_API OPTIMIZATION_ELEMENT {
  YOS_UINT_DATA_ENUM delay_chain_type = VELMO_NO_DELAY_CHAIN;
  VELMO_KEM_EDGE_TYPE edge_type = static_cast<VELMO_KEM_EDGE_TYPE>(-1);
  VELMO_OPT_ELEMENT_GROUP_TYPE group_type = static_cast<VELMO_OPT_ELEMENT_GROUP_TYPE>(-1);
  VOK_ATOM_NODE* atom = nullptr;
  std::vector<KEM_EDGE_SLACK_INFO*> pos_edges;
  std::vector<KEM_EDGE_SLACK_INFO*> neg_edges;
  std::int32_t wc_slack[2] = {VELMO_NO_SLACK_VALUE, VELMO_NO_SLACK_VALUE};
  std::int32_t initial_setting = -1;
  std::int32_t current_best_setting = -1;
  std::int32_t tmp_setting = -1;
  std::int32_t min_setting = 0;
  std::int32_t max_setting = -1;
  // The records of pos_edges once the list is long, for the duplicate test
  // of group types 0 and 1.
  std::unordered_set<const KEM_EDGE_SLACK_INFO*> pos_edge_set;
};

// The elements of one pin whose settings are searched together.
struct VELMO_API OPTIMIZATION_GROUP {
  std::vector<OPTIMIZATION_ELEMENT*> opt_elements;
  std::int32_t current_best_score1_wc_slack = VELMO_NO_SLACK_VALUE;
  std::int32_t current_best_score2_sum_of_wc_slack = 0;
  std::int32_t tmp_score1_wc_slack = VELMO_NO_SLACK_VALUE;
  std::int32_t tmp_score2_sum_of_wc_slack = 0;
  bool is_high_fanout_input_pin = false;
};

// One node of the branch and bound's tree: the setting of one element
// below the settings of its ancestors (the root assigns nothing). Children
// are made when the node is expanded; a leaf assigns the group's last element.
struct VELMO_API OPTIMIZATION_ELEMENT_SETTING_NODE {
  OPTIMIZATION_ELEMENT_SETTING_NODE* parent = nullptr;
  OPTIMIZATION_ELEMENT* opt_element = nullptr;
  std::vector<std::unique_ptr<OPTIMIZATION_ELEMENT_SETTING_NODE>> children;
  std::int32_t setting = 0;
  OPTIMIZATION_ELEMENT_SETTING_NODE(OPTIMIZATION_ELEMENT_SETTING_NODE* p, OPTIMIZATION_ELEMENT* e, std::int32_t s,
                                    bool last)
      : parent(p), opt_element(e), setting(s), m_last(last) {}
  bool is_leaf() const { return m_last; }

private:
  bool m_last;
};

// The tree of partial assignments of one group, one level per element in
// group order, each level's settings ascending.
class VELMO_API OPTIMIZATION_ELEMENT_SETTING_TREE {
public:
  explicit OPTIMIZATION_ELEMENT_SETTING_TREE(OPTIMIZATION_GROUP* group);
  OPTIMIZATION_ELEMENT_SETTING_NODE* get_root() { return &m_root; }
  // Makes the node's children (one per setting of the next element); none
  // for a leaf. Returns the number of children.
  std::size_t expand(OPTIMIZATION_ELEMENT_SETTING_NODE* node);

private:
  OPTIMIZATION_GROUP* m_group;
  OPTIMIZATION_ELEMENT_SETTING_NODE m_root;
};

// The branch and bound's settings per element (-1 unassigned) and its open
// list of (node, bound) pairs in descending order of bound.
using VELMO_OPT_ELEMENT_SETTINGS = std::unordered_map<OPTIMIZATION_ELEMENT*, std::int32_t>;
using VELMO_OPT_OPEN_LIST = std::list<std::pair<OPTIMIZATION_ELEMENT_SETTING_NODE*, std::int32_t>>;

namespace velmo_auto_dc {
struct SEARCH_MOVES;
}

class VELMO_API VELMO_AUTO_DELAY_CHAIN_OP {
public:
  // Per-atom slack record: edge ids and slacks per [kind][corner].
  struct VELMO_API SLACK_INFO {
    std::int32_t edge_id[2][3];
    std::int32_t index = -1;
    std::int32_t slack[2][3];
    SLACK_INFO();
    KEM_EDGE* get_edge() const;
  };

  // The delays of one chain setting: [orientation][rise 0 / fall 1][corner],
  // orientation 1 on a horizontal pad.
  struct VELMO_API AUTO_DELAY_CHAIN_VALUE {
    std::uint32_t setting = 0;
    std::int32_t delay[2][2][3] = {};
    int get_tsu_delay(int orientation, int corner) const;
    int get_th_delay(int orientation, int corner) const;
    int get_delay(int kind, int orientation, int corner) const;
  };

  // One chain with its values, values[s] of setting s (the clock-delay
  // control chain has an extra first value of setting 9999).
  struct VELMO_API AUTO_DELAY_CHAIN_INFO {
    YOS_UINT_DATA_ENUM type = VELMO_NO_DELAY_CHAIN;
    std::vector<std::unique_ptr<AUTO_DELAY_CHAIN_VALUE>> values;
  };

  using ELEMENT_KEY = std::pair<VOK_ATOM_NODE*, YOS_UINT_DATA_ENUM>;
  using GROUP_KEY = std::pair<VOK_ATOM_NODE*, VELMO_OPT_ELEMENT_GROUP_TYPE>;

  VELMO_AUTO_DELAY_CHAIN_OP(WEXAN_ENV* env, VELMO_DELAY_CHAIN_OP* owner);
  ~VELMO_AUTO_DELAY_CHAIN_OP();
  VELMO_AUTO_DELAY_CHAIN_OP(const VELMO_AUTO_DELAY_CHAIN_OP&) = delete;
  VELMO_AUTO_DELAY_CHAIN_OP& operator=(const VELMO_AUTO_DELAY_CHAIN_OP&) = delete;

  // ---- flow
  bool work_new();
  void test_incremental_r5v();
  void process_optimization_cleanup();
  void delete_slack_info_map();

  // ---- one chain setting on one atom
  bool set_delay_chain(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, int setting);
  bool set_best_delay_chain_setting_new(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, unsigned setting);
  bool set_best_delay_chain_setting(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, unsigned setting);
  unsigned get_delay_chain_setting(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  bool has_user_option(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  bool is_delay_chain_used(YOS_UINT_DATA_ENUM type, const VOK_ATOM_NODE* atom, bool flag) const;
  int translate_delay_type(YOS_UINT_DATA_ENUM type) const;
  unsigned translate_delay_value(unsigned setting) const;

  // ---- delay table
  void init_yeb_cell_delays();
  void build_auto_delay_chain_vec_new();
  std::unique_ptr<AUTO_DELAY_CHAIN_INFO> build_delay_chain_info_vec_new(YOS_UINT_DATA_ENUM type);
  std::unique_ptr<AUTO_DELAY_CHAIN_INFO> build_delay_chain_info_vec_for_clk_delay_ctrl(YOS_UINT_DATA_ENUM type);
  std::unique_ptr<AUTO_DELAY_CHAIN_VALUE> build_delay_value(YOS_UINT_DATA_ENUM type, unsigned setting);
  AUTO_DELAY_CHAIN_INFO* get_delay_chain_info(YOS_UINT_DATA_ENUM type) const;
  void delete_auto_delay_chain_vec();
  static void add_delays(AUTO_DELAY_CHAIN_VALUE* target, const AUTO_DELAY_CHAIN_VALUE* source);
  int get_max_delay_chain_setting(YOS_UINT_DATA_ENUM type) const;

  // ---- optimisation elements and groups
  void build_optimization_elements();
  void build_optimization_elements_for_edge(int group, KEM_EDGE* edge, const PLL_AFFECTED_KEM_EDGE* pll_edge);
  void get_optimization_elements_for_given_edge(KEM_EDGE* edge, std::vector<YOS_UINT_DATA_ENUM>& types,
                                                VELMO_OPT_ELEMENT_GROUP_TYPE group, bool* need_oe_offset,
                                                bool* is_oe_edge);
  // Families 7, 37 and 62: the fine chains of the coarse chains in the list
  // (300 for 144, 305 for 152, 301 for 153), each once, appended in that order.
  void append_fine_delay_chains(std::vector<YOS_UINT_DATA_ENUM>& types) const;
  bool skip_creating_optimization_element(KEM_EDGE* edge, YOS_UINT_DATA_ENUM type);
  bool is_edge_clock_source(const KEM_NODE* node) const;
  KEM_EDGE_SLACK_INFO* build_kem_edge_slack_info_for_given_edge(KEM_EDGE* edge, VELMO_OPT_ELEMENT_GROUP_TYPE group,
                                                                YOS_UINT_DATA_ENUM type);
  OPTIMIZATION_ELEMENT* is_there_existing_optimization_element(KEM_EDGE* edge, YOS_UINT_DATA_ENUM type,
                                                               VOK_ATOM_NODE* atom);
  OPTIMIZATION_ELEMENT* build_optimization_element(KEM_EDGE* edge, YOS_UINT_DATA_ENUM type,
                                                   VELMO_OPT_ELEMENT_GROUP_TYPE group, VELMO_KEM_EDGE_TYPE edge_type,
                                                   VOK_ATOM_NODE* atom);
  void update_optimization_elements_kem_edge_lists();
  static bool is_edge_in_vec_list(KEM_EDGE_SLACK_INFO* info, std::vector<KEM_EDGE_SLACK_INFO*> list);
  static bool is_op_group_in_vec_list(OPTIMIZATION_GROUP* group, std::vector<OPTIMIZATION_GROUP*> list);
  void build_optimization_groups();
  OPTIMIZATION_GROUP* build_optimization_group(OPTIMIZATION_ELEMENT* element, VOK_ATOM_NODE* atom);
  void identify_pin_to_core_optimization_groups_with_high_fanout_pins();
  void get_edge_vec_for_opt_group(OPTIMIZATION_GROUP* group, std::vector<KEM_EDGE_SLACK_INFO*>& out) const;
  bool skip_pin_due_to_pll(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;

  // ---- per-corner slacks
  void perform_timing_corner_analysis(ZEL_TIMING_MODEL model, int corner, WEXAN_HOV_UTILITY* hov,
                                      HOV_ACCESSORIES* accessories, bool use_incremental,
                                      VELMO_OPT_ELEMENT_GROUP_TYPE group);
  void collect_slack_new(VELMO_OPT_ELEMENT_GROUP_TYPE group, int kind, int corner);
  void update_slack_info_for_optimization_group(OPTIMIZATION_ELEMENT* element, int old_setting, int new_setting);
  void load_worse_case_slack_for_optimization_element(OPTIMIZATION_ELEMENT* element);
  int get_dmf_value(YOS_UINT_DATA_ENUM type, unsigned setting, VOK_ATOM_NODE* atom, int kind, int corner);
  bool is_horizontal_pad(const VOK_ATOM_NODE* atom) const;
  // The edge's slack, or with the slack-file switch on a pin-to-core edge's
  // override from "velmo_auto_dc.in" (value field 3 + 2 first + second).
  int get_wc_slack_of_edge(KEM_EDGE* edge, int first, int second, YOS_UINT_DATA_ENUM type,
                           VELMO_OPT_ELEMENT_GROUP_TYPE group) const;
  VOK_ATOM_NODE* get_dst_atom_of_edge(KEM_EDGE* edge) const;

  // ---- search and reports
  void incrementally_update_tainted_atoms();
  bool process_optimization_groups(VELMO_OPT_ELEMENT_GROUP_TYPE group);
  bool process_optimization_group(OPTIMIZATION_GROUP* group);
  bool process_phase_optimization_group(OPTIMIZATION_GROUP* group);
  void process_optimization_group_initialize(OPTIMIZATION_GROUP* group);
  void restrict_optimization_element(OPTIMIZATION_ELEMENT* element, bool force_fix);
  bool process_optimization_group_change_setting(OPTIMIZATION_GROUP* group, bool reset, bool restore);
  void process_optimization_group_evaulate_settings(OPTIMIZATION_GROUP* group);
  std::int32_t convert_temp_setting_to_penalty(OPTIMIZATION_GROUP* group) const;
  static std::int32_t get_penalty_for_opt_element_setting(YOS_UINT_DATA_ENUM type, int setting);
  void process_optimization_group_accept_new_setting(OPTIMIZATION_GROUP* group);
  void process_optimization_group_determine_best_settings(OPTIMIZATION_GROUP* group);
  void get_empty_opt_elems_settings_hash(OPTIMIZATION_GROUP* group, VELMO_OPT_ELEMENT_SETTINGS* settings) const;
  std::int32_t compute_best_case_bound(OPTIMIZATION_ELEMENT_SETTING_NODE* node, std::vector<KEM_EDGE_SLACK_INFO*>* edges,
                                       VELMO_OPT_ELEMENT_SETTINGS* settings);
  std::int32_t get_worst_slack_for_edge(KEM_EDGE_SLACK_INFO* edge, VELMO_OPT_ELEMENT_SETTINGS* settings);
  static void insert_at_sorted_position(VELMO_OPT_OPEN_LIST* open,
                                        const std::pair<OPTIMIZATION_ELEMENT_SETTING_NODE*, std::int32_t>& entry);
  static void prune_bad_paths(VELMO_OPT_OPEN_LIST* open, std::int32_t incumbent);
  void process_optimization_group_enforce_restrictions(OPTIMIZATION_GROUP* group);
  // False when a setting could not be written.
  bool process_optimization_group_assign_optimized_settings(OPTIMIZATION_GROUP* group);
  // Counters of the searches since construction: combinations scored by
  // the exhaustive search, nodes expanded and made by the branch and bound.
  long get_evaluation_count() const { return m_evaluations; }
  long get_expanded_node_count() const { return m_expanded_nodes; }
  long get_made_node_count() const { return m_made_nodes; }
  void dump_optimization_info();
  void dump_optimization_timing_info(const char* tag);
  void dump_optimization_timing_info_for_opt_element(OPTIMIZATION_ELEMENT* element);
  void dump_atoms();
  static const char* get_opt_element_group_type_string(int type);
  static const char* get_opt_element_edge_type_string(int type);

  // ---- what the tests read
  bool is_enabled() const { return m_enabled; }
  bool is_multi_corner() const { return m_multi_corner; }
  bool is_hold() const { return m_hold; }
  bool is_clk_delay_ctrl() const { return m_clk_delay_ctrl; }
  bool is_b_and_b() const { return m_b_and_b; }
  int get_high_fanout_mode() const { return m_high_fanout_mode; }
  int get_corner_count() const { return m_corner_count; }
  const std::vector<YOS_UINT_DATA_ENUM>& get_all_types() const { return m_all_types; }
  const std::vector<YOS_UINT_DATA_ENUM>& get_auto_types() const { return m_auto_types; }
  const std::list<std::unique_ptr<AUTO_DELAY_CHAIN_INFO>>& get_auto_delay_chain_vec() const {
    return m_auto_delay_chain_vec;
  }
  const std::list<KEM_EDGE_SLACK_INFO*>& get_kem_edge_slack_infos() const { return m_kem_edge_slack_infos; }
  const std::list<OPTIMIZATION_ELEMENT*>& get_optimization_elements() const { return m_optimization_elements; }
  const std::list<OPTIMIZATION_GROUP*>& get_optimization_groups() const { return m_optimization_groups; }
  const std::map<ELEMENT_KEY, OPTIMIZATION_ELEMENT*>& get_element_map() const { return m_element_map; }
  const std::map<GROUP_KEY, OPTIMIZATION_GROUP*>& get_group_map() const { return m_group_map; }
  std::map<YOS_UINT_DATA_ENUM, std::array<YEB_CELL_DELAY, 3>>& get_yeb_cell_delays() { return m_yeb_cell_delays; }
  WEXAN_MSGR* get_msgr() const { return m_msgr; }

private:
  void construct(VELMO_DELAY_CHAIN_OP* owner);
  void release();

  WEXAN_ENV* m_env;
  WEXAN_MSGR* m_msgr = nullptr;
  const DEV_BASIC_INFO* m_dev_basic_info = nullptr;
  DEV_FAMILY_ENUM m_family{};
  DEV_FAMILY_ENUM m_base_family{};
  ZEL_ATOM_IO* m_zel_atom_io_util = nullptr;
  NOLT_DELAY_CHAIN_UTIL_BODY* m_body = nullptr;
  ZEL_DELAY_CHAIN_UTIL* m_util = nullptr;
  VELMO_DELAY_CHAIN_OP* m_owner;
  YOS_INTERFACE* m_yos = nullptr;
  int m_corner_count = 0;
  const ZEL_TIMING_MODEL* m_corner_models = nullptr;
  std::list<KEM_EDGE_SLACK_INFO*> m_kem_edge_slack_infos;
  std::list<OPTIMIZATION_ELEMENT*> m_optimization_elements;
  std::list<OPTIMIZATION_GROUP*> m_optimization_groups;
  std::map<ELEMENT_KEY, SLACK_INFO*> m_chain_slack_infos;
  std::map<ELEMENT_KEY, OPTIMIZATION_ELEMENT*> m_element_map;
  std::map<GROUP_KEY, OPTIMIZATION_GROUP*> m_group_map;
  std::map<VOK_ATOM_NODE*, SLACK_INFO*> m_atom_slack_infos;
  // Owns the chains and their values: whatever path leaves the pass frees them.
  std::list<std::unique_ptr<AUTO_DELAY_CHAIN_INFO>> m_auto_delay_chain_vec;
  std::vector<YOS_UINT_DATA_ENUM> m_auto_types;
  std::vector<YOS_UINT_DATA_ENUM> m_all_types;
  std::map<YOS_UINT_DATA_ENUM, std::array<YEB_CELL_DELAY, 3>> m_yeb_cell_delays;
  // Switches.
  bool m_enabled = false;
  bool m_multi_corner = false;
  bool m_hold = false;
  bool m_clk_delay_ctrl = false;
  bool m_debug = false;
  bool m_verbose = false;
  bool m_verbose_optimizations = false;
  bool m_slack_file = false;
  bool m_test_incremental = false;
  bool m_b_and_b = false;
  bool m_pll_compensation_check = false;
  bool m_pll_delay_chains = false;
  bool m_pll_phase_shift = false;
  int m_high_fanout_mode = 0;
  // The search.
  bool move_tmp_setting(OPTIMIZATION_ELEMENT* element, std::int32_t setting);
  void append_to_trace(const char* text) const;
  const velmo_auto_dc::SEARCH_MOVES& search_moves(OPTIMIZATION_ELEMENT* element);
  std::unordered_map<const OPTIMIZATION_ELEMENT*, velmo_auto_dc::SEARCH_MOVES>* m_search_moves = nullptr;
  long m_evaluations = 0;
  long m_expanded_nodes = 0;
  long m_made_nodes = 0;
};
