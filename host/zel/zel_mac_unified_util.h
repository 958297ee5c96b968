#pragma once
// The DSP (MAC) atom utility: basic modes, port widths, signedness, port
// clocks and enables, read from and written to the atom's MAC record.
#include "common/host_api.h"
#include "vok/vok_atom_netlist.h"

class HOST_API ZEL_MAC_UNIFIED_UTIL {
public:
  ZEL_MAC_UNIFIED_UTIL();
  virtual ~ZEL_MAC_UNIFIED_UTIL();

  // data: the MAC's basic mode.
  VOK_MAC_MODE_ENUM get_basic_mode(const VOK_ATOM_NODE* mac) const;
  void set_basic_mode(VOK_ATOM_NODE* mac, VOK_MAC_MODE_ENUM mode) const;

  // data: signedness of an input port (unsigned when not recorded).
  bool is_signed_input_port(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) const;
  // data: the recorded width of a port, or without one the run of terms of
  // that port from index 0.
  int get_input_port_width(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) const;
  void set_input_port_width(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int width) const;
  // data: the width the port has in the MAC's mode (0 when it has none).
  int get_input_port_natural_width(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) const;
  int get_output_port_width(const VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE port) const;
  void set_output_port_width(VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE port, int width) const;

  // data: the clock of an input port's register (0 = none).
  int get_input_port_clock(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port) const;
  void set_input_port_clock(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int clock) const;
  // data: the clock of the port's pipeline register at `stage` (stage 0 is
  // the port's own register above).
  int get_input_port_clock(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int stage) const;
  // data: the clock enable of an input port's register (0 = none); `index`
  // is the stage (0: the port's own register); `sgate` selects nothing.
  int get_input_port_clock_enable(const VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, const VOK_ATOM_NODE* sgate,
                                  int index) const;
  void set_input_port_clock_enable(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int enable, int index) const;
  // data: the clock of an output port's register (0 = none).
  int get_output_port_clock(const VOK_ATOM_NODE* mac, DB_OUTPUT_PORT_TYPE port) const;
  // algorithm: the output port that makes the register of input `port` at
  // `stage` observable: port type 0x10000 + 16 * port + stage.
  DB_OUTPUT_PORT_TYPE get_observable_port_type(DB_INPUT_PORT_TYPE port, int stage) const;
  void set_signed_input_port(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, bool is_signed) const;
  // data: pre-adder and coefficient settings, clear type, operand sources
  // and chain-out capabilities of the MAC record.
  bool is_preadder_used(const VOK_ATOM_NODE* mac) const;
  bool is_preadder_subtract(const VOK_ATOM_NODE* mac, int operand) const;
  void set_preadder_subtract(VOK_ATOM_NODE* mac, int operand, bool subtract) const;
  bool is_coefficient_used(const VOK_ATOM_NODE* mac) const;
  int get_clear_type(const VOK_ATOM_NODE* mac) const;
  int get_operand_sources(const VOK_ATOM_NODE* mac, int operand) const;
  void set_operand_sources(VOK_ATOM_NODE* mac, int operand, int sources) const;
  bool can_have_chainout_adder(const VOK_ATOM_NODE* mac) const;
  bool can_have_chainout_accum(const VOK_ATOM_NODE* mac) const;
  // data: 0 when the MAC's port registers are told apart by clock, otherwise
  // by clock enable.
  int get_mac_clk_param_type(const VOK_ATOM_NODE* mac) const;

  // algorithm: multiplier elements the MAC's mode occupies in a DSP block
  // (two per block): one for the 9x9 and 18x18 modes 0-3, two otherwise;
  // a count recorded on the MAC wins.
  int get_num_of_mult_elements(const VOK_ATOM_NODE* mac) const;
  // algorithm: the share of a DSP block the MAC uses: its multiplier
  // elements over two.
  double get_usage_estimation(const VOK_ATOM_NODE* mac) const;
};

// recorded: makes the MAC's outputs observable after an edit.
HOST_API void zel_add_observable_oterms(VOK_ATOM_NODE* mac);
