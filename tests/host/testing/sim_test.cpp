// The atom-netlist cycle simulator on the cells retiming moves cross: a
// bypassed register, arithmetic cells and 8-input cells.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "testing/scenes.h"
#include "testing/sim.h"
#include "vok/vok_atom_netlist.h"

namespace {

using host::testing::simulate;

class SimTest : public host::testing::HostTest {
protected:
  std::vector<std::vector<bool>> random_stimuli(int inputs, int cycles, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::vector<bool>> s(cycles);
    for (auto& c : s)
      for (int i = 0; i < inputs; ++i) c.push_back((rng() & 1u) != 0);
    return s;
  }
};

TEST_F(SimTest, ABypassedRegisterIsAWireAndAnEnabledOneDelays) {
  auto n = host::testing::netlist();
  auto clk = n.io_in("clk");
  auto a = n.io_in("a");
  auto r = n.reg("r").clk(clk).d(a).powers_up(true).atom();
  n.io_out("o", r);
  const auto stimuli = random_stimuli(2, 16, 3);
  const auto registered = simulate(*n.get_netlist(), {"clk", "a"}, {"o"}, stimuli);
  EXPECT_TRUE(registered[0][0]) << "powers up high";
  for (std::size_t c = 1; c < stimuli.size(); ++c) EXPECT_EQ(registered[c][0], stimuli[c - 1][1]);
  host::testing::scenes::set_bypassed(r);
  const auto wire = simulate(*n.get_netlist(), {"clk", "a"}, {"o"}, stimuli);
  for (std::size_t c = 0; c < stimuli.size(); ++c) EXPECT_EQ(wire[c][0], stimuli[c][1]);
}

// A two-cell ripple adder: per cell F0 = x xor y (mask bits 0-15) and
// F1 = x and y (bits 16-31), so sum = x xor y xor c and carry = majority.
TEST_F(SimTest, ArithmeticCellsAddThroughTheirCarryChain) {
  auto n = host::testing::netlist();
  std::vector<host::testing::SIG> x, y;
  for (int k = 0; k < 2; ++k) {
    x.push_back(n.io_in("x" + std::to_string(k)));
    y.push_back(n.io_in("y" + std::to_string(k)));
  }
  auto chain = n.carry_chain("add", 2);
  std::uint64_t f0 = 0, f1 = 0;
  for (unsigned in = 0; in < 16; ++in) {
    const bool a = in & 1u, b = (in >> 1) & 1u;
    if (a != b) f0 |= 1ull << (~in & 15u);
    if (a && b) f1 |= 1ull << (~in & 15u);
  }
  for (int k = 0; k < 2; ++k) {
    VOK_ATOM_NODE* cell = chain.cells()[k];
    chain.cell(k).input(DB_INPUT_PORT_LUT_DATA, 0, x[k]).input(static_cast<DB_INPUT_PORT_TYPE>(13), 0, y[k]);
    cell->get_lutmask() = VOK_LUTMASK(f0 | f1 << 16);
    n.io_out("s" + std::to_string(k), host::testing::SIG(cell->get_output_term_by_type(DB_OUTPUT_PORT_SUM, 0)));
  }
  n.io_out("c", host::testing::SIG(chain.cells()[1]->get_output_term_by_type(DB_OUTPUT_PORT_CARRY_OUT, 0)));
  std::vector<std::vector<bool>> stimuli;
  for (unsigned v = 0; v < 16; ++v) stimuli.push_back({(v & 1u) != 0, ((v >> 2) & 1u) != 0, ((v >> 1) & 1u) != 0, ((v >> 3) & 1u) != 0});
  const auto t = simulate(*n.get_netlist(), {"x0", "y0", "x1", "y1"}, {"s0", "s1", "c"}, stimuli);
  for (unsigned v = 0; v < 16; ++v) {
    const unsigned sum = (v & 3u) + ((v >> 2) & 3u);
    EXPECT_EQ(t[v], (std::vector<bool>{(sum & 1u) != 0, (sum & 2u) != 0, (sum & 4u) != 0})) << v;
  }
}

TEST_F(SimTest, EightInputCellsEvaluateAllEightInputs) {
  auto n = host::testing::netlist();
  std::vector<host::testing::SIG> in;
  std::vector<std::string> names;
  for (int i = 0; i < 8; ++i) {
    names.push_back("i" + std::to_string(i));
    in.push_back(n.io_in(names.back()));
  }
  // In the layout, input 7 low sees inputs 0, 1, 4, 5, 6 and input 7 high
  // sees inputs 0-4.
  auto fn = [](const host::testing::LUT_INPUTS& v) {
    return v[7] ? (v[0] && v[2]) != (v[3] || v[4]) : ((v[5] != v[6]) != (v[1] && !v[4])) != v[0];
  };
  VOK_ATOM_NODE* cell = host::testing::scenes::lut8(n, "l8", in, fn);
  n.io_out("o", cell);
  std::vector<std::vector<bool>> stimuli;
  for (unsigned v = 0; v < 256; ++v) {
    stimuli.emplace_back();
    for (int i = 0; i < 8; ++i) stimuli.back().push_back(((v >> i) & 1u) != 0);
  }
  const auto t = simulate(*n.get_netlist(), names, {"o"}, stimuli);
  for (unsigned v = 0; v < 256; ++v) EXPECT_EQ(t[v][0], fn({v, 8})) << v;
}

}  // namespace
