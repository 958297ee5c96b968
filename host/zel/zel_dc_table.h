#pragma once
// data: the delay-chain table of a device family. One table per family holds
// the chain-type arrays of the I/O atom and delay-chain utilities, each
// chain's highest setting, fine-chain pairs, defaults by (type, horizontal),
// the per-setting delays in ps (DC_TABLE) and the atom parameters a chain is
// kept in. The utilities of host/zel and host/nolt, the ZAV delay model and
// the timing netlist all read it, so they agree.
//
// Families 46 and 26 (and the I/O-less 48 and 15) get the newer atom chains
// 430, 431 and 446-449; every other code the older chains 12-19 and 144-158
// with the fine chains 300, 301 and 305. Tests replace a family's table with
// host::dc::set_table.
//
// Delays: chains 430, 431 and 446 step 72 ps per setting; chain 448 steps
// 4.471 ps (3.298 on 46 and 26); each scaled by the corner (slow: by speed
// grade, 1.14/1.23 for grades 6/12 on 46 and 26, 1.125/1.342 elsewhere; fast:
// 0.76 on 46 and 26, 0.5 elsewhere; other corners 1.0) and truncated. Other
// chains take their explicit rows, or 50 ps per setting (55 on a horizontal
// pad) when they have none.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/host_api.h"

class VOK_ATOM_NODE;

namespace host::dc {

// A chain's side of the I/O atom: which pins use it.
enum class SIDE { INPUT, OUTPUT, OUTPUT_ENABLE, NONE };

struct CHAIN {
  unsigned max_setting = 0;
  SIDE side = SIDE::NONE;
  unsigned default_vertical = 0;    // default on a pad that is not horizontal
  unsigned default_horizontal = 0;  // default on a horizontal pad
  // Explicit delays per setting (ps), other and horizontal pads; empty: the
  // rule above.
  std::vector<int> delay_other;
  std::vector<int> delay_horizontal;
  // The ZAV model answers this chain only by value (its query by setting
  // misses).
  bool zav_by_value_only = false;
};

struct FAMILY_TABLE {
  std::vector<int> user_types;
  std::vector<int> auto_types;
  std::map<int, CHAIN> chains;
  std::map<int, int> fine;  // coarse chain -> fine chain
  int pad_to_core_chains = 2;
  // Device bool items true by default (besides the per-chain items).
  std::set<int> device_items;
};

// Corner model codes of the delay-chain utility: 0 and 1 slow, 2 fast,
// 3 any other corner.
inline constexpr int MODEL_SLOW = 0;
inline constexpr int MODEL_FAST = 2;
inline constexpr int MODEL_OTHER = 3;

// The table of a family code (the configured override, else the built-in).
HOST_API const FAMILY_TABLE& table(int family);
HOST_API void set_table(int family, const FAMILY_TABLE& t);

// Parameter and item ids a chain is known by.
HOST_API int yos_param_of(int type);       // the chain's setting parameter (unsigned)
HOST_API int yos_bool_param_of(int type);  // its companion flag parameter
HOST_API int moz_variable_of(int type);    // its per-pin option
HOST_API int dev_item_of(int type);        // the device bool item enabling it
HOST_API bool is_pll_pseudo_type(int type);

// DC_TABLE: delay in ps of a chain at a setting on a corner (model code,
// speed grade) of the family; 0x80000001 for a setting beyond the range.
HOST_API int delay_ps(int family, int type, unsigned setting, int model_code, int speed_grade, bool horizontal);
// The model code of a configured device corner (DeviceCorner::kind).
HOST_API int model_code_of_corner_kind(int kind);

// data: test hooks. A write of `type` (any type when -1) on the atom with
// this id (any atom when -1) fails.
HOST_API void fail_writes(int atom_id, int type);
// DQ, DQS and DQSN pins, by atom id.
HOST_API void mark_dq(int atom_id);
HOST_API void mark_dqs(int atom_id);
HOST_API void mark_dqsn(int atom_id);
HOST_API bool is_dq(int atom_id);
HOST_API bool is_dqs(int atom_id);
HOST_API bool is_dqsn(int atom_id);
HOST_API bool write_fails(int atom_id, int type);
// Paired I/O atoms (both directions).
HOST_API void pair(int atom_a, int atom_b);
HOST_API int paired_with(int atom_id);  // -1 when none

// The chain settings of every pin of the top netlist, by (pin name, type),
// for reports that show what a run changed.
HOST_API std::map<std::pair<std::string, int>, unsigned> pin_settings();

}  // namespace host::dc
