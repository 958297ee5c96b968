#include "testing/design_settings.h"

#include "cfg/cfg.h"
#include "omz/omz_option.h"
#include "sta/sta_analysis.h"
#include "testing/blif_design.h"
#include "testing/host_test.h"

using host::testing::DESIGN_SETTINGS_ERROR;
using host::testing::HostTest;

class DesignSettingsTest : public HostTest {};

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
  auto error_of = [](const std::string& text) {
    try {
      host::testing::parse_design_settings(text, "s.json");
    } catch (const DESIGN_SETTINGS_ERROR& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
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
  auto error_of = [](const std::string& text) {
    try {
      host::testing::parse_design_settings(text, "s.json");
    } catch (const DESIGN_SETTINGS_ERROR& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
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
