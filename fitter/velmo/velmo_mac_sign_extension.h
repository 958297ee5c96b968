#pragma once
// MAC sign extension: widens every signed data port of a MAC that is narrower
// than its natural width, wiring the new high bits to the port's most
// significant bit; on families whose DSPs chain their scan registers, widens
// the scan chain behind a widened port to match; and for 27x27 MACs copies
// the coefficient-select inputs onto the second coefficient-select port,
// making the two ports' clocks (or clock enables) equal or reporting them as
// mismatched. One run per object: construct, work, destroy.
#include <vector>

#include "vok/vok_atom_netlist.h"

class WEXAN_ENV;
class WEXAN_MSGR;
class YOS_INTERFACE;
class SIV_ATOM_MOD_UTILITY;
class ZEL_MAC_UNIFIED_UTIL;

class VELMO_MAC_SIGN_EXTENSION {
public:
  explicit VELMO_MAC_SIGN_EXTENSION(WEXAN_ENV* env);
  ~VELMO_MAC_SIGN_EXTENSION();
  VELMO_MAC_SIGN_EXTENSION(const VELMO_MAC_SIGN_EXTENSION&) = delete;
  VELMO_MAC_SIGN_EXTENSION& operator=(const VELMO_MAC_SIGN_EXTENSION&) = delete;

  // Runs over every MAC; false at the first MAC that fails (later MACs are
  // left alone).
  bool work();

  bool perform_sign_extension(VOK_ATOM_NODE* mac);
  bool perform_duplication_coeff_select(VOK_ATOM_NODE* mac);
  bool sign_extend_port(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE iport, unsigned short first, unsigned short msb);
  bool widen_scan_chain(VOK_ATOM_NODE* mac, unsigned short first, unsigned short msb);
  bool is_output_port_connected(VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE oport);
  const std::vector<DB_INPUT_PORT_TYPE>& get_extension_ports(VOK_MAC_MODE_ENUM mode) const;

private:
  static constexpr int NUM_MAC_MODES = 35;

  bool bool_param(const VOK_ATOM_NODE* mac, int id) const;
  void copy_iterm(const VOK_ATOM_ITERM* source, VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int index);

  bool m_debug = false;
  int m_mac_count[NUM_MAC_MODES] = {};
  int m_sign_extended_count[NUM_MAC_MODES] = {};
  WEXAN_ENV* m_env;
  WEXAN_MSGR* m_msgr = nullptr;
  YOS_INTERFACE* m_yos_interface = nullptr;
  SIV_ATOM_MOD_UTILITY* m_atom_mod = nullptr;
  ZEL_MAC_UNIFIED_UTIL* m_mac_util = nullptr;
  int m_family = 0;
  std::vector<DB_INPUT_PORT_TYPE>* m_full_ports = nullptr;     // mode 34
  std::vector<DB_INPUT_PORT_TYPE>* m_default_ports = nullptr;  // every mode but 9 and 34
  std::vector<DB_INPUT_PORT_TYPE>* m_27x27_ports = nullptr;    // mode 9
};
