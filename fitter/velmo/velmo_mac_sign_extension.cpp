#include "velmo_mac_sign_extension.h"

#include <algorithm>
#include <string>

#include "cfg/cfg.h"
#include "msg/msg_internal_error.h"
#include "siv/siv_atom_mod_utility.h"
#include "velmo_debug.h"
#include "velmo_msgs.h"
#include "vok_atom_netlist_sys.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_msgr.h"
#include "yos/yos_interface.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_mac_unified_util.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_mac_sign_extension", line);
}

// Boolean DSP parameters that decide how the scan chain follows a widened
// port.
constexpr int SCAN_CHAIN_PARAM_B = 483;
constexpr int SCAN_CHAIN_PARAM_A = 489;

bool iterm_connected(const VOK_ATOM_ITERM* t) { return t != nullptr && t->is_connected(); }

std::string short_name(const VOK_ATOM_NODE* atom) {
  std::string path;
  if (atom->get_instance_name() != nullptr) atom->get_instance_name()->get_short_hpath(path, OMZ_HPATH_FORMAT_SHORT);
  return path;
}

// The hierarchical name: the path of the atom's naming (primary) output.
std::string hier_name(const VOK_ATOM_NODE* atom) {
  if (atom->get_oterm_slot_count() > 0 && atom->get_oterm_slot(0) != nullptr)
    return atom->get_oterm_slot(0)->get_name();
  return short_name(atom);
}

}  // namespace

VELMO_MAC_SIGN_EXTENSION::VELMO_MAC_SIGN_EXTENSION(WEXAN_ENV* env) : m_env(env) {
  m_msgr = new WEXAN_MSGR(env);
  m_atom_mod = env->create_atom_mod_utility_for_algorithm(9, nullptr);
  m_mac_util = new ZEL_MAC_UNIFIED_UTIL();
  m_full_ports = new std::vector<DB_INPUT_PORT_TYPE>{DB_MAC_DATA_AX, DB_MAC_DATA_AY, DB_MAC_DATA_AZ, DB_MAC_DATA_BX,
                                                     DB_DATA_BY,     DB_MAC_DATA_BZ, DB_MAC_DATA_CX, DB_MAC_DATA_CY,
                                                     DB_MAC_DATA_DX, DB_MAC_DATA_DY};
  m_default_ports = new std::vector<DB_INPUT_PORT_TYPE>{DB_MAC_DATA_AX, DB_MAC_DATA_AY, DB_MAC_DATA_AZ,
                                                        DB_MAC_DATA_BX, DB_DATA_BY,     DB_MAC_DATA_BZ};
  m_27x27_ports = new std::vector<DB_INPUT_PORT_TYPE>{DB_MAC_DATA_AX, DB_MAC_DATA_AY, DB_MAC_DATA_AZ};
  m_family = env->get_base_family_code();
  m_yos_interface = yos_current_interface();
  m_debug = cfg_is_on("velmo_mac_sign_ext_debug", false);
  std::fill(std::begin(m_mac_count), std::end(m_mac_count), 0);
  std::fill(std::begin(m_sign_extended_count), std::end(m_sign_extended_count), 0);
}

VELMO_MAC_SIGN_EXTENSION::~VELMO_MAC_SIGN_EXTENSION() {
  delete m_full_ports;
  delete m_default_ports;
  delete m_27x27_ports;
  delete m_mac_util;
  delete m_atom_mod;
  delete m_msgr;
}

const std::vector<DB_INPUT_PORT_TYPE>& VELMO_MAC_SIGN_EXTENSION::get_extension_ports(VOK_MAC_MODE_ENUM mode) const {
  if (mode == VOK_MAC_MODE_M27X27) return *m_27x27_ports;
  if (mode == VOK_MAC_MODE_M18X18_PLUS36) return *m_full_ports;
  return *m_default_ports;
}

bool VELMO_MAC_SIGN_EXTENSION::bool_param(const VOK_ATOM_NODE* mac, int id) const {
  bool value = false;
  if (!m_yos_interface->get_bool_data(mac, static_cast<YOS_BOOL_DATA_ENUM>(id), &value)) return false;
  return value;
}

void VELMO_MAC_SIGN_EXTENSION::copy_iterm(const VOK_ATOM_ITERM* source, VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port,
                                          int index) {
  m_atom_mod->copy_input_connection(source, mac, port, index);
  m_env->indicate_that_atom_netlist_is_modified(mac->get_id(), false, false);
}

bool VELMO_MAC_SIGN_EXTENSION::work() {
  ZEL_ATOM_DUMPER dumper(m_env->get_chip_db_entry());
  msg_vdebug_impl(2, "START MAC Sign Extension:");
  if (m_debug) dumper.dump_current_atom_netlist("velmo_mac_pre_sign_ext.echo", true);
  std::fill(std::begin(m_mac_count), std::end(m_mac_count), 0);
  std::fill(std::begin(m_sign_extended_count), std::end(m_sign_extended_count), 0);

  bool result = true;
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_mac()) continue;
    bool ok = perform_sign_extension(atom);
    if (ok) ok = perform_duplication_coeff_select(atom);
    zel_add_observable_oterms(atom);
    if (!ok) {
      result = false;
      break;
    }
  }

  if (m_debug) dumper.dump_current_atom_netlist("velmo_mac_post_sign_ext.echo", true);
  msg_vdebug_impl(2, "\tMAC Sign Extension Summary:");
  for (int mode = 0; mode < NUM_MAC_MODES; ++mode) {
    if (m_mac_count[mode] <= 0) continue;
    msg_vdebug_impl(2, "\t\tNumber of MACs of mode %d: %d", mode, m_mac_count[mode]);
    if (m_sign_extended_count[mode] > 0)
      msg_vdebug_impl(2, "\t\t\tnumber of these sign extended: %d", m_sign_extended_count[mode]);
  }
  m_msgr->post();
  return result;
}

bool VELMO_MAC_SIGN_EXTENSION::perform_sign_extension(VOK_ATOM_NODE* mac) {
  const VOK_MAC_MODE_ENUM mode = m_mac_util->get_basic_mode(mac);
  if (mode >= 0 && mode < NUM_MAC_MODES) ++m_mac_count[mode];
  bool ok = true;
  for (DB_INPUT_PORT_TYPE port : get_extension_ports(mode)) {
    const int nw = m_mac_util->get_input_port_natural_width(mac, port);
    if (nw != 0 && ok) ok = sign_extend_port(mac, port, 0, static_cast<unsigned short>(nw - 1));
  }
  return ok;
}

bool VELMO_MAC_SIGN_EXTENSION::sign_extend_port(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE iport, unsigned short,
                                                unsigned short msb) {
  const VOK_MAC_MODE_ENUM mode = m_mac_util->get_basic_mode(mac);
  const int w = m_mac_util->get_input_port_width(mac, iport);
  if (w == 0 || !m_mac_util->is_signed_input_port(mac, iport)) return true;

  const VOK_ATOM_ITERM* iterm_to_copy = mac->get_input_term_by_type(iport, w - 1);
  if (!iterm_connected(iterm_to_copy)) {
    msg_vdebug_impl(2, "Error: Could not sign extend MAC %d", mac->get_id());
    msg_post(MSG_VELMO::E::VELMO_ILLEGAL_DSP_ATOM(short_name(mac)), nullptr);
    return false;
  }
  if (w > msb) return true;

  bool copied = false;
  for (int i = w; i <= msb; ++i) {
    const VOK_ATOM_ITERM* existing_iterm = mac->get_input_term_by_type(iport, i);
    if (!iterm_connected(existing_iterm)) {
      copy_iterm(iterm_to_copy, mac, iport, i);
      copied = true;
      if (m_debug)
        msg_vdebug_impl(2, "VELMO_MAC_SIGN: Copy iterm to MAC %d, Port %d, Iterm %d", mac->get_id(), iport, i);
    } else if (!iterms_are_identical(mac, mac, existing_iterm, iterm_to_copy) &&
               !iterms_are_from_different_but_equivalent_registers(mac, mac, existing_iterm, iterm_to_copy)) {
      l_internal_error(
          "iterms_are_identical(mac, mac, existing_iterm, iterm_to_copy) || "
          "iterms_are_from_different_but_equivalent_registers(mac, mac, existing_iterm, iterm_to_copy)",
          __LINE__);
    }
  }

  bool result = true;
  if (m_mac_util->get_input_port_width(mac, iport) <= msb) {
    m_mac_util->set_input_port_width(mac, iport, msb + 1);
    if (m_debug)
      msg_vdebug_impl(2, "VELMO_MAC_SIGN: Set data width %d on MAC %d port %d", msb + 1, mac->get_id(), iport);

    // The scan chain carries the Y operands on the families that chain scan
    // registers.
    if ((m_family == 46 || m_family == 26) && (iport == DB_MAC_DATA_AY || iport == DB_DATA_BY)) {
      const bool conn = is_output_port_connected(mac, DB_MAC_SCANOUT);
      const bool b = bool_param(mac, SCAN_CHAIN_PARAM_B);
      (void)bool_param(mac, SCAN_CHAIN_PARAM_A);
      const auto first = static_cast<unsigned short>(w);
      if (iport == DB_MAC_DATA_AY) {
        if (conn && ((b && mode != VOK_MAC_MODE_M27X27) || (!b && mode == VOK_MAC_MODE_M27X27)))
          result = widen_scan_chain(mac, first, msb);
      } else if (iport == DB_DATA_BY) {
        if (conn && !b && mode != VOK_MAC_MODE_M27X27 && mode != VOK_MAC_MODE_M18X18_SYSTOLIC)
          result = widen_scan_chain(mac, first, msb);
      } else {
        l_internal_error("iport == DB_DATA_BY", __LINE__);
      }
    }
  }

  if (copied && mode >= 0 && mode < NUM_MAC_MODES) ++m_sign_extended_count[mode];
  return result;
}

bool VELMO_MAC_SIGN_EXTENSION::widen_scan_chain(VOK_ATOM_NODE* mac, unsigned short first, unsigned short msb) {
  const int width = m_mac_util->get_output_port_width(mac, DB_MAC_SCANOUT);
  if (width > msb) return true;

  // Every scan-out bit must lead to one and the same MAC.
  VOK_ATOM_NODE* dst_mac = nullptr;
  for (int i = 0; i < width; ++i) {
    const VOK_ATOM_OTERM* oterm = mac->get_output_term_by_type(DB_MAC_SCANOUT, i);
    if (oterm == nullptr) l_internal_error("oterm != nullptr", __LINE__);
    const VOK_ATOM_ITERM* iterm = oterm->get_first_fanout(VOK_TRAVERSE_AS_STORED);
    VOK_ATOM_NODE* node = iterm != nullptr ? iterm->get_my_node() : nullptr;
    if (node == nullptr) l_internal_error("dst_mac != nullptr", __LINE__);
    if (dst_mac != nullptr && dst_mac != node) l_internal_error("dst_mac == iterm->get_my_node()", __LINE__);
    dst_mac = node;
  }
  if (dst_mac == nullptr) l_internal_error("dst_mac != nullptr", __LINE__);
  if (!dst_mac->is_mac()) l_internal_error("dst_mac->is_mac()", __LINE__);

  for (int j = first; j <= msb; ++j)
    m_atom_mod->connect_output_to_input(mac, DB_MAC_SCANOUT, j, dst_mac, DB_MAC_SCANIN, j);
  m_mac_util->set_output_port_width(mac, DB_MAC_SCANOUT, msb + 1);
  m_mac_util->set_input_port_width(dst_mac, DB_MAC_SCANIN, msb + 1);
  if (m_debug) {
    msg_vdebug_impl(2, "VELMO_MAC_SIGN: Set output data width %d on MAC %d port %d", msb + 1, mac->get_id(),
                    DB_MAC_SCANOUT);
    msg_vdebug_impl(2, "VELMO_MAC_SIGN: Set input data width %d on MAC %d port %d", msb + 1, dst_mac->get_id(),
                    DB_MAC_SCANIN);
  }
  m_env->indicate_that_atom_netlist_is_modified(mac->get_id(), false, false);
  m_env->indicate_that_atom_netlist_is_modified(dst_mac->get_id(), false, false);

  const bool conn = is_output_port_connected(dst_mac, DB_MAC_SCANOUT);
  const bool a = bool_param(dst_mac, SCAN_CHAIN_PARAM_A);
  const bool b = bool_param(dst_mac, SCAN_CHAIN_PARAM_B);
  const VOK_MAC_MODE_ENUM mode = m_mac_util->get_basic_mode(dst_mac);
  if (conn && a && (mode == VOK_MAC_MODE_M27X27 || mode == VOK_MAC_MODE_M18X18_SYSTOLIC || b))
    return widen_scan_chain(dst_mac, first, msb);
  return true;
}

bool VELMO_MAC_SIGN_EXTENSION::is_output_port_connected(VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE oport) {
  const int width = m_mac_util->get_output_port_width(mac, oport);
  for (int i = 0; i < width; ++i) {
    const VOK_ATOM_OTERM* oterm = mac->get_output_term_by_type(oport, i);
    if (oterm != nullptr && vok_is_connected(oterm, VOK_TRAVERSE_HIERARCHICAL)) return true;
  }
  return false;
}

bool VELMO_MAC_SIGN_EXTENSION::perform_duplication_coeff_select(VOK_ATOM_NODE* mac) {
  if (m_family != 15 && m_family != 26 && m_family != 46 && m_family != 48)
    l_internal_error("Unsupported family", __LINE__);
  if (m_mac_util->get_basic_mode(mac) != VOK_MAC_MODE_M27X27) return true;
  int max = -1;
  if (!m_yos_interface->get_enum_data(mac, YOS_ENUM_OPERAND_SOURCE_MAX, &max))
    l_internal_error("m_yos_interface->get_enum_data(mac, YOS_ENUM_OPERAND_SOURCE_MAX, &max)", __LINE__);
  if (max != 0) return true;

  const int n = std::max(m_mac_util->get_input_port_width(mac, DB_MAC_COEFSELB),
                         m_mac_util->get_input_port_width(mac, DB_MAC_COEFSELA));
  for (int i = 0; i < n; ++i) {
    const VOK_ATOM_ITERM* iterm_coef_sel_a = mac->get_input_term_by_type(DB_MAC_COEFSELA, i);
    if (!iterm_connected(iterm_coef_sel_a)) return true;
    const VOK_ATOM_ITERM* existing_iterm = mac->get_input_term_by_type(DB_MAC_COEFSELB, i);
    if (!iterm_connected(existing_iterm)) {
      copy_iterm(iterm_coef_sel_a, mac, DB_MAC_COEFSELB, i);
      if (m_debug)
        msg_vdebug_impl(2, "VELMO_MAC_DUP: Copy iterm to MAC %d, Port %d, Iterm %d", mac->get_id(), DB_MAC_COEFSELB, i);
    } else if (!iterms_are_identical(mac, mac, existing_iterm, iterm_coef_sel_a) &&
               !iterms_are_from_different_but_equivalent_registers(mac, mac, existing_iterm, iterm_coef_sel_a)) {
      l_internal_error(
          "iterms_are_identical(mac, mac, existing_iterm, iterm_coef_sel_a) || "
          "iterms_are_from_different_but_equivalent_registers(mac, mac, existing_iterm, iterm_coef_sel_a)",
          __LINE__);
    }
  }

  int ca, cb;
  if (m_mac_util->get_mac_clk_param_type(mac) == 0) {
    ca = m_mac_util->get_input_port_clock(mac, DB_MAC_COEFSELA);
    cb = m_mac_util->get_input_port_clock(mac, DB_MAC_COEFSELB);
    if (cb == 0) {
      m_mac_util->set_input_port_clock(mac, DB_MAC_COEFSELB, ca);
      return true;
    }
  } else {
    ca = m_mac_util->get_input_port_clock_enable(mac, DB_MAC_COEFSELA, nullptr, 0);
    cb = m_mac_util->get_input_port_clock_enable(mac, DB_MAC_COEFSELB, nullptr, 0);
    if (cb == 0) {
      m_mac_util->set_input_port_clock_enable(mac, DB_MAC_COEFSELB, ca, 0);
      return true;
    }
  }
  if (ca == cb) return true;
  m_msgr->add_msg(MSG_VELMO::E::VELMO_COEF_SEL_CLK_MISMATCH(hier_name(mac)), mac, nullptr);
  return false;
}
