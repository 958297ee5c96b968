#pragma once
// The I/O shapes the delay-chain classification and optimisation read.
//
//   host::testing::device(Family::KY).build();
//   auto s = host::testing::scenes::io_delay_chains();   // built and timed
//
// io_delay_chains, on the configured device:
//  - input pin "din" whose buffer drives an I/O input register (ireg, 396), a
//    DDIO input (ddio), a delay-chain cell (chain), a JTAG ELA atom (ela) and
//    a LUT (core) through pad-to-core chain 0; its buffer's input is on
//    pad-to-core chain 0 too (the older form's pin-to-core edge);
//  - input pin "din2" feeding a 12-lane cell (lane);
//  - output pin "dout" driven through obuf by an I/O output register (oreg,
//    397), its output enable (usage 22) from an I/O OE register (oereg, 398);
//    the data input's usage is 9;
//  - output pin "dout2" driven by the JTAG ELA atom through obuf2;
//  - input pin "bin" feeding a buried I/O input register (bireg) directly and
//    output pin "bout" driven directly by a buried I/O output register
//    (boreg): on devices whose item 77 is clear the pins take the older form
//    (a timing cell between the device-pin node and the core) and the buried
//    registers meet the device-pin nodes. Usages: pins' data outputs 9,
//    pins' data inputs 68, the buried output register's output 253.
// All registers share the clock port "clk", declared a clock of 2000 ps; the
// pins carry no I/O delays (host::timing::set_io_delay gives them some).
#include "testing/netlist_builder.h"

namespace host::testing::scenes {

struct IO_DELAY_CHAINS {
  VOK_ATOM_NODE *din = nullptr, *ireg = nullptr, *ddio = nullptr, *chain = nullptr, *lane = nullptr, *ela = nullptr,
                *core = nullptr, *oreg = nullptr, *oereg = nullptr, *obuf = nullptr, *obuf2 = nullptr;
  VOK_ATOM_NODE *ibuf = nullptr, *dout = nullptr;
  VOK_ATOM_NODE *bin = nullptr, *bireg = nullptr, *bout = nullptr, *boreg = nullptr;
};

// Builds the design into the world's netlist and runs its timing.
IO_DELAY_CHAINS io_delay_chains();

}  // namespace host::testing::scenes
