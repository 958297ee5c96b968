#pragma once
// The family implementation of the RAM-enable conversion utility: made once
// by start-up through create_utility(), which registers it with the host.
// Its gates are single combinational LUT cells with fixed truth tables; the
// families it serves (internal codes 15 and 48) have no inverter, four-input
// OR or register gate.
#include <cstdint>
#include "nolt/nolt_utilities.h"

class VELMO_RAM_ENABLE_CONVERSION_UTIL : public NOLT_RAM_ENABLE_CONVERSION_UTIL {
public:
  // Makes the process-wide utility and registers it; a second one is an
  // internal error.
  static VELMO_RAM_ENABLE_CONVERSION_UTIL* create_utility();

  ~VELMO_RAM_ENABLE_CONVERSION_UTIL() override;
  VELMO_RAM_ENABLE_CONVERSION_UTIL(const VELMO_RAM_ENABLE_CONVERSION_UTIL&) = delete;
  VELMO_RAM_ENABLE_CONVERSION_UTIL& operator=(const VELMO_RAM_ENABLE_CONVERSION_UTIL&) = delete;

  VOK_ATOM_NODE* create_1_input_inverter_atom(VOK_ATOM_NODE* ram) override;
  VOK_ATOM_NODE* create_2_input_or_gate_atom(VOK_ATOM_NODE* ram) override;
  VOK_ATOM_NODE* create_4_input_or_gate_atom(VOK_ATOM_NODE* ram) override;
  VOK_ATOM_NODE* create_2_input_and_gate_atom(VOK_ATOM_NODE* ram) override;
  VOK_ATOM_NODE* create_dual_gate_atom(VOK_ATOM_NODE* ram) override;
  VOK_ATOM_NODE* create_dff_atom(VOK_ATOM_NODE* ram) override;
  VOK_ATOM_NODE* create_dffe_atom(VOK_ATOM_NODE* ram) override;

  // A new combinational LUT cell named after the RAM with the suffix, in the
  // RAM's netlist and partition, with only its output term.
  VOK_ATOM_NODE* create_lcell_comb(VOK_ATOM_NODE* ram, const char* suffix);

private:
  VELMO_RAM_ENABLE_CONVERSION_UTIL();
  void check_family(int line) const;
};
