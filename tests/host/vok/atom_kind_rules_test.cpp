// The stand-in atoms' kinds, bits, black-box ports, placed index and 8-input
// LUT reading, by the rules the rest of the host and the component rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "vok/vok_atom_netlist.h"

using host::testing::expect_internal_error;

namespace {

class AtomKindRulesTest : public host::testing::HostTest {};

constexpr int kKindCount = static_cast<int>(VOK_ATOM_KIND::BLACKBOX) + 1;

// The kind predicates that name what an atom is (not where it sits): an atom
// is at most one of them.
std::vector<std::string> kinds_claimed(const VOK_ATOM_NODE* a) {
  std::vector<std::string> out;
  auto claim = [&](bool on, const char* name) {
    if (on) out.push_back(name);
  };
  claim(a->is_ff(), "ff");
  claim(a->is_lcell_comb(), "lcell_comb");
  claim(a->is_mac(), "mac");
  claim(a->is_fp_mac(), "fp_mac");
  claim(a->is_ram(), "ram");
  claim(a->is_lutram(), "lutram");
  claim(a->is_logic_module(), "logic_module");
  claim(a->is_clk_burst(), "clk_burst");
  claim(a->is_clk_divider(), "clk_divider");
  claim(a->is_clk_gate(), "clk_gate");
  claim(a->is_clkbuf(), "clkbuf");
  claim(a->is_pll(), "pll");
  claim(a->is_io_ibuf(), "io_ibuf");
  claim(a->is_io_obuf(), "io_obuf");
  claim(a->is_io_pad(), "io_pad");
  claim(a->is_port(), "port");
  claim(a->is_ufind4h_uib(), "ufind4h_uib");
  claim(a->is_ufi_esram(), "ufi_esram");
  claim(a->is_ufi_uib(), "ufi_uib");
  claim(a->is_uibssm(), "uibssm");
  claim(a->is_uib_io_phy(), "uib_io_phy");
  claim(a->is_uib_rdrc(), "uib_rdrc");
  claim(a->is_uib_wdrc(), "uib_wdrc");
  claim(a->is_prblock(), "prblock");
  claim(a->is_tile_ctrl(), "tile_ctrl");
  return out;
}

}  // namespace

// Every kind but the black box is exactly one thing; a port is exactly one of
// input, output and bidirectional, and nothing else is any of them; a black
// box is none of the leaf kinds. An atom made from a kind's atom type is that
// type and the same thing (kinds that share a type, such as the ports or the
// plain and arithmetic cells, are the same thing); a kind past the last is
// refused.
TEST_F(AtomKindRulesTest, EachKindIsItselfAndItsAtomTypeMakesIt) {
  for (int k = 0; k < kKindCount; ++k) {
    const auto kind = static_cast<VOK_ATOM_KIND>(k);
    SCOPED_TRACE(k);
    std::unique_ptr<VOK_ATOM_NODE> a(VOK_ATOM_FACTORY::create_node(kind));
    ASSERT_EQ(a->get_kind(), kind);
    const auto claimed = kinds_claimed(a.get());
    const int directions = a->is_input() + a->is_output() + a->is_bidir();
    if (kind == VOK_ATOM_KIND::BLACKBOX) {
      EXPECT_TRUE(claimed.empty()) << claimed.front();
      EXPECT_FALSE(a->is_pin() || a->is_peripheral() || a->is_input() || a->is_output() || a->is_bidir());
    } else {
      EXPECT_EQ(claimed.size(), 1u) << (claimed.empty() ? "none" : claimed[0] + " and more");
    }
    if (a->is_port())
      EXPECT_EQ(directions, 1);
    else if (kind != VOK_ATOM_KIND::PAD)  // a pad's direction follows its buffers
      EXPECT_EQ(directions, 0);

    std::unique_ptr<VOK_ATOM_NODE> again(VOK_ATOM_FACTORY::create_node(a->get_atom_type(), false));
    EXPECT_EQ(again->get_atom_type(), a->get_atom_type());
    EXPECT_EQ(kinds_claimed(again.get()), claimed);
  }
  // A kind past the last one is refused, not read from beyond the table.
  EXPECT_EQ(expect_internal_error([] { VOK_ATOM_FACTORY::create_node(static_cast<VOK_ATOM_KIND>(kKindCount)); })
                .condition,
            "known atom kind");
}

// All 64 atom bits can be set and cleared one by one; no bit outside them.
TEST_F(AtomKindRulesTest, AtomBitsZeroToSixtyThree) {
  std::unique_ptr<VOK_ATOM_NODE> a(VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::COMB_CELL));
  for (const int bit : {0, 1, 44, 63}) {
    SCOPED_TRACE(bit);
    a->set_bit(bit, true);
    EXPECT_TRUE(a->test_bit(bit));
    a->set_bit(bit, false);
    EXPECT_FALSE(a->test_bit(bit));
  }
  for (const int bit : {-1, 64}) {
    SCOPED_TRACE(bit);
    EXPECT_EQ(expect_internal_error([&] { a->set_bit(bit, true); }).condition, "0 <= bit && bit < 64");
  }
}

// A black box takes ports only from port atoms of its own child netlist: a
// box without a child refuses a port atom that belongs to no netlist.
TEST_F(AtomKindRulesTest, ABoxWithoutAChildTakesNoPorts) {
  auto b = host::testing::netlist();
  VOK_ATOM_BLACKBOX* box = b.blackbox("bb").box();
  ASSERT_EQ(box->get_child_netlist(), nullptr);
  std::unique_ptr<VOK_ATOM_NODE> in(VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::INPUT_PORT));
  std::unique_ptr<VOK_ATOM_NODE> out(VOK_ATOM_FACTORY::create_node(VOK_ATOM_KIND::OUTPUT_PORT));
  ASSERT_EQ(in->get_parent_netlist(), nullptr);
  EXPECT_EQ(expect_internal_error([&] { box->add_input_port("i", in.get()); }).condition,
            "an input port atom of the child netlist");
  EXPECT_EQ(expect_internal_error([&] { box->add_output_port("o", out.get()); }).condition,
            "an output port atom of the child netlist");
}

// Of several atoms placed on one site, the one that leaves is the one no
// longer listed there, whichever position it had.
TEST_F(AtomKindRulesTest, TheAtomThatLeavesASharedSiteIsTheOneUnlisted) {
  auto b = host::testing::netlist();
  VOK_ATOM_NETLIST* top = b.get_netlist();
  auto clk = b.input_port("clk");
  VOK_ATOM_NODE* r[3] = {b.reg("r0").clk(clk), b.reg("r1").clk(clk), b.reg("r2").clk(clk)};
  for (VOK_ATOM_NODE* a : r) a->set_location(20, 643);
  r[0]->clear_location();
  auto at = top->get_atoms_at_gid(20);
  EXPECT_EQ(at.size(), 2u);
  EXPECT_EQ(std::count(at.begin(), at.end(), r[0]), 0);
  EXPECT_EQ(std::count(at.begin(), at.end(), r[1]), 1);
  EXPECT_EQ(std::count(at.begin(), at.end(), r[2]), 1);
  r[1]->set_location(21, 643);
  EXPECT_EQ(top->get_atoms_at_gid(20), std::vector<VOK_ATOM_NODE*>{r[2]});
  EXPECT_EQ(top->get_atoms_at_gid(21), std::vector<VOK_ATOM_NODE*>{r[1]});
}

// An 8-input cell: with input 7 low it reads the high half over five of its
// inputs (0, 1, 4, 5, 6), with input 7 high the low half over inputs 0 to 4.
// With each half the parity of its index, the output flips with each input
// read and never with one that is not.
TEST_F(AtomKindRulesTest, EightInputCellReadsFiveInputsPerHalf) {
  const std::uint64_t mask = 0x6996966996696996ull;  // bit j: the parity of j
  const std::vector<int> high_half_inputs{0, 1, 4, 5, 6}, low_half_inputs{0, 1, 2, 3, 4};
  for (unsigned in = 0; in < 256; ++in) {
    const bool high = (in & 0x80u) == 0;
    const auto& read = high ? high_half_inputs : low_half_inputs;
    for (int i = 0; i < 7; ++i) {
      const bool flips = host::lut_eval(mask, 8, in) != host::lut_eval(mask, 8, in ^ (1u << i));
      const bool is_read = std::count(read.begin(), read.end(), i) != 0;
      EXPECT_EQ(flips, is_read) << "in " << in << " input " << i;
    }
  }
  // The halves are not mixed up: ones in the high half only.
  for (unsigned in = 0; in < 256; ++in) EXPECT_EQ(host::lut_eval(0xFFFFFFFF00000000ull, 8, in), (in & 0x80u) == 0) << in;
}
