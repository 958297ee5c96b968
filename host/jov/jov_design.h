#pragma once
// The partition and snapshot database: the root and its design. The
// design's compile record holds the current snapshot name.
#include <string>
#include "common/host_api.h"

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

private:
  std::string m_snapshot = "none";
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
