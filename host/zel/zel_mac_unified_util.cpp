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
int ZEL_MAC_UNIFIED_UTIL::get_input_port_clock_enable(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port,
                                                      const VOK_ATOM_NODE*, int) const {
  return lookup(mac->get_mac_info().input_enables, port, 0);
}
void ZEL_MAC_UNIFIED_UTIL::set_input_port_clock_enable(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int enable,
                                                       int) const {
  mac->get_mac_info().input_enables[port] = enable;
}
int ZEL_MAC_UNIFIED_UTIL::get_mac_clk_param_type(const VOK_ATOM_NODE* mac) const {
  return mac->get_mac_info().clk_param_type;
}

int ZEL_MAC_UNIFIED_UTIL::get_num_of_mult_elements(const VOK_ATOM_NODE* mac) const {
  const int mode = mac->get_mac_info().mode;
  return mode >= VOK_MAC_MODE_M9X9 && mode <= VOK_MAC_MODE_M18X18_PARTIAL ? 1 : 2;
}
double ZEL_MAC_UNIFIED_UTIL::get_usage_estimation(const VOK_ATOM_NODE* mac) const {
  return get_num_of_mult_elements(mac) / 2.0;
}

void zel_add_observable_oterms(VOK_ATOM_NODE* mac) {
  host::log_call("zel_add_observable_oterms", host::vok::arg(mac));
}
