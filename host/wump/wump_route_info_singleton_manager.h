#pragma once
// data: the process-wide holder of the active route info and its mode:
// 1 = element-offset representation (WUMP_ROUTE_ELEMENT_KOP), 2 = the
// hierarchical one (WUMP_ROUTE_ELEMENT_KOP_HIER), any other value = the flat
// element and fanout tables. Its state lives in the host world (one object
// per process, rebuilt by host_reset); the route graph accessors read it.
#include "common/host_api.h"

class WUMP_ROUTE_INFO;

struct WUMP_ACTIVE_ROUTE_INFO {
  const WUMP_ROUTE_INFO* info = nullptr;
  int mode = 0;
  bool is_valid() const { return info != nullptr; }
};

class HOST_API WUMP_ROUTE_INFO_SINGLETON_MANAGER {
public:
  // data: the one instance (created on first use, replaced at reset).
  static WUMP_ROUTE_INFO_SINGLETON_MANAGER& get();

  // data: makes `info` the active route info in `mode`; modes 1 and 2 build
  // the element-offset representations of the same graph on first use.
  void activate(const WUMP_ROUTE_INFO* info, int mode);
  void deactivate() { m_active = WUMP_ACTIVE_ROUTE_INFO{}; }
  bool has_active() const { return m_active.is_valid(); }

  // The active route info; internal error when none is active.
  inline const WUMP_ACTIVE_ROUTE_INFO& get_active() const;

private:
  WUMP_ACTIVE_ROUTE_INFO m_active;
};

#include "wump_route_info_singleton_manager_sys.h"
