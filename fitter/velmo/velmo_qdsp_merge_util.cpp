#include "velmo_qdsp_merge_util.h"

#include <string>
#include <utility>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_register_packer.h"
#include "omz/omz_instance_name.h"
#include "pexa/pexa_utility.h"
#include "siv/siv_atom_mod_utility.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_utilities.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_mac_unified_util.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_qdsp_merge_util", line);
}

constexpr int DSP_ELEMENT = 1336;
constexpr int DSP_STAGES_ITEM = 24;
constexpr int MERGE_DRC_OPERATION = 39;
constexpr int MERGE_REPORT_ACTION = 12;
constexpr int MERGE_REPORT_LIST = 5;
constexpr int MERGE_REPORT_REASON = 1;

// Parameters of the merged atom.
constexpr YOS_BOOL_DATA_ENUM SCAN_CHAIN_TAKEN_OVER_PARAM = YOS_BOOL_DATA_ENUM(483);
constexpr YOS_BOOL_DATA_ENUM COEF_PARAM_OF_SECOND = YOS_BOOL_DATA_ENUM(490);
constexpr YOS_BOOL_DATA_ENUM COEF_PARAM = YOS_BOOL_DATA_ENUM(493);
constexpr YOS_BOOL_DATA_ENUM Y_SIGN_FROM_PARAM = YOS_BOOL_DATA_ENUM(489);

constexpr DB_INPUT_PORT_TYPE BUS_PORT = DB_INPUT_PORT_ACLR;  // must match bit for bit
constexpr DB_INPUT_PORT_TYPE COEF_SEL_A = DB_MAC_COEFSELA;
constexpr DB_OUTPUT_PORT_TYPE RESULT_OUT = static_cast<DB_OUTPUT_PORT_TYPE>(363);
constexpr DB_OUTPUT_PORT_TYPE SECOND_RESULT_OUT = static_cast<DB_OUTPUT_PORT_TYPE>(364);

// The second MAC's inputs and the merged atom's inputs that receive them.
constexpr std::pair<DB_INPUT_PORT_TYPE, DB_INPUT_PORT_TYPE> MOVED_PORTS[] = {
    {DB_MAC_DATA_AX, DB_MAC_DATA_BX},
    {DB_MAC_DATA_AY, DB_DATA_BY},
    {DB_MAC_DATA_AZ, DB_MAC_DATA_BZ},
    {DB_MAC_COEFSELA, DB_MAC_COEFSELB},
};

constexpr DB_INPUT_PORT_TYPE UNSUPPORTED_INPUTS[] = {
    DB_MAC_COEFSELB,
    static_cast<DB_INPUT_PORT_TYPE>(3198),
    static_cast<DB_INPUT_PORT_TYPE>(3047),
    static_cast<DB_INPUT_PORT_TYPE>(3197),
    static_cast<DB_INPUT_PORT_TYPE>(3196),
    DB_MAC_CHAININ,
};

// An input is in use when it is connected and either driven or inverted
// against its port's default.
bool l_iterm_in_use(const VOK_ATOM_NODE* atom, const VOK_ATOM_ITERM* t) {
  if (t == nullptr || !t->is_connected()) return false;
  if (t->get_source(VOK_TRAVERSE_AS_STORED) != nullptr) return true;
  return t->is_inverted() != vok_port_default_is_inverted(atom, t->get_any_usage_as());
}

bool l_unused(const VOK_ATOM_ITERM* t) { return t == nullptr || !t->is_connected(); }

std::string l_name(const VOK_ATOM_NODE* atom) {
  return atom->get_instance_name() != nullptr ? atom->get_instance_name()->path() : std::string();
}

}  // namespace

VELMO_QDSP_MERGE_UTIL_INTERFACE::VELMO_QDSP_MERGE_UTIL_INTERFACE(WEXAN_ENV* env)
    : m_env(env),
      m_atom_mod(env->create_atom_mod_utility_for_algorithm(4, nullptr)),
      m_netlist_mod_table(new WEXAN_PIZ_TABLE(env)),
      m_yos(yos_current_interface()),
      m_mac_util(new ZEL_MAC_UNIFIED_UTIL()) {
  m_netlist_mod_table->set_wexan_piz_table_algorithm(MERGE_REPORT_LIST);
  m_netlist_mod_table->push_reason(MERGE_REPORT_REASON);
}

VELMO_QDSP_MERGE_UTIL_INTERFACE::~VELMO_QDSP_MERGE_UTIL_INTERFACE() {
  delete m_atom_mod;
  m_netlist_mod_table->flush();
  m_netlist_mod_table->pop_reason();
  delete m_netlist_mod_table;
  delete m_mac_util;
}

// ---------------------------------------------------------------- helpers

int VELMO_QDSP_MERGE_UTIL_INTERFACE::port_width(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE type) const {
  return NOLT_RP_UTIL::get_qdsp_input_port_width(m_mac_util, mac, type);
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::highest_stage(int* n) const {
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  if (device == nullptr) l_internal_error("dev_device", __LINE__);
  const DEV_BASIC_INFO* basic = device->get_basic_info();
  if (basic == nullptr) l_internal_error("basic_info", __LINE__);
  if (!basic->has_element(DSP_ELEMENT) || !basic->is_valid_element_int_data(DSP_ELEMENT, DSP_STAGES_ITEM)) return false;
  *n = basic->get_element_int_data(DSP_ELEMENT, DSP_STAGES_ITEM);
  return true;
}

// ---------------------------------------------------------------- family-independent operations

double VELMO_QDSP_MERGE_UTIL_INTERFACE::get_usage_estimation(const VOK_ATOM_NODE* mac) {
  if (mac->is_fp_mac()) return 1.0;
  return m_mac_util->get_usage_estimation(mac);
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::do_all_iterms_on_bus_match(VOK_ATOM_NODE* a, VOK_ATOM_NODE* b,
                                                                 DB_INPUT_PORT_TYPE type) {
  const int w = port_width(a, type);
  if (w < 1) return true;
  for (int i = 0; i < w; ++i)
    if (!iterms_are_identical(a, b, a->get_input_term_by_type(type, i), b->get_input_term_by_type(type, i)))
      return false;
  return true;
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::is_input_port_used(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE type, int* index) {
  if (index != nullptr) *index = 0;
  bool used = false;
  const int w = port_width(mac, type);
  for (int i = 0; i < w; ++i) {
    if (!l_iterm_in_use(mac, mac->get_input_term_by_type(type, i))) continue;
    used = true;
    if (index != nullptr) *index = i;
  }
  return used;
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::is_output_port_used(VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE type, int* index) {
  if (index != nullptr) *index = 0;
  bool used = false;
  const int w = m_mac_util->get_output_port_width(mac, type);
  for (int i = 0; i < w; ++i) {
    const VOK_ATOM_OTERM* o = mac->get_output_term_by_type(type, i);
    if (o == nullptr || !vok_is_connected(o, VOK_TRAVERSE_HIERARCHICAL)) continue;
    used = true;
    if (index != nullptr) *index = i + 1;
  }
  return used;
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::do_clocks_match(VOK_ATOM_NODE* a, int clk_a, VOK_ATOM_NODE* b, int clk_b) {
  if (a == nullptr || b == nullptr) l_internal_error("mac1 && mac2", __LINE__);
  if (clk_a < 0 || clk_b < 0) l_internal_error("clk1 >= 0 && clk2 >= 0", __LINE__);
  if (clk_a == 0 && clk_b == 0) return true;
  if (clk_a == 0 || clk_b == 0) return false;
  return iterms_are_identical(a, b, a->get_input_term_by_type(DB_INPUT_PORT_CLK, clk_a - 1),
                              b->get_input_term_by_type(DB_INPUT_PORT_CLK, clk_b - 1)) &&
         iterms_are_identical(a, b, a->get_input_term_by_type(DB_INPUT_PORT_ENA, clk_a - 1),
                              b->get_input_term_by_type(DB_INPUT_PORT_ENA, clk_b - 1));
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::do_clock_enables_match(VOK_ATOM_NODE* a, int ena_a, VOK_ATOM_NODE* b,
                                                             int ena_b) {
  if (a == nullptr || b == nullptr) l_internal_error("mac1 && mac2", __LINE__);
  if (ena_a < 0 || ena_b < 0) l_internal_error("ena1 >= 0 && ena2 >= 0", __LINE__);
  if (ena_a == 0 && ena_b == 0) return true;
  if (ena_a == 0 || ena_b == 0) return false;
  return iterms_are_identical(a, b, a->get_input_term_by_type(DB_INPUT_PORT_ENA, ena_a - 1),
                              b->get_input_term_by_type(DB_INPUT_PORT_ENA, ena_b - 1));
}

int VELMO_QDSP_MERGE_UTIL_INTERFACE::find_clk_match(VOK_ATOM_NODE* a, VOK_ATOM_NODE* b, int clk_b) {
  const int num_clocks = port_width(a, DB_INPUT_PORT_CLK);
  if (num_clocks >= VOK_MAC_CLK_MAX) l_internal_error("num_clocks < VOK_MAC_CLK_MAX", __LINE__);
  for (int k = 1; k <= num_clocks; ++k)
    if (do_clocks_match(a, k, b, clk_b)) return k;
  return -1;
}

int VELMO_QDSP_MERGE_UTIL_INTERFACE::find_clk_enable_match(VOK_ATOM_NODE* a, VOK_ATOM_NODE* b, int ena_b) {
  const int num_enables = port_width(a, DB_INPUT_PORT_ENA);
  if (num_enables >= VOK_MAC_CLKEN_MAX) l_internal_error("num_enables < VOK_MAC_CLKEN_MAX", __LINE__);
  for (int k = 1; k <= num_enables; ++k)
    if (do_clock_enables_match(a, k, b, ena_b)) return k;
  return -1;
}

int VELMO_QDSP_MERGE_UTIL_INTERFACE::find_unused_and_unclaimed_clk(VOK_ATOM_NODE* a, int* clk_map) {
  const int num_clocks = port_width(a, DB_INPUT_PORT_CLK);
  if (num_clocks >= VOK_MAC_CLK_MAX) l_internal_error("num_clocks < VOK_MAC_CLK_MAX", __LINE__);
  for (int k = 1; k <= num_clocks; ++k) {
    if (!l_unused(a->get_input_term_by_type(DB_INPUT_PORT_CLK, k - 1)) ||
        !l_unused(a->get_input_term_by_type(DB_INPUT_PORT_ENA, k - 1)))
      continue;
    bool claimed = false;
    for (int j = 1; j <= num_clocks && !claimed; ++j) claimed = clk_map[j] == k;
    if (!claimed) return k;
  }
  return -1;
}

int VELMO_QDSP_MERGE_UTIL_INTERFACE::find_unused_and_unclaimed_clk_enable(VOK_ATOM_NODE* a, int* ena_map) {
  const int num_enables = port_width(a, DB_INPUT_PORT_ENA);
  if (num_enables >= VOK_MAC_CLKEN_MAX) l_internal_error("num_enables < VOK_MAC_CLKEN_MAX", __LINE__);
  for (int k = 1; k <= num_enables; ++k) {
    if (!l_unused(a->get_input_term_by_type(DB_INPUT_PORT_ENA, k - 1))) continue;
    bool claimed = false;
    for (int j = 1; j <= num_enables && !claimed; ++j) claimed = ena_map[j] == k;
    if (!claimed) return k;
  }
  return -1;
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::copy_clk(VOK_ATOM_NODE* to, VOK_ATOM_NODE* from, int to_clk, int from_clk) {
  if (from_clk == 0) return;
  if (!(to_clk >= VOK_MAC_CLK_CLK0 && to_clk < VOK_MAC_CLK_MAX))
    l_internal_error("mac_to_clk >= VOK_MAC_CLK_CLK0 && mac_to_clk < VOK_MAC_CLK_MAX", __LINE__);
  if (!(from_clk >= VOK_MAC_CLK_CLK0 && from_clk < VOK_MAC_CLK_MAX))
    l_internal_error("mac_from_clk >= VOK_MAC_CLK_CLK0 && mac_from_clk < VOK_MAC_CLK_MAX", __LINE__);
  if (find_clk_match(to, from, from_clk) != -1) return;
  m_atom_mod->copy_input_connection(from->get_input_term_by_type(DB_INPUT_PORT_CLK, from_clk - 1), to,
                                    DB_INPUT_PORT_CLK, to_clk - 1);
  m_atom_mod->copy_input_connection(from->get_input_term_by_type(DB_INPUT_PORT_ENA, from_clk - 1), to,
                                    DB_INPUT_PORT_ENA, to_clk - 1);
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::copy_clk_enable(VOK_ATOM_NODE* to, VOK_ATOM_NODE* from, int to_ena,
                                                      int from_ena) {
  if (from_ena == 0 || find_clk_enable_match(to, from, from_ena) != -1) return;
  m_atom_mod->copy_input_connection(from->get_input_term_by_type(DB_INPUT_PORT_ENA, from_ena - 1), to,
                                    DB_INPUT_PORT_ENA, to_ena - 1);
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::src_scanout_to_dest(VOK_ATOM_NODE* src, VOK_ATOM_NODE* dest) {
  int i = 0;
  if (!is_input_port_used(dest, DB_MAC_SCANIN, &i)) return false;
  if (!is_output_port_used(src, DB_MAC_SCANOUT, nullptr)) return false;
  const VOK_ATOM_ITERM* t = dest->get_input_term_by_type(DB_MAC_SCANIN, i);
  const VOK_ATOM_OTERM* driver = t != nullptr ? t->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
  return driver != nullptr && driver->get_my_node() == src;
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::move_mac_observable_oterms_for_type(DB_INPUT_PORT_TYPE from_type,
                                                                          DB_INPUT_PORT_TYPE to_type,
                                                                          VOK_ATOM_NODE* to, VOK_ATOM_NODE* from,
                                                                          int stage) {
  const int w = port_width(from, from_type);
  const DB_OUTPUT_PORT_TYPE from_out = m_mac_util->get_observable_port_type(from_type, stage);
  const DB_OUTPUT_PORT_TYPE to_out = m_mac_util->get_observable_port_type(to_type, stage);
  for (int i = 0; i < w; ++i) m_atom_mod->move_output_fanout(from, from_out, i, to, to_out, i, false);
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::move_mac_observable_oterms(std::vector<VOK_ATOM_NODE*>* mac_atoms) {
  int n = 1;
  if (!highest_stage(&n)) n = 1;
  for (int stage = 0; stage <= n; ++stage)
    for (const auto& [from_type, to_type] : MOVED_PORTS)
      move_mac_observable_oterms_for_type(from_type, to_type, (*mac_atoms)[0], (*mac_atoms)[1], stage);
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::mac_atoms_are_compatible(std::vector<VOK_ATOM_NODE*>* mac_atoms,
                                                               std::vector<VOK_MAC_MODE_ENUM>* modes) {
  if (mac_atoms == nullptr || mac_atoms->size() != 2) l_internal_error("mac_atoms->size() == 2", __LINE__);
  VOK_ATOM_NODE* first = (*mac_atoms)[0];
  VOK_ATOM_NODE* second = (*mac_atoms)[1];
  const VOK_MAC_MODE_ENUM mode1 = modes != nullptr ? modes->at(0) : get_mergeable_mode_of_atom(first);
  const VOK_MAC_MODE_ENUM mode2 = modes != nullptr ? modes->at(1) : get_mergeable_mode_of_atom(second);
  if (mode1 != mode2 || !is_valid_mode_for_merging(mode1)) return false;
  if (!do_all_iterms_on_bus_match(first, second, BUS_PORT)) return false;
  // merge_mac_atoms puts a scan-chain driver first before it shares clocks, and clock sharing is
  // not symmetric: check the clocks in the order the merge will modify them.
  const bool driver_second = src_scanout_to_dest(second, first);
  VOK_ATOM_NODE* clock_first = driver_second ? second : first;
  VOK_ATOM_NODE* clock_second = driver_second ? first : second;
  if (!check_or_modify_clock_usage_on_mac(clock_first, clock_second, mode1, true)) return false;
  if (!check_misc_mac_settings(first, second, mode1)) return false;
  if (!check_scan_chain_settings(first, second, mode1)) return false;
  WEXAN_ATOM_MOD_DRC* atom_mod = m_env->get_atom_mod_drc();
  if (atom_mod == nullptr) l_internal_error("atom_mod != 0", __LINE__);
  return atom_mod->atoms_are_compatible_for_merge(mac_atoms, nullptr);
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::merge_mac_atoms(std::vector<VOK_ATOM_NODE*>* mac_atoms, VOK_MAC_MODE_ENUM mode) {
  const int old_atom_size = static_cast<int>(mac_atoms->size());
  const int new_atom_size = get_new_atom_size_and_check_old_size(mode, old_atom_size);
  if (src_scanout_to_dest((*mac_atoms)[1], (*mac_atoms)[0])) std::swap((*mac_atoms)[0], (*mac_atoms)[1]);
  if (new_atom_size > old_atom_size) l_internal_error("new_atom_size <= old_atom_size", __LINE__);
  for (VOK_ATOM_NODE* atom : *mac_atoms) m_env->indicate_that_atom_netlist_is_modified(atom->get_id(), false, false);
  VOK_ATOM_NODE* last = (*mac_atoms)[static_cast<std::size_t>(old_atom_size - 1)];
  for (int i = 0; i < new_atom_size; ++i)
    check_or_modify_clock_usage_on_mac((*mac_atoms)[static_cast<std::size_t>(i)], last, mode, false);
  for (int i = 0; i < new_atom_size; ++i) m_mac_util->set_basic_mode((*mac_atoms)[static_cast<std::size_t>(i)], mode);
  perform_atom_modifications(mac_atoms, mode);
  VOK_ATOM_NODE* survivor = (*mac_atoms)[0];
  for (int i = new_atom_size; i < old_atom_size; ++i) {
    VOK_ATOM_NODE* absorbed = (*mac_atoms)[static_cast<std::size_t>(i)];
    WEXAN_PIZ_NETLIST_MOD mod;
    mod.name = l_name(absorbed);
    mod.wysiwyg_type = absorbed->get_atom_type();
    mod.action = MERGE_REPORT_ACTION;
    mod.set_dest_node(l_name(survivor));
    mod.set_dest_type(survivor->get_atom_type());
    m_netlist_mod_table->add_netlist_modification(mod);
    m_atom_mod->remove_node(absorbed, false);
  }
  return true;
}

// ---------------------------------------------------------------- rules the families share

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::params_for_family(int num_merge_types, int* max_macs_per_dsp_loc,
                                                        int* num_dsp_locs_per_merge_type,
                                                        int* mac_mode_per_merge_type) {
  if (num_merge_types != 3) l_internal_error("num_merge_types == 3", __LINE__);
  for (int i = 0; i < 3; ++i) {
    max_macs_per_dsp_loc[i] = 2;
    num_dsp_locs_per_merge_type[i] = 1;
    mac_mode_per_merge_type[i] = VOK_MAC_MODE_M18X18_FULL;
  }
  return true;
}

int VELMO_QDSP_MERGE_UTIL_INTERFACE::new_atom_size(VOK_MAC_MODE_ENUM mode, int old_atom_size) {
  if (mode != VOK_MAC_MODE_M18X18_FULL) l_internal_error("unsupported MAC merge mode", __LINE__);
  if (old_atom_size != 2) l_internal_error("old_atom_size == 2", __LINE__);
  return 1;
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::mode_prerequisites_hold(VOK_ATOM_NODE* mac) {
  if (mac->is_fp_mac()) return false;
  WEXAN_ATOM_MOD_DRC* atom_mod = m_env->get_atom_mod_drc();
  if (atom_mod == nullptr) l_internal_error("atom_mod != 0", __LINE__);
  if (!atom_mod->atom_mod_allowed_for_operation(mac->get_id(), MERGE_DRC_OPERATION)) return false;
  return m_mac_util->get_num_of_mult_elements(mac) == 1 &&
         m_mac_util->get_basic_mode(mac) == VOK_MAC_MODE_M18X18_FULL;
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::check_no_chainout(VOK_ATOM_NODE* mac) {
  if (m_mac_util->can_have_chainout_adder(mac)) l_internal_error("!m_mac_util->can_have_chainout_adder(mac_atom)", __LINE__);
  if (m_mac_util->can_have_chainout_accum(mac)) l_internal_error("!m_mac_util->can_have_chainout_accum(mac_atom)", __LINE__);
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::unsupported_ports_unused(VOK_ATOM_NODE* mac) {
  for (DB_INPUT_PORT_TYPE port : UNSUPPORTED_INPUTS)
    if (is_input_port_used(mac, port, nullptr)) return false;
  if (is_output_port_used(mac, DB_MAC_CHAINOUT, nullptr)) return false;
  static const bool scan_chains = cfg_is_on("velmo_mac_merge_enable_scanchains", true);
  if (!scan_chains &&
      (is_input_port_used(mac, DB_MAC_SCANIN, nullptr) || is_output_port_used(mac, DB_MAC_SCANOUT, nullptr)))
    return false;
  return true;
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::scan_chains_allow(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second,
                                                        VOK_MAC_MODE_ENUM mode) {
  const bool any = is_input_port_used(first, DB_MAC_SCANIN, nullptr) ||
                   is_output_port_used(first, DB_MAC_SCANOUT, nullptr) ||
                   is_input_port_used(second, DB_MAC_SCANIN, nullptr) ||
                   is_output_port_used(second, DB_MAC_SCANOUT, nullptr);
  if (!any) return true;
  if (mode != VOK_MAC_MODE_M18X18_FULL) return false;
  return src_scanout_to_dest(first, second) || src_scanout_to_dest(second, first);
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::misc_settings_agree(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second,
                                                          bool compare_clear_type) {
  if (m_mac_util->is_preadder_used(first) != m_mac_util->is_preadder_used(second)) return false;
  if (m_mac_util->is_coefficient_used(first) != m_mac_util->is_coefficient_used(second)) return false;
  if (m_mac_util->is_preadder_subtract(first, 0) != m_mac_util->is_preadder_subtract(second, 0)) return false;
  if (compare_clear_type && m_mac_util->get_clear_type(first) != m_mac_util->get_clear_type(second)) return false;
  // The merge copies 2^w coefficients (w the width of the coefficient
  // select) into eight parameters: a MAC with a wider select cannot be
  // absorbed, and either MAC may end up absorbed.
  for (VOK_ATOM_NODE* mac : {first, second})
    if ((m_mac_util->is_preadder_used(mac) || m_mac_util->is_coefficient_used(mac)) &&
        m_mac_util->get_input_port_width(mac, COEF_SEL_A) > 3)
      return false;
  return true;
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::clock_sharing(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second,
                                                    VOK_MAC_MODE_ENUM mode, bool check_only) {
  if (mode != VOK_MAC_MODE_M18X18_FULL) l_internal_error("merge_mode == VOK_MAC_MODE_M18X18_FULL", __LINE__);
  int clk_map[VOK_MAC_CLK_MAX] = {0, -1, -1, -1, -1};
  bool ok = do_clocks_match(first, m_mac_util->get_input_port_clock(first, COEF_SEL_A), second,
                            m_mac_util->get_input_port_clock(second, COEF_SEL_A));
  for (const auto& [port, unused] : MOVED_PORTS) {
    (void)unused;
    const int c = m_mac_util->get_input_port_clock(second, port);
    if (c <= 0 || clk_map[c] != -1) continue;
    clk_map[c] = find_clk_match(first, second, c);
    if (clk_map[c] == -1) {
      clk_map[c] = find_unused_and_unclaimed_clk(first, clk_map);
      if (clk_map[c] == -1) ok = false;
    }
  }
  if (ok)
    ok = do_clocks_match(first, m_mac_util->get_output_port_clock(first, RESULT_OUT), second,
                         m_mac_util->get_output_port_clock(second, RESULT_OUT));
  int n = 0;
  if (highest_stage(&n))
    for (int k = 1; k <= n && ok; ++k)
      ok = do_clocks_match(first, m_mac_util->get_input_port_clock(first, DB_MAC_DATA_AY, k), second,
                           m_mac_util->get_input_port_clock(second, DB_MAC_DATA_AY, k));
  if (check_only) return ok;
  if (!ok) l_internal_error("clocks_ok", __LINE__);
  for (const auto& [from_port, to_port] : MOVED_PORTS) {
    const int c = m_mac_util->get_input_port_clock(second, from_port);
    m_mac_util->set_input_port_clock(first, to_port, clk_map[c]);
    copy_clk(first, second, clk_map[c], c);
  }
  return true;
}

bool VELMO_QDSP_MERGE_UTIL_INTERFACE::enable_sharing(VOK_ATOM_NODE* first, VOK_ATOM_NODE* second,
                                                     VOK_MAC_MODE_ENUM mode, bool check_only) {
  if (mode != VOK_MAC_MODE_M18X18_FULL) l_internal_error("merge_mode == VOK_MAC_MODE_M18X18_FULL", __LINE__);
  int ena_map[VOK_MAC_CLKEN_MAX] = {0, -1, -1, -1};
  bool ok = iterms_are_identical(first, second, first->get_input_term_by_type(DB_INPUT_PORT_CLK, 0),
                                 second->get_input_term_by_type(DB_INPUT_PORT_CLK, 0));
  for (const auto& [port, unused] : MOVED_PORTS) {
    (void)unused;
    const int e = m_mac_util->get_input_port_clock_enable(second, port, nullptr, 0);
    if (e <= 0 || ena_map[e] != -1) continue;
    ena_map[e] = find_clk_enable_match(first, second, e);
    if (ena_map[e] == -1) {
      ena_map[e] = find_unused_and_unclaimed_clk_enable(first, ena_map);
      if (ena_map[e] == -1) ok = false;
    }
  }
  int n = 0;
  if (highest_stage(&n))
    for (int k = 1; k <= n && ok; ++k)
      ok = do_clock_enables_match(first, m_mac_util->get_input_port_clock_enable(first, DB_MAC_DATA_AY, nullptr, k),
                                  second,
                                  m_mac_util->get_input_port_clock_enable(second, DB_MAC_DATA_AY, nullptr, k));
  if (check_only) return ok;
  if (!ok) l_internal_error("clocks_ok", __LINE__);
  for (const auto& [from_port, to_port] : MOVED_PORTS) {
    const int e = m_mac_util->get_input_port_clock_enable(second, from_port, nullptr, 0);
    m_mac_util->set_input_port_clock_enable(first, to_port, ena_map[e], 0);
    copy_clk_enable(first, second, ena_map[e], e);
  }
  return true;
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::modify_18x18_full(std::vector<VOK_ATOM_NODE*>* mac_atoms, VOK_MAC_MODE_ENUM mode,
                                                        bool clear_input_411_width, const COEF_TABLE& coef_a,
                                                        const COEF_TABLE& coef_b) {
  if (mode != VOK_MAC_MODE_M18X18_FULL) l_internal_error("unsupported MAC merge mode", __LINE__);
  move_mac_data_input_and_output_for_18x18_full(mac_atoms, clear_input_411_width);
  set_mac_params_for_18x18_full(mac_atoms, coef_a, coef_b);
  move_mac_observable_oterms(mac_atoms);
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::move_mac_data_input_and_output_for_18x18_full(
    std::vector<VOK_ATOM_NODE*>* mac_atoms, bool clear_input_411_width) {
  if (mac_atoms->size() != 2) l_internal_error("mac_atoms->size() == 2", __LINE__);
  VOK_ATOM_NODE* to = (*mac_atoms)[0];
  VOK_ATOM_NODE* from = (*mac_atoms)[1];
  // Operand bits moved per port: 18 for X and Z, 19 for Y.
  constexpr int MOVED_BITS[] = {18, 19, 18};
  for (int p = 0; p < 3; ++p) {
    const auto [from_port, to_port] = MOVED_PORTS[p];
    for (int i = 0; i < MOVED_BITS[p]; ++i) m_atom_mod->move_input_connection(from, from_port, i, to, to_port, i);
    m_mac_util->set_input_port_width(to, to_port, m_mac_util->get_input_port_width(from, from_port));
  }
  constexpr int RESULT_BITS = 37;
  for (int i = 0; i < RESULT_BITS; ++i)
    m_atom_mod->move_output_fanout(from, RESULT_OUT, i, to, SECOND_RESULT_OUT, i, true);
  m_mac_util->set_output_port_width(to, SECOND_RESULT_OUT, RESULT_BITS);
  const int coef_sel_width = m_mac_util->get_input_port_width(from, COEF_SEL_A);
  for (int i = 0; i < coef_sel_width; ++i)
    m_atom_mod->move_input_connection(from, COEF_SEL_A, i, to, DB_MAC_COEFSELB, i);

  if (src_scanout_to_dest(to, from)) {
    constexpr int SCAN_BITS = 18;
    for (int i = 0; i < SCAN_BITS; ++i) {
      m_atom_mod->disconnect_input(from->get_input_term_by_type(DB_MAC_SCANIN, i), false);
      m_atom_mod->move_output_fanout(from, DB_MAC_SCANOUT, i, to, DB_MAC_SCANOUT, i, true);
    }
    m_yos->set_bool_data(to, SCAN_CHAIN_TAKEN_OVER_PARAM, true);
    if (clear_input_411_width) m_mac_util->set_input_port_width(to, DB_DATA_BY, 0);
  }
}

void VELMO_QDSP_MERGE_UTIL_INTERFACE::set_mac_params_for_18x18_full(std::vector<VOK_ATOM_NODE*>* mac_atoms,
                                                                    const COEF_TABLE& coef_a,
                                                                    const COEF_TABLE& coef_b) {
  if (mac_atoms->size() != 2) l_internal_error("mac_atoms->size() == 2", __LINE__);
  VOK_ATOM_NODE* to = (*mac_atoms)[0];
  VOK_ATOM_NODE* from = (*mac_atoms)[1];
  if (m_mac_util->is_coefficient_used(from)) {
    bool coef = false;
    if (!m_yos->get_bool_data(from, COEF_PARAM, &coef)) coef = false;
    m_yos->set_bool_data(to, COEF_PARAM_OF_SECOND, coef);
  } else {
    m_mac_util->set_signed_input_port(to, DB_MAC_DATA_BX, m_mac_util->is_signed_input_port(from, DB_MAC_DATA_AX));
  }
  bool from_489 = false;
  bool to_489 = false;
  const bool status = m_yos->get_bool_data(from, Y_SIGN_FROM_PARAM, &from_489) &&
                      m_yos->get_bool_data(to, Y_SIGN_FROM_PARAM, &to_489);
  if (!status) l_internal_error("status", __LINE__);
  if (!from_489)
    m_mac_util->set_signed_input_port(to, DB_DATA_BY, m_mac_util->is_signed_input_port(from, DB_MAC_DATA_AY));
  if (m_mac_util->is_preadder_used(from) || m_mac_util->is_coefficient_used(from)) {
    m_mac_util->set_preadder_subtract(to, 1, m_mac_util->is_preadder_subtract(from, 0));
    m_mac_util->set_operand_sources(to, 1, m_mac_util->get_operand_sources(from, 0));
    const int w = m_mac_util->get_input_port_width(from, COEF_SEL_A);
    // Compatibility keeps wider selects out (see misc_settings_agree).
    if (w > 3) l_internal_error("coef_sel_width <= 3", __LINE__);
    for (int k = 0; k < (1 << w); ++k) {
      unsigned value = 0;
      if (!m_yos->get_uint_data(from, coef_a[k], &value)) l_internal_error("status", __LINE__);
      m_yos->set_uint_data(to, coef_b[k], value);
    }
  }
}
