#pragma once
// Periphery-to-core (P2C) and core-to-periphery (C2P) register placement: the
// working object with its caches, the requirement record of one core
// register, the readers of the user's transfer assignments, and the mapping
// between terminals, periphery ports, routing elements and register sites.
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "big_time/big_time.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_hash_set_lite_sys.h"
#include "juk_forest_detail_sys.h"

class WEXAN_ENV;
class WUMP_PLACE_INFO;
class WUMP_ROUTE_INFO;
class WUMP_ROUTE_GRAPH;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_CHIP_DB_ENTRY;
class W3J3_PORT_MAP_DB;
class DEV_DEVICE;
class GESK_TREE;
class OXTER_ENV;
class R5T_INTERFACE;
class YEB_TIMING_MODEL;
class TIBEX_LOCKED_CONSTRAINT;
class WEXAN_HOV_UTILITY;
class VOK_RE_ROUTING_MODIFIER;
class WUMP_BLACKLISTING;
struct YEB_PATH;

// "No delay bound given".
extern const BIG_TIME DEFAULT_MIN_DELAY;
extern const BIG_TIME DEFAULT_MAX_DELAY;

// The transfer requirement of one core register.
struct P2C_MATRIX_STRUCT {
  int max_wire = -1;
  int min_wire = -1;
  BIG_TIME max_delay = DEFAULT_MAX_DELAY;
  BIG_TIME min_delay = DEFAULT_MIN_DELAY;
  bool router_lock = false;
  int partition_id = 0;
  std::tuple<int, int, int> location{-1, -1, -1};
  std::shared_ptr<TIBEX_LOCKED_CONSTRAINT> region_constraint;

  bool operator!=(const P2C_MATRIX_STRUCT& o) const;
};

class VELMO_PERIPHERY_CORE_PLACEMENT {
public:
  enum TIMING_ANALYSIS_TYPE { SETUP = 0, HOLD = 1 };
  enum RESULT_STATUS { NOT_OPTIMIZED = 0, PLACED_NOT_ROUTED = 1, PLACED_AND_ROUTED = 2 };

  explicit VELMO_PERIPHERY_CORE_PLACEMENT(WEXAN_ENV* env);
  ~VELMO_PERIPHERY_CORE_PLACEMENT();
  VELMO_PERIPHERY_CORE_PLACEMENT(const VELMO_PERIPHERY_CORE_PLACEMENT&) = delete;
  VELMO_PERIPHERY_CORE_PLACEMENT& operator=(const VELMO_PERIPHERY_CORE_PLACEMENT&) = delete;

  bool UIB_ESRAM_C2P_core_register_placement();
  bool periphery_to_core_register_placement();

  // The requirement in words, for messages.
  std::string user_friendly_p2c_matrix(const P2C_MATRIX_STRUCT& m) const;

  // ---- ports and sites (gids; -1 / 0xFFFFFFFF for none)
  template <class TERM> unsigned get_top_level_port_gid(VOK_ATOM_NODE* atom, TERM term, bool forward);
  void create_blc_fcd_unified_network_node_id_and_gid_reverse_map();
  unsigned get_most_top_level_port_gid(unsigned gid, bool forward);
  unsigned get_gid_after_port_translation(unsigned gid, bool forward);
  unsigned get_ff_gid_from_lab_re_output_port(int gid) const;
  std::pair<bool, unsigned> get_ff_gid_from_lab_re_input_port(int gid) const;
  std::string leim_to_port_name(const std::string& leim) const;

  // ---- slack windows and the solver's per-element caches
  void build_switch_delays_cache();
  void build_usable_wire_weight_cache();
  void organize_p2c_window();
  void organize_c2p_window();
  int get_path_delay(const YEB_PATH& path, TIMING_ANALYSIS_TYPE type) const;
  void build_yeb_average_clock_path_delay_cache();
  void annotate_core_clock_delay_on_kem_netlist(TIMING_ANALYSIS_TYPE type);
  void compute_slack_window(TIMING_ANALYSIS_TYPE type);
  bool p2c_slack_estimation();

  // engine: one group through the solver, with the retry of its leftovers
  JUK::FOREST<int, int> solve_group(const std::vector<int>& dests, const P2C_MATRIX_STRUCT& m, bool p2c,
                                    bool wire_based, std::vector<int>* first_leftovers = nullptr);
  void drop_conflicting_chains(JUK::FOREST<int, int>& forest, bool p2c);

  // engine: committing solved chains, and the report of what was done
  int p2c_publish_placement_to_vpr(JUK::FOREST<int, int>& forest, bool with_routing);
  int c2p_publish_placement_to_vpr(JUK::FOREST<int, int>& forest, std::vector<VOK_ATOM_NODE*>& rejected,
                                   bool with_routing);
  void publish_routing_to_crf(const JUK::FOREST<int, int>& forest, VOK_RE_ROUTING_MODIFIER& modifier,
                              bool hard = true);
  void generate_p2c_optimization_report();

  // LCELL periphery router: wire LUTs feeding the periphery placed in a LAB
  // that reaches the periphery input, and routed there. False (with an error
  // posted) when an assigned one found no LAB cell and route.
  bool place_and_route_c2p_lcell();
  bool place_and_route_wire_lut_from_lab_re_to_periphery(VOK_ATOM_NODE* wirelut, unsigned lab_gid, unsigned port_gid,
                                                         const VOK_ATOM_ITERM* dst_term,
                                                         VOK_RE_ROUTING_MODIFIER& modifier,
                                                         const WUMP_BLACKLISTING* blacklisting);
  // Result status of a core register by hierarchical name (NOT_OPTIMIZED when absent).
  RESULT_STATUS p2c_result_status(const std::string& name) const;
  RESULT_STATUS c2p_result_status(const std::string& name) const;

  // destination search: the core registers taking part in a transfer, grouped
  // by requirement and control signals; destinations are translated port gids
  bool get_interested_dst_locs(std::vector<std::vector<int>>& p2c_dests, std::vector<std::vector<int>>& c2p_dests,
                               std::vector<P2C_MATRIX_STRUCT>& p2c_matrices,
                               std::vector<P2C_MATRIX_STRUCT>& c2p_matrices);
  bool get_uib_esram_dst_locs(std::unordered_map<unsigned, std::vector<int>>& dests_by_clock_driver);
  bool get_interested_dst_locs_from_set_net_delay_sdc(std::vector<std::vector<int>>& p2c_dests,
                                                      std::vector<std::vector<int>>& c2p_dests,
                                                      std::vector<P2C_MATRIX_STRUCT>& p2c_matrices,
                                                      std::vector<P2C_MATRIX_STRUCT>& c2p_matrices);
  using CONNECTION = std::tuple<VOK_ATOM_NODE*, VOK_ATOM_NODE*, VOK_ATOM_ITERM*>;
  const ZMP_HASH_LITE<int, VOK_ATOM_NODE*>& port_gid_to_core_node_map() const { return m_port_gid_to_core_node_map; }
  const std::vector<CONNECTION>& p2c_connections() const { return m_p2c_connections; }
  const std::vector<CONNECTION>& c2p_connections() const { return m_c2p_connections; }
  const ZMP_HASH_LITE<std::pair<int, int>, std::vector<VOK_ATOM_NODE*>>& blacklisted_locs() const {
    return m_blacklisted_locs;
  }
  ZMP_HASH_LITE<std::pair<int, int>, std::pair<int, int>>& p2c_slack_window_map() { return m_p2c_slack_window_map; }

  // ---- read-only views for the passes and tests
  bool is_slack_estimation_eligible() const { return m_slack_estimation_eligible; }
  bool disallows_partial_placement() const { return m_disallow_partial_placement; }
  const ZMP_HASH_SET_LITE<int>& pre_occupied_re_gids() const { return m_pre_occupied_re_gids; }
  const std::unordered_set<unsigned>& zota_register_gids() const { return m_zota_register_gids; }
  const YEB_TIMING_MODEL* default_timing_model() const { return m_default_timing_model.get(); }
  float local_scaling_factor() const { return m_local_scaling_factor; }
  std::pair<float, float> hold_scaling_factors() const { return {m_hold_scaling_factor_min, m_hold_scaling_factor_max}; }

private:
  friend struct VELMO_P2C_PLACEMENT_PEER;  // tests
  using SLACK_MAP = ZMP_HASH_LITE<std::pair<int, int>, int>;
  using WINDOW_MAP = ZMP_HASH_LITE<std::pair<int, int>, std::pair<int, int>>;
  void organize_window(const char* side, const SLACK_MAP& setup, const SLACK_MAP& hold, WINDOW_MAP& windows,
                       int guardband_min, int guardband_max);
  bool check_slack_estimation_eligiblity();
  std::shared_ptr<YEB_TIMING_MODEL> load_default_timing_model();
  void compute_scaling_ratio();
  void populate_pre_occupied_re_gids();
  JUK::FOREST<int, int> call_solver(const std::vector<int>& dests, const P2C_MATRIX_STRUCT& m, bool p2c,
                                    bool wire_based, bool final_attempt, std::vector<int>& leftovers);
  struct SEARCH_GROUPS;
  unsigned translated_port_gid(unsigned gid, bool forward, bool uib_esram);
  void take_up_transfer(SEARCH_GROUPS& groups, bool p2c, VOK_ATOM_NODE* src, VOK_ATOM_NODE* dst,
                        VOK_ATOM_ITERM* dst_term, VOK_ATOM_NODE* core, VOK_ATOM_NODE* periphery,
                        const P2C_MATRIX_STRUCT& m, unsigned tr);
  void collect_blacklist(const std::unordered_set<int>& candidates);
  using GROUP_RESULTS = std::unordered_map<int, std::tuple<int, int, RESULT_STATUS>>;
  bool run_group(int index, const std::vector<int>& dests, const P2C_MATRIX_STRUCT& m, bool p2c,
                 VOK_RE_ROUTING_MODIFIER& modifier, GROUP_RESULTS& results);
  void run_direction(bool p2c, const std::vector<std::vector<int>>& groups,
                     const std::vector<P2C_MATRIX_STRUCT>& matrices, VOK_RE_ROUTING_MODIFIER& modifier, bool& ok);
  int publish_placement(JUK::FOREST<int, int>& forest, bool p2c, std::vector<VOK_ATOM_NODE*>* rejected,
                        bool with_routing);
  std::vector<int> forward_route(unsigned lab_gid, unsigned port_gid, const WUMP_BLACKLISTING* blacklisting) const;

  const WUMP_PLACE_INFO* m_place_info = nullptr;
  const WUMP_ROUTE_INFO* m_route_info = nullptr;
  VOK_ATOM_NETLIST* m_atom_netlist = nullptr;
  const W3J3_PORT_MAP_DB* m_port_map_db = nullptr;
  const DEV_DEVICE* m_device = nullptr;
  const GESK_TREE* m_gesk_instance = nullptr;
  VOK_CHIP_DB_ENTRY* m_chip_db_entry = nullptr;
  const WUMP_ROUTE_GRAPH* m_route_graph = nullptr;
  bool m_verbose = false;
  bool m_publish_routing = false;
  bool m_publish_routing_for_wire_based = false;
  bool m_disallow_partial_placement = false;
  bool m_slack_estimation_eligible = false;
  bool m_netlist_modified = false;
  bool m_use_two_corners = false;
  bool m_check_core_ff_constrained_on_both_sides = false;
  bool m_reverse_map_built = false;
  ZMP_HASH_LITE<int, VOK_ATOM_NODE*> m_port_gid_to_core_node_map;
  WEXAN_ENV* m_env = nullptr;
  OXTER_ENV* m_oxter_env = nullptr;
  R5T_INTERFACE* m_r5t = nullptr;
  std::unordered_map<unsigned, int> m_gid_to_unified_network_node_map;
  WEXAN_HOV_UTILITY* m_hov_utility = nullptr;
  std::shared_ptr<YEB_TIMING_MODEL> m_default_timing_model;
  float m_local_scaling_factor = 1.0f;
  float m_hold_scaling_factor_min = 1.0f;
  float m_hold_scaling_factor_max = 1.0f;
  std::unordered_map<int, std::pair<int, int>> m_average_clock_min_delay_cache;
  std::unordered_map<int, std::pair<int, int>> m_average_clock_max_delay_cache;
  ZMP_HASH_LITE<std::pair<int, int>, int> m_nodes_repuired_p2c_min_delay_map;
  ZMP_HASH_LITE<std::pair<int, int>, int> m_nodes_repuired_p2c_max_delay_map;
  ZMP_HASH_LITE<std::pair<int, int>, int> m_nodes_repuired_c2p_min_delay_map;
  ZMP_HASH_LITE<std::pair<int, int>, int> m_nodes_repuired_c2p_max_delay_map;
  ZMP_HASH_LITE<std::pair<int, int>, std::pair<int, int>> m_p2c_slack_window_map;
  ZMP_HASH_LITE<std::pair<int, int>, std::pair<int, int>> m_c2p_slack_window_map;
  int m_p2c_general_window_max = 2147483647;
  int m_c2p_general_window_max = 2147483647;
  int m_p2c_general_window_min = 0;
  int m_c2p_general_window_min = 0;
  ZMP_HASH_LITE<std::string, RESULT_STATUS> m_p2c_result_status_map;
  ZMP_HASH_LITE<std::string, RESULT_STATUS> m_c2p_result_status_map;
  std::vector<std::tuple<VOK_ATOM_NODE*, VOK_ATOM_NODE*, VOK_ATOM_ITERM*>> m_p2c_connections;
  std::vector<std::tuple<VOK_ATOM_NODE*, VOK_ATOM_NODE*, VOK_ATOM_ITERM*>> m_c2p_connections;
  ZMP_HASH_LITE<int, std::tuple<unsigned, int, std::vector<std::pair<float, float>>>> m_switch_delays_cache;
  std::unordered_map<int, int> m_usable_wire_weight_cache;
  bool m_switch_delays_cache_built = false;
  std::unordered_set<unsigned> m_zota_register_gids;
  ZMP_HASH_SET_LITE<int> m_pre_occupied_re_gids;
  ZMP_HASH_LITE<std::pair<int, int>, std::vector<VOK_ATOM_NODE*>> m_blacklisted_locs;
};

// ---- readers of the transfer assignments (the record may be null)
bool have_p2c_delay_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m);
bool have_c2p_delay_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m);
bool have_p2c_wire_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m);
bool have_c2p_wire_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m);
bool have_p2c_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m);
bool have_c2p_assignment(VOK_ATOM_NODE* atom, P2C_MATRIX_STRUCT* m);
bool have_uib_esram_c2p_assignment(VOK_ATOM_NODE* atom);
bool have_lcell_periphery_router_assignment(VOK_ATOM_NODE* atom);
// True when the P2C or C2P router-wires assignment exists on the instance.
bool have_c2p_router_moz_assignment(const std::string& instance);
int check_p2c_slack_estimation_moz_for_src_dst_atoms(VOK_ATOM_NODE* src, VOK_ATOM_NODE* dst);
int get_partition_id(VOK_ATOM_NODE* atom);
bool same_region_constraint(std::shared_ptr<TIBEX_LOCKED_CONSTRAINT> a, std::shared_ptr<TIBEX_LOCKED_CONSTRAINT> b);
// The LAB output port name of a LAB output routing-element name.
std::string labout_to_port_name(const std::string& labout);
// Register predicates of the destination search.
bool core_ff_input_connect_to_periphery_through_at_most_one_lut(VOK_ATOM_NODE* node);
bool core_ff_output_directly_connect_to_periphery(VOK_ATOM_NODE* node);
bool ff_with_same_control_signals(VOK_ATOM_NODE* ff_a, VOK_ATOM_NODE* ff_b);

// The settings read when the library is loaded.
struct VELMO_P2C_SETTINGS {
  float window_guardband_min;
  float window_guardband_max;
  int p2c_window_absolute_guardband_min;
  int p2c_window_absolute_guardband_max;
  int c2p_window_absolute_guardband_min;
  int c2p_window_absolute_guardband_max;
  int group_granularity_small;
  int group_granularity_large;
  int p2c_effort_level;
};
const VELMO_P2C_SETTINGS& velmo_p2c_settings();
