#include "testing/blif_sweep.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/blif_design.h"
#include "testing/host_test.h"

using host::testing::BLIF_DESIGN;
using host::testing::BLIF_ERROR;
using host::testing::sweep_dead_logic;

namespace {

BLIF_DESIGN parse(const std::string& text) {
  std::istringstream in(text);
  return host::testing::read_blif(in, "t.blif", true);
}

std::vector<std::string> lut_outputs(const BLIF_DESIGN& d) {
  std::vector<std::string> v;
  for (const auto& l : d.luts) v.push_back(l.output);
  return v;
}
std::vector<std::string> ff_outputs(const BLIF_DESIGN& d) {
  std::vector<std::string> v;
  for (const auto& f : d.ffs) v.push_back(f.q);
  return v;
}

// y is read through an identity LUT from a register whose data, clock,
// enable and reset each come through a LUT; p feeds a periphery block.
// The rest reaches neither: a register loop, a LUT of the inputs, a
// register feeding only dead logic, and a constant nothing kept reads.
const char* kDesign = R"(.model m
.inputs a b clk
.outputs y
.names a b dn
11 1
.names clk ck
1 1
.names a b en
10 1
.names b rs
0 1
.subckt $_SDFFE_PP0P_ C=ck D=dn E=en R=rs Q=q
.names q y
1 1
.latch b pr re clk 0
.names pr p
0 1
.names a loop dl
11 1
.latch dl loop re clk 0
.names a b gone
01 1
.latch a r2 re clk 0
.names r2 gone2
1 1
.names c1
1
.end
)";

}  // namespace

TEST(BlifSweep, KeepsWhatReachesAPinOrAPeripheryInputThroughEveryRegisterInput) {
  BLIF_DESIGN d = parse(kDesign);
  const auto r = sweep_dead_logic(d, "t.blif", {"p"});
  EXPECT_EQ(lut_outputs(d), (std::vector<std::string>{"dn", "ck", "en", "rs", "y", "p"}));
  EXPECT_EQ(ff_outputs(d), (std::vector<std::string>{"q", "pr"}));
  EXPECT_EQ(r.luts, 4);       // dl, gone, gone2, c1
  EXPECT_EQ(r.registers, 2);  // loop, r2
  EXPECT_EQ(r.identity_luts, 2);  // ck and y; p inverts
  EXPECT_EQ(r.names, (std::vector<std::string>{"dl", "gone", "gone2", "c1", "loop", "r2"}));
  EXPECT_EQ(host::testing::sweep_summary(r),
            "Removed 4 LUTs and 2 registers that reach no output pin; 2 kept LUTs are one-input identities other "
            "logic reads");
  // Without the periphery block its input's cone goes too.
  BLIF_DESIGN alone = parse(kDesign);
  const auto r2 = sweep_dead_logic(alone, "t.blif");
  EXPECT_EQ(ff_outputs(alone), (std::vector<std::string>{"q"}));
  EXPECT_EQ(r2.luts, 5);
  EXPECT_EQ(r2.registers, 3);
  EXPECT_EQ(host::testing::sweep_summary(host::testing::SWEEP_RESULT{}),
            "Removed 0 LUTs and 0 registers that reach no output pin");
}

TEST(BlifSweep, AnUndrivenNetIsAnErrorOnlyWhereKeptLogicReadsIt) {
  // Read by nothing but dead logic: listed while reading, then gone.
  const std::string head = ".model m\n.inputs a clk\n.outputs y z\n.names a y\n1 1\n";
  BLIF_DESIGN d = parse(head + ".names a z\n0 1\n.names undriven dead\n1 1\n.names dead undriven2 dead2\n11 1\n");
  EXPECT_EQ(d.undriven, (std::vector<std::pair<std::string, int>>{{"undriven", 8}, {"undriven2", 10}}));
  EXPECT_EQ(sweep_dead_logic(d, "t.blif").luts, 2);
  EXPECT_TRUE(d.undriven.empty());

  auto error_of = [](const std::string& text) -> std::string {
    BLIF_DESIGN b = parse(text);
    const std::size_t luts = b.luts.size(), ffs = b.ffs.size();
    try {
      sweep_dead_logic(b, "t.blif");
    } catch (const BLIF_ERROR& e) {
      EXPECT_EQ(b.luts.size(), luts);  // unchanged
      EXPECT_EQ(b.ffs.size(), ffs);
      return e.what();
    }
    return "no error";
  };
  const std::string remedy =
      "; find where it lost its driver with yosys 'check', or tie it to 0 with yosys 'setundef -undriven -zero'";
  // Through a LUT into a register's enable: the register is named, at the
  // line of the LUT reading the net.
  EXPECT_EQ(error_of(head + ".names a lost e\n11 1\n.subckt $_DFFE_PP_ C=clk D=a E=e Q=z\n"),
            "t.blif:6: net 'lost' is used but never driven, and it reaches register 'z'" + remedy);
  // Through LUTs only: the output pin.
  EXPECT_EQ(error_of(head + ".names lost n\n0 1\n.names n z\n1 1\n"),
            "t.blif:6: net 'lost' is used but never driven, and it reaches output pin 'z'" + remedy);
  // An output pin of its own: at its declaration.
  EXPECT_EQ(error_of(".model m\n.inputs a\n.outputs y\n"),
            "t.blif:3: net 'y' is used but never driven, and it reaches output pin 'y'" + remedy);
  // A register's clock.
  EXPECT_EQ(error_of(head + ".latch a z re gclk 0\n"),
            "t.blif:6: net 'gclk' is used but never driven, and it reaches register 'z'" + remedy);
}

class BlifSweepLoadTest : public host::testing::HostTest {};

// What velmo-fit loads: the swept design, with what went.
TEST_F(BlifSweepLoadTest, TheLoadedDesignIsTheSweptOne) {
  const auto loaded = host::testing::load_swept_blif_text(kDesign, "t.blif", {"p"});
  EXPECT_EQ(loaded.luts, 6);
  EXPECT_EQ(loaded.registers, 2);
  EXPECT_EQ(loaded.removed.luts, 4);
  EXPECT_EQ(loaded.removed.registers, 2);
  EXPECT_EQ(loaded.removed.identity_luts, 2);
  const auto counts = host::testing::count_resources(*host::vok::top_netlist());
  EXPECT_EQ(counts.registers, 2);
  EXPECT_EQ(counts.luts, 6);  // no helper LUTs: the reset is to 0
  try {
    host::testing::load_swept_blif_text(".model m\n.inputs a\n.outputs y\n.names a u y\n11 1\n", "bad.blif", {});
    ADD_FAILURE();
  } catch (const host::testing::DESIGN_LOAD_ERROR& e) {
    EXPECT_EQ(e.what().rfind("bad.blif:4: net 'u' is used but never driven, and it reaches output pin 'y'", 0), 0u)
        << e.what();
  }
}
