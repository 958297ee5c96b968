#pragma once
// The fitter-main library's environment: a static registry into which
// start-up lends utilities. Every set is recorded as a lend and every clear as
// a take-back; has_allocated_interface_objects() is true while any utility
// slot (of this registry or of WEXAN_ENV) holds an object.
#include "common/host_api.h"

class CMP_FACADE;

class HOST_API TIBEX_ENV {
public:
  // recorded: the compiler facade the fitter-main library works for (not an
  // allocated interface object).
  static void set_cmp_facade(CMP_FACADE* cmp);
  static CMP_FACADE* get_cmp_facade();

  // data: true while any lent object is registered.
  static bool has_allocated_interface_objects();
};
