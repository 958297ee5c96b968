#pragma once
// Shells of the shared-algorithm library's utilities that start-up lends to
// the fitter environment. Each has a virtual destructor and a live counter
// (host::counters::get("<class name>")), so tests can prove that shut-down
// deletes what start-up made. Their algorithms come with the stages that use
// them.
#include "common/host_api.h"

class WEXAN_ENV;
class WEXAN_DESIGN;
class WEXAN_PIZ_TABLE;
class VOK_ATOM_NODE;
#include "dev/dev_family.h"
#include "yos/yos_interface.h"

// RAM ports whose enables the RAM-enable passes convert.
enum VOK_RAM_PORT_ENUM : int { VOK_RAM_PORT_A = 0, VOK_RAM_PORT_B = 1 };

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

  // ---- delay chains, from the family's delay-chain table (host::dc).
  // data: PLL pseudo types 414-418, kept as time parameters of the same id.
  bool is_fake_pll_enum(YOS_UINT_DATA_ENUM type) const;
  YOS_TIME_DATA_ENUM convert_fake_uint_enum_to_time_enum(YOS_UINT_DATA_ENUM type) const;
  unsigned get_delay_chain_setting_for_time_data(const VOK_ATOM_NODE* atom, YOS_TIME_DATA_ENUM id) const;
  bool set_delay_chain_time_value_on_atom(VOK_ATOM_NODE* atom, YOS_TIME_DATA_ENUM id, unsigned value);
  // data: the chain's setting parameter (0 when unset); the write fails, and
  // writes nothing, where host::dc::fail_writes says so.
  unsigned get_delay_chain_setting_of_atom(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  bool set_delay_chain_setting(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, unsigned value);
  // data: whether the pin carries its own option for the chain.
  bool has_user_delay_chain_option(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  // data: the chain's highest setting (16 for 144 on families 8, 12 and 19;
  // 0 for a chain the family lacks).
  unsigned get_max_setting(YOS_UINT_DATA_ENUM type) const;
  bool is_dq_pin(const VOK_ATOM_NODE* atom) const;
  // algorithm: the pin carrying the atom's chains: a pin itself, the pad
  // feeding an input buffer, the pad an output buffer drives; else null.
  VOK_ATOM_NODE* get_atom_with_delay_chain_property(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const;
  // data: the delay model's names for a chain and a setting (the same
  // numbers).
  int translate_delay_chain_from_yos_to_zav(YOS_UINT_DATA_ENUM type) const;
  unsigned translate_delay_value(unsigned value) const;

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
  // data: the design and the netlist-modification report table the gates
  // are recorded in.
  WEXAN_DESIGN* get_design() const { return m_design; }
  WEXAN_PIZ_TABLE* get_netlist_mod_table() { return m_netlist_mod_table; }

  // algorithm: converts the enables of every RAM of the atom netlist that
  // needs it (hierarchical order); true when every conversion succeeded.
  virtual bool perform_ram_enable_conversion();
  // algorithm: some RAM has a write or read enable to convert.
  virtual bool do_any_block_rams_need_netlist_updates();
  // algorithm: puts a gate from the matching factory in front of the RAM's
  // enable input: the gate takes the old enable source on input 0 and the
  // RAM's clock enable (or VCC) on input 1; false when the factory gives no
  // gate or the RAM has no such enable.
  virtual bool do_wren_conversion(VOK_ATOM_NODE* atom, VOK_RAM_PORT_ENUM port);
  virtual bool do_rden_conversion(VOK_ATOM_NODE* atom, VOK_RAM_PORT_ENUM port);
  virtual bool do_dual_conversion(VOK_ATOM_NODE* atom, VOK_RAM_PORT_ENUM port);
  // The family's gate factories; the new atom has only its output term.
  virtual VOK_ATOM_NODE* create_1_input_inverter_atom(VOK_ATOM_NODE* ram) = 0;
  virtual VOK_ATOM_NODE* create_2_input_or_gate_atom(VOK_ATOM_NODE* ram) = 0;
  virtual VOK_ATOM_NODE* create_4_input_or_gate_atom(VOK_ATOM_NODE* ram) = 0;
  virtual VOK_ATOM_NODE* create_2_input_and_gate_atom(VOK_ATOM_NODE* ram) = 0;
  virtual VOK_ATOM_NODE* create_dual_gate_atom(VOK_ATOM_NODE* ram) = 0;
  virtual VOK_ATOM_NODE* create_dff_atom(VOK_ATOM_NODE* ram) = 0;
  virtual VOK_ATOM_NODE* create_dffe_atom(VOK_ATOM_NODE* ram) = 0;

protected:
  static NOLT_RAM_ENABLE_CONVERSION_UTIL* s_utility;

private:
  bool insert_gate(VOK_ATOM_NODE* ram, VOK_ATOM_NODE* gate, int enable_port);

  WEXAN_ENV* m_env;
  WEXAN_DESIGN* m_design;
  WEXAN_PIZ_TABLE* m_netlist_mod_table;
};
