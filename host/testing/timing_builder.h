#pragma once
// Timing for built designs: clocks and the timing netlist.
//
//   auto n = host::testing::netlist();
//   auto clk = n.input_port("clk");
//   n.clock("clk", 2000, clk);      // name, period in ps, source
//   ... registers and logic ...
//   n.timing();                     // build and analyse (request 0, set 5)
//
// The members are NETLIST_BUILDER's; this header adds what reads the result.
#include <cstdint>
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "sta/sta_analysis.h"
#include "testing/netlist_builder.h"

namespace host::testing {
// The timing nodes of an atom's input (port type, index) and output (the
// primary one when type is -1); null when there is none.
const KEM_NODE* timing_input(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index = 0);
const KEM_NODE* timing_output(VOK_ATOM_NODE* atom);
// The placement gid of site z of tile (x, y) on the world's device.
std::uint32_t site_gid(int x, int y, int z);
}  // namespace host::testing
