#pragma once
// Shells of the shared-algorithm library's utilities that start-up lends to
// the fitter environment. Each has a virtual destructor and a live counter
// (host::counters::get("<class name>")), so tests can prove that shut-down
// deletes what start-up made. Their algorithms come with the stages that use
// them.
#include "common/host_api.h"

class WEXAN_ENV;
#include "dev/dev_family.h"

// recorded: sets the environment the shared-algorithm library's bins work on.
HOST_API void nolt_bin_set_env(WEXAN_ENV* env);
// data: that environment.
HOST_API WEXAN_ENV* nolt_bin_get_env();

// The atom duplication utility; release() is its one disposal operation.
class HOST_API NOLT_ATOM_DUP_UTILITY {
public:
  NOLT_ATOM_DUP_UTILITY();
  virtual ~NOLT_ATOM_DUP_UTILITY();
  NOLT_ATOM_DUP_UTILITY(const NOLT_ATOM_DUP_UTILITY&) = delete;
  NOLT_ATOM_DUP_UTILITY& operator=(const NOLT_ATOM_DUP_UTILITY&) = delete;
  // recorded: takes the utility back from the environment
  // (WEXAN_ENV::set_atom_dup_util(null) when it is the lent one) and deletes it.
  virtual void release();
};

// Utilities made on the environment.
#define NOLT_ENV_UTILITY_SHELL(NAME)                   \
  class HOST_API NAME {                                \
  public:                                              \
    explicit NAME(WEXAN_ENV* env);                     \
    virtual ~NAME();                                   \
    NAME(const NAME&) = delete;                        \
    NAME& operator=(const NAME&) = delete;             \
    /* data: the environment it was made on. */        \
    WEXAN_ENV* get_env() const { return m_env; }       \
                                                       \
  private:                                             \
    WEXAN_ENV* m_env;                                  \
  };

NOLT_ENV_UTILITY_SHELL(NOLT_RAM_PACKING_CHECK_BODY)
NOLT_ENV_UTILITY_SHELL(NOLT_CLKBUF_FIX_ATOM_NETLIST)
NOLT_ENV_UTILITY_SHELL(NOLT_GND_LCELL_MANAGER)
NOLT_ENV_UTILITY_SHELL(NOLT_DEVICE_MIGRATION_CONSTRAINTS_BODY)

#undef NOLT_ENV_UTILITY_SHELL

class HOST_API NOLT_LUT_RAM_CONVERSION_UTIL {
public:
  explicit NOLT_LUT_RAM_CONVERSION_UTIL(WEXAN_ENV* env);
  virtual ~NOLT_LUT_RAM_CONVERSION_UTIL();
  NOLT_LUT_RAM_CONVERSION_UTIL(const NOLT_LUT_RAM_CONVERSION_UTIL&) = delete;
  NOLT_LUT_RAM_CONVERSION_UTIL& operator=(const NOLT_LUT_RAM_CONVERSION_UTIL&) = delete;
  /* data: the environment it was made on. */
  WEXAN_ENV* get_env() const { return m_env; }
  // recorded: the prefit checks of the LUT-RAM netlist; scripted, default
  // true (legal).
  static bool perform_prefit_lutram_netlist_checks();

private:
  WEXAN_ENV* m_env;
};

// The RAM merger, made on the environment with a flag.
class HOST_API NOLT_KX_MERGE_RAM_OP_BODY {
public:
  NOLT_KX_MERGE_RAM_OP_BODY(WEXAN_ENV* env, bool flag);
  virtual ~NOLT_KX_MERGE_RAM_OP_BODY();
  NOLT_KX_MERGE_RAM_OP_BODY(const NOLT_KX_MERGE_RAM_OP_BODY&) = delete;
  NOLT_KX_MERGE_RAM_OP_BODY& operator=(const NOLT_KX_MERGE_RAM_OP_BODY&) = delete;
  // data: what it was made with.
  WEXAN_ENV* get_env() const { return m_env; }
  bool get_flag() const { return m_flag; }

private:
  WEXAN_ENV* m_env;
  bool m_flag;
};

// The delay-chain utility, made for a device family.
class HOST_API NOLT_DELAY_CHAIN_UTIL_BODY {
public:
  explicit NOLT_DELAY_CHAIN_UTIL_BODY(DEV_FAMILY_ENUM family);
  virtual ~NOLT_DELAY_CHAIN_UTIL_BODY();
  NOLT_DELAY_CHAIN_UTIL_BODY(const NOLT_DELAY_CHAIN_UTIL_BODY&) = delete;
  NOLT_DELAY_CHAIN_UTIL_BODY& operator=(const NOLT_DELAY_CHAIN_UTIL_BODY&) = delete;
  // data: the family it was made for.
  DEV_FAMILY_ENUM get_family() const { return m_family; }

private:
  DEV_FAMILY_ENUM m_family;
};

// The RAM-enable conversion utility: a process-wide object made by a
// factory of the implementing library, which stores it in s_utility.
class HOST_API NOLT_RAM_ENABLE_CONVERSION_UTIL {
public:
  explicit NOLT_RAM_ENABLE_CONVERSION_UTIL(WEXAN_ENV* env);
  virtual ~NOLT_RAM_ENABLE_CONVERSION_UTIL();
  NOLT_RAM_ENABLE_CONVERSION_UTIL(const NOLT_RAM_ENABLE_CONVERSION_UTIL&) = delete;
  NOLT_RAM_ENABLE_CONVERSION_UTIL& operator=(const NOLT_RAM_ENABLE_CONVERSION_UTIL&) = delete;

  // data: the utility, or null.
  static NOLT_RAM_ENABLE_CONVERSION_UTIL* get_utility();
  // recorded: deletes the utility and empties s_utility; the registry entry
  // is left for the caller to clear.
  static void destroy_utility();

  // data: the environment it was made on.
  WEXAN_ENV* get_env() const { return m_env; }

protected:
  static NOLT_RAM_ENABLE_CONVERSION_UTIL* s_utility;

private:
  WEXAN_ENV* m_env;
};
