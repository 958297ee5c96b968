#pragma once
// data: the delay models the PLL delay-chain operation works on: one
// programmable chain (its setting parameter, nominal step, settings, measured
// per-step delays by timing-corner name and cell delays), chains set
// together, and the model of one PLL kind.
#include <cstdint>
#include <string>
#include <vector>

#include "big_time/big_time.h"
#include "common/host_api.h"
#include "pelk_scoped_symbol.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_ops.h"

class VOK_ATOM_NODE;

// The namespace of atom parameter names (PELK_NAMESPACE_ENUM value).
inline constexpr int YOS_PARAM_NAMESPACE = 7;

class HOST_API WEXAN_DELAY_CHAIN_INFO {
public:
  PELK_SCOPED_SYMBOL<YOS_PARAM_NAMESPACE> m_param_symbol;
  BIG_TIME m_step;
  std::int32_t m_num_settings = 0;
  ZMP_HASH_LITE<std::string, int> m_measured_delays;
  std::int32_t m_default_step_delay = 0;
  float m_fast_cell_delay = 1.0e30f;
  float m_slow_cell_delay = 1.0e30f;

  // algorithm: the per-step delay at a timing corner, ps: the measured
  // value of the corner's name, else the default step delay.
  int step_delay_at(const std::string& corner_name) const;
};

class HOST_API WEXAN_DELAY_CHAIN_GROUP {
public:
  bool m_valid = false;
  PELK_SCOPED_SYMBOL<YOS_PARAM_NAMESPACE> m_enable_key;
  std::vector<WEXAN_DELAY_CHAIN_INFO> m_delay_chains;

  void add_delay_chain_info(const WEXAN_DELAY_CHAIN_INFO& info) { m_delay_chains.push_back(info); }
  void set_enable_key(PELK_SCOPED_SYMBOL<YOS_PARAM_NAMESPACE> key) { m_enable_key = key; }
};

class HOST_API WEXAN_PLL_CONFIGURABLE_DELAY_MODEL {
public:
  WEXAN_DELAY_CHAIN_GROUP m_input_delay_chains;
  WEXAN_DELAY_CHAIN_GROUP m_feedback_delay_chains;
  std::vector<WEXAN_DELAY_CHAIN_GROUP> m_output_delay_chains;
  std::vector<WEXAN_DELAY_CHAIN_GROUP> m_lvds_delay_chains;
  std::string m_corner_name;  // the corner of the per-step delays below
  bool m_constructed = false;

  void set_input_delay_chains(const WEXAN_DELAY_CHAIN_GROUP& g) { m_input_delay_chains = g; }
  void set_feedback_delay_chains(const WEXAN_DELAY_CHAIN_GROUP& g) { m_feedback_delay_chains = g; }
  void add_output_delay_chains(const WEXAN_DELAY_CHAIN_GROUP& g) { m_output_delay_chains.push_back(g); }
  void add_lvds_delay_chains(const WEXAN_DELAY_CHAIN_GROUP& g) { m_lvds_delay_chains.push_back(g); }

  // algorithm: fixes each input and feedback chain's per-step delay at the
  // current timing corner (step_delay_at of its name; fast corners are named
  // with grade "MIN", e.g. "MIN_fast_900mv_-40c", slow ones
  // "<grade>_slow_<mV>mv_<C>c"). Without a timing netlist the slow default
  // corner is taken.
  void on_timing_corner_change();
  // The per-step delays fixed by the last on_timing_corner_change, ps, input
  // chains then feedback chains.
  const std::vector<int>& get_step_delays() const { return m_step_delays; }
  // recorded: writes `value` into every chain parameter of the model on the
  // atom (input, feedback, output and LVDS chains).
  void set_delay_chains_to_engineering_value(VOK_ATOM_NODE* atom, BIG_TIME value) const;

private:
  std::vector<int> m_step_delays;
};

namespace host::pll {
// The timing-corner name the measured PLL delays use for a corner: grade
// "MIN" on fast corners.
HOST_API std::string corner_name(int speed_grade, int kind, int millivolts, int celsius);
}  // namespace host::pll
