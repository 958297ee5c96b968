#pragma once
// Finalize-stage hold fixing with dangling parasitic wires.
class VELMO_FINALIZE_PARASITICS {
public:
  // Set once the parasitic hold fixing has written the timing (KEM) netlist
  // in this run; finalize clears it at its start.
  static bool has_written_out_kem;
};
