#pragma once
// The table timing model: interconnect delays by the kinds of the two ends.
#include "common/host_api.h"

// One table record; `values[5]` is the interconnect delay in ps.
struct EWT_IC_DELAY_RECORD {
  int values[6] = {0, 0, 0, 0, 0, 0};
};

class HOST_API EWT_TABLE_TIMING_MODEL {
public:
  // recorded: loads the family's table for the device.
  bool initialize(int family, const char* device, bool f1, bool f2, bool f3);
  bool is_initialized() const { return m_ready; }
  // algorithm: the delay of a connection from a source (atom type, output
  // usage) to a destination (atom type, input usage): 150 ps between two
  // cells, 250 ps into or out of a register, 400 ps to or from anything
  // else, plus 10 ps per destination usage step above 0 (spread of the
  // input muxes).
  EWT_IC_DELAY_RECORD get_ic_delay(int src_type, int src_usage, int dst_type, int dst_usage) const;

private:
  bool m_ready = false;
};
