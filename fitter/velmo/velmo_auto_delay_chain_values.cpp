// The delay of every setting of every chain per timing corner: a nominal
// delay scaled by corner and speed grade, replaced by the chains' cell delays
// where the timing models have them; the clock-delay control chain from the
// delay model setting by setting.
#include <algorithm>
#include <iostream>
#include <memory>

#include "dev/dev_basic_info.h"
#include "dev/dev_family.h"
#include "nolt/nolt_utilities.h"
#include "pexa/pexa_utility.h"
#include "velmo_auto_delay_chain_internal.h"
#include "velmo_auto_delay_chain_op.h"
#include "zav/zav_delay_model.h"

using velmo_auto_dc::BIN;
using velmo_auto_dc::internal_error;

namespace {
constexpr float kNoCellDelay = 1.0e30f;

// Cell-delay kind of a chain in the timing models (234: none).
int l_yos_to_yeb_cell_delay_type(YOS_UINT_DATA_ENUM type) {
  switch (static_cast<int>(type)) {
    case 430: return 209;
    case 431: return 211;
    case 446: return 207;
    case 448: return 213;
    case 449: return 215;
    default: return 234;
  }
}

// Seconds to picoseconds in single precision, rounded half away from zero.
int ps(double seconds) {
  const float x = static_cast<float>(seconds);
  const float p = x * 1.0e12f;
  return static_cast<int>(x < 0 ? p - 0.5f : p + 0.5f);
}

bool is_slow(int model) { return model == ZEL_TIMING_MODEL_SLOW || model == ZEL_TIMING_MODEL_SLOW_LOW_TEMP; }
}  // namespace

// ---------------------------------------------------------------- values

int VELMO_AUTO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN_VALUE::get_tsu_delay(int orientation, int corner) const {
  return std::max(delay[orientation][0][corner], delay[orientation][1][corner]);
}

int VELMO_AUTO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN_VALUE::get_th_delay(int orientation, int corner) const {
  return std::min(delay[orientation][0][corner], delay[orientation][1][corner]);
}

int VELMO_AUTO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN_VALUE::get_delay(int kind, int orientation, int corner) const {
  return kind == 0 ? get_tsu_delay(orientation, corner) : get_th_delay(orientation, corner);
}

void VELMO_AUTO_DELAY_CHAIN_OP::add_delays(AUTO_DELAY_CHAIN_VALUE* target, const AUTO_DELAY_CHAIN_VALUE* source) {
  for (int o = 0; o < 2; ++o)
    for (int e = 0; e < 2; ++e)
      for (int c = 0; c < 3; ++c) target->delay[o][e][c] += source->delay[o][e][c];
}

// ---------------------------------------------------------------- cell delays

void VELMO_AUTO_DELAY_CHAIN_OP::init_yeb_cell_delays() {
  const DEV_DEVICE_ENUM device = m_dev_basic_info->get_device_enum();
  const int fast = PEXA_UTILITY::get_loaded_timing_model_enum(1);
  if (fast == DEV_TIMING_MODEL_INVALID)
    internal_error("dev_fast_timing_model_enum != DEV_TIMING_MODEL_INVALID", __LINE__);
  bool flag = false;
  std::shared_ptr<YEB_TIMING_MODEL> fast_model =
      YEB_TIMING_MODEL::get_timing_model(device, 1, fast, &flag, nullptr, false, false, false);
  const int slow = PEXA_UTILITY::get_loaded_timing_model_enum(0);
  if (slow == DEV_TIMING_MODEL_INVALID)
    internal_error("dev_slow_timing_model_enum != DEV_TIMING_MODEL_INVALID", __LINE__);
  std::shared_ptr<YEB_TIMING_MODEL> slow_model =
      YEB_TIMING_MODEL::get_timing_model(device, 0, slow, &flag, nullptr, false, false, true);
  for (YOS_UINT_DATA_ENUM t : m_auto_types) {
    for (int i = 0; i < m_corner_count; ++i) {
      const int m = m_corner_models[i];
      const YEB_TIMING_MODEL* model =
          is_slow(m) ? slow_model.get() : m == ZEL_TIMING_MODEL_FAST ? fast_model.get() : nullptr;
      if (model == nullptr) continue;
      YEB_CELL_DELAY& slot = m_yeb_cell_delays[t][static_cast<std::size_t>(i)];
      slot = model->get_cell_delay(l_yos_to_yeb_cell_delay_type(t), 0);
      if (m_verbose) std::cout << "init_yeb_cell_delay: " << static_cast<int>(t) << "\t" << i << "\t" << slot << "\n";
    }
  }
}

// ---------------------------------------------------------------- the table

void VELMO_AUTO_DELAY_CHAIN_OP::build_auto_delay_chain_vec_new() {
  BIN bin("build_auto_delay_chain_vec");
  for (YOS_UINT_DATA_ENUM t : m_all_types) {
    if (m_body->is_fake_pll_enum(t) && (static_cast<int>(t) == 418 || !m_pll_delay_chains)) continue;
    if (static_cast<int>(t) == 19 && m_clk_delay_ctrl)
      m_auto_delay_chain_vec.push_back(build_delay_chain_info_vec_for_clk_delay_ctrl(t));
    else
      m_auto_delay_chain_vec.push_back(build_delay_chain_info_vec_new(t));
  }
}

std::unique_ptr<VELMO_AUTO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN_INFO> VELMO_AUTO_DELAY_CHAIN_OP::build_delay_chain_info_vec_new(
    YOS_UINT_DATA_ENUM type) {
  const unsigned max = static_cast<unsigned>(get_max_delay_chain_setting(type));
  if (max >= 0x7FFFFFFFu) internal_error("max_delay_setting < INT_MAX", __LINE__);
  auto info = std::make_unique<AUTO_DELAY_CHAIN_INFO>();
  info->type = type;
  for (unsigned s = 0; s <= max; ++s) info->values.push_back(build_delay_value(type, s));
  return info;
}

std::unique_ptr<VELMO_AUTO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN_INFO>
VELMO_AUTO_DELAY_CHAIN_OP::build_delay_chain_info_vec_for_clk_delay_ctrl(YOS_UINT_DATA_ENUM type) {
  const ZAV_ROOT_NODE* roots[3] = {};
  for (int i = 0; i < m_corner_count; ++i)
    roots[i] = PEXA_UTILITY::retrieve_zav_root_node_for_model(ZEL_DELAY_CHAIN_UTIL::get_hep_timing_model(m_corner_models[i]));
  auto info = std::make_unique<AUTO_DELAY_CHAIN_INFO>();
  info->type = type;
  auto& extra = info->values.emplace_back(std::make_unique<AUTO_DELAY_CHAIN_VALUE>());
  extra->setting = 9999;
  for (auto& o : extra->delay)
    for (auto& e : o)
      for (std::int32_t& d : e) d = -28;
  for (unsigned s = 0; s <= 63; ++s) {
    AUTO_DELAY_CHAIN_VALUE* value = info->values.emplace_back(std::make_unique<AUTO_DELAY_CHAIN_VALUE>()).get();
    value->setting = s;
    for (int i = 0; i < m_corner_count; ++i) {
      const int d = roots[i]->get_delay(562, s, 137, 0, 0, 0, 0, 0, 0, 0, 0, 0);
      if (d == ZAV_ILLEGAL_DELAY) internal_error("delay != ZAV_ILLEGAL_DELAY", __LINE__);
      for (auto& o : value->delay)
        for (auto& e : o) e[i] = d;
    }
  }
  return info;
}

std::unique_ptr<VELMO_AUTO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN_VALUE> VELMO_AUTO_DELAY_CHAIN_OP::build_delay_value(
    YOS_UINT_DATA_ENUM type, unsigned setting) {
  auto value = std::make_unique<AUTO_DELAY_CHAIN_VALUE>();
  value->setting = setting;
  const int family = static_cast<int>(m_family);
  const bool f = family == 46 || family == 26;
  const double step = f ? 3.298 : 4.471;
  const int t = static_cast<int>(type);
  const bool use_cell = f && t != 448;
  const int grade = DEV_PART_MANAGER().get_speed_of(static_cast<int>(m_dev_basic_info->get_device_enum()));
  double scaler[3] = {1.0, 1.0, 1.0}, rise[3] = {}, fall[3] = {};
  for (int i = 0; i < m_corner_count; ++i) {
    const int m = m_corner_models[i];
    const auto has_cell = [&] {
      return m_yeb_cell_delays[type][static_cast<std::size_t>(i)].values[0] != kNoCellDelay;
    };
    const auto take_cell = [&] {
      const YEB_CELL_DELAY& d = m_yeb_cell_delays[type][static_cast<std::size_t>(i)];
      rise[i] = static_cast<double>(d.values[4]) * 0.5;
      fall[i] = static_cast<double>(d.values[7]) * 0.5;
      scaler[i] = 0.0;
    };
    if (is_slow(m)) {
      scaler[i] = grade == 6 ? (f ? 1.14 : 1.125) : grade == 12 ? (f ? 1.23 : 1.342) : 1.0;
      if (use_cell && has_cell()) take_cell();
    } else if (m == ZEL_TIMING_MODEL_FAST) {
      if (use_cell) {
        if (has_cell())
          take_cell();
        else
          scaler[i] = 0.76;
      } else {
        scaler[i] = f ? 0.76 : 0.5;
      }
    }
  }
  if (t == 430 || t == 431 || t == 446) {
    const int max = get_max_delay_chain_setting(type);
    for (int i = 0; i < m_corner_count; ++i) {
      const int base = static_cast<int>(static_cast<double>(setting) * 72.0 * scaler[i]);
      // A chain without settings has no cell part.
      const int rise_part = max == 0 ? 0 : ps(rise[i] * setting / max);
      const int fall_part = max == 0 ? 0 : ps(fall[i] * setting / max);
      for (auto& o : value->delay) {
        o[0][i] = base + rise_part;
        o[1][i] = base + fall_part;
      }
    }
  } else if (t == 448) {
    for (int i = 0; i < m_corner_count; ++i) {
      const int base = static_cast<int>(static_cast<double>(setting) * step * scaler[i]);
      for (auto& o : value->delay)
        for (auto& e : o) e[i] = base;
    }
  }
  return value;
}

VELMO_AUTO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN_INFO* VELMO_AUTO_DELAY_CHAIN_OP::get_delay_chain_info(
    YOS_UINT_DATA_ENUM type) const {
  for (const auto& info : m_auto_delay_chain_vec)
    if (info->type == type) return info.get();
  return nullptr;
}

void VELMO_AUTO_DELAY_CHAIN_OP::delete_auto_delay_chain_vec() {
  m_auto_delay_chain_vec.clear();
}
