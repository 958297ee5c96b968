#pragma once
// Reused test and benchmark setups.
//
//   auto s = host::testing::scenes::ky_pipeline();       // one copy
//   auto big = host::testing::scenes::ky_pipeline(16);   // 16 copies (benchmarks)
//
// ky_pipeline: family 46, placed, routed and timed, per copy:
//  - domain A (clock "clk_a", 700 ps): a0 -> four LUTs -> c0, failing setup;
//    a0 also feeds the pipeline register p (in a routing slot) -> pc;
//  - domain B (clock "clk_b", 2000 ps): b0 -> b1 with the capture clock
//    arriving late (b1 far from the clock's pin), failing hold;
//  - the unclocked domain: input port -> LUT u -> output port;
//  - a dont-touch register dt (clock A, fed by c0, its atom not modifiable
//    and denied by the modification check with reason bit 37);
//  - a LUT-RAM m (clock A, fed by a0);
//  - a second partition: the black box "u_part" whose register r is fed by
//    c0 and feeds the top register after.
// Copies sit side by side; their clocks and ports are shared.
#include <functional>
#include <string>
#include <vector>

#include "dev/dev_spec.h"
#include "testing/netlist_builder.h"

namespace host::testing::scenes {

struct KY_PIPELINE_COPY {
  VOK_ATOM_NODE *a0, *c0, *p, *pc, *b0, *b1, *dt, *m, *r, *after, *u;
  std::vector<VOK_ATOM_NODE*> luts;
};

struct KY_PIPELINE {
  SIG clk_a, clk_b;
  std::vector<KY_PIPELINE_COPY> copies;
  const KY_PIPELINE_COPY& operator[](int i) const { return copies[static_cast<std::size_t>(i)]; }
};

// Builds the device, the design, its placement, routing and timing.
// Throws NETLIST_BUILD_ERROR when routing fails.
// `blacklist`: routing elements the device's blacklisting holds.
KY_PIPELINE ky_pipeline(int copies = 1, const std::vector<DEV_ELEMENT_REF>& blacklist = {});

// Builders of register and input variants: a LAB register bypassed (bool
// parameter 5), an input inverted (the state byte's inversion bit), an input
// tied to a constant.
void set_bypassed(VOK_ATOM_NODE* reg, bool on = true);
void set_inverted(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index = 0, bool on = true);
void tie_input(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE type, int index, bool high);
// An 8-input combinational cell (atom bit 44) with the function sampled in
// the 8-input layout (see host::lut_eval): the high half from the inputs
// with input 7 = 0 and inputs 2, 3 at 0, the low half with input 7 = 1 and
// inputs 5, 6 at 0.
VOK_ATOM_NODE* lut8(NETLIST_BUILDER& n, const std::string& name, const std::vector<SIG>& inputs,
                    const std::function<bool(const LUT_INPUTS&)>& fn);

}  // namespace host::testing::scenes
