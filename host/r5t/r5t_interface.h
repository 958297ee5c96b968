#pragma once
// The atom-to-cell directive store: a process-wide singleton.
#include "common/host_api.h"

class HOST_API R5T_INTERFACE {
public:
  // recorded: the singleton, created on first use (belongs to the world).
  static R5T_INTERFACE* get_or_create_instance();
  R5T_INTERFACE();
  virtual ~R5T_INTERFACE();
  R5T_INTERFACE(const R5T_INTERFACE&) = delete;
  R5T_INTERFACE& operator=(const R5T_INTERFACE&) = delete;
};
