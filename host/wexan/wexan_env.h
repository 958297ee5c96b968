#pragma once
// The fitter environment: made by the component at start-up with the compiler
// facade, it becomes the process-wide environment until it is deleted.
#include "common/host_api.h"

class CMP_FACADE;
class VOK_ATOM_NETLIST;
class WEXAN_ENV;

// The host's device factory, handed to the environment's constructor.
using WEXAN_DEVICE_FACTORY_FN = void* (*)(WEXAN_ENV*);
HOST_API void* nolt_device_factory_fn(WEXAN_ENV* env);

class HOST_API WEXAN_ENV {
public:
  WEXAN_ENV(CMP_FACADE* cmp, int flags, WEXAN_DEVICE_FACTORY_FN device_factory);
  virtual ~WEXAN_ENV();
  WEXAN_ENV(const WEXAN_ENV&) = delete;
  WEXAN_ENV& operator=(const WEXAN_ENV&) = delete;

  // The process-wide environment (null outside a fitter run).
  static WEXAN_ENV* get_env();

  CMP_FACADE* get_cmp() const { return m_cmp; }
  // The design's top-level atom netlist.
  VOK_ATOM_NETLIST* get_atom_netlist() const;
  // Codes of the configured device's family.
  int get_base_family_code() const;
  int get_internal_family_code() const;

  static void set_wexan_device_factory_fn(WEXAN_DEVICE_FACTORY_FN fn);
  static WEXAN_DEVICE_FACTORY_FN get_wexan_device_factory_fn();

private:
  CMP_FACADE* m_cmp;
  int m_flags;
};
