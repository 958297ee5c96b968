#pragma once
// The partition and snapshot database: the root and its design. The
// design's compile record holds the current snapshot name.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "common/host_api.h"

class KIV_STATE;
class VOK_ATOM_NETLIST;
class VOK_ATOM_BLACKBOX;
class OMZ_NAMESPACE;
class OMZ_INSTANCE_NAME;
class R5T_DIRECTIVES;
class MOZ_ASSIGNMENT;

// data: one preserved router-slack record: the routing-element gid (bit 31
// set) and two slack values.
struct JOV_PRESERVED_SLACK {
  std::uint32_t gid = 0;
  std::int32_t slack[2] = {0, 0};
  friend bool operator==(const JOV_PRESERVED_SLACK&, const JOV_PRESERVED_SLACK&) = default;
};
static_assert(sizeof(JOV_PRESERVED_SLACK) == 12, "a preserved slack record is 12 bytes led by its gid");

// data: a state of a partition (its "record"): the compile-database state
// that holds its models (the "netlist" model gives the atom netlist, the
// "routing" model its routing share), the snapshot it comes from, its
// preserved router slacks, its directives and its partition-routing state.
class HOST_API JOV_STATE {
public:
  JOV_STATE();
  virtual ~JOV_STATE();
  JOV_STATE(const JOV_STATE&) = delete;
  JOV_STATE& operator=(const JOV_STATE&) = delete;
  // The "netlist" model's netlist; else the netlist a test set; else the
  // design's top netlist. Never null.
  VOK_ATOM_NETLIST* get_atom_netlist() const;
  void set_atom_netlist(VOK_ATOM_NETLIST* netlist) { m_netlist = netlist; }
  KIV_STATE* get_kiv_state() const { return m_kiv.get(); }
  R5T_DIRECTIVES* get_r5t_directives() const { return m_directives.get(); }
  // The name of the snapshot the state comes from ("" when unknown).
  const std::string& get_snapshot_name() const { return m_snapshot; }
  void set_snapshot_name(std::string name) { m_snapshot = std::move(name); }
  const std::vector<JOV_PRESERVED_SLACK>& get_preserved_slacks() const { return m_slacks; }
  std::vector<JOV_PRESERVED_SLACK>& preserved_slacks() { return m_slacks; }
  // Whether the state's netlist may be read (default yes).
  bool is_loaded() const { return m_loaded; }
  void set_loaded(bool on) { m_loaded = on; }
  // data: the record holds partition routing (the stand-in's answer to the
  // route stage's yes/no state query; default yes).
  bool has_partition_routing() const { return m_has_partition_routing; }
  void set_has_partition_routing(bool on) { m_has_partition_routing = on; }
  // data: the routing-element indices reserved for the partition.
  const std::vector<int>& get_reserved_re_ids() const { return m_reserved_re_ids; }
  std::vector<int>& reserved_re_ids() { return m_reserved_re_ids; }

private:
  VOK_ATOM_NETLIST* m_netlist = nullptr;
  std::unique_ptr<KIV_STATE> m_kiv;
  std::unique_ptr<R5T_DIRECTIVES> m_directives;
  std::string m_snapshot;
  std::vector<JOV_PRESERVED_SLACK> m_slacks;
  bool m_loaded = true;
  bool m_has_partition_routing = true;
  std::vector<int> m_reserved_re_ids;
};

// data: a partition of the design: id, name, parent (null for the top
// partition "|", id 0), children in order, the instance name it shares with
// its box atom, flags, and its states: DEFAULT (the full contents, made
// with the partition) and BBIC_DEPOPULATED (a shell), one of them active or
// none.
class HOST_API JOV_PARTITION {
public:
  enum STATE_ENUM : int { DEFAULT = 0, BBIC_DEPOPULATED = 1 };
  using STATE_SELECTOR = std::optional<STATE_ENUM>;
  // The active state, whichever it is.
  static constexpr STATE_SELECTOR s_unspecified = std::nullopt;

  JOV_PARTITION(int id, std::string name, JOV_PARTITION* parent);
  virtual ~JOV_PARTITION();
  JOV_PARTITION(const JOV_PARTITION&) = delete;
  JOV_PARTITION& operator=(const JOV_PARTITION&) = delete;
  int get_id() const { return m_id; }
  const std::string& get_name() const { return m_name; }
  JOV_PARTITION* get_parent() const { return m_parent; }
  const std::vector<JOV_PARTITION*>& get_children() const { return m_children; }
  // The top, nesting and exclusion tests: all from the parent link.
  bool is_top() const { return m_parent == nullptr; }
  bool is_nested() const { return m_parent != nullptr && m_parent->m_parent != nullptr; }
  bool is_excluded_from_cross_partition_routing() const { return m_parent == nullptr; }
  // The instance name: the box atom's (for the top partition its own).
  const OMZ_INSTANCE_NAME* get_instance_name() const { return m_instance_name; }
  VOK_ATOM_BLACKBOX* get_box() const { return m_box; }
  // Makes `box` the partition's box: the partition's instance name is the
  // box's, and the box's child netlist follows the active state.
  void set_box(VOK_ATOM_BLACKBOX* box);
  bool has_clock_routing() const { return m_clock_routing; }
  void set_clock_routing(bool on) { m_clock_routing = on; }
  // 1: compiled in this run.
  int get_kind() const { return m_kind; }
  void set_kind(int kind) { m_kind = kind; }
  bool has_directives() const { return m_directives; }
  void set_directives(bool on) { m_directives = on; }
  // data: whether this compile is a partial recompile of the design (asked
  // of the root partition; default no).
  virtual bool is_partial_recompile() const { return m_partial_recompile; }
  void set_partial_recompile(bool on) { m_partial_recompile = on; }

  // The state selected (s_unspecified: the active one; with none active,
  // DEFAULT); null for a state the partition does not hold.
  JOV_STATE* get_state(STATE_SELECTOR which = s_unspecified) const;
  bool has_state(STATE_ENUM which) const { return m_states.count(which) != 0; }
  // Makes the state (an existing one is returned as it is).
  JOV_STATE* add_state(STATE_ENUM which);
  // Removes a state and lets go of its models. Removing the active state
  // makes DEFAULT active again; DEFAULT itself is never removed (recorded).
  void remove_state(STATE_ENUM which);
  // Makes a held state active and hands its netlist to the box; a state the
  // partition does not hold is recorded and ignored.
  void set_active_state(STATE_ENUM which);
  STATE_SELECTOR get_active_state() const { return m_active; }
  // Tests: no active state.
  void clear_active_state() { m_active.reset(); }
  // Whether the selected state exists, is active (for s_unspecified) and
  // may be read.
  bool is_state_loaded(STATE_SELECTOR which = s_unspecified) const;

private:
  friend class JOV_DESIGN;
  void relink_box();
  int m_id;
  std::string m_name;
  JOV_PARTITION* m_parent;
  std::vector<JOV_PARTITION*> m_children;
  OMZ_INSTANCE_NAME* m_instance_name;
  std::unique_ptr<OMZ_INSTANCE_NAME> m_own_name;
  VOK_ATOM_BLACKBOX* m_box = nullptr;
  bool m_clock_routing = false;
  bool m_partial_recompile = false;
  int m_kind = 0;
  bool m_directives = false;
  std::map<STATE_ENUM, std::unique_ptr<JOV_STATE>> m_states;
  STATE_SELECTOR m_active;
};

class HOST_API JOV_DESIGN {
public:
  JOV_DESIGN();
  virtual ~JOV_DESIGN();
  JOV_DESIGN(const JOV_DESIGN&) = delete;
  JOV_DESIGN& operator=(const JOV_DESIGN&) = delete;
  // data: the name of the current snapshot ("none" in a fresh world).
  const std::string& get_current_snapshot_str() const { return m_snapshot; }
  // data: stores the name of snapshot n (an index into the 17 names).
  void set_current_snapshot(int n);
  // data: stores a snapshot text as it is (tests use it for bad texts).
  void set_current_snapshot_str(const std::string& text) { m_snapshot = text; }

  // data: the partition of that name, or null.
  virtual JOV_PARTITION* find_partition_by_name(const std::string& name) const;
  // data: the partition holding an instance path: the partition whose name
  // is the longest leading part of the path ending at a "|" (partitions are
  // named after their box instances), else the top partition.
  JOV_PARTITION* get_partition_of_instance(const std::string& path) const;
  // component: the top partition ("|").
  inline JOV_PARTITION* get_top_partition() const;
  // data: the partitions in design order (the top partition first).
  const std::vector<std::unique_ptr<JOV_PARTITION>>& get_partitions() const { return m_partitions; }
  // data: adds a partition under parent (the top partition when null).
  JOV_PARTITION* add_partition(const std::string& name, JOV_PARTITION* parent = nullptr);
  // data: the design's option namespace (the project's default section).
  OMZ_NAMESPACE* get_option_namespace() const;

  // recorded: switches the current snapshot to n (stores its name); the
  // flags are recorded only.
  void set_current_snapshot(int n, bool flag1, bool flag2);
  // data: the compile-database state of the current snapshot (one state
  // serves every snapshot in the stand-in).
  KIV_STATE* get_current_state() const { return m_state.get(); }
  // data: the current state's path: "db" and the current snapshot's name.
  std::vector<std::string> get_current_state_path_components() const { return {"db", m_snapshot}; }
  // recorded: a partition's model-copy mode for the next snapshot switch.
  void set_partition_model_copy_mode(JOV_PARTITION* partition, int mode);
  // recorded: commits the design's snapshot; scripted, default true.
  bool commit_design(bool flag);

private:
  std::string m_snapshot = "none";
  std::vector<std::unique_ptr<JOV_PARTITION>> m_partitions;
  std::unique_ptr<KIV_STATE> m_state;
};

class HOST_API JOV_UTILS {
public:
  // recorded: makes the record's atom netlist read-only or modifiable.
  static void set_read_only_status(JOV_STATE* state, bool read_only);
  // recorded: the same for the netlist of a compile-database state's
  // "netlist" model (nothing when it has none).
  static void set_read_only_status(KIV_STATE& state, bool read_only);
  // data: the assignment of a variable to the instance, or null.
  static const MOZ_ASSIGNMENT* get_moz_instance_assignment(int variable, const OMZ_INSTANCE_NAME* instance);
  // data: the global assignment of a variable, or null.
  static const MOZ_ASSIGNMENT* get_moz_global_assignment(int variable);
  // algorithm: the deepest partition that is a or an ancestor of a and also
  // b or an ancestor of b (null when they share none).
  static JOV_PARTITION* get_lowest_common_ancestor_partition(JOV_PARTITION* a, JOV_PARTITION* b);
};

class HOST_API JOV_ROOT {
public:
  // data: the world's root (never null).
  static JOV_ROOT* get();
  JOV_ROOT();
  virtual ~JOV_ROOT();
  JOV_ROOT(const JOV_ROOT&) = delete;
  JOV_ROOT& operator=(const JOV_ROOT&) = delete;
  // data: the design of that name; the one design is named "" (null for any
  // other name).
  JOV_DESIGN* get_design(const std::string& name);

private:
  JOV_DESIGN m_design;
};

#include "jov_design_sys.h"
