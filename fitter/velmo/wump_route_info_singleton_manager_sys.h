#pragma once
// Access to the active route info: every route-graph accessor goes through
// get_active(), which stops the run when no route info is active.
#include "msg/msg_internal_error.h"
#include "wump/wump_route_info_singleton_manager.h"

inline const WUMP_ACTIVE_ROUTE_INFO& WUMP_ROUTE_INFO_SINGLETON_MANAGER::get_active() const {
  if (!m_active.is_valid())
    MSG_INTERNAL_ERROR::report("m_active.is_valid()", "VELMO", "wump_route_info_singleton_manager_sys", 162);
  return m_active;
}
