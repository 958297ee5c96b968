#include "testing/blif_design.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <random>
#include <sstream>

#include "dev/dev_grid.h"
#include "testing/host_test.h"
#include "testing/sim.h"
#include "vok/vok_atom_netlist.h"

using host::testing::HostTest;

namespace {

VOK_ATOM_NODE* atom_named(const std::string& name) {
  for (VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list())
    if (a->get_string_hpath() == name) return a;
  return nullptr;
}

// Random stimuli from a fixed seed.
std::vector<std::vector<bool>> stimuli(std::size_t inputs, int cycles, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::vector<bool>> s(static_cast<std::size_t>(cycles), std::vector<bool>(inputs));
  for (auto& c : s)
    for (std::size_t i = 0; i < inputs; ++i) c[i] = (rng() & 1u) != 0;
  return s;
}

// Loads the design and checks that the netlist behaves as the BLIF does.
void expect_equivalent(const std::string& text, int cycles) {
  std::istringstream in(text);
  const host::testing::BLIF_DESIGN d = host::testing::read_blif(in, "t.blif");
  host::testing::load_blif_design(d, "t.blif");
  std::vector<std::string> outs;
  for (const auto& o : d.outputs) outs.push_back("out:" + o);
  const auto s = stimuli(d.inputs.size(), cycles, 7);
  EXPECT_EQ(host::testing::simulate(*host::vok::top_netlist(), d.inputs, outs, s),
            host::testing::simulate_blif(d, d.inputs, d.outputs, s));
}

const char* kRegisters = R"(.model regs
.inputs clk d e r
.outputs q0 q1 q2 q3 q4 q5 q6
.latch d q0 re clk 1
.subckt $_DFF_N_ C=clk D=d Q=q1
.subckt $_DFFE_PN_ C=clk D=d E=e Q=q2
.subckt $_SDFF_PN0_ C=clk D=d R=r Q=q3
.subckt $_SDFFE_PP1P_ C=clk D=d E=e R=r Q=q4
.subckt $_SDFFE_PN1N_ C=clk D=d E=e R=r Q=q5
.subckt $_SDFFCE_PP0N_ C=clk D=d E=e R=r Q=q6
.end
)";

// Every flip-flop cell kind the reader maps: $_DFF_?_, $_DFFE_??_,
// $_SDFF_???_, $_SDFFE_????_ and $_SDFFCE_????_ (46 kinds), and a .latch
// that powers up high.
std::vector<std::string> register_kinds() {
  std::vector<std::string> kinds;
  const std::string pn = "PN", v = "01";
  for (char c : pn) kinds.push_back(std::string("$_DFF_") + c + "_");
  for (char c : pn)
    for (char e : pn) kinds.push_back(std::string("$_DFFE_") + c + e + "_");
  for (char c : pn)
    for (char r : pn)
      for (char x : v) kinds.push_back(std::string("$_SDFF_") + c + r + x + "_");
  for (const char* kind : {"$_SDFFE_", "$_SDFFCE_"})
    for (char c : pn)
      for (char r : pn)
        for (char x : v)
          for (char e : pn) kinds.push_back(kind + std::string{c, r, x, e, '_'});
  kinds.push_back(".latch");
  return kinds;
}

// What the cell does, cycle by cycle, from its name alone: with its reset
// active Q takes the reset value (for $_SDFFCE_ only while the enable is
// active too), else D while the enable is active, else Q stays. Inputs are
// clk d e r; one value of Q per cycle, before that cycle's clock edge.
std::vector<std::vector<bool>> expected_q(const std::string& kind, const std::vector<std::vector<bool>>& s) {
  const bool latch = kind == ".latch";
  const bool gated = kind.rfind("$_SDFFCE_", 0) == 0;
  const bool has_r = kind.rfind("$_SDFF", 0) == 0;
  const bool has_e = kind.rfind("$_DFFE_", 0) == 0 || kind.rfind("$_SDFFE_", 0) == 0 || gated;
  const std::string code = latch ? "" : kind.substr(kind.find('_', 2) + 1);  // after "$_KIND_"
  const bool r_low = has_r && code[1] == 'N';
  const bool value = has_r && code[2] == '1';
  const bool e_low = has_e && code[code.size() - 2] == 'N';
  bool q = latch;  // the .latch powers up high
  std::vector<std::vector<bool>> trace;
  for (const auto& c : s) {
    trace.push_back({q});
    const bool enabled = !has_e || c[2] != e_low;
    const bool reset = has_r && c[3] != r_low && (enabled || !gated);
    q = reset ? value : (enabled ? static_cast<bool>(c[1]) : q);
  }
  return trace;
}

}  // namespace

class BlifDesignTest : public HostTest {};

TEST_F(BlifDesignTest, CountsNamesAndMasksFollowTheCover) {
  host::testing::LOADED_DESIGN loaded;
  try {
  loaded = host::testing::load_blif_text(R"(.model small
.inputs a b c clk
.outputs y z
.names a b c n1
1-0 1
-11 1
.names n1 q y
0- 1
.names one
1
.latch n1 q re clk 0
.names q z
1 1
.end
)",
                                                    "small.blif");
  } catch (const host::testing::DESIGN_LOAD_ERROR& e) { FAIL() << e.what(); }
  EXPECT_EQ(loaded.name, "small");
  EXPECT_EQ(loaded.inputs, 4);
  EXPECT_EQ(loaded.outputs, 2);
  EXPECT_EQ(loaded.luts, 4);
  EXPECT_EQ(loaded.constants, 1);
  EXPECT_EQ(loaded.registers, 1);
  // 4 input pins (2 atoms each), 4 LUTs, 1 register, 2 output pins.
  EXPECT_EQ(host::vok::top_netlist()->size(), 8u + 4u + 1u + 4u);
  std::string why;
  EXPECT_TRUE(host::vok::top_netlist()->sanity_check(&why)) << why;

  VOK_ATOM_NODE* n1 = atom_named("n1");
  ASSERT_NE(n1, nullptr);
  EXPECT_TRUE(n1->is_lcell_comb());
  for (unsigned m = 0; m < 8; ++m) {
    const bool a = m & 1, b = m & 2, c = m & 4;
    EXPECT_EQ(host::lut_eval(n1->get_lutmask().get_value(), 3, m), (a && !c) || (b && c)) << m;
  }
  // y = not n1, whatever q is.
  VOK_ATOM_NODE* y = atom_named("y");
  ASSERT_NE(y, nullptr);
  for (unsigned m = 0; m < 4; ++m) EXPECT_EQ(host::lut_eval(y->get_lutmask().get_value(), 2, m), (m & 1) == 0) << m;
  EXPECT_TRUE(host::lut_eval(atom_named("one")->get_lutmask().get_value(), 0, 0));
  ASSERT_NE(atom_named("a~ibuf"), nullptr);
  EXPECT_TRUE(atom_named("a")->is_io_pad());
  EXPECT_TRUE(atom_named("out:y")->is_io_pad());
  EXPECT_TRUE(atom_named("out:y~obuf")->is_io_obuf());
  // The output buffer's data input is the pin's data (usage 9), where the
  // output-side delay chains act; the pad's own input is not.
  for (const char* out : {"out:y", "out:z"}) {
    SCOPED_TRACE(out);
    const VOK_ATOM_ITERM* data = atom_named(std::string(out) + "~obuf")->get_input_term_by_type(DB_INPUT_PORT_BOX, 0);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->is_used_as(9));
    EXPECT_FALSE(atom_named(out)->get_input_term_by_type(DB_INPUT_PORT_BOX, 0)->is_used_as(9));
  }
  // Atoms keep consecutive ids from 0.
  int id = 0;
  for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list()) EXPECT_EQ(a->get_id(), id++);
}

TEST_F(BlifDesignTest, RegistersMapClockEnableClearPolarityAndPowerUp) {
  host::testing::load_blif_text(kRegisters, "regs.blif");
  auto src = [](VOK_ATOM_NODE* a, DB_INPUT_PORT_TYPE t) -> std::string {
    const VOK_ATOM_ITERM* i = a->get_input_term_by_type(t, 0);
    if (!i || !i->get_source(VOK_TRAVERSE_AS_STORED)) return "-";
    return (i->is_inverted() ? "!" : "") + i->get_source(VOK_TRAVERSE_AS_STORED)->get_name();
  };
  VOK_ATOM_NODE* q0 = atom_named("q0");
  EXPECT_TRUE(q0->is_ff());
  EXPECT_TRUE(q0->powers_up());
  EXPECT_EQ(src(q0, DB_INPUT_PORT_CLK), "clk~ibuf");
  EXPECT_EQ(src(q0, DB_INPUT_PORT_DATA_IN), "d~ibuf");
  VOK_ATOM_NODE* q1 = atom_named("q1");
  EXPECT_FALSE(q1->powers_up());
  EXPECT_EQ(src(q1, DB_INPUT_PORT_CLK), "!clk~ibuf");
  EXPECT_EQ(src(atom_named("q2"), DB_INPUT_PORT_ENA), "!e~ibuf");
  VOK_ATOM_NODE* q3 = atom_named("q3");
  EXPECT_EQ(src(q3, DB_INPUT_PORT_SCLR), "!r~ibuf");
  EXPECT_EQ(src(q3, DB_INPUT_PORT_ENA), "-");
  // A reset to 1 goes through LUTs in front of D and CE; no clear input.
  VOK_ATOM_NODE* q4 = atom_named("q4");
  EXPECT_EQ(src(q4, DB_INPUT_PORT_DATA_IN), "q4~d");
  EXPECT_EQ(src(q4, DB_INPUT_PORT_ENA), "q4~ce");
  EXPECT_EQ(src(q4, DB_INPUT_PORT_SCLR), "-");
  EXPECT_EQ(src(atom_named("q5"), DB_INPUT_PORT_ENA), "q5~ce");
  // A reset that acts only with the enable: a LUT in front of D, the
  // enable (low-active here) the register's own, no clear input.
  VOK_ATOM_NODE* q6 = atom_named("q6");
  EXPECT_EQ(src(q6, DB_INPUT_PORT_DATA_IN), "q6~d");
  EXPECT_EQ(src(q6, DB_INPUT_PORT_ENA), "!e~ibuf");
  EXPECT_EQ(src(q6, DB_INPUT_PORT_SCLR), "-");
}

class LoadedRegisterTest : public HostTest, public ::testing::WithParamInterface<std::string> {};

// The loaded register (with its helper LUTs) and the BLIF simulation both
// follow the cell's own meaning, and the loader makes the helper LUTs a
// reset to 1 or a reset gated by the enable needs.
TEST_P(LoadedRegisterTest, LoadedRegistersBehaveAsTheirCells) {
  const std::string& kind = GetParam();
  const std::string cell = kind == ".latch" ? ".latch d q re clk 1\n"
                           : kind.rfind("$_SDFFE", 0) == 0 || kind.rfind("$_SDFFC", 0) == 0
                               ? ".subckt " + kind + " C=clk D=d E=e R=r Q=q\n"
                           : kind.rfind("$_SDFF_", 0) == 0 ? ".subckt " + kind + " C=clk D=d R=r Q=q\n"
                           : kind.rfind("$_DFFE_", 0) == 0 ? ".subckt " + kind + " C=clk D=d E=e Q=q\n"
                                                           : ".subckt " + kind + " C=clk D=d Q=q\n";
  std::istringstream in(".model one\n.inputs clk d e r\n.outputs q\n" + cell + ".end\n");
  const host::testing::BLIF_DESIGN d = host::testing::read_blif(in, "one.blif");
  const host::testing::LOADED_DESIGN loaded = host::testing::load_blif_design(d, "one.blif");
  const bool gated = kind.rfind("$_SDFFCE_", 0) == 0;
  const bool reset_to_one = kind.rfind("$_SDFF", 0) == 0 && kind[kind.size() - (gated || kind[6] == 'E' ? 3 : 2)] == '1';
  const bool enable = kind.rfind("$_DFFE_", 0) == 0 || kind.rfind("$_SDFFE_", 0) == 0;
  EXPECT_EQ(loaded.helper_luts, gated ? 1 : reset_to_one ? (enable ? 2 : 1) : 0);
  const auto s = stimuli(4, 200, 7);
  const auto want = expected_q(kind, s);
  EXPECT_EQ(host::testing::simulate_blif(d, d.inputs, {"q"}, s), want);
  EXPECT_EQ(host::testing::simulate(*host::vok::top_netlist(), d.inputs, {"out:q"}, s), want);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, LoadedRegisterTest, ::testing::ValuesIn(register_kinds()),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                           std::string name;
                           for (char c : p.param)
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           return name;
                         });

TEST_F(BlifDesignTest, LoadedRegistersTogetherBehaveAsTheirBlif) { expect_equivalent(kRegisters, 200); }

TEST_F(BlifDesignTest, LoadedBenchmarksBehaveAsTheirBlif) {
  for (const char* f : {"/yosys/fir8.blif", "/yosys/crc32x8.blif", "/mcnc/s298.blif"}) {
    SCOPED_TRACE(f);
    const std::string path = std::string(VELMO_DESIGNS_DIR) + f;
    const auto d = host::testing::read_blif_file(path);
    host::testing::load_blif_design(d, path);
    std::vector<std::string> outs;
    for (const auto& o : d.outputs) outs.push_back("out:" + o);
    const auto s = stimuli(d.inputs.size(), 40, 11);
    EXPECT_EQ(host::testing::simulate(*host::vok::top_netlist(), d.inputs, outs, s),
              host::testing::simulate_blif(d, d.inputs, d.outputs, s));
    // Next design into an empty world.
    for (VOK_ATOM_NODE* a : std::vector<VOK_ATOM_NODE*>(host::vok::top_netlist()->get_atom_list().begin(),
                                                        host::vok::top_netlist()->get_atom_list().end()))
      host::vok::top_netlist()->remove(a);
  }
}

TEST_F(BlifDesignTest, ABadFileLoadsNothing) {
  const int next_id = VOK_ATOM_NODE::s_next_id;
  // A reading error, a loop. (A net named like a buffer the loader makes is
  // no clash: the loader's own atoms take other names.)
  const std::vector<std::pair<std::string, std::string>> bad = {
      {".model m\n.inputs a\n.outputs y\n.names a y\n1 1\n.names a b y\n11 1\n", "bad.blif:6:"},
      {".model m\n.inputs a\n.outputs y\n.names a z y\n11 1\n.names y z\n1 1\n", "bad.blif:4: combinational loop"},
      // A cell the register model cannot map is named.
      {".model m\n.inputs c d s r\n.outputs q\n.subckt $_DFFSR_PPP_ C=c D=d S=s R=r Q=q\n",
       "bad.blif:4: unsupported cell '$_DFFSR_PPP_'"},
  };
  for (const auto& [text, want] : bad) {
    try {
      host::testing::load_blif_text(text, "bad.blif");
      ADD_FAILURE() << "loaded: " << text;
    } catch (const host::testing::DESIGN_LOAD_ERROR& e) {
      EXPECT_THAT(e.what(), ::testing::StartsWith(want));
    }
    EXPECT_TRUE(host::vok::top_netlist()->empty());
    EXPECT_EQ(VOK_ATOM_NODE::s_next_id, next_id);
  }
  try {
    host::testing::load_blif_file("/nonexistent/x.blif");
    ADD_FAILURE();
  } catch (const host::testing::DESIGN_LOAD_ERROR& e) {
    EXPECT_EQ(e.what(), "/nonexistent/x.blif: cannot open the file: No such file or directory");
  }
  // A second design does not go on top of the first.
  host::testing::load_blif_text(".model m\n.inputs a\n.outputs a\n", "one.blif");
  EXPECT_THROW(host::testing::load_blif_text(".model m\n.inputs b\n.outputs b\n", "two.blif"),
               host::testing::DESIGN_LOAD_ERROR);
  EXPECT_EQ(host::vok::top_netlist()->size(), 4u);
}

TEST_F(BlifDesignTest, DeviceIsSizedToTheDesign) {
  host::testing::RESOURCE_COUNTS small;
  small.luts = 10;
  small.pins = 4;
  const DeviceSpec s0 = host::testing::size_device(small, 46);
  EXPECT_EQ(s0.nx, 12);
  EXPECT_EQ(s0.ny, 10);
  EXPECT_EQ(s0.family, 46);

  host::testing::RESOURCE_COUNTS big;
  big.luts = 3000;
  big.registers = 900;
  big.pins = 20;
  const DeviceSpec s1 = host::testing::size_device(big, 48);
  EXPECT_EQ(s1, host::testing::size_device(big, 48));
  const DEV_GRID g(s1);
  int labs = 0, pins = 0;
  for (int y = 0; y < g.ny(); ++y)
    for (int x = 0; x < g.nx(); ++x) {
      labs += g.tile_kind(x, y) == DEV_TILE_KIND::LAB;
      pins += g.tile_kind(x, y) == DEV_TILE_KIND::PAD ? 2 : 0;
    }
  EXPECT_GE(labs * 20 * 0.6, 3000.0);
  EXPECT_GE(pins, 20);
  // One step smaller would not do.
  DeviceSpec smaller = s1;
  smaller.nx -= 1;
  smaller.ny -= 1;
  const DEV_GRID g2(smaller);
  int labs2 = 0;
  for (int y = 0; y < g2.ny(); ++y)
    for (int x = 0; x < g2.nx(); ++x) labs2 += g2.tile_kind(x, y) == DEV_TILE_KIND::LAB;
  EXPECT_LT(labs2 * 20 * 0.6, 3000.0);
}

// The placer may spread a design over the device's LABs, to its share of
// them with 5 % to spare (it does where routing demand asks for it): on a
// device wider than it needs, to half the limit.
TEST_F(BlifDesignTest, ADesignMaySpreadOverTheRoomOfAWiderDevice) {
  using host::testing::kFitLabAtomLimit;
  const auto fit_lab_atom_limit = [] {
    const host::placement::PLACER_OPTIONS o = host::testing::fit_placer_options();
    EXPECT_EQ(o.lab_atom_limit, kFitLabAtomLimit);
    return o.spread_limit > 0 ? o.spread_limit : o.lab_atom_limit;
  };
  for (const int registers : {4600, 400}) {
    SCOPED_TRACE(registers);
    std::string text = ".model wide\n.inputs clk d\n.outputs q" + std::to_string(registers - 1) + "\n";
    for (int i = 0; i < registers; ++i)
      text += ".latch " + (i ? "q" + std::to_string(i - 1) : std::string("d")) + " q" + std::to_string(i) + " re clk 0\n";
    std::istringstream in(text + ".end\n");
    if (registers < 4600) {  // a fresh world for the second design
      TearDown();
      SetUp();
    }
    host::testing::load_blif_design(host::testing::read_blif(in, "wide.blif"), "wide.blif");
    std::string why;
    ASSERT_TRUE(host::testing::configure_fit_device(46, &why)) << why;
    const int sized = host::device::spec().nx;
    for (const int wider : {0, 2, 12}) {
      if (wider > 0) ASSERT_TRUE(host::testing::configure_fit_device(46, &why, sized + wider)) << why;
      const int labs = host::testing::grid_capacity(host::device::spec()).labs;
      const int spread = std::max(kFitLabAtomLimit / 2, static_cast<int>(std::ceil(1.05 * registers / labs)));
      EXPECT_EQ(fit_lab_atom_limit(), std::min(spread, kFitLabAtomLimit)) << wider;
      if (registers > 4050 && wider == 12) {
        EXPECT_LT(fit_lab_atom_limit(), kFitLabAtomLimit - 1);
      }
    }
    // The registers duplication may add take their share of the LABs too.
    ASSERT_TRUE(host::testing::configure_fit_device(46, &why, sized + 12, registers)) << why;
    const int labs = host::testing::grid_capacity(host::device::spec()).labs;
    EXPECT_EQ(fit_lab_atom_limit(),
              std::clamp(static_cast<int>(std::ceil(1.05 * 2 * registers / labs)), kFitLabAtomLimit / 2, kFitLabAtomLimit));
  }
}

// The sizer counts capacities without building grids: its counts must be the
// grid's own, for any size, column layout and pins per pad tile.
TEST_F(BlifDesignTest, GridCapacityMatchesTheBuiltGrid) {
  for (int pins_per_tile : {1, 2, 8})
    for (int k : {0, 1, 5, 13, 30}) {
      DeviceSpec spec;
      host::testing::SIZING sizing;
      sizing.pins_per_pad_tile = pins_per_tile;
      sizing.max_columns = 12 + k;  // the largest grid is grid k
      host::testing::RESOURCE_COUNTS huge;
      huge.luts = 1 << 30;
      std::string why;
      ASSERT_FALSE(host::testing::solve_device_size(huge, 46, sizing, &spec, &why));
      spec = host::testing::sizing_series_spec(k, 46, sizing);
      const DEV_GRID g(spec);
      host::testing::GRID_CAPACITY want;
      for (int y = 0; y < g.ny(); ++y)
        for (int x = 0; x < g.nx(); ++x) switch (g.tile_kind(x, y)) {
            case DEV_TILE_KIND::LAB: ++want.labs; break;
            case DEV_TILE_KIND::DSP: ++want.dsps; break;
            case DEV_TILE_KIND::RAM: ++want.rams; break;
            case DEV_TILE_KIND::PAD: want.pins += g.pins_per_pad_tile(); break;
            default: break;
          }
      const host::testing::GRID_CAPACITY got = host::testing::grid_capacity(spec);
      EXPECT_EQ(got.labs, want.labs) << "k " << k;
      EXPECT_EQ(got.dsps, want.dsps) << "k " << k;
      EXPECT_EQ(got.rams, want.rams) << "k " << k;
      EXPECT_EQ(got.pins, want.pins) << "k " << k << " pins per tile " << pins_per_tile;
      // The message names the largest grid.
      EXPECT_NE(why.find("(" + std::to_string(12 + k) + " x " + std::to_string(10 + k) + " tiles)"), std::string::npos)
          << why;
    }
}

// The solved grid is the smallest of the series that holds the design, for
// designs bound by each resource in turn.
TEST_F(BlifDesignTest, SolvedGridIsTheSmallestThatHoldsTheDesign) {
  host::testing::SIZING sizing;
  sizing.lab_atom_limit = 14;
  sizing.pins_per_pad_tile = 8;
  auto labs_needed = [](const host::testing::RESOURCE_COUNTS& c) {
    return std::max({c.luts / 20.0 / 0.6, c.registers / 40.0 / 0.6, (c.luts + c.registers) / (0.9 * 14)});
  };
  auto holds = [&](const DeviceSpec& s, const host::testing::RESOURCE_COUNTS& c) {
    const host::testing::GRID_CAPACITY g = host::testing::grid_capacity(s);
    return g.labs >= std::ceil(labs_needed(c) - 1e-9) && g.pins >= c.pins && g.dsps >= c.dsps && g.rams >= c.rams;
  };
  std::vector<host::testing::RESOURCE_COUNTS> designs(5);
  designs[0].luts = 11712, designs[0].registers = 3544, designs[0].pins = 544;  // logic-bound
  designs[1].luts = 100, designs[1].pins = 1500;                                 // pin-bound
  designs[2].luts = 100, designs[2].dsps = 90;                                   // DSP-bound
  designs[3].luts = 100, designs[3].rams = 150;                                  // RAM-bound
  designs[4].registers = 30000;                                                  // register-bound
  for (const auto& c : designs) {
    DeviceSpec s;
    std::string why;
    ASSERT_TRUE(host::testing::solve_device_size(c, 46, sizing, &s, &why)) << why;
    EXPECT_EQ(s.nx, s.ny + 2);
    EXPECT_EQ(s.pins_per_pad_tile, 8);
    EXPECT_EQ(s.routing_tracks, sizing.routing_tracks);
    EXPECT_TRUE(holds(s, c)) << s.nx;
    // One step smaller does not hold it (the series starts at 12 x 10).
    if (s.nx > 12) {
      host::testing::SIZING smaller = sizing;
      smaller.max_columns = s.nx - 1;
      DeviceSpec t;
      EXPECT_FALSE(host::testing::solve_device_size(c, 46, smaller, &t, &why)) << s.nx;
    }
  }
  // Eight pins per pad tile: the logic-bound design's grid is far smaller
  // than two per tile would make it.
  DeviceSpec eight, two;
  std::string why;
  host::testing::SIZING two_pins = sizing;
  two_pins.pins_per_pad_tile = 2;
  ASSERT_TRUE(host::testing::solve_device_size(designs[0], 46, sizing, &eight, &why));
  ASSERT_TRUE(host::testing::solve_device_size(designs[0], 46, two_pins, &two, &why));
  EXPECT_EQ(eight.nx, 44);
  EXPECT_GT(two.nx, 2 * eight.nx);
}

// A design beyond the largest grid: each resource that does not fit is
// named with what it needs and what the largest grid has, the others not.
TEST_F(BlifDesignTest, ADesignBeyondTheLargestGridNamesWhatDoesNotFit) {
  host::testing::SIZING sizing;
  sizing.pins_per_pad_tile = 8;
  host::testing::RESOURCE_COUNTS c;
  c.luts = 10;
  c.pins = 40000;
  c.plls = 5;
  DeviceSpec s;
  std::string why;
  EXPECT_FALSE(host::testing::solve_device_size(c, 46, sizing, &s, &why));
  EXPECT_NE(why.find("largest device (120 x 118 tiles)"), std::string::npos) << why;
  EXPECT_NE(why.find("40000 I/O pins, it has 2800"), std::string::npos) << why;
  EXPECT_NE(why.find("5 PLLs, it has 4"), std::string::npos) << why;
  EXPECT_EQ(why.find("LUTs"), std::string::npos) << why;
  EXPECT_EQ(why.find("DSP"), std::string::npos) << why;
  c.pins = 2800;
  c.plls = 4;
  EXPECT_TRUE(host::testing::solve_device_size(c, 46, sizing, &s, &why));
  EXPECT_EQ(s.nx, 120);
  EXPECT_THROW(host::testing::size_device(host::testing::RESOURCE_COUNTS{0, 0, 0, 0, 0, 5}, 46), std::length_error);
}

// Larger designs get a wider fabric: the tracks stay at the base up to the
// reference LAB count, then grow slowly and steadily with the LABs needed,
// up to a cap; the grid itself does not depend on them.
TEST_F(BlifDesignTest, RoutingTracksGrowWithTheLogicBeyondTheReference) {
  using host::testing::scaled_routing_tracks;
  EXPECT_EQ(scaled_routing_tracks(24, 100, 450), 24);
  EXPECT_EQ(scaled_routing_tracks(24, 450, 450), 24);
  EXPECT_EQ(scaled_routing_tracks(24, 5000, 0), 24);  // no reference: fixed
  int last = 24;
  for (double labs = 500; labs <= 20000; labs *= 1.5) {
    const int t = scaled_routing_tracks(24, labs, 450);
    EXPECT_GE(t, last) << labs;
    EXPECT_LE(t, 40) << labs;
    // Far below linear: doubling the LABs adds at most a quarter.
    EXPECT_LE(scaled_routing_tracks(24, 2 * labs, 450), std::ceil(t * 1.24)) << labs;
    last = t;
  }
  EXPECT_GT(scaled_routing_tracks(24, 900, 450), 24);
  EXPECT_EQ(last, 40);

  host::testing::SIZING sizing;
  sizing.routing_tracks = 24;
  sizing.lab_atom_limit = 10;
  sizing.pins_per_pad_tile = 8;
  host::testing::SIZING scaled = sizing;
  scaled.track_reference_labs = 450;
  host::testing::RESOURCE_COUNTS small, large;
  small.luts = 2900, small.registers = 890, small.pins = 136;      // one copy of frisc
  large.luts = 11712, large.registers = 3544, large.pins = 544;    // four copies
  for (const auto& c : {small, large}) {
    DeviceSpec fixed, grown;
    std::string why;
    ASSERT_TRUE(host::testing::solve_device_size(c, 46, sizing, &fixed, &why)) << why;
    ASSERT_TRUE(host::testing::solve_device_size(c, 46, scaled, &grown, &why)) << why;
    EXPECT_EQ(grown.nx, fixed.nx);
    EXPECT_EQ(fixed.routing_tracks, 24);
    const double labs = (c.luts + c.registers) / 9.0;
    EXPECT_EQ(grown.routing_tracks, scaled_routing_tracks(24, labs, 450));
  }
  DeviceSpec s;
  std::string why;
  ASSERT_TRUE(host::testing::solve_device_size(small, 46, scaled, &s, &why));
  EXPECT_EQ(s.routing_tracks, 24);
  // Four copies of frisc did not converge at 24 tracks; they route at 32.
  ASSERT_TRUE(host::testing::solve_device_size(large, 46, scaled, &s, &why));
  EXPECT_GE(s.routing_tracks, 32);
}
