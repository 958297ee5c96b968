#pragma once
// The post-route incremental retimer.
//
// IRTM_UTIL is the retimer's timing service: slacks of timing nodes and
// domains, the WNS cost of the design, gid locations and names, the pipeline
// slot in front of a LAB input, the incremental delay of a routing hop, and
// whether an atom or a net is off limits for retiming. One instance lives as
// long as one retiming manager (IRTM_UTIL::s_instance).
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "clk/clk_block_db.h"
#include "kem/kem_netlist.h"
#include "place_db/place_db.h"
#include "sta/sta_analysis.h"
#include "yeb/yeb_timing_model.h"
#include "zel/zel_atom_mod_manager.h"
#include "zel/zel_zota_util.h"
#include "zmp_hash_lite_sys.h"

class WEXAN_ENV;
class DEV_DEVICE;
class DEV_DIE_INFO;
class WUMP_PLACE_INFO;
class WUMP_ROUTE_INFO;
class HOV_INCR;
class VOK_ATOM_NODE;
class VOK_ATOM_ITERM;
class VOK_ATOM_OTERM;

// "No slack is known"; every minimum over slacks ignores it.
inline constexpr std::int32_t IRTM_NO_SLACK = static_cast<std::int32_t>(0x80000001u);

// Seconds to picoseconds, rounded half away from zero.
std::int32_t irtm_seconds_to_ps(double seconds);

class IRTM_UTIL : public ZOTA::UTIL {
public:
  IRTM_UTIL(WEXAN_ENV* env, KEM_NETLIST* kem);
  ~IRTM_UTIL();
  IRTM_UTIL(const IRTM_UTIL&) = delete;
  IRTM_UTIL& operator=(const IRTM_UTIL&) = delete;

  static IRTM_UTIL* s_instance;

  void update_multi_corner_info();
  std::int32_t get_min_node_slack(const KEM_NODE* node) const;
  std::int32_t get_domain_wns(const HOV_INCR_WNS_DOMAIN& domain) const;
  // The sum of the negative domain WNS values (NO_SLACK entries skipped),
  // added in 64 bits and clamped to 32; 0 when nothing fails.
  std::int32_t get_wns_cost() const;
  std::string get_gid_string(std::uint32_t gid) const;
  bool get_gid_location(std::uint32_t gid, PLACE_DB::LOCATION* location) const;
  std::int32_t get_lab_zota_gid(const VOK_ATOM_ITERM* iterm) const;
  std::int32_t get_max_re_hop_delay(std::uint32_t gid, int routing_element_id) const;
  bool is_timing_dont_touch(const VOK_ATOM_NODE* atom);
  bool lab_contains_timing_dont_touch(const std::pair<std::uint32_t, std::uint32_t>& xy);
  bool is_fed_by_partition(const VOK_ATOM_ITERM* iterm) const;
  bool feeds_partition(const VOK_ATOM_OTERM* oterm);
  bool is_retimable_comb(const VOK_ATOM_NODE* atom);
  bool is_retimable_arith(const VOK_ATOM_NODE* atom);
  static std::int32_t yeb_max(const YEB_CELL_DELAY& delay);

  // Accessors for the retimer's other parts.
  WEXAN_ENV* get_env() const { return m_env; }
  KEM_NETLIST* get_kem_netlist() const { return m_kem; }
  void set_kem_netlist(KEM_NETLIST* kem) { m_kem = kem; }
  const DEV_DIE_INFO* get_die_info() const { return m_die; }
  bool get_all_corners() const { return m_all_corners; }
  int get_current_corner_index() const { return m_current_corner; }
  const std::vector<int>& get_corners() const { return m_corners; }
  std::int32_t get_min_lut_input_delay() const { return m_min_lut_input_delay; }
  const std::vector<std::shared_ptr<YEB_TIMING_MODEL>>& get_models() const { return m_models; }
  HOV_INCR* get_hov_incr() const { return m_hov_incr.get(); }
  void set_hov_incr(HOV_INCR* incr);

private:
  // 1.
  WEXAN_ENV* m_env;
  const DEV_DEVICE* m_device;
  const DEV_DIE_INFO* m_die;
  const WUMP_PLACE_INFO* m_place_info;
  const WUMP_ROUTE_INFO* m_route_info;
  // 2-5.
  bool m_all_corners;
  int m_current_corner = -1;
  KEM_NETLIST* m_kem;
  std::unique_ptr<HOV_INCR> m_hov_incr;
  // 6-8.
  std::vector<std::shared_ptr<YEB_TIMING_MODEL>> m_models;
  std::vector<int> m_corners;
  std::int32_t m_min_lut_input_delay = 0;
  // 9.
  const CLK_BLOCK_DB* m_block_db;
  // 10. The feeds-partition cache is keyed by the output's logical port
  // (atom id, port type, index): one atom's outputs may answer differently.
  ZMP_HASH_LITE<int, bool> m_dont_touch_cache;
  std::map<std::tuple<int, int, int>, bool> m_feeds_partition_cache;
  std::map<std::pair<std::uint32_t, std::uint32_t>, bool> m_lab_dont_touch_cache;
  // 11.
  std::uint64_t m_restriction_mask = 0x2000000000ull;
  ZEL_ATOM_MOD_MANAGER* m_amm;
};

// ---------------------------------------------------------------- retiming objects

#include <functional>
#include <list>
#include <set>
#include <unordered_map>

#include <boost/variant.hpp>

#include "pelk_scoped_symbol.h"
#include "vok/vok_re_logical_port.h"



class IRTM_FAILURE {
public:
  enum REASON : std::uint32_t {
    NONE = 0,
    NO_REGISTER = 1,
    INCOMPATIBLE_REGISTER = 2,
    SECSIG_LEGALITY = 3,
    BAD_FANOUT = 4,
    NO_SLOT = 5,
    INCOMPATIBLE_ZOTA = 6,
  };
  static const char* reason_text(std::uint32_t reason);

  void set(REASON reason, const VOK_ATOM_ITERM* iterm);
  void set(REASON reason, const VOK_ATOM_OTERM* oterm);
  void clear();
  // Null for the null port, a gone atom or an output terminal.
  VOK_ATOM_ITERM* get_iterm() const;
  REASON get_reason() const { return m_reason; }
  const VOK_ATOM_LOGICAL_PORT& get_port() const { return m_port; }
  bool is_input() const { return m_input != 0; }

private:
  VOK_ATOM_LOGICAL_PORT m_port;
  REASON m_reason = NONE;
  std::uint8_t m_input = 0;
};

class IRTM_MOVE {
public:
  enum TYPE : std::uint32_t { None = 0, Forward = 1, Backward = 2, Wirelut = 3, Reroute = 4 };
  static const char* type_name(std::uint32_t type);

  explicit IRTM_MOVE(std::uint64_t checkpoint_id);
  void clear();
  int num_bypassed_ff() const { return static_cast<int>(m_bypassed.size()); }

  std::vector<std::uint32_t> m_bypassed;   // 1. registers removed
  std::vector<std::uint32_t> m_enabled;    // 2. bypassed registers enabled again
  std::vector<std::uint32_t> m_slots;      // 3. slots filled
  ZMP_HASH_LITE<std::uint32_t, int> m_gid_to_id;
  std::vector<VOK_ATOM_LOGICAL_PORT> m_rerouted;  // 5.
  TYPE type = None;
  std::vector<VOK_ATOM_NODE*> m_atoms;     // 7. wire LUTs created, or cells crossed
  std::uint32_t m_qfbk_gid = 0xFFFFFFFFu;
  IRTM_FAILURE failure;
  std::uint64_t m_checkpoint_id;
};

class IRTM_OBJ {
public:
  enum KIND : std::uint32_t { FF = 0, IPIN = 1 };
  virtual ~IRTM_OBJ() = default;
  virtual VOK_ATOM_NODE* get_atom() const = 0;
  virtual std::int32_t min_output_slack() const = 0;
  virtual std::int32_t min_input_slack() const = 0;
  virtual bool is_deleted() const = 0;
  virtual bool is_bypassed() const = 0;
  virtual bool update_slack(bool full) = 0;
  virtual IRTM_MOVE::TYPE compute_move() const = 0;
  // The smaller of the input and output slack, NO_SLACK ignored.
  std::int32_t min_slack() const;

  std::uint32_t m_type = FF;
  std::uint32_t m_move_type = IRTM_MOVE::None;
  std::uint8_t m_hold = 0;
  std::uint32_t m_failure_mask = 0;
};

class IRTM_FF : public IRTM_OBJ {
public:
  explicit IRTM_FF(VOK_ATOM_NODE* atom);
  VOK_ATOM_NODE* get_atom() const override { return m_atom; }
  std::int32_t min_output_slack() const override { return m_output_slack; }
  std::int32_t min_input_slack() const override;
  bool is_deleted() const override { return m_deleted != 0; }
  bool is_bypassed() const override;
  bool update_slack(bool full) override;
  IRTM_MOVE::TYPE compute_move() const override;

  VOK_ATOM_ITERM* get_input(int port_type, bool any) const;
  VOK_ATOM_OTERM* get_output(int port_type, bool any) const;
  bool has_secondary_signals() const;
  bool has_only_sync_signal() const;
  bool compatible_inputs(const IRTM_FF* other, int port_type) const;
  bool compatible(const IRTM_FF* other, bool check_secondary, bool check_bypass) const;
  std::int32_t get_tco() const;
  bool operator<(const IRTM_FF& other) const;

  VOK_ATOM_NODE* m_atom;
  std::int32_t m_data_slack = IRTM_NO_SLACK;
  std::int32_t m_output_slack = IRTM_NO_SLACK;
  std::int32_t m_secondary_slack_a = IRTM_NO_SLACK;  // input 8
  std::int32_t m_secondary_slack_b = IRTM_NO_SLACK;  // input 30
  std::uint8_t m_deleted = 0;
  std::uint32_t m_last_move = 0;
  std::uint32_t m_atom_id;
};

struct CMP_IRTM_FF_LT {
  bool operator()(const IRTM_FF* a, const IRTM_FF* b) const { return *a < *b; }
};

class IRTM_IPIN : public IRTM_OBJ {
public:
  explicit IRTM_IPIN(const VOK_ATOM_LOGICAL_PORT& port);
  VOK_ATOM_NODE* get_atom() const override;
  std::int32_t min_output_slack() const override { return IRTM_NO_SLACK; }
  std::int32_t min_input_slack() const override;
  bool is_deleted() const override { return get_atom() == nullptr; }
  bool is_bypassed() const override { return false; }
  bool update_slack(bool) override { return false; }
  IRTM_MOVE::TYPE compute_move() const override { return IRTM_MOVE::None; }
  VOK_ATOM_ITERM* get_iterm() const;
  const VOK_ATOM_LOGICAL_PORT& get_port() const { return m_port; }

private:
  VOK_ATOM_LOGICAL_PORT m_port;
};

// The typed port-type symbols of the two namespaces.
using IRTM_INPUT_PORT_SYMBOL = PELK_SCOPED_SYMBOL<VOK_PORT_NAMESPACE_INPUT>;
using IRTM_OUTPUT_PORT_SYMBOL = PELK_SCOPED_SYMBOL<VOK_PORT_NAMESPACE_OUTPUT>;

// ---------------------------------------------------------------- routing-element trees

class RE_LEAF;

class RE_NODE {
public:
  enum KIND : std::uint32_t { SOURCE = 1, SLOT = 2, LEAF = 3 };
  explicit RE_NODE(KIND kind) : m_kind(kind) {}
  virtual ~RE_NODE() = default;
  RE_NODE(const RE_NODE&) = delete;
  RE_NODE& operator=(const RE_NODE&) = delete;
  virtual int get_num_children() const { return 0; }
  virtual int get_num_leaf() const { return 0; }
  virtual const std::list<RE_NODE*>& children() const;
  virtual void print(bool child) const = 0;
  virtual void show() const = 0;

  bool is_src() const { return m_kind == SOURCE; }
  bool is_slot() const { return m_kind == SLOT; }
  bool is_leaf() const { return m_kind == LEAF; }
  RE_LEAF* cast_to_leaf();
  RE_NODE* get_parent() const { return m_parent; }
  KIND get_kind() const { return m_kind; }

  RE_NODE* m_parent = nullptr;
  KIND m_kind;
};

class RE_LEAF : public RE_NODE {
public:
  explicit RE_LEAF(VOK_ATOM_ITERM* iterm) : RE_NODE(LEAF), m_iterm(iterm) {}
  void print(bool child) const override;
  void show() const override { print(false); }
  VOK_ATOM_ITERM* get_iterm() const { return m_iterm; }

  VOK_ATOM_ITERM* m_iterm;
  bool is_retimed = false;
  bool feeds_retiming_ff = false;
};

class RE_NON_TERMINAL : public RE_NODE {
public:
  RE_NON_TERMINAL(VOK_ATOM_OTERM* source);
  RE_NON_TERMINAL(std::uint32_t gid, int routing_element_id);
  int get_num_children() const override { return static_cast<int>(m_children.size()); }
  int get_num_leaf() const override { return static_cast<int>(m_leaf_count); }
  const std::list<RE_NODE*>& children() const override { return m_children; }
  void print(bool child) const override;
  void show() const override;

  void add_child(RE_NODE* child);
  std::uint32_t get_re_gid() const;
  VOK_ATOM_OTERM* get_source() const;
  void get_iterms(std::vector<VOK_ATOM_ITERM*>* out) const;
  int get_routing_element_id() const { return m_routing_element_id; }

  boost::variant<VOK_ATOM_OTERM*, std::uint32_t> m_identity;
  std::list<RE_NODE*> m_children;
  std::uint32_t m_leaf_count = 0;
  int m_routing_element_id = -1;
};

class RE_MANAGER {
public:
  RE_MANAGER() = default;
  ~RE_MANAGER();
  RE_MANAGER(const RE_MANAGER&) = delete;
  RE_MANAGER& operator=(const RE_MANAGER&) = delete;
  RE_NON_TERMINAL* create_node(unsigned int re_gid, int routing_element_id);
  // The source node of an output terminal (appended to the node list) and
  // the leaf of an input terminal.
  RE_NON_TERMINAL* create_source_node(VOK_ATOM_OTERM* oterm);
  RE_LEAF* create_leaf_node(VOK_ATOM_ITERM* iterm);
  RE_NODE* find_node(VOK_ATOM_ITERM* iterm) const;
  // The slot node of a routing-element gid, or null.
  RE_NODE* find_re_node(unsigned int re_gid) const;
  void clear();
  const std::vector<RE_NODE*>& get_nodes() const { return m_nodes; }

private:
  std::vector<RE_NODE*> m_nodes;
  ZMP_HASH_LITE<unsigned int, RE_NODE*> m_re_map;
  ZMP_HASH_LITE<VOK_ATOM_ITERM*, RE_NODE*> m_iterm_map;
};

// ---------------------------------------------------------------- changed registers

class FF_CHANGE_MANAGER {
public:
  explicit FF_CHANGE_MANAGER(KEM_NETLIST* kem) : m_kem_netlist(kem) {}
  const std::vector<VOK_ATOM_NODE*>* get_changed_flops(bool include_changed, bool include_fanin);
  // The backward walk from one node (an explicit stack: as deep as the
  // longest combinational path would overflow the thread's stack).
  void find_changed_req_flops_recur(const KEM_NODE* node);
  void reset();

private:
  std::vector<int> m_fanin_node_ids;
  std::set<int> m_visited_nodes;
  KEM_NETLIST* m_kem_netlist;
  std::map<int, VOK_ATOM_NODE*> m_found_ffs;
  std::vector<VOK_ATOM_NODE*> m_changed_flops;
};

// ---------------------------------------------------------------- register queue

class IRTM_FF_QUEUE {
public:
  using FACTORY = std::function<IRTM_FF*(VOK_ATOM_NODE*)>;
  IRTM_FF_QUEUE();
  ~IRTM_FF_QUEUE();
  IRTM_FF_QUEUE(const IRTM_FF_QUEUE&) = delete;
  IRTM_FF_QUEUE& operator=(const IRTM_FF_QUEUE&) = delete;

  void set_factory(FACTORY factory) { m_create_ff = std::move(factory); }
  void initialize(const HOV_INCR_WNS_DOMAIN* domain);
  std::list<IRTM_FF*>::iterator insert_ff(const std::list<IRTM_FF*>::iterator& pos, IRTM_FF* ff);
  std::list<IRTM_FF*>::iterator remove_ff(const std::list<IRTM_FF*>::iterator& pos);
  bool update(const std::vector<VOK_ATOM_NODE*>* changed, bool requeue);

  // The membership and candidacy tests that initialize and update share.
  bool in_domain(const IRTM_FF* ff, const HOV_INCR_WNS_DOMAIN& domain) const;
  // Nulls every entry outside `domain`, in parallel on the host's thread limit.
  void keep_in_domain(std::vector<IRTM_FF*>& ffs, const HOV_INCR_WNS_DOMAIN& domain) const;
  static bool is_candidate(const IRTM_FF* ff);

  std::vector<IRTM_FF*> m_init_ffs;
  std::list<IRTM_FF*> m_ff_list;
  std::vector<IRTM_FF*> m_changed_ffs;
  std::unordered_map<std::uint32_t, std::list<IRTM_FF*>::iterator> m_ff_to_iter;
  HOV_INCR_WNS_DOMAIN m_domain;
  FACTORY m_create_ff;
};

// ---------------------------------------------------------------- power-up states

// Decides whether power-up values exist for the registers a move creates
// that reproduce the old behaviour, and records them per net driver.
class INITIAL_STATE_MANAGER {
public:
  enum INIT_VAL : std::uint32_t { ZERO = 0, ONE = 1, ANY = 2 };

  explicit INITIAL_STATE_MANAGER(bool enabled) : m_enabled(enabled) {}
  bool is_enabled() const { return m_enabled; }

  int get_max_inputs(VOK_ATOM_NODE* cell) const;
  bool get_value(const VOK_ATOM_OTERM* oterm, INIT_VAL* value) const;
  bool set_value(const VOK_ATOM_OTERM* oterm, INIT_VAL value, bool check_only, bool force);
  INIT_VAL find_value(VOK_ATOM_NODE* cell, int k, INIT_VAL& carry) const;
  bool assign_inputs(VOK_ATOM_NODE* cell, int k, int carry);
  bool compute_state_int(IRTM_MOVE* move, bool backward);
  // A register's power-up: 2 with bool parameter 240 set, else 1 or 0.
  static INIT_VAL power_up_value(const VOK_ATOM_NODE* reg);
  // Whether the cell's function depends on input i (the forward test) and
  // whether input i is constrained under pattern k (assign_inputs).
  bool depends_on(VOK_ATOM_NODE* cell, int i) const;
  bool constrained_in(VOK_ATOM_NODE* cell, int k, int i) const;

  std::unordered_map<const VOK_ATOM_OTERM*, INIT_VAL> m_values;

private:
  bool m_enabled;
};

// ---------------------------------------------------------------- iteration state

#include "zmp_ops.h"

struct TIMING_COST_STRUCT {
  std::int32_t cost = IRTM_NO_SLACK;
  std::int32_t slack = IRTM_NO_SLACK;
};

// What the retimer keeps for one round over one clock domain and for the
// object iteration inside it.
class IRTM_ITERATION {
public:
  struct SETUP_CANDIDATE {
    VOK_ATOM_LOGICAL_PORT port;
    std::uint8_t input = 0;
  };

  explicit IRTM_ITERATION(WEXAN_ENV* env);
  ~IRTM_ITERATION();
  IRTM_ITERATION(const IRTM_ITERATION&) = delete;
  IRTM_ITERATION& operator=(const IRTM_ITERATION&) = delete;

  void next_object(IRTM_OBJ* obj);
  IRTM_IPIN* create_irtm_ipin(const VOK_ATOM_LOGICAL_PORT& port);
  void cleanup_irtm_ipins();

  HOV_INCR_WNS_DOMAIN* m_domain = nullptr;
  TIMING_COST_STRUCT m_initial_cost;
  TIMING_COST_STRUCT m_move_cost;
  TIMING_COST_STRUCT m_undo_cost;
  std::int32_t m_ff_wns = IRTM_NO_SLACK;
  std::int32_t m_current_worst_slack = IRTM_NO_SLACK;
  std::int32_t m_previous_worst_slack = IRTM_NO_SLACK;
  std::int32_t m_slack_margin = 0;
  bool m_critical = true;
  std::uint32_t m_hold_moves = 0;
  std::uint32_t m_non_critical_iterations = 0;
  std::uint32_t m_critical_iterations = 0;
  std::uint32_t m_object_counter = 0;
  std::uint32_t m_accepted_moves = 0;
  std::vector<SETUP_CANDIDATE> m_setup_candidates;
  std::vector<VOK_ATOM_LOGICAL_PORT> m_pending_hold;
  IRTM_MOVE m_scratch{0};
  std::string m_name;
  std::int32_t m_max_non_crit_iterations;
  std::int32_t m_crit_iterations;
  std::int32_t m_setup_iterations;
  std::int32_t m_hold_iterations;
  std::int32_t m_max_batch_size;
  std::int32_t m_crit_range;
  ZMP_HASH_LITE<VOK_ATOM_LOGICAL_PORT, IRTM_IPIN*, VOK_ATOM_LOGICAL_PORT_OPS> m_ipins;
  WEXAN_ENV* m_env;
  VOK_ATOM_NETLIST* m_atoms;
};

// ---------------------------------------------------------------- the manager (register registry so far)

// The incremental retimer. So far it holds the register registry: one
// register object per register atom looked at (live table), and those whose
// atom was deleted (retired table), revived when an atom comes back under
// the same id. Both tables are keyed by atom id.
class CMP_FACADE;
class DUX;

class IRTM_MANAGER {
public:
  // Registry only: no timing, no engines (the registry's own tests).
  explicit IRTM_MANAGER(WEXAN_ENV* env);
  // The full retimer over the environment's placed and routed design.
  IRTM_MANAGER(CMP_FACADE* cmp, WEXAN_ENV* env);
  ~IRTM_MANAGER();
  IRTM_MANAGER(const IRTM_MANAGER&) = delete;
  IRTM_MANAGER& operator=(const IRTM_MANAGER&) = delete;

  IRTM_FF* create_irtm_ff(VOK_ATOM_NODE* atom);
  IRTM_FF* get_irtm_ff(std::uint32_t gid);
  IRTM_FF* get_irtm_ff(VOK_ATOM_NODE* atom) { return create_irtm_ff(atom); }
  IRTM_FF* get_irtm_ff(const VOK_ATOM_LOGICAL_PORT& port);
  IRTM_FF* find_irtm_ff(VOK_ATOM_NODE* atom);
  int erase_irtm_ff_by_id(std::uint32_t atom_id);
  void erase_irtm_ff(std::uint32_t gid);
  void cleanup_irtm_ffs();

  const std::unordered_map<std::uint32_t, IRTM_FF*>& live() const { return m_live; }
  const std::unordered_map<std::uint32_t, IRTM_FF*>& retired() const { return m_retired; }

  // The driver.
  void setup();
  int retime();
  bool retime_design();
  bool retime_domain(HOV_INCR_WNS_DOMAIN* domain, int round);
  bool retime_iteration(std::vector<IRTM_OBJ*>* objects);
  bool retime_kth_iteration(int k, std::vector<IRTM_OBJ*>* objects);
  bool retime_ff(IRTM_OBJ* obj);
  void print_domain_info(bool at_start);
  void cleanup(bool result);
  void dump_atom_netlist(bool force);
  static std::uint32_t s_dump_counter;

  // Move implementation, acceptance and undo.
  bool insert_wirelut(IRTM_IPIN* pin, IRTM_MOVE* move);
  bool reroute_load(IRTM_IPIN* pin, IRTM_MOVE* move);
  bool annotate_delays(IRTM_MOVE* move, bool* changed);
  bool check_retiming(IRTM_MOVE* move, TIMING_COST_STRUCT* base, TIMING_COST_STRUCT* result, bool with_hold);
  bool update_setup_voilations(int k, std::vector<IRTM_OBJ*>* objects);
  bool update_hold_voilations(int k, std::vector<IRTM_OBJ*>* objects);
  bool batch_retiming_moves(int k, std::vector<IRTM_OBJ*>* objects);
  void undo_all_retiming(std::uint64_t checkpoint);
  void finalize_retiming();

  // Carrying out moves: edits, acceptance, undo and repairs.
  int connect_iterm(VOK_ATOM_OTERM* src, VOK_ATOM_ITERM* dst, bool inverted, bool mode);
  int disconnect_iterm(VOK_ATOM_ITERM* iterm);
  void enable_ff(VOK_ATOM_NODE* atom);
  void bypass_ff(VOK_ATOM_NODE* atom);
  void bypass_zota_ff(VOK_ATOM_NODE* atom);
  VOK_ATOM_OTERM* create_zota(VOK_ATOM_NODE* like, VOK_ATOM_OTERM* data_src, bool data_inverted, VOK_ATOM_OTERM* clk,
                              bool clk_inverted, bool clk_mode, std::uint32_t gid, VOK_ATOM_NETLIST* netlist);
  void populate_clock(std::uint32_t gid, VOK_ATOM_OTERM* clk, bool inverted);
  bool can_populate_clock(RE_NODE* slot, VOK_ATOM_OTERM* clk, bool inverted, bool verbose);
  bool can_populate_clock(std::vector<RE_NODE*>* slots, VOK_ATOM_OTERM* clk, bool inverted, bool verbose);
  bool place_atom_at_xy(VOK_ATOM_NODE* atom, std::uint32_t x, std::uint32_t y, int rings);
  bool place_wirelut(VOK_ATOM_NODE* atom);
  void implement_retiming(IRTM_FF* ff, IRTM_MOVE* move);
  bool modifies_timing_dont_touch(IRTM_MOVE* move);
  bool undo_retiming(IRTM_MOVE* inverse);
  std::uint32_t collect_hold_voilations();
  std::int32_t get_hold_slack(KEM_NODE* node, KEM_NODE** start);
  RE_MANAGER& re_manager() { return m_re_manager; }
  INITIAL_STATE_MANAGER* init_state() const { return m_init_state.get(); }
  std::uint32_t update_counter() const { return m_update_counter; }

  // The move search: which registers may move, register lookups, the
  // routing-element paths of the nets a move touches, and the forward and
  // backward searches that fill a move (velmo_irtm_test_search.cpp).
  bool is_retimable_ff(VOK_ATOM_NODE* atom);
  IRTM_FF* get_lab_irtm_ff(const PLACE_DB::LOCATION& loc);
  IRTM_FF* get_peer_irtm_ff(IRTM_FF* ff);
  bool get_carry_chain(VOK_ATOM_NODE* atom, std::list<VOK_ATOM_NODE*>* chain, VOK_ATOM_ITERM** lab_entry);
  RE_NODE* create_carry_re_tree(VOK_ATOM_ITERM* iterm);
  void get_dst_iterms(VOK_ATOM_OTERM* oterm, std::vector<VOK_ATOM_ITERM*>* out, bool through_zota);
  RE_NODE* create_re_tree(VOK_ATOM_OTERM* oterm);
  RE_NODE* create_re_tree(VOK_ATOM_ITERM* iterm);
  RE_NODE* create_re_path(VOK_ATOM_OTERM* oterm, VOK_ATOM_ITERM* iterm, bool walk_past_lab_slot);
  bool create_secsig_re_tree(IRTM_FF* ff, IRTM_FF** partner);
  int get_incr_node_delay(RE_NODE* slot);
  bool forward_retime(IRTM_FF* ff, IRTM_MOVE* move);
  bool forward_retime_soln(IRTM_FF* ff, IRTM_MOVE* move);
  bool forward_retime_check_fanout_xcomb(IRTM_FF* crit_ff, std::vector<VOK_ATOM_OTERM*>* new_outputs,
                                         std::vector<VOK_ATOM_ITERM*>* side_loads, IRTM_MOVE* move);
  bool forward_retime_to_bypassed_ff(IRTM_FF* ff, RE_NODE* leaf, IRTM_MOVE* move);
  bool find_zota_slot_forward(RE_NODE* node, VOK_ATOM_OTERM* clk_src, bool clk_inverted, IRTM_MOVE* move, int budget);
  bool backward_retime(IRTM_FF* ff, IRTM_MOVE* move);
  // Steps up to the filled move of backward_retime (no checks, no edits).
  bool backward_retime_search(IRTM_FF* ff, IRTM_MOVE* move);
  bool backward_retime_soln(IRTM_FF* ff, const std::vector<RE_NODE*>& leaves, IRTM_MOVE* move);
  RE_NODE* find_zota_slot_backward(IRTM_FF* ff, RE_NODE* leaf, VOK_ATOM_OTERM* clk_src, bool clk_inverted,
                                   IRTM_MOVE* move);
  bool backward_retime_append_ff1_fanin_re(IRTM_FF* ff, IRTM_MOVE* move, std::vector<RE_NODE*>* leaves);
  bool backward_retime_append_lut0_fanin_re(IRTM_FF* ff, IRTM_MOVE* move, std::vector<RE_NODE*>* leaves);
  bool backward_retime_append_lut3_fanin_re(IRTM_FF* ff, VOK_ATOM_NODE* lut, IRTM_MOVE* move,
                                            std::vector<RE_NODE*>* leaves);
  bool backward_retime_append_arith_fanin_re(IRTM_FF* ff, IRTM_MOVE* move, std::vector<RE_NODE*>* leaves);
  bool backward_retime_append_qfbk_re(IRTM_FF* ff, IRTM_MOVE* move, std::vector<RE_NODE*>* leaves);
  bool backward_retime_append_secsig_fanin_re(IRTM_FF* ff, bool allow_partner, IRTM_MOVE* move,
                                              std::vector<RE_NODE*>* leaves);
  bool backward_retime_append_secsig_iterm_re(IRTM_FF* ff, std::vector<RE_NODE*>* leaves);
  bool backward_retime_append_iterm_re(VOK_ATOM_ITERM* iterm, std::vector<RE_NODE*>* leaves);
  bool backward_retime_check_fanout_iterm(IRTM_FF* ff, VOK_ATOM_ITERM* iterm, IRTM_MOVE* move, bool no_secondary);
  bool backward_retime_check_re_fanout(IRTM_FF* ff, RE_NODE* node, IRTM_MOVE* move);
  bool backward_retime_check_oterm_fanout(IRTM_FF* ff, VOK_ATOM_OTERM* oterm, IRTM_MOVE* move, bool no_secondary);
  bool backward_retime_to_bypassed_ff(IRTM_FF* ff, IRTM_MOVE* move);

  IRTM_ITERATION* iteration() const { return m_iter.get(); }
  IRTM_FF_QUEUE* queue() const { return m_queue.get(); }
  DUX* dux() const { return m_dux.get(); }
  std::vector<IRTM_MOVE*>& yun_stack() { return m_yun_stack; }
  // The timing requirement of a slot's element kind (NO_SLACK: none).
  std::int32_t get_slot_requirement(std::uint32_t gid);

private:
  void clear_yun_stack();
  // Move search helpers.
  RE_NON_TERMINAL* find_source_node(VOK_ATOM_OTERM* oterm);
  bool create_secsig_re_path(VOK_ATOM_ITERM* iterm);

  WEXAN_ENV* m_env;
  CMP_FACADE* m_cmp = nullptr;
  VOK_ATOM_NETLIST* m_atoms = nullptr;
  KEM_NETLIST* m_kem_netlist = nullptr;
  ZEL_ATOM_MOD_MANAGER* m_amu = nullptr;
  ZEL_ATOM_MOD_MANAGER* m_siv = nullptr;
  RE_MANAGER m_re_manager;
  std::unordered_map<std::uint32_t, IRTM_FF*> m_live;
  std::unordered_map<std::uint32_t, IRTM_FF*> m_retired;
  bool m_full = false;
  bool m_dump_kem_memory = false;
  bool m_dump = false;
  bool m_verbose = true;
  bool m_hold_costing = true;
  bool m_wirelut_hold_fix = true;
  bool m_reroute_setup_fix = true;
  bool m_allow_stale = true;
  bool m_tainting_was_enabled = false;
  std::int32_t m_tco_gb = 60;
  std::int32_t m_debug_atom_id = 0;
  std::unique_ptr<FF_CHANGE_MANAGER> m_ff_change;
  std::vector<IRTM_MOVE*> m_yun_stack;
  std::unique_ptr<INITIAL_STATE_MANAGER> m_init_state;
  std::unique_ptr<IRTM_ITERATION> m_iter;
  std::unique_ptr<IRTM_FF_QUEUE> m_queue;
  std::unique_ptr<DUX> m_dux;
  std::uint32_t m_update_counter = 0;
};
