// The PLL delay-chain operation: the measured-delay table and its op map,
// the hooks of the host's PLL compensation, and the IOPLL and CMU FPLL delay
// models.
#include "velmo_pll_delay_chains_op.h"

#include <cmath>
#include <iostream>
#include <iterator>
#include <memory>

#include "cfg/cfg.h"
#include "dev/dev_family.h"
#include "gen/gen_string.h"
#include "msg/msg_internal_error.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"
#include "yeb/yeb_timing_model.h"
#include "yos/yos_translator.h"

namespace {

// Read when the library is loaded, before the table is built.
const bool l_iopll_use_yeb_cell_delays = cfg_is_on("wexan_iopll_use_yeb_cell_delays", true);
const bool l_yeb_cell_delay_debug_msgs = cfg_is_on("wexan_yeb_cell_delay_debug_msg", false);

// Measured per-step delays of the IOPLL chains by device and timing corner.
// The row order matters: a later row overrides an earlier one in the op map.
// The rows are compiled as plain constant data and copied into the table when
// the library loads: thousands of string initialisers in one initialiser
// function would make that file very slow to compile.
struct MEASURED_ROW {
  std::uint32_t device;
  const char* delay_chain;
  const char* timing_corner;
  std::int32_t delay_ps;
};
constexpr MEASURED_ROW l_measured_rows[] = {
#include "velmo_pll_delay_chains_measured_data.inc"
};
const std::vector<VELMO_PLL_DELAY_CHAINS_OP_DATA_ENTRY> velmo_pll_delay_chains_measured_data = [] {
  std::vector<VELMO_PLL_DELAY_CHAINS_OP_DATA_ENTRY> rows;
  rows.reserve(std::size(l_measured_rows));
  for (const MEASURED_ROW& r : l_measured_rows) rows.push_back({r.device, r.delay_chain, r.timing_corner, r.delay_ps});
  return rows;
}();

[[noreturn]] void l_internal_error(const char* expression, int line) {
  MSG_INTERNAL_ERROR::report(expression, "VELMO", "velmo_pll_delay_chains_op", line);
}

constexpr float NO_CELL_DELAY = 1.0e30f;
constexpr int FAMILY_KX = 48;

// The YEB cell-delay kind of a measured chain.
int l_delay_chain_name_to_yeb_cell_delay(const std::string& delay_chain) {
  if (delay_chain == "n_fine") return 218;
  if (delay_chain == "n_coarse") return 219;
  if (delay_chain == "n_buf") return 222;
  if (delay_chain == "m_fine") return 220;
  if (delay_chain == "m_coarse") return 221;
  if (delay_chain == "m_buf") return 223;
  return 234;
}

// The shared YEB timing model of a kind (1 fast, 0 slow); empty when the
// chains take no cell delays (family 48, or the switch off).
std::shared_ptr<const YEB_TIMING_MODEL> l_velmo_pll_delay_chains_create_yeb_timing_model(DEV_FAMILY_ENUM family,
                                                                                         DEV_DEVICE_ENUM device,
                                                                                         hep_timing_models kind) {
  if (family == FAMILY_KX || !l_iopll_use_yeb_cell_delays) return nullptr;
  const DEV_TIMING_MODEL_ENUM dev_timing_model_enum = PEXA_UTILITY::get_loaded_timing_model_enum(kind);
  if (dev_timing_model_enum == DEV_TIMING_MODEL_INVALID)
    l_internal_error("dev_timing_model_enum != DEV_TIMING_MODEL_INVALID", __LINE__);
  bool is_real = false;
  return YEB_TIMING_MODEL::get_timing_model(device, kind, dev_timing_model_enum, &is_real, nullptr, false, false,
                                            true);
}

// The absolute mean of the chain's first eight cell-delay values, seconds;
// 0 without a model.
float l_velmo_pll_delay_chains_get_yeb_cell_delay(std::shared_ptr<const YEB_TIMING_MODEL> model,
                                                  const std::string& delay_chain) {
  if (!model) return 0.0f;
  const YEB_CELL_DELAY record = model->get_cell_delay(l_delay_chain_name_to_yeb_cell_delay(delay_chain), 0);
  if (l_yeb_cell_delay_debug_msgs)
    std::cout << "WEXAN_YEB_CELL_DELAY_DEBUG: init_yeb_cell_delay for delay_chain '" << delay_chain << "' : "
              << "\t" << record << "\n";
  float sum = 0.0f;
  for (int i = 0; i < 8; ++i) sum += record.values[i];
  const float mean = sum * 0.125f;
  if (l_yeb_cell_delay_debug_msgs)
    msg_vdebug_impl(2, "WEXAN_YEB_CELL_DELAY_DEBUG: The average YEB cell delay is delay is %f ps.\n",
                    static_cast<double>(mean * 1.0e12f));
  return std::fabs(mean);
}

// The symbol of a parameter name in the parameter namespace.
PELK_SCOPED_SYMBOL<YOS_PARAM_NAMESPACE> l_param_symbol(const std::string& name) {
  return PELK_SCOPED_SYMBOL<YOS_PARAM_NAMESPACE>(
      PELK::use(PELK::use_namespace(pelk_get_debug_string(YOS_PARAM_NAMESPACE)), name));
}

// A chain with its nominal description alone: no measurements, no cell
// delays, a default step delay equal to its step.
WEXAN_DELAY_CHAIN_INFO l_nominal_chain(PELK_SCOPED_SYMBOL<YOS_PARAM_NAMESPACE> symbol, int step_ps, int settings) {
  WEXAN_DELAY_CHAIN_INFO chain;
  chain.m_param_symbol = symbol;
  chain.m_step = BIG_TIME(step_ps, BIG_TIME::PS);
  chain.m_num_settings = settings;
  chain.m_measured_delays = ZMP_HASH_LITE<std::string, int>();
  chain.m_default_step_delay = step_ps;
  chain.m_fast_cell_delay = NO_CELL_DELAY;
  chain.m_slow_cell_delay = NO_CELL_DELAY;
  return chain;
}

// A group of two chains, coarse (200 ps, 5 settings) then fine (50 ps, 3).
WEXAN_DELAY_CHAIN_GROUP l_coarse_fine_group(const std::string& coarse, const std::string& fine) {
  WEXAN_DELAY_CHAIN_GROUP group;
  group.add_delay_chain_info(l_nominal_chain(l_param_symbol(coarse), 200, 5));
  group.add_delay_chain_info(l_nominal_chain(l_param_symbol(fine), 50, 3));
  return group;
}

// One row of an input or feedback table of the models.
struct PATH_CHAIN {
  const char* measured_chain;  // null for a purely nominal chain
  int param;
  int step_ps;
  int settings;
  int default_step_delay;
};

}  // namespace

ZMP_HASH_LITE<std::string, int> velmo_pll_delay_chains_create_op_map(DEV_DEVICE_ENUM device,
                                                                    const std::string& delay_chain) {
  ZMP_HASH_LITE<std::string, int> map;
  DEV_PART_MANAGER part_manager;
  for (const VELMO_PLL_DELAY_CHAINS_OP_DATA_ENTRY& row : velmo_pll_delay_chains_measured_data) {
    const DEV_DEVICE_ENUM row_device = static_cast<DEV_DEVICE_ENUM>(row.device);
    DEV_DEVICE_ENUM base = part_manager.get_base_device_of(row_device);
    if (base == 0) base = row_device;
    if (base != device || row.delay_chain != delay_chain) continue;
    map[row.timing_corner] = row.delay_ps;
  }
  return map;
}

VELMO_PLL_DELAY_CHAINS_OP::~VELMO_PLL_DELAY_CHAINS_OP() = default;

void VELMO_PLL_DELAY_CHAINS_OP::construct_delay_models() {
  m_delay_models.resize(2);
  YOS_TRANSLATOR* translator = YOS_TRANSLATOR::get_instance();
  construct_iopll_delay_model(translator);
  construct_cmu_fpll_delay_model(translator);
}

unsigned VELMO_PLL_DELAY_CHAINS_OP::get_delay_model_index(const VOK_ATOM_NODE* atom) const {
  if (atom == nullptr) l_internal_error("atom", __LINE__);
  switch (atom->get_atom_type()) {
    case 145:
    case 298:
    case 422: return 0;
    case 339: return 1;
    default: return 2;
  }
}

bool VELMO_PLL_DELAY_CHAINS_OP::fill_in_lvds_port_type_and_index_for_c_counter(unsigned long c_counter,
                                                                              DB_OUTPUT_PORT_TYPE* port_type,
                                                                              unsigned short* index) const {
  if (port_type == nullptr) l_internal_error("port", __LINE__);
  if (index == nullptr) l_internal_error("index", __LINE__);
  if (c_counter > 3) return false;
  *port_type = static_cast<DB_OUTPUT_PORT_TYPE>(c_counter % 2 == 0 ? 9563 : 4379);
  *index = static_cast<unsigned short>(c_counter / 2);
  return true;
}

bool VELMO_PLL_DELAY_CHAINS_OP::corner_case_override_done(VOK_ATOM_NODE* atom,
                                                          ZMP_ENUM_TYPE<VOK_PLL_COMPENSATION_MODE_ENUM> mode,
                                                          const WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model) const {
  if (atom == nullptr) return false;
  if (mode.get_int_value() != 6) return false;
  if (m_env->get_base_family_code() != FAMILY_KX) return false;
  model.set_delay_chains_to_engineering_value(atom, BIG_TIME(-400, BIG_TIME::PS));
  return true;
}

namespace {
// Builds the chains of an input or feedback table into a group: measured
// chains take their measured map and their slow then fast cell delays.
WEXAN_DELAY_CHAIN_GROUP l_path_group(const std::vector<PATH_CHAIN>& table, YOS_TRANSLATOR* translator,
                                     DEV_DEVICE_ENUM base_device,
                                     const std::shared_ptr<const YEB_TIMING_MODEL>& fast_model,
                                     const std::shared_ptr<const YEB_TIMING_MODEL>& slow_model) {
  WEXAN_DELAY_CHAIN_GROUP group;
  for (const PATH_CHAIN& row : table) {
    WEXAN_DELAY_CHAIN_INFO chain;
    if (row.measured_chain != nullptr) {
      ZMP_HASH_LITE<std::string, int> measured = velmo_pll_delay_chains_create_op_map(base_device, row.measured_chain);
      const float slow = l_velmo_pll_delay_chains_get_yeb_cell_delay(slow_model, row.measured_chain);
      const float fast = l_velmo_pll_delay_chains_get_yeb_cell_delay(fast_model, row.measured_chain);
      chain.m_step = BIG_TIME(row.step_ps, BIG_TIME::PS);
      chain.m_param_symbol = translator->get_yos_param_symbol_by_enum(static_cast<YOS_TIME_DATA_ENUM>(row.param));
      chain.m_num_settings = row.settings;
      chain.m_measured_delays = std::move(measured);
      chain.m_default_step_delay = row.default_step_delay;
      chain.m_fast_cell_delay = fast;
      chain.m_slow_cell_delay = slow;
    } else {
      chain = l_nominal_chain(translator->get_yos_param_symbol_by_enum(static_cast<YOS_TIME_DATA_ENUM>(row.param)),
                              row.step_ps, row.settings);
    }
    group.add_delay_chain_info(chain);
  }
  group.m_valid = true;
  return group;
}
}  // namespace

void VELMO_PLL_DELAY_CHAINS_OP::construct_iopll_delay_model(YOS_TRANSLATOR* translator) {
  const DEV_BASIC_INFO* info = PEXA_UTILITY::get_current_device()->get_basic_info();
  const DEV_DEVICE_ENUM device = info->get_device_enum();
  const DEV_FAMILY_ENUM family = info->get_family_enum();
  DEV_PART_MANAGER part_manager;
  DEV_DEVICE_ENUM base_device = part_manager.get_base_device_of(device);
  if (base_device == 0) base_device = device;

  std::shared_ptr<const YEB_TIMING_MODEL> fast_model =
      l_velmo_pll_delay_chains_create_yeb_timing_model(family, device, 1);
  std::shared_ptr<const YEB_TIMING_MODEL> slow_model =
      l_velmo_pll_delay_chains_create_yeb_timing_model(family, device, 0);
  const bool family_26 = family == 26;
  const int fb_buf_settings = family == 46 || family == 26 ? 3 : 5;

  WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model = m_delay_models[0];
  model.set_input_delay_chains(l_path_group({{"n_buf", 62, 1000, 5, 1214},
                                             {"n_coarse", family_26 ? 30 : 91, 200, 5, 303},
                                             {"n_fine", family_26 ? 29 : 90, 50, 3, 75}},
                                            translator, base_device, fast_model, slow_model));
  model.set_feedback_delay_chains(l_path_group({{"m_buf", 20, 1000, fb_buf_settings, 1213},
                                                {"m_coarse", family_26 ? 24 : 89, 200, 5, 322},
                                                {"m_fine", family_26 ? 23 : 88, 50, 3, 80}},
                                               translator, base_device, fast_model, slow_model));
  const std::string counter = family_26 ? "TIME_IOPLL_C" : "TIME_IOPLL_C_CNT_";
  for (int i = 0; i <= 8; ++i) {
    const std::string n = gen_itoa(i, 10);
    WEXAN_DELAY_CHAIN_GROUP group = l_coarse_fine_group(counter + n + "_COARSE_DLY", counter + n + "_FINE_DLY");
    group.m_valid = true;
    model.add_output_delay_chains(group);
  }
  if (family_26) {
    for (const char* lvds : {"LVDSCLK_0", "LOADEN_0", "LVDSCLK_1", "LOADEN_1"}) {
      WEXAN_DELAY_CHAIN_GROUP group = l_coarse_fine_group(std::string("TIME_IOPLL_") + lvds + "_COARSE_DLY",
                                                          std::string("TIME_IOPLL_") + lvds + "_FINE_DLY");
      group.m_valid = true;
      model.add_lvds_delay_chains(group);
    }
  } else {
    for (int j = 0; j <= 3; ++j) {
      const std::string n = gen_itoa(j, 10);
      WEXAN_DELAY_CHAIN_GROUP group =
          l_coarse_fine_group("TIME_IOPLL_PLL_COARSE_DLY_" + n, "TIME_IOPLL_PLL_FINE_DLY_" + n);
      group.set_enable_key(l_param_symbol("BOOL_IOPLL_PLL_DLY_" + n + "_ENABLE"));
      group.m_valid = true;
      model.add_lvds_delay_chains(group);
    }
  }
  model.on_timing_corner_change();
  model.m_constructed = true;
}

void VELMO_PLL_DELAY_CHAINS_OP::construct_cmu_fpll_delay_model(YOS_TRANSLATOR* translator) {
  WEXAN_PLL_CONFIGURABLE_DELAY_MODEL& model = m_delay_models[1];
  const std::shared_ptr<const YEB_TIMING_MODEL> none;
  model.set_input_delay_chains(l_path_group({{nullptr, 140, 1000, 5, 1000}, {nullptr, 138, 200, 5, 200},
                                             {nullptr, 139, 50, 3, 50}},
                                            translator, DEV_DEVICE_NONE, none, none));
  model.set_feedback_delay_chains(l_path_group({{nullptr, 135, 1000, 5, 1000}, {nullptr, 136, 200, 5, 200},
                                                {nullptr, 137, 50, 3, 50}},
                                               translator, DEV_DEVICE_NONE, none, none));
  for (int i = 0; i <= 3; ++i) {
    const std::string n = gen_itoa(i, 10);
    WEXAN_DELAY_CHAIN_GROUP group =
        l_coarse_fine_group("TIME_CMU_FPLL_C_CNT_" + n + "_COARSE_DLY", "TIME_CMU_FPLL_C_CNT_" + n + "_FINE_DLY");
    group.m_valid = true;
    model.add_output_delay_chains(group);
  }
  model.on_timing_corner_change();
  model.m_constructed = true;
}
