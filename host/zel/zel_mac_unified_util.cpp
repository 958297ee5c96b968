#include "zel/zel_mac_unified_util.h"

#include "common/host_call_log.h"

namespace {
int run_of_inputs(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) {
  int n = 0;
  while (mac->get_input_term_by_type(port, n) != nullptr) ++n;
  return n;
}
int run_of_outputs(const VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE port) {
  int n = 0;
  while (mac->get_output_term_by_type(port, n) != nullptr) ++n;
  return n;
}
template <class M> int lookup(const M& map, int key, int def) {
  auto it = map.find(key);
  return it == map.end() ? def : it->second;
}
}  // namespace

ZEL_MAC_UNIFIED_UTIL::ZEL_MAC_UNIFIED_UTIL() = default;
ZEL_MAC_UNIFIED_UTIL::~ZEL_MAC_UNIFIED_UTIL() = default;

VOK_MAC_MODE_ENUM ZEL_MAC_UNIFIED_UTIL::get_basic_mode(const VOK_ATOM_NODE* mac) const {
  return static_cast<VOK_MAC_MODE_ENUM>(mac->get_mac_info().mode);
}
void ZEL_MAC_UNIFIED_UTIL::set_basic_mode(VOK_ATOM_NODE* mac, VOK_MAC_MODE_ENUM mode) const {
  mac->get_mac_info().mode = mode;
}

bool ZEL_MAC_UNIFIED_UTIL::is_signed_input_port(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) const {
  auto it = mac->get_mac_info().input_signed.find(port);
  return it != mac->get_mac_info().input_signed.end() && it->second;
}

int ZEL_MAC_UNIFIED_UTIL::get_input_port_width(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) const {
  const auto& widths = mac->get_mac_info().input_widths;
  auto it = widths.find(port);
  return it != widths.end() ? it->second : run_of_inputs(mac, port);
}
void ZEL_MAC_UNIFIED_UTIL::set_input_port_width(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int width) const {
  mac->get_mac_info().input_widths[port] = width;
}
int ZEL_MAC_UNIFIED_UTIL::get_input_port_natural_width(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) const {
  return lookup(mac->get_mac_info().input_natural_widths, port, 0);
}
int ZEL_MAC_UNIFIED_UTIL::get_output_port_width(const VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE port) const {
  const auto& widths = mac->get_mac_info().output_widths;
  auto it = widths.find(port);
  return it != widths.end() ? it->second : run_of_outputs(mac, port);
}
void ZEL_MAC_UNIFIED_UTIL::set_output_port_width(VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE port, int width) const {
  mac->get_mac_info().output_widths[port] = width;
}

int ZEL_MAC_UNIFIED_UTIL::get_input_port_clock(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) const {
  return lookup(mac->get_mac_info().input_clocks, port, 0);
}
void ZEL_MAC_UNIFIED_UTIL::set_input_port_clock(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int clock) const {
  mac->get_mac_info().input_clocks[port] = clock;
}
int ZEL_MAC_UNIFIED_UTIL::get_input_port_clock(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int stage) const {
  if (stage == 0) return get_input_port_clock(mac, port);
  auto it = mac->get_mac_info().stage_clocks.find({port, stage});
  return it == mac->get_mac_info().stage_clocks.end() ? 0 : it->second;
}
int ZEL_MAC_UNIFIED_UTIL::get_input_port_clock_enable(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port,
                                                      const VOK_ATOM_NODE*, int index) const {
  if (index == 0) return lookup(mac->get_mac_info().input_enables, port, 0);
  auto it = mac->get_mac_info().stage_enables.find({port, index});
  return it == mac->get_mac_info().stage_enables.end() ? 0 : it->second;
}
void ZEL_MAC_UNIFIED_UTIL::set_input_port_clock_enable(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int enable,
                                                       int index) const {
  if (index == 0)
    mac->get_mac_info().input_enables[port] = enable;
  else
    mac->get_mac_info().stage_enables[{port, index}] = enable;
}
int ZEL_MAC_UNIFIED_UTIL::get_output_port_clock(const VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE port) const {
  return lookup(mac->get_mac_info().output_clocks, port, 0);
}
DB_OUTPUT_PORT_TYPE ZEL_MAC_UNIFIED_UTIL::get_observable_port_type(DB_INPUT_PORT_TYPE port, int stage) const {
  return static_cast<DB_OUTPUT_PORT_TYPE>(0x10000 + 16 * static_cast<int>(port) + stage);
}
void ZEL_MAC_UNIFIED_UTIL::set_signed_input_port(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, bool is_signed) const {
  mac->get_mac_info().input_signed[port] = is_signed;
}
bool ZEL_MAC_UNIFIED_UTIL::is_preadder_used(const VOK_ATOM_NODE* mac) const {
  return mac->get_mac_info().preadder_used;
}
bool ZEL_MAC_UNIFIED_UTIL::is_preadder_subtract(const VOK_ATOM_NODE* mac, int operand) const {
  return mac->get_mac_info().preadder_subtract[operand & 1];
}
void ZEL_MAC_UNIFIED_UTIL::set_preadder_subtract(VOK_ATOM_NODE* mac, int operand, bool subtract) const {
  mac->get_mac_info().preadder_subtract[operand & 1] = subtract;
}
bool ZEL_MAC_UNIFIED_UTIL::is_coefficient_used(const VOK_ATOM_NODE* mac) const {
  return mac->get_mac_info().coefficient_used;
}
int ZEL_MAC_UNIFIED_UTIL::get_clear_type(const VOK_ATOM_NODE* mac) const { return mac->get_mac_info().clear_type; }
int ZEL_MAC_UNIFIED_UTIL::get_operand_sources(const VOK_ATOM_NODE* mac, int operand) const {
  return mac->get_mac_info().operand_sources[operand & 1];
}
void ZEL_MAC_UNIFIED_UTIL::set_operand_sources(VOK_ATOM_NODE* mac, int operand, int sources) const {
  mac->get_mac_info().operand_sources[operand & 1] = sources;
}
bool ZEL_MAC_UNIFIED_UTIL::can_have_chainout_adder(const VOK_ATOM_NODE* mac) const {
  return mac->get_mac_info().chainout_adder;
}
bool ZEL_MAC_UNIFIED_UTIL::can_have_chainout_accum(const VOK_ATOM_NODE* mac) const {
  return mac->get_mac_info().chainout_accum;
}
int ZEL_MAC_UNIFIED_UTIL::get_mac_clk_param_type(const VOK_ATOM_NODE* mac) const {
  return mac->get_mac_info().clk_param_type;
}

int ZEL_MAC_UNIFIED_UTIL::get_num_of_mult_elements(const VOK_ATOM_NODE* mac) const {
  if (mac->get_mac_info().mult_elements > 0) return mac->get_mac_info().mult_elements;
  const int mode = mac->get_mac_info().mode;
  return mode >= VOK_MAC_MODE_M9X9 && mode <= VOK_MAC_MODE_M18X18_PARTIAL ? 1 : 2;
}
double ZEL_MAC_UNIFIED_UTIL::get_usage_estimation(const VOK_ATOM_NODE* mac) const {
  return get_num_of_mult_elements(mac) / 2.0;
}

void zel_add_observable_oterms(VOK_ATOM_NODE* mac) {
  host::log_call("zel_add_observable_oterms", host::vok::arg(mac));
}
