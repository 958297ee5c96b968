#pragma once
// The I/O atom and delay-chain utilities of a device family. Both read the
// family's delay-chain table (zel_dc_table.h).
#include <vector>

#include "common/host_api.h"
#include "dev/dev_family.h"
#include "yos/yos_interface.h"

class DEV_PAD;
class MEM_SEGMENT;
class VOK_ATOM_NODE;

// Corner models of the delay-chain utility (model codes of host::dc).
enum ZEL_TIMING_MODEL : int {
  ZEL_TIMING_MODEL_SLOW = 0,
  ZEL_TIMING_MODEL_SLOW_LOW_TEMP = 1,
  ZEL_TIMING_MODEL_FAST = 2,
  ZEL_TIMING_MODEL_OTHER = 3,
};

class HOST_API ZEL_ATOM_IO {
public:
  // data: whether the base family has an I/O atom utility (every family but
  // 48 and 15).
  static bool is_available(DEV_FAMILY_ENUM base_family);
  // data: a new utility for the base family, owned by the caller; null when
  // the family has none or a script says so (scripted, default true).
  static ZEL_ATOM_IO* create_util(MEM_SEGMENT* segment, DEV_FAMILY_ENUM base_family, bool flag);
  virtual ~ZEL_ATOM_IO();

  // data: the device bool item enabling a chain, the chain's flag parameter
  // and its per-pin option variable.
  static int get_delay_chain_dev_bool_enum(YOS_UINT_DATA_ENUM type);
  static YOS_BOOL_DATA_ENUM get_delay_chain_yos_bool_enum(YOS_UINT_DATA_ENUM type);
  static int get_delay_chain_moz_variable(YOS_UINT_DATA_ENUM type);
  // data: the family's number of pad-to-core chains.
  static int get_max_pad_to_core_delay_chains(DEV_FAMILY_ENUM family);

  // algorithm: whether the pin uses the chain: input-side chains on pins that
  // drive logic, output-side chains on pins driven by logic, output-enable
  // chains on bidirectional pins; chains of no side (and unknown chains)
  // never.
  bool is_delay_chain_used_on_atom(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, bool flag) const;
  // algorithm: an input pin whose buffer feeds a PLL's reference clock while
  // the PLL's compensation mode (unsigned parameter 9000) is 1 (source
  // synchronous) or 2 (zero delay buffer).
  bool is_pll_compensated_io(const VOK_ATOM_NODE* atom) const;
  // data: the pin paired with this one (host::dc::pair), or null.
  VOK_ATOM_NODE* get_paired_io_atom(const VOK_ATOM_NODE* atom) const;

private:
  explicit ZEL_ATOM_IO(int base_family) : m_base_family(base_family) {}
  int m_base_family;
};

class HOST_API ZEL_DELAY_CHAIN_UTIL {
public:
  // data: a new utility for the family, owned by the caller.
  static ZEL_DELAY_CHAIN_UTIL* create_util(MEM_SEGMENT* segment, DEV_FAMILY_ENUM family);
  virtual ~ZEL_DELAY_CHAIN_UTIL();

  // data: the family's chain arrays (valid while the utility lives).
  const YOS_UINT_DATA_ENUM* get_user_delay_types() const { return m_user.data(); }
  int get_num_user_delay_types() const { return static_cast<int>(m_user.size()); }
  const YOS_UINT_DATA_ENUM* get_auto_delay_types() const { return m_auto.data(); }
  int get_num_auto_delay_types() const { return static_cast<int>(m_auto.size()); }

  // data: fine chains; get_fine_delay_chain gives 0xFFFFFFFF for a chain
  // without one.
  bool has_fine_delay_chain(YOS_UINT_DATA_ENUM type) const;
  YOS_UINT_DATA_ENUM get_fine_delay_chain(YOS_UINT_DATA_ENUM type) const;
  bool is_fine_delay_chain(YOS_UINT_DATA_ENUM type) const;
  // data: the chain's default on a pad of that orientation (the other
  // arguments are accepted and not used).
  unsigned get_default_delay_chain_setting(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, int a, int b,
                                           const DEV_PAD* pad, int c, int d, bool horizontal) const;
  // data: DQS and DQSN pins (host::dc::mark_dqs, mark_dqsn).
  bool is_dqs(const VOK_ATOM_NODE* atom) const;
  bool is_dqsn(const VOK_ATOM_NODE* atom) const;

  // data: the device's corners (every configured corner, in order) as models.
  int get_num_timing_models() const { return static_cast<int>(m_models.size()); }
  const ZEL_TIMING_MODEL* get_timing_models() const { return m_models.data(); }
  // data: a corner model's name and its timing-model kind (0 slow, 1 fast).
  static const char* get_timing_mondel_type_string(ZEL_TIMING_MODEL model);
  static int get_hep_timing_model(ZEL_TIMING_MODEL model);

private:
  explicit ZEL_DELAY_CHAIN_UTIL(int family);
  int m_family;
  std::vector<YOS_UINT_DATA_ENUM> m_user;
  std::vector<YOS_UINT_DATA_ENUM> m_auto;
  std::vector<ZEL_TIMING_MODEL> m_models;
};
