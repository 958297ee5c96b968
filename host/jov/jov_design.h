#pragma once
// The partition and snapshot database: the root and its design. The
// design's compile record holds the current snapshot name.
#include <memory>
#include <string>
#include <vector>
#include "common/host_api.h"

class OMZ_NAMESPACE;

class VOK_ATOM_NETLIST;
class KIV_STATE;

// data: a partition's record of a compile state: its atom netlist (the
// design's top netlist unless set) and the routing-element indices reserved
// for it.
class HOST_API JOV_STATE {
public:
  VOK_ATOM_NETLIST* get_atom_netlist() const;
  void set_atom_netlist(VOK_ATOM_NETLIST* netlist) { m_netlist = netlist; }
  const std::vector<int>& get_reserved_re_ids() const { return m_reserved_re_ids; }
  std::vector<int>& reserved_re_ids() { return m_reserved_re_ids; }
  // data: the record's compile-database state (made on first use).
  KIV_STATE* get_kiv_state();

  JOV_STATE();
  ~JOV_STATE();
  JOV_STATE(const JOV_STATE&) = delete;
  JOV_STATE& operator=(const JOV_STATE&) = delete;

private:
  VOK_ATOM_NETLIST* m_netlist = nullptr;
  std::unique_ptr<KIV_STATE> m_kiv;
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
  // The state selector of the record every stage reads.
  static constexpr int s_unspecified = 0;
  // data: the partition's record (one record serves every selector).
  JOV_STATE* get_state(int) { return &m_state; }
  const JOV_STATE* get_state(int) const { return &m_state; }

private:
  int m_id;
  std::string m_name;
  JOV_PARTITION* m_parent;
  JOV_STATE m_state;
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
  // component: the top partition ("|").
  inline JOV_PARTITION* get_top_partition() const;
  // data: the partitions in design order (the top partition first).
  const std::vector<std::unique_ptr<JOV_PARTITION>>& get_partitions() const { return m_partitions; }
  // data: adds a partition under parent (the top partition when null).
  JOV_PARTITION* add_partition(const std::string& name, JOV_PARTITION* parent = nullptr);
  // data: the design's option namespace (the project's default section).
  OMZ_NAMESPACE* get_option_namespace() const;

private:
  std::string m_snapshot = "none";
  std::vector<std::unique_ptr<JOV_PARTITION>> m_partitions;
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
