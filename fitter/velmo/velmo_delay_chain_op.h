#pragma once
// The I/O delay-chain operation and its step dispatcher: the device's view of
// the programmable delay chains of I/O atoms (which chains exist, which the
// user may assign, which the automatic flow may set, each setting's delay),
// the user-setting reader and validators, and the edge lists, PLL maps and
// slack records that the timing-driven steps fill.
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "velmo_export.h"
#include "yos/yos_interface.h"

class DEV_BASIC_INFO;
class DEV_PAD;
class GEN_STOPWATCH;
class HOV_ACCESSORIES;
class WEXAN_HOV_UTILITY;
class KEM_EDGE;
class KEM_NODE;
class NOLT_DELAY_CHAIN_UTIL_BODY;
class VOK_ATOM_NODE;
class WEXAN_ENV;
class WEXAN_MSGR;
class ZEL_ATOM_IO;
class ZEL_DELAY_CHAIN_UTIL;
enum DEV_FAMILY_ENUM : int;

// Optimisation groups: which kind of chain an element or edge belongs to.
enum VELMO_OPT_ELEMENT_GROUP_TYPE : int {
  VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN = 0,
  VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN = 1,
  VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN = 2,
  VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN = 3,
};

// No chain type.
inline constexpr YOS_UINT_DATA_ENUM VELMO_NO_DELAY_CHAIN = static_cast<YOS_UINT_DATA_ENUM>(-1);

// Display name of a chain type ("Illegal" for types without one; every
// chain type of the supported families has one).
const char* velmo_get_delay_chain_string(YOS_UINT_DATA_ENUM type);

// One setting of a chain with its delays.
struct DELAY_CHAIN_VALUE_VEC_ELEMENT {
  std::uint32_t setting = 0;
  std::uint32_t other_delay = 0;       // on a pad that is not horizontal
  std::uint32_t horizontal_delay = 0;  // on a horizontal pad
};

// One chain type with all its settings (owned, increasing setting order).
struct DELAY_CHAIN_INFO_VEC_ELEMENT {
  YOS_UINT_DATA_ENUM type{};
  std::vector<DELAY_CHAIN_VALUE_VEC_ELEMENT*> values;
};

// Slack record of the single-corner chooser, per atom and chain.
struct VELMO_SLACK_INFO {
  KEM_EDGE* tsu_edge = nullptr;
  KEM_EDGE* th_edge = nullptr;
  YOS_UINT_DATA_ENUM delay_type{};
  std::int32_t tsu_slack = static_cast<std::int32_t>(0x80000001u);
  std::int32_t th_slack = static_cast<std::int32_t>(0x80000001u);
};

// A PLL timing edge with the atoms its relationships reach (the two lists
// always have equal length).
struct PLL_AFFECTED_KEM_EDGE {
  KEM_EDGE* edge = nullptr;
  std::vector<VOK_ATOM_NODE*> atoms;
  std::vector<std::int32_t> relationships;
};

// Priority of a chain within one atom: D3_0, D3_1 and D2 come before D1.
int translate_delay_type_priority(YOS_UINT_DATA_ENUM type);

// Slack-map key: atom id first, then chain priority.
struct VELMO_SLACK_KEY {
  VOK_ATOM_NODE* atom = nullptr;
  YOS_UINT_DATA_ENUM type{};
  bool operator<(const VELMO_SLACK_KEY& other) const;
};

class VELMO_API VELMO_DELAY_CHAIN_OP {
public:
  enum DELAY_CHAIN_STEP : int {
    READ_USER_INFO = 0,
    READ_USER_INFO_WITH_MESSAGES = 1,
    VALIDATE_CHAIN_INFO = 2,
    VALIDATE_TO_OTHER_ASSIGNMENTS = 3,
    PACKAGE_SKEW_COMPENSATION = 4,
    NETLIST_FLOW_LEGALITY_CHECK = 5,
    SET_PLL_BASIC_DELAY_CHAINS = 6,
    AUTO_DELAY_CHAIN = 7,
    ESTIMATE_TIMING_DELAY_CHAIN = 8,
    DUMP_ATOMS = 9,
  };

  explicit VELMO_DELAY_CHAIN_OP(WEXAN_ENV* env);
  ~VELMO_DELAY_CHAIN_OP();
  VELMO_DELAY_CHAIN_OP(const VELMO_DELAY_CHAIN_OP&) = delete;
  VELMO_DELAY_CHAIN_OP& operator=(const VELMO_DELAY_CHAIN_OP&) = delete;

  bool work(DELAY_CHAIN_STEP step);

  // ---- chain services
  bool set_delay_chain(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, int setting);
  unsigned get_delay_chain_setting(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  bool is_delay_chain_used(YOS_UINT_DATA_ENUM type, const VOK_ATOM_NODE* atom, bool flag = false) const;
  int translate_delay_type(YOS_UINT_DATA_ENUM type) const;
  unsigned translate_delay_value(unsigned setting) const;
  DELAY_CHAIN_VALUE_VEC_ELEMENT* set_delay_value(YOS_UINT_DATA_ENUM type, unsigned setting) const;
  std::vector<DELAY_CHAIN_VALUE_VEC_ELEMENT*> create_delay_chain_value_vec_element(YOS_UINT_DATA_ENUM type) const;
  DELAY_CHAIN_INFO_VEC_ELEMENT* create_delay_chain_info_vec_element(YOS_UINT_DATA_ENUM type) const;
  void build_auto_delay_chain_vec();
  DELAY_CHAIN_INFO_VEC_ELEMENT* get_delay_chain_info(YOS_UINT_DATA_ENUM type) const;
  void init_bool_atom_is_dqs_vec();
  bool is_dq(const VOK_ATOM_NODE* atom) const;
  bool is_dqs(const VOK_ATOM_NODE* atom) const;
  bool is_horizontal_pad(const VOK_ATOM_NODE* atom) const;
  bool is_vertical_pad(const VOK_ATOM_NODE* atom) const;
  void delete_slack_info_map();
  bool perform_package_skew_compensation();
  void dump_atoms();

  // ---- user settings
  bool read_user_setting(bool issue_messages);
  bool validate_chain_to_itself(bool error_mode);
  bool validate_chain_to_others(bool error_mode);
  bool do_netlist_flow_legality_check();
  bool validate_single_delay_chain_assignment(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, unsigned value,
                                              bool set_when_legal, bool error_mode, bool issue_messages);
  bool is_valid_atom_delay_chain_pair(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  bool is_legal_value_for_chain(YOS_UINT_DATA_ENUM type, unsigned value, bool flag = false) const;
  unsigned get_default_setting(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  bool has_user_option(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  unsigned get_dmf_value(YOS_UINT_DATA_ENUM type, unsigned setting, const VOK_ATOM_NODE* atom) const;
  bool set_best_delay_chain_setting(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, unsigned setting);
  void remove_invalid_atom(VOK_ATOM_NODE* atom);
  void issue_delay_type_error_message(YOS_UINT_DATA_ENUM type, const VOK_ATOM_NODE* atom);
  void issue_delay_type_warning_message(YOS_UINT_DATA_ENUM type, const VOK_ATOM_NODE* atom);
  void issue_delay_value_error_message(YOS_UINT_DATA_ENUM type, unsigned value, const VOK_ATOM_NODE* atom);
  void issue_delay_value_warning_message(YOS_UINT_DATA_ENUM type, unsigned value, const VOK_ATOM_NODE* atom);

  // ---- timing edges the chains act on
  using TYPE_VEC = std::vector<YOS_UINT_DATA_ENUM>;
  bool is_clock_edge(const KEM_EDGE* edge) const;
  bool is_clock_source(const KEM_NODE* node) const;
  bool is_pin_to_core(const KEM_EDGE* edge) const;
  bool is_pin_to_core_new(const KEM_EDGE* edge) const;
  bool is_core_to_pin(const KEM_EDGE* edge) const;
  VOK_ATOM_NODE* get_io_atom(const KEM_EDGE* edge, YOS_UINT_DATA_ENUM type) const;
  YOS_UINT_DATA_ENUM get_pin_to_core_delay_chain_type(const KEM_EDGE* edge) const;
  YOS_UINT_DATA_ENUM get_core_to_pin_delay_chain_type(const KEM_EDGE* edge) const;
  void get_pin_to_core_delay_chain_type_vec(const KEM_EDGE* edge, TYPE_VEC& types) const;
  void get_pin_to_core_delay_chain_type_vec_new(const KEM_EDGE* edge, TYPE_VEC& types) const;
  void get_core_to_pin_delay_chain_type_vec(const KEM_EDGE* edge, TYPE_VEC& types, bool* need_oe_offset,
                                            bool* is_oe_edge) const;
  void get_delay_chain_type_vec(const KEM_EDGE* edge, TYPE_VEC& types, VELMO_OPT_ELEMENT_GROUP_TYPE group) const;
  void get_delay_chain_type_vec_new(const KEM_EDGE* edge, TYPE_VEC& types, VELMO_OPT_ELEMENT_GROUP_TYPE group,
                                    bool* need_oe_offset, bool* is_oe_edge) const;
  void init_kem_edges_for_processing(HOV_ACCESSORIES* accessories, bool use_filter);
  void init_kem_edges_for_processing_new(HOV_ACCESSORIES* accessories, bool use_filter);
  // PLL edges.
  void get_pll_delay_chain_type_vec(const KEM_EDGE* edge, TYPE_VEC& types) const;
  void get_pll_phase_shift_type_vec(const KEM_EDGE* edge, TYPE_VEC& types) const;
  void remove_invalid_relationships(bool phase_shift);
  void init_pll_kem_edges_for_processing(HOV_ACCESSORIES* accessories, bool use_filter);
  void rebuild_kem_edges_for_processing();
  const std::vector<KEM_EDGE*>& get_edges_to_analyse() const { return m_edges_to_analyse; }
  const std::vector<KEM_EDGE*>& get_pin_to_core_edges() const { return m_pin_to_core_edges; }
  const std::vector<KEM_EDGE*>& get_core_to_pin_edges() const { return m_core_to_pin_edges; }
  const std::vector<int>& get_pin_to_core_edge_ids() const { return m_pin_to_core_edge_ids; }
  const std::vector<int>& get_core_to_pin_edge_ids() const { return m_core_to_pin_edge_ids; }

  // ---- the single-corner chooser (step 8)
  bool resolve_using_estimate_timing();
  bool resolve_using_timing_req();
  bool collect_tsu_slack(const std::vector<KEM_EDGE*>* edges, VELMO_OPT_ELEMENT_GROUP_TYPE group);
  bool collect_th_slack(const std::vector<KEM_EDGE*>* edges, VELMO_OPT_ELEMENT_GROUP_TYPE group, bool tsu_found);
  bool process_delay_chain_setting();
  unsigned get_best_delay_chain_setting(VELMO_SLACK_INFO* info);
  void update_slack_info(VOK_ATOM_NODE* atom, VELMO_SLACK_INFO* info, int delta);
  void update_slack_info_on_edge(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM other_type, VELMO_SLACK_INFO* info,
                                 int delta, bool shift);
  // Queues the message of a PLL-compensated pin the chooser leaves as it
  // is: warning 16161 when its requirements fail, else info 16160.
  static void add_pll_compensated_pin_msg(WEXAN_MSGR* msgr, const std::string& pin, bool failing);

  // ---- what the automatic pass and the tests read
  const std::vector<YOS_UINT_DATA_ENUM>& get_user_delay_types() const { return m_user_types; }
  const std::vector<YOS_UINT_DATA_ENUM>& get_auto_delay_types() const { return m_auto_types; }
  const std::vector<YOS_UINT_DATA_ENUM>& get_all_delay_types() const { return m_all_types; }
  const std::list<DELAY_CHAIN_INFO_VEC_ELEMENT*>& get_delay_chain_info_vec() const { return m_chain_info; }
  bool get_flag(int bit) const { return ((m_flags >> bit) & 1u) != 0; }
  WEXAN_ENV* get_env() const { return m_env; }
  ZEL_ATOM_IO* get_zel_atom_io_util() const { return m_zel_atom_io_util; }
  NOLT_DELAY_CHAIN_UTIL_BODY* get_delay_chain_body() const { return m_body; }
  ZEL_DELAY_CHAIN_UTIL* get_delay_chain_util() const { return m_util; }
  std::map<VELMO_SLACK_KEY, VELMO_SLACK_INFO*>& get_slack_map() { return m_slack_map; }
  std::map<int, PLL_AFFECTED_KEM_EDGE>& get_pll_delay_chain_edges() { return m_pll_delay_chain_edges; }
  std::map<int, PLL_AFFECTED_KEM_EDGE>& get_pll_phase_shift_edges() { return m_pll_phase_shift_edges; }

private:
  void construct();
  void release();
  void set_chain_flag(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, bool value);
  bool pad_orientation(const VOK_ATOM_NODE* atom, bool horizontal) const;
  const DEV_PAD* locked_exact_pad(const VOK_ATOM_NODE* atom) const;
  bool run_step(DELAY_CHAIN_STEP step);
  void accept_single_type(const KEM_EDGE* edge, YOS_UINT_DATA_ENUM* type) const;
  void filter_dq_dqs(const KEM_EDGE* edge, TYPE_VEC& types, bool filter_b) const;
  void collect_edges(HOV_ACCESSORIES* accessories, bool use_filter, bool newer);
  void set_filter(HOV_ACCESSORIES* accessories) const;
  bool auto_delay_chain_switch() const;
  bool run_chooser_passes(WEXAN_HOV_UTILITY* hov, bool use_filter, GEN_STOPWATCH* analysis);

  WEXAN_ENV* m_env;
  WEXAN_MSGR* m_msgr = nullptr;
  const DEV_BASIC_INFO* m_dev_basic_info = nullptr;
  DEV_FAMILY_ENUM m_family{};
  DEV_FAMILY_ENUM m_base_family{};
  ZEL_ATOM_IO* m_zel_atom_io_util = nullptr;
  NOLT_DELAY_CHAIN_UTIL_BODY* m_body = nullptr;
  ZEL_DELAY_CHAIN_UTIL* m_util = nullptr;
  YOS_INTERFACE* m_yos = nullptr;
  std::map<VELMO_SLACK_KEY, VELMO_SLACK_INFO*> m_slack_map;
  std::list<DELAY_CHAIN_INFO_VEC_ELEMENT*> m_chain_info;
  std::vector<YOS_UINT_DATA_ENUM> m_user_types;
  std::vector<YOS_UINT_DATA_ENUM> m_auto_types;
  std::vector<YOS_UINT_DATA_ENUM> m_all_types;
  std::vector<KEM_EDGE*> m_edges_to_analyse;
  std::vector<KEM_EDGE*> m_pin_to_core_edges;
  std::vector<KEM_EDGE*> m_core_to_pin_edges;
  std::vector<int> m_pin_to_core_edge_ids;
  std::vector<int> m_core_to_pin_edge_ids;
  std::vector<bool> m_atom_is_dqs;
  std::map<int, PLL_AFFECTED_KEM_EDGE> m_pll_delay_chain_edges;
  std::map<int, PLL_AFFECTED_KEM_EDGE> m_pll_phase_shift_edges;
  std::uint8_t m_flags = 0;
};

// Builds an operation, runs its automatic step and returns the step's result.
VELMO_API bool velmo_auto_delay_chain_work(WEXAN_ENV* env);
