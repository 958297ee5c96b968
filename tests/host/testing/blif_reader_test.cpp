#include "testing/blif_reader.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

using host::testing::BLIF_DESIGN;
using host::testing::BLIF_ERROR;
using host::testing::read_blif;
using host::testing::read_blif_file;

namespace {
BLIF_DESIGN parse(const std::string& text) {
  std::istringstream in(text);
  return read_blif(in, "t.blif");
}
std::string error_of(const std::string& text) {
  try {
    parse(text);
  } catch (const BLIF_ERROR& e) {
    return e.what();
  }
  return "no error";
}
}  // namespace

TEST(BlifReader, CoversBecomeNaturalTruthTables) {
  auto d = parse(
      "# a comment\n"
      ".model m\n"
      ".inputs a b \\\n c clk\n"
      ".outputs y z k0 k1 q\n"
      ".names a b y\n"
      "11 1\n"
      ".names a b c z   # off-set: z = !(a & !b) ... for any c\n"
      "10- 0\n"
      ".names k0\n"
      ".names k1\n"
      "1\n"
      ".latch y q re clk 0\n"
      ".end\n");
  EXPECT_EQ(d.model, "m");
  EXPECT_EQ(d.inputs, (std::vector<std::string>{"a", "b", "c", "clk"}));
  ASSERT_EQ(d.luts.size(), 4u);
  EXPECT_EQ(d.luts[0].truth, 0x8u);  // only m = 0b11
  // z is 0 where a=1, b=0 (m bit0=1, bit1=0): m = 1 and 5.
  EXPECT_EQ(d.luts[1].truth, 0xFFu & ~((1u << 1) | (1u << 5)));
  EXPECT_EQ(d.luts[2].truth, 0u);
  EXPECT_TRUE(d.luts[2].inputs.empty());
  EXPECT_EQ(d.luts[3].truth, 1u);
  ASSERT_EQ(d.ffs.size(), 1u);
  EXPECT_EQ(d.ffs[0].clock, "clk");
  EXPECT_EQ(d.ffs[0].init, 0);
  EXPECT_EQ(d.ffs[0].line, 13);
}

TEST(BlifReader, YosysFlipFlopCellsKeepPinsAndPolarities) {
  auto d = parse(
      ".model m\n.inputs c d e r\n.outputs q1 q2 q3 q4 q5\n"
      ".subckt $_DFF_N_ C=c D=d Q=q1\n"
      ".subckt $_DFFE_PN_ C=c D=d E=e Q=q2\n"
      ".subckt $_SDFF_PP1_ C=c D=d Q=q3 R=r\n"
      ".subckt $_SDFFE_PN0P_ C=c D=d E=e Q=q4 R=r\n"
      ".subckt $_SDFFCE_NP1N_ C=c D=d E=e Q=q5 R=r\n.end\n");
  ASSERT_EQ(d.ffs.size(), 5u);
  EXPECT_TRUE(d.ffs[0].clock_falling);
  EXPECT_TRUE(d.ffs[1].enable_active_low);
  EXPECT_EQ(d.ffs[1].enable, "e");
  EXPECT_EQ(d.ffs[2].reset, "r");
  EXPECT_EQ(d.ffs[2].reset_value, 1);
  EXPECT_TRUE(d.ffs[3].reset_active_low);
  EXPECT_EQ(d.ffs[3].reset_value, 0);
  EXPECT_FALSE(d.ffs[3].enable_active_low);
  EXPECT_FALSE(d.ffs[3].reset_needs_enable);
  // The reset of $_SDFFCE_ acts only with the enable.
  EXPECT_TRUE(d.ffs[4].reset_needs_enable);
  EXPECT_TRUE(d.ffs[4].clock_falling);
  EXPECT_FALSE(d.ffs[4].reset_active_low);
  EXPECT_EQ(d.ffs[4].reset_value, 1);
  EXPECT_TRUE(d.ffs[4].enable_active_low);
  EXPECT_EQ(d.ffs[4].enable, "e");
  EXPECT_EQ(d.ffs[4].reset, "r");
}

// Cells the registers cannot take are refused with the yosys command that
// removes them; a kind with a letter out of place is no kind at all.
TEST(BlifReader, RefusedCellsNameTheirRemedy) {
  const std::string head = ".model m\n.inputs a b c d clk\n.outputs y\n";
  for (const char* cell : {"$_DFF_PP0_", "$_DFF_NN1_", "$_DFFE_PN1P_", "$_DFFSR_PPP_", "$_DFFSRE_PPPP_",
                           "$_ALDFF_PP_", "$_ALDFFE_PPP_"}) {
    const std::string e = error_of(head + ".subckt " + cell + " C=clk D=a R=b Q=y\n");
    EXPECT_EQ(e.rfind(std::string("t.blif:4: unsupported cell '") + cell + "'; a flip-flop with an asynchronous", 0), 0u)
        << e;
    EXPECT_NE(e.find("'async2sync'"), std::string::npos) << e;
    EXPECT_NE(e.find("tools/velmo-synth"), std::string::npos) << e;
  }
  for (const char* cell : {"$assert", "$assume", "$cover"}) {
    const std::string e = error_of(head + ".subckt " + cell + " A=a EN=b\n");
    EXPECT_EQ(e.rfind(std::string("t.blif:4: unsupported cell '") + cell + "'; a formal property", 0), 0u) << e;
    EXPECT_NE(e.find("'chformal -remove'"), std::string::npos) << e;
  }
  const std::string sub = error_of(head + ".subckt adder a=a b=b s=y\n");
  EXPECT_EQ(sub.rfind("t.blif:4: unsupported cell 'adder'; an instance of a module", 0), 0u) << sub;
  EXPECT_NE(sub.find("'synth -flatten'"), std::string::npos) << sub;
  // The models of an unflattened design.
  EXPECT_NE(error_of(head + ".names a y\n1 1\n.end\n.model n\n").find("'synth -flatten'"), std::string::npos);
  for (const char* cell : {"$_SDFFCE_PP2P_", "$_SDFFE_PX0P_", "$_DFF_X_", "$_SDFF_PP0P_", "$_DFFE_PPP_", "$_DFF_PPX_"})
    EXPECT_EQ(error_of(head + ".subckt " + cell + " C=clk D=a E=c R=b Q=y\n"),
              std::string("t.blif:4: unsupported cell '") + cell +
                  "'; only D flip-flops with no reset or a synchronous one, with or without an enable, are mapped");
  try {
    read_blif_file("/nonexistent/x.blif");
    ADD_FAILURE();
  } catch (const BLIF_ERROR& e) {
    EXPECT_EQ(e.what(), "/nonexistent/x.blif: cannot open the file: No such file or directory");
  }
}

TEST(BlifReader, BadInputIsAClearErrorWithFileAndLine) {
  const std::string head = ".model m\n.inputs a b c d e f g clk\n.outputs y\n";
  EXPECT_EQ(error_of(head + ".names a b c d e f g y\n1111111 1\n"),
            "t.blif:4: .names with 7 inputs; map the design to 6-input LUTs first");
  EXPECT_EQ(error_of(head + ".names a b y\n1 1\n"), "t.blif:5: cover row '1' has 1 columns, expected 2");
  EXPECT_EQ(error_of(head + ".names a b y\n1x 1\n"), "t.blif:5: bad character 'x' in cover row");
  EXPECT_EQ(error_of(head + ".names a b y\n11 1\n00 0\n"), "t.blif:6: cover mixes on-set and off-set rows");
  EXPECT_EQ(error_of(head + ".names a y\n1 1\n.names b y\n1 1\n"),
            "t.blif:6: net 'y' has a second driver (first at line 4)");
  EXPECT_EQ(error_of(head + ".names nowhere y\n1 1\n"), "t.blif:4: net 'nowhere' is used but never driven");
  EXPECT_EQ(error_of(head + ".latch a y\n"),
            "t.blif:4: .latch without a clock; give it as '.latch D Q re CLOCK INIT'");
  EXPECT_EQ(error_of(head + ".latch a y ah clk 0\n"),
            "t.blif:4: latch type 'ah' is not an edge-triggered flip-flop (re or fe)");
  EXPECT_EQ(error_of(head + ".subckt $_DLATCH_P_ E=clk D=a Q=y\n"),
            "t.blif:4: unsupported cell '$_DLATCH_P_'; only D flip-flops with no reset or a synchronous one, with or "
            "without an enable, are mapped");
  EXPECT_EQ(error_of(head + ".subckt $_SDFFCE_PP0P_ C=clk D=a R=b Q=y\n"), "t.blif:4: $_SDFFCE_PP0P_ without pin E");
  EXPECT_EQ(error_of(head + ".subckt $_DFFE_PP_ C=clk D=a Q=y\n"), "t.blif:4: $_DFFE_PP_ without pin E");
  // A pin given twice, also with the same net, is refused rather than one connection kept.
  EXPECT_EQ(error_of(head + ".subckt $_DFF_P_ C=clk C=c D=a Q=y\n"), "t.blif:4: pin 'C' given twice");
  EXPECT_EQ(error_of(head + ".subckt $_DFF_P_ C=clk D=a D=b Q=y\n"), "t.blif:4: pin 'D' given twice");
  EXPECT_EQ(error_of(head + ".subckt $_SDFFE_PP0P_ C=clk D=a E=c R=b E=c Q=y\n"), "t.blif:4: pin 'E' given twice");
  EXPECT_EQ(error_of(head + ".gate and2 a=a b=b O=y\n"), "t.blif:4: unsupported directive '.gate'");
  EXPECT_EQ(error_of(head + ".names a y\n1 1\n.end\n.names a z\n"),
            "t.blif:7: '.names' after .end; designs with several models are not supported");
  EXPECT_EQ(error_of("11 1\n"), "t.blif:1: cover row '11' outside a .names block");
  EXPECT_EQ(error_of(""), "t.blif: no .model in the file");
  EXPECT_THROW(read_blif_file("/nonexistent/x.blif"), BLIF_ERROR);
  // A stream (here a FIFO of 300 MiB of comment lines) is read up to the limit.
  const std::string fifo = ::testing::TempDir() + "endless.blif";
  std::remove(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(std::system(("(yes '#" + std::string(1000, '-') + "' | head -c 314572800 > " + fifo + ") 2>/dev/null &").c_str()), 0);
  try {
    read_blif_file(fifo);
    ADD_FAILURE() << "read whole";
  } catch (const BLIF_ERROR& e) {
    EXPECT_EQ(e.what(), fifo + ": longer than 268,435,456 bytes, past the text of any design a device holds: not read further");
  }
  std::remove(fifo.c_str());
}

TEST(BlifReader, AnyLineEndAByteOrderMarkAndWordsADirectiveDoesNotTake) {
  const std::string lf = ".model m\n.inputs a clk\n.outputs y\n.latch a q re clk 0\n.names q \\\ny\n1 1\n.end\n";
  auto ended = [&](const std::string& eol) {
    std::string out;
    for (char c : lf) out += c == '\n' ? eol : std::string(1, c);
    return out;
  };
  for (const std::string& text : {ended("\r"), ended("\r\n"), "\xEF\xBB\xBF" + lf, "\xEF\xBB\xBF" + ended("\r")}) {
    const BLIF_DESIGN d = parse(text);
    EXPECT_EQ(d.model, "m");
    EXPECT_EQ(d.inputs, (std::vector<std::string>{"a", "clk"}));
    ASSERT_EQ(d.ffs.size(), 1u);
    ASSERT_EQ(d.luts.size(), 1u);
    EXPECT_EQ(d.luts[0].inputs, (std::vector<std::string>{"q"}));
    EXPECT_EQ(d.luts[0].line, 5);
  }
  // A CR alone ends a line for the line numbers too.
  EXPECT_EQ(error_of(".model m\r.inputs a\r.outputs y\r.names b y\r1 1\r"),
            "t.blif:4: net 'b' is used but never driven");
  EXPECT_EQ(error_of(".model m extra\n.inputs a\n.outputs a\n"), "t.blif:1: unexpected 'extra' after the model name");
  EXPECT_EQ(error_of(".model m\n.inputs a\n.outputs a\n.end now\n"), "t.blif:4: unexpected 'now' after .end");
  EXPECT_EQ(error_of(".model m\n.end\n"), "t.blif:2: the design is empty (no inputs, outputs, LUTs or registers)");
  // Faults without a line of their own are reported at their declaration.
  EXPECT_EQ(error_of(".model m\n.inputs a\n.inputs b a\n.outputs a\n"),
            "t.blif:3: 'a' is declared twice in .inputs (first at line 2)");
  EXPECT_EQ(error_of(".model m\n.inputs a\n.outputs y a\n.outputs y\n"),
            "t.blif:4: 'y' is declared twice in .outputs (first at line 3)");
  EXPECT_EQ(error_of(".model m\n.inputs a\n.outputs y\n.names a z\n1 1\n\n\n.end\n"),
            "t.blif:3: net 'y' is used but never driven");
  // Control bytes, a NUL among them, are shown, not echoed.
  EXPECT_EQ(error_of(std::string(".model m\n.inputs a\n.outputs y\n.names b\x01\0c y\n1 1\n", 48)),
            "t.blif:4: net 'b\\x01\\x00c' is used but never driven");
}

TEST(BlifReader, BundledBenchmarksParseWithTheirPublishedCounts) {
  struct ROW {
    const char* file;
    size_t latches, luts;
  };
  // Counts as published with the mcnc set (LUT counts include constants).
  for (ROW r : {ROW{"mcnc/s298.blif", 8, 1301}, ROW{"mcnc/tseng.blif", 385, 797},
                ROW{"mcnc/frisc.blif", 886, 2928}}) {
    auto d = read_blif_file(std::string(VELMO_DESIGNS_DIR) + "/" + r.file);
    EXPECT_EQ(d.ffs.size(), r.latches) << r.file;
    EXPECT_EQ(d.luts.size(), r.luts) << r.file;
  }
  // yosys output refers to its implicit constant nets without defining them.
  auto mac = read_blif_file(std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.blif");
  EXPECT_GT(mac.ffs.size(), 0u);
  for (const auto& f : mac.ffs) EXPECT_FALSE(f.clock.empty());
  bool has_false = false;
  for (const auto& l : mac.luts) has_false |= l.output == "$false" && l.inputs.empty() && l.truth == 0;
  EXPECT_TRUE(has_false);
}
