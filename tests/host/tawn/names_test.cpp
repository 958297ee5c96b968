// Names of written netlists: which pins make one vector port, and which
// names VHDL and Verilog take plain.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tawn/tawn_names.h"

namespace {

using host::tawn::BUS;
using host::tawn::LANG;
using host::tawn::PIN;
using host::tawn::PIN_PLACE;

struct GATHERED {
  std::vector<BUS> buses;
  std::vector<PIN_PLACE> places;
};

GATHERED gather(const std::vector<PIN>& pins) {
  GATHERED g;
  g.buses = host::tawn::gather_buses(pins, &g.places);
  return g;
}

// Each pin's bus base and bit ("" for a scalar pin).
std::vector<std::string> placed(const GATHERED& g) {
  std::vector<std::string> out;
  for (const PIN_PLACE& p : g.places)
    out.push_back(p.bus < 0 ? "" : g.buses[p.bus].base + ":" + std::to_string(p.bit));
  return out;
}

TEST(NetlistNames, BitsRunningByOneAreOneBusRangedFromTheLastToTheFirst) {
  // Down from 15 and up from 0, interleaved with other pins and split by
  // direction.
  const GATHERED g = gather({{"a[2]", false}, {"x", false}, {"a[1]", false}, {"a[0]", false}, {"q[0]", true},
                             {"q[1]", true}, {"s[7]", false}});
  ASSERT_EQ(g.buses.size(), 3u);
  EXPECT_EQ(g.buses[0].base, "a");
  EXPECT_FALSE(g.buses[0].output);
  EXPECT_EQ(g.buses[0].left, 0);
  EXPECT_EQ(g.buses[0].right, 2);
  EXPECT_EQ(g.buses[1].base, "q");
  EXPECT_TRUE(g.buses[1].output);
  EXPECT_EQ(g.buses[1].left, 1);
  EXPECT_EQ(g.buses[1].right, 0);
  EXPECT_EQ(g.buses[2].left, 7);
  EXPECT_EQ(g.buses[2].right, 7);
  EXPECT_THAT(placed(g), ::testing::ElementsAre("a:2", "", "a:1", "a:0", "q:0", "q:1", "s:7"));
  // Nine digits are an index, and "0" is one.
  const GATHERED wide = gather({{"v[0]", false}, {"v[1]", false}, {"u[100000001]", true}, {"u[100000000]", true}});
  ASSERT_EQ(wide.buses.size(), 2u);
  EXPECT_EQ(wide.buses[1].left, 100000000);
  EXPECT_EQ(wide.buses[1].right, 100000001);
  // A bracket inside the base belongs to the base.
  const GATHERED nested = gather({{"m[1][0]", false}, {"m[1][1]", false}});
  ASSERT_EQ(nested.buses.size(), 1u);
  EXPECT_EQ(nested.buses[0].base, "m[1]");
}

TEST(NetlistNames, BitsThatAreNotOneRangeStayScalar) {
  const std::vector<std::vector<PIN>> cases = {
      {{"h[0]", false}, {"h[2]", false}},                    // a hole
      {{"r[1]", false}, {"r[1]", false}},                    // a repeated index
      {{"o[1]", false}, {"o[0]", false}, {"o[2]", false}},   // out of order
      {{"u[0]", false}, {"u[1]", false}, {"u[3]", false}},   // a hole after a run
      {{"d[0]", false}, {"d[1]", true}},                     // both directions
      {{"c", true}, {"c[0]", false}, {"c[1]", false}},       // a pin of the base's own name
      {{"z[01]", false}, {"z[02]", false}},                  // leading zeros
      {{"n[-1]", false}, {"n[-2]", false}},                  // no sign
      {{"[0]", false}, {"[1]", false}},                      // no base
      {{"e[]", false}, {"f[1a]", false}, {"g[1", false}},    // no index
      {{"w[1234567890]", false}, {"w[1234567891]", false}},  // beyond an int
  };
  for (const auto& pins : cases) {
    const GATHERED g = gather(pins);
    EXPECT_TRUE(g.buses.empty()) << pins[0].name << " " << pins[1].name;
    EXPECT_THAT(placed(g), ::testing::Each(""));
  }
  // A name that is no bit: even alone (where one bit would be a bus of one)
  // it stays scalar.
  for (const char* name : {"e[]", "f[1a]", "g[1", "k[10", "7]", "123]", "[0]", "[12]", "z[01]", "n[-1]",
                           "w[1234567890]", "a[1]x", "x"}) {
    const GATHERED g = gather({{name, false}});
    EXPECT_TRUE(g.buses.empty()) << name;
  }
}

TEST(NetlistNames, VhdlEscapesOnlyWhatItMust) {
  // Plain: upper case, mixed case, the standard packages' other names.
  for (const char* plain : {"IRQ", "AB", "Clk", "error", "note", "read", "write", "a_b1", "x"})
    EXPECT_EQ(host::tawn::identifier(plain, LANG::VHDL), plain);
  // Extended: reserved words and the netlist's own names in any case, and
  // names that are no basic identifier.
  for (const char* word : {"signal", "Signal", "IN", "downto", "ieee", "Std", "work", "std_logic", "STD_LOGIC_VECTOR",
                           "std_logic_1164", "rising_edge", "Falling_Edge", "true", "FALSE", "structure", "empty",
                           "x_", "a__b", "_a", "1a", "a[0]", "a.b", "a~1"})
    EXPECT_EQ(host::tawn::identifier(word, LANG::VHDL), std::string("\\") + word + "\\") << word;
  EXPECT_EQ(host::tawn::identifier("a\\b c", LANG::VHDL), "\\a\\\\b_c\\");
  // Control characters, DEL included, and each byte outside ASCII become
  // '_' in both languages; the name is then written as one spelled so.
  EXPECT_EQ(host::tawn::identifier("a\x7f\tb", LANG::VHDL), "\\a__b\\");
  EXPECT_EQ(host::tawn::identifier("a\x7f\tb", LANG::VERILOG), "a__b");
  EXPECT_EQ(host::tawn::identifier("na\xc3\xafve", LANG::VHDL), "\\na__ve\\");
  EXPECT_EQ(host::tawn::identifier("x\xffy", LANG::VHDL), "x_y");
  EXPECT_EQ(host::tawn::identifier("x\xffy z", LANG::SYSTEM_VERILOG), "x_y_z");
  EXPECT_EQ(host::tawn::identifier("\xff", LANG::VERILOG), "_");
  EXPECT_EQ(host::tawn::identifier("", LANG::VHDL), "\\_\\");
  // A plain name is the same name in any case; an extended one only as written.
  EXPECT_EQ(host::tawn::identifier_key("IRQ", LANG::VHDL), "irq");
  EXPECT_EQ(host::tawn::identifier_key("\\IRQ\\", LANG::VHDL), "\\IRQ\\");
  // Verilog: case matters, keywords and other characters escape.
  EXPECT_EQ(host::tawn::identifier("IRQ", LANG::VERILOG), "IRQ");
  EXPECT_EQ(host::tawn::identifier("error", LANG::VERILOG), "error");
  EXPECT_EQ(host::tawn::identifier("wire", LANG::SYSTEM_VERILOG), "\\wire ");
  EXPECT_EQ(host::tawn::identifier("_a$1", LANG::VERILOG), "_a$1");
  for (const char* escaped : {"1a", "$a", "a-b", "a~1"}) {
    EXPECT_EQ(host::tawn::identifier(escaped, LANG::VERILOG), std::string("\\") + escaped + " ") << escaped;
    EXPECT_EQ(host::tawn::identifier(escaped, LANG::SYSTEM_VERILOG), std::string("\\") + escaped + " ") << escaped;
  }
  EXPECT_EQ(host::tawn::identifier("a[0]", LANG::VERILOG), "\\a[0] ");
  EXPECT_EQ(host::tawn::identifier_key("\\a[0] ", LANG::VERILOG), "a[0]");
  EXPECT_EQ(host::tawn::identifier_key("IRQ", LANG::VERILOG), "IRQ");
}

// Pins whose names have bytes replaced never take a name a port of the
// design spells: they take the next free "~<n>", in every language. The
// bus caf__ keeps its name beside café's bits and cafè; so does the pin
// caf__~1, whose name café would otherwise take next. A replaced name no
// port has is written as it reads (naïve), and a net named as a port is
// renamed whatever its bytes.
TEST(NetlistNames, AReplacedNameNeverTakesAPortsName) {
  const std::vector<const char*> ports = {"caf\xc3\xa9", "caf__", "caf\xc3\xa8", "caf__~1", "na\xc3\xafve"};
  const std::vector<const char*> spelled = {"caf__~2", "caf__", "caf__~3", "caf__~1", "na__ve"};
  for (LANG lang : {LANG::VERILOG, LANG::SYSTEM_VERILOG, LANG::VHDL}) {
    SCOPED_TRACE(static_cast<int>(lang));
    host::tawn::NAME_TABLE names(lang);
    for (const char* port : ports) names.add_port_name(port);
    names.add_name("caf__~4");  // a net's name: a suffix never takes it
    // The name an identifier stands for, \x\ and \x  as x.
    auto text = [](const std::string& id) { return id[0] == '\\' ? id.substr(1, id.size() - 2) : id; };
    for (std::size_t k = 0; k < ports.size(); ++k)
      EXPECT_EQ(text(names.take_port(ports[k])), spelled[k]) << spelled[k];
    EXPECT_EQ(text(names.take("caf__")), "caf__~5");
    EXPECT_EQ(text(names.take("caf\x01_")), "caf__~6");
  }
  // A port with bytes replaced may take a name only a net spells (ports
  // come first; the net is renamed); a net with bytes replaced takes no
  // name the design spells.
  host::tawn::NAME_TABLE nets(LANG::VHDL);
  nets.add_port_name("clk\tn");
  nets.add_name("clk_n");
  nets.add_name("x_y");
  EXPECT_EQ(nets.take_port("clk\tn"), "clk_n");
  EXPECT_EQ(nets.take("clk_n"), "\\clk_n~1\\");
  EXPECT_EQ(nets.take("x\xffy"), "\\x_y~1\\");
  EXPECT_EQ(nets.take("x_y"), "x_y");
  // A name the module holds is taken by no port or net.
  host::tawn::NAME_TABLE names(LANG::VERILOG);
  names.hold("top");
  EXPECT_EQ(names.take_port("top"), "\\top~1 ");
}

}  // namespace
