#pragma once
// The partition and snapshot database: the root and its design. The
// design's compile record holds the current snapshot name.
#include <memory>
#include <string>
#include <vector>
#include "common/host_api.h"

class KIV_STATE;
class VOK_ATOM_NETLIST;
class OMZ_NAMESPACE;

// data: the record of a partition in the current snapshot: its atom netlist
// (the design's top netlist unless a test gives it another; its
// modifiability is the record's) and its partition-routing state.
class HOST_API JOV_STATE {
public:
  JOV_STATE() = default;
  virtual ~JOV_STATE();
  JOV_STATE(const JOV_STATE&) = delete;
  JOV_STATE& operator=(const JOV_STATE&) = delete;
  VOK_ATOM_NETLIST* get_atom_netlist() const;
  void set_atom_netlist(VOK_ATOM_NETLIST* netlist) { m_netlist = netlist; }
  // data: the record holds partition routing (the stand-in's answer to the
  // route stage's yes/no state query; default yes).
  bool has_partition_routing() const { return m_has_partition_routing; }
  void set_has_partition_routing(bool on) { m_has_partition_routing = on; }
  // data: the routing-element indices reserved for the partition.
  const std::vector<int>& get_reserved_re_ids() const { return m_reserved_re_ids; }
  std::vector<int>& reserved_re_ids() { return m_reserved_re_ids; }

private:
  VOK_ATOM_NETLIST* m_netlist = nullptr;
  bool m_has_partition_routing = true;
  std::vector<int> m_reserved_re_ids;
};

// data: a partition of the design: id, name and parent (null for the top
// partition "|", id 0).
class HOST_API JOV_PARTITION {
public:
  JOV_PARTITION(int id, std::string name, JOV_PARTITION* parent)
      : m_id(id), m_name(std::move(name)), m_parent(parent) {}
  virtual ~JOV_PARTITION();
  JOV_PARTITION(const JOV_PARTITION&) = delete;
  JOV_PARTITION& operator=(const JOV_PARTITION&) = delete;
  int get_id() const { return m_id; }
  const std::string& get_name() const { return m_name; }
  JOV_PARTITION* get_parent() const { return m_parent; }
  bool is_top() const { return m_parent == nullptr; }
  // data: the partition's record (never null).
  JOV_STATE* get_state() const { return m_state.get(); }
  // The state selector of the record the stages read; one record serves
  // every selector.
  static constexpr int s_unspecified = 0;
  JOV_STATE* get_state(int) const { return m_state.get(); }

private:
  int m_id;
  std::string m_name;
  JOV_PARTITION* m_parent;
  std::unique_ptr<JOV_STATE> m_state = std::make_unique<JOV_STATE>();
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
