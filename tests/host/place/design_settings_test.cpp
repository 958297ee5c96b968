#include "zel/zel_clkbuf_util.h"
#include "wump/wump_die_info.h"
#include "dev/dev_grid.h"
#include "testing/design_builder.h"
#include "testing/design_settings.h"

#include "cfg/cfg.h"
#include "omz/omz_option.h"
#include "sta/sta_analysis.h"
#include "testing/blif_design.h"
#include "testing/host_test.h"

using host::testing::DESIGN_SETTINGS_ERROR;
using host::testing::HostTest;

class DesignSettingsTest : public HostTest {};

// The message settings text is refused with, "no error" when accepted.
static std::string error_of(const std::string& text) {
  try {
    host::testing::parse_design_settings(text, "s.json");
  } catch (const DESIGN_SETTINGS_ERROR& e) {
    return std::string(e.what());
  }
  return std::string("no error");
}

TEST_F(DesignSettingsTest, SettingsApplyOptionsAssignmentsAndConfiguration) {
  host::testing::load_blif_text(".model m\n.inputs clk d\n.outputs q\n.latch d q re clk 0\n", "m.blif");
  const auto s = host::testing::parse_design_settings(R"({
    "family": 48,
    "options": [{"id": 816, "type": 1, "value": "on"}, {"id": 904, "type": 4, "value": 7}],
    "assignments": [{"instance": "q", "id": 1032, "type": 6, "value": "3"}],
    "cfg": {"velmo_x": "off", "velmo_y": 5},
    "clocks": {"clk": 2000}
  })",
                                                      "s.json");
  EXPECT_EQ(s.family, 48);
  EXPECT_EQ(s.clocks.at("clk"), 2000);
  host::testing::apply_design_settings(s, *host::vok::top_netlist(), "s.json");
  const OMZ_OPTION* o = OMZ_DERIVED_OPTION::get_single_option("", 816, true);
  ASSERT_NE(o, nullptr);
  EXPECT_TRUE(o->get_bool_value());
  EXPECT_EQ(OMZ_DERIVED_OPTION::get_single_option("", 904, true)->get_value(), 7);
  ASSERT_NE(OMZ_DERIVED_OPTION::get_single_option("q", 1032, false), nullptr);
  EXPECT_EQ(OMZ_DERIVED_OPTION::get_single_option("q", 1032, false)->get_value(), 3);
  EXPECT_EQ(OMZ_DERIVED_OPTION::get_single_option("", 1032, false), nullptr);
  EXPECT_FALSE(cfg_is_on("velmo_x", true));
  EXPECT_EQ(cfg_get_int_value("velmo_y", 0), 5);
  ASSERT_EQ(host::timing::clocks().size(), 1u);
  EXPECT_EQ(host::timing::clocks()[0].name, "clk");
  EXPECT_EQ(host::timing::clocks()[0].period_ps, 2000);
}

TEST_F(DesignSettingsTest, ErrorsNameTheKeyAndApplyNothing) {
  EXPECT_EQ(error_of(R"({"famly": 46})"), "s.json: unknown key 'famly'");
  EXPECT_EQ(error_of(R"({"options": [{"id": 1, "value": "on", "typ": 1}]})"),
            "s.json: unknown key 'typ' in options[0]");
  EXPECT_EQ(error_of(R"({"options": [{"id": 1, "type": 2, "value": "on"}]})"),
            "s.json: options[0].type must be 1, 4 or 6");
  EXPECT_EQ(error_of(R"({"options": [{"type": 1, "value": "on"}]})"), "s.json: options[0] needs an 'id'");
  EXPECT_EQ(error_of(R"({"assignments": [{"id": 1, "value": "x"}]})"), "s.json: assignments[0] needs an 'instance'");
  EXPECT_EQ(error_of(R"({"partitions": {}})"), "s.json: partitions must be a list");
  EXPECT_EQ(error_of(R"({"clocks": {"clk": -5}})"), "s.json: clocks.clk is out of range (1 to 100000000)");
  EXPECT_EQ(error_of(R"({"family": "KY"})"), "s.json: family must be an integer");
  EXPECT_EQ(error_of("[1, 2]"), "s.json: the settings must be a JSON object");
  EXPECT_EQ(error_of(R"({"periphery": [{"name": "u", "kind": "PLL", "site": [3, 9], "inputs": ["d"]}]})"),
            "s.json: periphery[0].kind must be \"UIB\" or \"ESRAM\"");
  EXPECT_EQ(error_of(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3], "inputs": ["d"]}]})"),
            "s.json: periphery[0].site must be [x, y]");
  EXPECT_EQ(error_of(R"({"periphery": [{"name": "u", "kind": "UIB", "inputs": ["d"]}]})"),
            "s.json: periphery[0] needs a 'site'");
  EXPECT_EQ(error_of(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9]}]})"),
            "s.json: periphery[0] connects no net");
  EXPECT_EQ(error_of(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "inputs": ["a","b","c","d","e"]}]})"),
            "s.json: periphery[0].inputs has more than 4 nets (a block has 4 ports each way)");
  EXPECT_EQ(error_of(R"({"lpclk": "clk"})"), "s.json: lpclk must be a list of clock nets");
  EXPECT_THAT(error_of("{\"family\": 4"), ::testing::StartsWith("s.json: not valid JSON: "));

  // Checks against the design come before anything is applied.
  host::testing::load_blif_text(".model m\n.inputs clk d\n.outputs q\n.latch d q re clk 0\n", "m.blif");
  const auto s = host::testing::parse_design_settings(
      R"({"cfg": {"velmo_z": "1"}, "options": [{"id": 816, "type": 1, "value": "on"}], "clocks": {"clock": 1000}})",
      "s.json");
  try {
    host::testing::apply_design_settings(s, *host::vok::top_netlist(), "s.json");
    ADD_FAILURE();
  } catch (const DESIGN_SETTINGS_ERROR& e) {
    EXPECT_STREQ(e.what(), "s.json: clock 'clock' is no net of the design");
  }
  EXPECT_FALSE(host::cfg::is_set("velmo_z"));
  EXPECT_EQ(OMZ_DERIVED_OPTION::get_single_option("", 816, true), nullptr);
  EXPECT_TRUE(host::timing::clocks().empty());
  const auto a = host::testing::parse_design_settings(
      R"({"assignments": [{"instance": "nope", "id": 1, "value": "on"}]})", "s.json");
  EXPECT_THROW(host::testing::apply_design_settings(a, *host::vok::top_netlist(), "s.json"), DESIGN_SETTINGS_ERROR);
}

// Every number has a range and every value its type; nothing wraps.
TEST_F(DesignSettingsTest, NumbersInTheirRangesValuesOfTheirTypesKeysOnce) {
  EXPECT_EQ(error_of(R"({"family": 18446744073709551615})"), "s.json: family is out of range");
  EXPECT_EQ(error_of(R"({"family": 9223372036854775808})"), "s.json: family is out of range");
  EXPECT_EQ(error_of(R"({"family": 0})"), "s.json: family is out of range (1 to 2147483647)");
  EXPECT_EQ(error_of(R"({"clocks": {"clk": 100000001}})"), "s.json: clocks.clk is out of range (1 to 100000000)");
  EXPECT_EQ(error_of(R"({"clocks": {"clk": 100000000}})"), "no error");
  EXPECT_EQ(error_of(R"({"clocks": {"c": 9}, "io_delays": {"d": {"clock": "c", "max": 2147483647, "min": 0}}})"),
            "s.json: io_delays.d.max is out of range (-100000000 to 100000000)");
  EXPECT_EQ(error_of(R"({"clocks": {"c": 9}, "io_delays": {"d": {"clock": "c", "max": 0, "min": -100000001}}})"),
            "s.json: io_delays.d.min is out of range (-100000000 to 100000000)");
  EXPECT_EQ(error_of(R"({"eda": {"netlist_type": 5}})"), "s.json: eda.netlist_type is out of range (2 to 4)");
  EXPECT_EQ(error_of(R"({"device_columns": 121})"), "s.json: device_columns is out of range (12 to 120)");
  EXPECT_EQ(error_of(R"({"options": [{"id": 65536, "type": 1, "value": "on"}]})"),
            "s.json: options[0].id is out of range (0 to 65535)");
  EXPECT_EQ(error_of(R"({"options": [{"id": 904, "type": 4, "value": "seven"}]})"),
            "s.json: options[0].value 'seven' is no integer within int (type 4)");
  EXPECT_EQ(error_of(R"({"options": [{"id": 904, "type": 4, "value": 4294967295}]})"),
            "s.json: options[0].value '4294967295' is no integer within int (type 4)");
  EXPECT_EQ(error_of(R"({"assignments": [{"instance": "q", "id": 1177, "type": 6, "value": "70000"}]})"),
            "s.json: assignments[0].value 70000 is out of range (0 to 65535, type 6)");
  EXPECT_EQ(error_of(R"({"options": [{"id": 816, "type": 1, "value": "maybe"}]})"),
            "s.json: options[0].value 'maybe' is no boolean (type 1)");
  EXPECT_EQ(error_of(R"({"clocks": {"clk": 1000, "clk": 2000}})"), "s.json: the key 'clk' is given twice in one object");
  EXPECT_EQ(error_of(R"({"partitions": [{"name": "p", "atoms": ["q"], "vantrel_preserve": "AUTOMATIC"}]})"),
            "s.json: partitions[0].vantrel_preserve must be AUTO or OFF, not 'AUTOMATIC'");
  // A configuration value beyond 2^63 keeps its digits (the store then
  // refuses to read it as an int).
  const auto big = host::testing::parse_design_settings(R"({"cfg": {"velmo_n": 18446744073709551615}})", "s.json");
  EXPECT_EQ(big.cfg.at("velmo_n"), "18446744073709551615");
  for (const auto& r : host::testing::setting_ranges()) {
    EXPECT_LE(r.low, r.high) << r.key;
    EXPECT_EQ(host::testing::setting_range(r.key), &r);
  }

  // Names the design does not have as asked.
  host::testing::load_blif_text(".model m\n.inputs clk d\n.outputs q\n.latch d q re clk 0\n", "m.blif");
  auto apply_error = [](const std::string& text) {
    try {
      const auto s = host::testing::parse_design_settings(text, "s.json");
      host::testing::apply_design_settings(s, *host::vok::top_netlist(), "s.json");
    } catch (const DESIGN_SETTINGS_ERROR& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(apply_error(R"({"clocks": {"clk": 1000, "clk~ibuf": 2000}})"),
            "s.json: clocks 'clk' and 'clk~ibuf' name the same net");
  EXPECT_EQ(apply_error(R"({"global_clocks": ["d"]})"), "s.json: global clock 'd' clocks no register");
  EXPECT_EQ(apply_error(R"({"global_clocks": ["clk"]})"), "no error");
}

TEST_F(DesignSettingsTest, PeripheryBlocksAndLowPowerClockBuffersJoinTheDesign) {
  host::testing::load_blif_text(
      ".model m\n.inputs clk d\n.outputs q\n.latch d a re clk 0\n.latch a q re clk 0\n.latch b c re clk 0\n"
      ".names c b\n1 1\n.end\n",
      "m.blif");
  // Checked against the design before anything is added.
  auto apply_error = [&](const std::string& text) {
    try {
      host::testing::apply_design_settings(host::testing::parse_design_settings(text, "s.json"), *host::vok::top_netlist(),
                                           "s.json");
    } catch (const DESIGN_SETTINGS_ERROR& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  const std::size_t atoms = host::vok::top_netlist()->get_atom_list().size();
  EXPECT_EQ(apply_error(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "inputs": ["x"]}]})"),
            "s.json: periphery block 'u' names 'x', which is no net of the design");
  EXPECT_EQ(apply_error(R"({"periphery": [{"name": "q", "kind": "UIB", "site": [3, 9], "outputs": ["d"]}]})"),
            "s.json: periphery block 'q' has the name of another instance");
  EXPECT_EQ(apply_error(R"({"lpclk": ["clk", "clk"]})"), "s.json: lpclk 'clk' is given twice");
  EXPECT_EQ(apply_error(R"({"lpclk": ["nothing"]})"), "s.json: lpclk names 'nothing', which is no net of the design");
  // Its buffer reaches its loads only over a clock network: a net that
  // clocks no register is refused (a design input by its pin or its buffer).
  EXPECT_EQ(apply_error(R"({"lpclk": ["d"]})"), "s.json: lpclk 'd' clocks no register");
  EXPECT_EQ(apply_error(R"({"lpclk": ["d~ibuf"]})"), "s.json: lpclk 'd~ibuf' clocks no register");
  EXPECT_EQ(apply_error(R"({"lpclk": ["b"]})"), "s.json: lpclk 'b' clocks no register");
  // Settings that would change the netlist other than asked: a block feeding
  // itself (a design input by its buffer too), a net taken over twice, two
  // clock buffers in series.
  EXPECT_EQ(apply_error(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "inputs": ["b"],
                                          "outputs": ["b"]}]})"),
            "s.json: periphery block 'u' reads and drives the net 'b': the block would feed itself");
  EXPECT_EQ(apply_error(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "inputs": ["d"],
                                          "outputs": ["d~ibuf"]}]})"),
            "s.json: periphery block 'u' reads and drives the net 'd~ibuf': the block would feed itself");
  EXPECT_EQ(apply_error(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "outputs": ["a"]},
                                         {"name": "v", "kind": "UIB", "site": [6, 9], "outputs": ["a"]}]})"),
            "s.json: periphery block 'v' takes over the net 'a', which periphery block 'u' has taken over already");
  EXPECT_EQ(apply_error(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "outputs": ["d", "d~ibuf"]}]})"),
            "s.json: periphery block 'u' takes over the net 'd~ibuf', which periphery block 'u' has taken over already");
  EXPECT_EQ(apply_error(R"({"lpclk": ["clk", "clk~ibuf"]})"),
            "s.json: lpclk 'clk~ibuf' names the net lpclk 'clk' has taken over already (two buffers in series)");
  EXPECT_EQ(apply_error(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "outputs": ["clk"]}],
                            "lpclk": ["clk"]})"),
            "s.json: lpclk 'clk' names the net periphery block 'u' has taken over already");
  EXPECT_EQ(host::vok::top_netlist()->get_atom_list().size(), atoms);
  const auto s = host::testing::parse_design_settings(R"({
    "periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "inputs": ["a", "d"], "outputs": ["b"]},
                  {"name": "e", "kind": "ESRAM", "site": [7, 9], "inputs": ["q"]}],
    "lpclk": ["clk"]})", "s.json");
  const VOK_ATOM_NETLIST& n = *host::vok::top_netlist();
  host::testing::apply_design_settings(s, n, "s.json");
  auto atom = [&](const std::string& name) -> VOK_ATOM_NODE* {
    for (VOK_ATOM_NODE* a : n.get_atom_list())
      if (a->get_string_hpath() == name) return a;
    return nullptr;
  };
  VOK_ATOM_NODE* u = atom("u");
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->get_kind(), VOK_ATOM_KIND::UFI_UIB);
  EXPECT_EQ(atom("e")->get_kind(), VOK_ATOM_KIND::UFI_ESRAM);
  auto source = [](VOK_ATOM_NODE* a, DB_INPUT_PORT_TYPE port, int i) {
    const VOK_ATOM_OTERM* o = a->get_input_term_by_type(port, i)->get_source(VOK_TRAVERSE_AS_STORED);
    return o ? o->get_my_node()->get_string_hpath() : std::string();
  };
  // Inputs tap their nets (a design input by its buffer), the output takes
  // the net's loads.
  EXPECT_EQ(source(u, DB_INPUT_PORT_DATA_IN, 0), "a");
  EXPECT_EQ(source(u, DB_INPUT_PORT_DATA_IN, 1), "d~ibuf");
  EXPECT_EQ(source(atom("c"), DB_INPUT_PORT_DATA_IN, 0), "u");
  EXPECT_EQ(atom("b")->get_output_term_by_type(DB_OUTPUT_PORT_COMB, 0)->get_first_fanout(VOK_TRAVERSE_AS_STORED), nullptr);
  EXPECT_EQ(source(atom("q"), DB_INPUT_PORT_DATA_IN, 0), "a");  // still fed, and feeding e
  // The clock reaches every register through the LPCLK buffer.
  VOK_ATOM_NODE* lp = atom("clk~lpclk");
  ASSERT_NE(lp, nullptr);
  EXPECT_TRUE(lp->is_clkbuf());
  EXPECT_EQ(ZEL_CLKBUF_UTIL::get_clock_type(lp), ZEL_CLKBUF_UTIL::LPCLK);
  for (const char* r : {"a", "q", "c"}) EXPECT_EQ(source(atom(r), DB_INPUT_PORT_CLK, 0), "clk~lpclk") << r;
  EXPECT_EQ(source(lp, DB_INPUT_PORT_BOX, 0), "clk~ibuf");

  // Placed at their sites once the device is built; a wrong site names the
  // kind's sites.
  host::testing::device(host::testing::Family::KX).build();
  host::testing::place_periphery_blocks(s, "s.json");
  const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
  EXPECT_EQ(u->get_location_gid(), grid.site_gid(3, 9, 0));
  EXPECT_EQ(atom("e")->get_location_gid(), grid.site_gid(7, 9, 0));
  auto placing_error = [&](const std::string& text) {
    try {
      host::testing::place_periphery_blocks(host::testing::parse_design_settings(text, "p.json"), "p.json");
    } catch (const DESIGN_SETTINGS_ERROR& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(placing_error(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [7, 9], "inputs": ["a"]}]})"),
            "p.json: periphery block 'u': site [7, 9] holds no UIB block of this device (UIB sites: [3, 9], [6, 9], [9, 9])");
  EXPECT_EQ(placing_error(R"({"periphery": [{"name": "u", "kind": "UIB", "site": [30, 9], "inputs": ["a"]}]})").find(
                "site [30, 9] holds no UIB block"),
            std::string("p.json: periphery block 'u': ").size());
  EXPECT_EQ(placing_error(R"({"periphery": [{"name": "u", "kind": "ESRAM", "site": [7, 9], "inputs": ["a"]}]})"),
            "p.json: periphery block 'u': site [7, 9] is taken by 'e'");

}
