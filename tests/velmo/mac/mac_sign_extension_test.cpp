// MAC sign extension: copied sign bits and port widths, scan-chain widening
// down a chain of MACs, and the 27x27 coefficient-select duplication.
#include <algorithm>
#include <string>
#include <vector>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "testing/design_builder.h"
#include "testing/host_test.h"
#include "testing/netlist_builder.h"
#include "velmo_mac_sign_extension.h"
#include "wexan/wexan_env.h"
#include "zel/zel_mac_unified_util.h"

using host::testing::expect_internal_error;
using host::testing::Family;
using host::testing::SIG;
using ::testing::ElementsAre;

namespace {

constexpr int SCAN_B = 483;  // boolean DSP parameters steering the scan chain
constexpr int SCAN_A = 489;

class MacSignExtensionTest : public host::testing::EnvTest {
protected:
  bool run() { return VELMO_MAC_SIGN_EXTENSION(m_env).work(); }
  static const VOK_ATOM_OTERM* source(VOK_ATOM_NODE* mac, DB_INPUT_PORT_TYPE port, int i) {
    const VOK_ATOM_ITERM* t = mac->get_input_term_by_type(port, i);
    return t == nullptr ? nullptr : t->get_source(VOK_TRAVERSE_AS_STORED);
  }
  static std::vector<SIG> inputs(host::testing::NETLIST_BUILDER& n, const std::string& prefix, int count) {
    std::vector<SIG> out;
    for (int i = 0; i < count; ++i) out.push_back(n.input_port(prefix + std::to_string(i)));
    return out;
  }

  ZEL_MAC_UNIFIED_UTIL m_util;
};

}  // namespace

TEST_F(MacSignExtensionTest, SignedPortsAreWidenedFromTheirTopBit) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  auto x = inputs(n, "x", 3);
  auto y = inputs(n, "y", 4);
  // Port AX: signed, 3 of 6 bits; port BX: unsigned; port AY: already 4 of 4.
  auto m = n.mac("m").mode(2)
               .data(DB_MAC_DATA_AX, x, true, 6)
               .data(DB_MAC_DATA_BX, x, false, 6)
               .data(DB_MAC_DATA_AY, y, true, 4);
  // A second MAC whose extension bits already carry the sign bit.
  auto pre = n.mac("pre").mode(2).data(DB_MAC_DATA_AX, {x[0], x[1], x[1]}, true, 3);
  m_util.set_input_port_width(pre, DB_MAC_DATA_AX, 2);
  cfg_set_on("velmo_mac_sign_ext_debug");

  EXPECT_TRUE(run());
  for (int i = 3; i < 6; ++i) EXPECT_EQ(source(m, DB_MAC_DATA_AX, i), x[2].oterm) << i;
  EXPECT_EQ(m_util.get_input_port_width(m, DB_MAC_DATA_AX), 6);
  EXPECT_EQ(m_util.get_input_port_width(m, DB_MAC_DATA_BX), 3);
  EXPECT_EQ(m->get_input_term_by_type(DB_MAC_DATA_BX, 3), nullptr);
  EXPECT_EQ(m_util.get_input_port_width(m, DB_MAC_DATA_AY), 4);
  EXPECT_EQ(m_util.get_input_port_width(pre, DB_MAC_DATA_AX), 3);
  EXPECT_THAT(host::debug::texts(), HasDebugLine("VELMO_MAC_SIGN: Copy iterm to MAC " + std::to_string(m.id()) +
                                                 ", Port 408, Iterm 5"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("\t\tNumber of MACs of mode 2: 2"));
  EXPECT_THAT(host::debug::texts(), HasDebugLine("\t\t\tnumber of these sign extended: 1"));
  auto names = host::call_names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "zel_add_observable_oterms"), 2);
  EXPECT_EQ(std::count(names.begin(), names.end(), "ZEL_ATOM_DUMPER::dump_current_atom_netlist"), 2);
  // The 18x18-plus-36 mode extends its C and D ports too.
  auto full = n.mac("full").mode(34).data(DB_MAC_DATA_DY, x, true, 6);
  EXPECT_TRUE(run());
  EXPECT_EQ(source(full, DB_MAC_DATA_DY, 5), x[2].oterm);
}

TEST_F(MacSignExtensionTest, AnUnconnectedSignBitStopsTheWalk) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto x = inputs(n, "x", 2);
  n.mac("bad").mode(2).data(DB_MAC_DATA_AX, {x[0], SIG()}, true, 4);
  auto later = n.mac("later").mode(2).data(DB_MAC_DATA_AX, x, true, 4);

  EXPECT_FALSE(run());
  auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].text, "Illegal DSP atom bad with unconnected inputs");
  EXPECT_EQ(m_util.get_input_port_width(later, DB_MAC_DATA_AX), 2);

  // A differently driven extension bit is an internal error.
  auto clash = n.mac("clash").mode(2).data(DB_MAC_DATA_AY, {x[0], x[1], x[0]}, true, 4);
  m_util.set_input_port_width(clash, DB_MAC_DATA_AY, 2);
  VELMO_MAC_SIGN_EXTENSION op(m_env);
  EXPECT_THAT(expect_internal_error([&] { op.sign_extend_port(clash, DB_MAC_DATA_AY, 0, 3); }).condition,
              ::testing::StartsWith("iterms_are_identical(mac, mac, existing_iterm, iterm_to_copy)"));
}

class MacScanChainTest : public MacSignExtensionTest, public ::testing::WithParamInterface<int> {};

TEST_P(MacScanChainTest, ScanChainIsWidenedDownTheChainOnChainingFamilies) {
  const int family = GetParam();
  host::testing::device(family).build();
  auto n = host::testing::netlist();
  auto y = inputs(n, "y", 2);
  auto m1 = n.mac("m1").mode(2).data(DB_DATA_BY, y, true, 4).bool_param(SCAN_B, false);
  auto m2 = n.mac("m2").mode(2).bool_param(SCAN_A, true).bool_param(SCAN_B, true);
  auto m3 = n.mac("m3").mode(2);
  m1.feeds(m2, DB_MAC_SCANOUT, DB_MAC_SCANIN, 2);
  m2.feeds(m3, DB_MAC_SCANOUT, DB_MAC_SCANIN, 2);
  cfg_set_on("velmo_mac_sign_ext_debug");

  EXPECT_TRUE(run());
  EXPECT_EQ(m_util.get_input_port_width(m1, DB_DATA_BY), 4);
  const bool chaining = family == Family::KY || family == Family::KZ;
  const std::string widened = "VELMO_MAC_SIGN: Set output data width 4 on MAC " + std::to_string(m2.id()) + " port " +
                              std::to_string(DB_MAC_SCANOUT);
  if (chaining)
    EXPECT_THAT(host::debug::texts(), HasDebugLine(widened));
  else
    EXPECT_THAT(host::debug::texts(), ::testing::Not(HasDebugLine(widened)));
  const int width = chaining ? 4 : 2;
  EXPECT_EQ(m_util.get_output_port_width(m1, DB_MAC_SCANOUT), width);
  EXPECT_EQ(m_util.get_input_port_width(m2, DB_MAC_SCANIN), width);
  EXPECT_EQ(m_util.get_output_port_width(m2, DB_MAC_SCANOUT), width);
  EXPECT_EQ(m_util.get_input_port_width(m3, DB_MAC_SCANIN), width);
  // Every MAC the widening changed is marked modified, the last one of the
  // chain (only ever a destination) too.
  auto lines = host::call_lines();
  for (const auto& mac : {m2, m3}) {
    const std::string taint =
        "WEXAN_ENV::indicate_that_atom_netlist_is_modified(" + std::to_string(mac.id()) + ", false, false)";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), taint) > 0, chaining) << taint;
  }
  for (int j = 2; j < 4; ++j) {
    const VOK_ATOM_OTERM* to_m2 = source(m2, DB_MAC_SCANIN, j);
    const VOK_ATOM_OTERM* to_m3 = source(m3, DB_MAC_SCANIN, j);
    if (chaining) {
      ASSERT_NE(to_m2, nullptr);
      ASSERT_NE(to_m3, nullptr);
      EXPECT_EQ(to_m2, m1->get_output_term_by_type(DB_MAC_SCANOUT, j));
      EXPECT_EQ(to_m3, m2->get_output_term_by_type(DB_MAC_SCANOUT, j));
    } else {
      EXPECT_EQ(to_m2, nullptr);
      EXPECT_EQ(to_m3, nullptr);
    }
  }
}

// A scan chain as wide as the top bit's index is still one bit short; a
// scan-out port of width 0 is unconnected whatever terms it still holds.
TEST_P(MacScanChainTest, AScanChainOneBitShortIsWidenedToo) {
  const int family = GetParam();
  host::testing::device(family).build();
  auto n = host::testing::netlist();
  auto y = inputs(n, "y", 2);
  auto m1 = n.mac("m1").mode(2).data(DB_DATA_BY, y, true, 4).bool_param(SCAN_B, false);
  auto m2 = n.mac("m2").mode(2);
  m1.feeds(m2, DB_MAC_SCANOUT, DB_MAC_SCANIN, 3);
  auto e1 = n.mac("e1").mode(2).data(DB_DATA_BY, y, true, 4).bool_param(SCAN_B, false);
  auto e2 = n.mac("e2").mode(2);
  e1.feeds(e2, DB_MAC_SCANOUT, DB_MAC_SCANIN, 1);
  m_util.set_output_port_width(e1, DB_MAC_SCANOUT, 0);
  EXPECT_TRUE(run());
  const bool chaining = family == Family::KY || family == Family::KZ;
  EXPECT_EQ(m_util.get_output_port_width(m1, DB_MAC_SCANOUT), chaining ? 4 : 3);
  EXPECT_EQ(m_util.get_input_port_width(m2, DB_MAC_SCANIN), chaining ? 4 : 3);
  EXPECT_EQ(m_util.get_input_port_width(e1, DB_DATA_BY), 4);
  EXPECT_EQ(m_util.get_output_port_width(e1, DB_MAC_SCANOUT), 0);
  EXPECT_EQ(m_util.get_input_port_width(e2, DB_MAC_SCANIN), 1);
}

// Mode 4 widens its data port 411 but never the scan chain behind it; inside
// a chain, a mode-4 MAC with scan parameter A passes the widening on.
TEST_F(MacSignExtensionTest, Mode4LeavesTheScanChainAlone) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto y = inputs(n, "y", 2);
  auto m1 = n.mac("m1").mode(4).data(DB_DATA_BY, y, true, 4).bool_param(SCAN_B, false);
  auto m2 = n.mac("m2").mode(2);
  m1.feeds(m2, DB_MAC_SCANOUT, DB_MAC_SCANIN, 2);
  auto h = n.mac("h").mode(2).data(DB_DATA_BY, y, true, 4).bool_param(SCAN_B, false);
  auto s = n.mac("s").mode(4).bool_param(SCAN_A, true).bool_param(SCAN_B, false);
  auto t = n.mac("t").mode(2);
  h.feeds(s, DB_MAC_SCANOUT, DB_MAC_SCANIN, 2);
  s.feeds(t, DB_MAC_SCANOUT, DB_MAC_SCANIN, 2);
  EXPECT_TRUE(run());
  EXPECT_EQ(m_util.get_input_port_width(m1, DB_DATA_BY), 4);
  EXPECT_EQ(m_util.get_output_port_width(m1, DB_MAC_SCANOUT), 2);
  EXPECT_EQ(m_util.get_input_port_width(m2, DB_MAC_SCANIN), 2);
  EXPECT_EQ(source(m2, DB_MAC_SCANIN, 2), nullptr);
  EXPECT_EQ(m_util.get_output_port_width(s, DB_MAC_SCANOUT), 4);
  EXPECT_EQ(m_util.get_input_port_width(t, DB_MAC_SCANIN), 4);
  EXPECT_EQ(source(t, DB_MAC_SCANIN, 3), s->get_output_term_by_type(DB_MAC_SCANOUT, 3));
}

TEST_F(MacSignExtensionTest, ScanBitsLeadingToTwoMacsAreAnInternalError) {
  host::testing::device(Family::KY).build();
  auto n = host::testing::netlist();
  auto y = inputs(n, "y", 2);
  auto m1 = n.mac("m1").mode(2).data(DB_DATA_BY, y, true, 4);
  auto m2 = n.mac("m2").mode(2);
  auto m3 = n.mac("m3").mode(2);
  // Scan-out bit 0 feeds m2, bit 1 feeds m3.
  m1.feeds(m2, DB_MAC_SCANOUT, DB_MAC_SCANIN, 1);
  vok_connect(m1->add_output_term(DB_MAC_SCANOUT, 1), m3->add_input_term(DB_MAC_SCANIN, 1));
  EXPECT_EQ(expect_internal_error([&] { run(); }).condition, "dst_mac == iterm->get_my_node()");
}

INSTANTIATE_TEST_SUITE_P(Families, MacScanChainTest,
                         ::testing::Values(Family::KY, Family::KZ, Family::KX15, Family::KX));

TEST_F(MacSignExtensionTest, CoefficientSelectIsDuplicatedOn27x27Macs) {
  host::testing::device(Family::KZ).build();
  auto n = host::testing::netlist();
  auto c = inputs(n, "c", 2);
  auto dup = n.mac("dup").mode(9).enum_param(175, 0).data(DB_MAC_COEFSELA, c, false, 0)
                 .port_clock(DB_MAC_COEFSELA, 5);
  // Operand source other than 0: left alone.
  auto other = n.mac("other").mode(9).enum_param(175, 1).data(DB_MAC_COEFSELA, c, false, 0);
  // Clock enables compared instead of clocks; a missing one is copied.
  auto ena = n.mac("ena").mode(9).enum_param(175, 0).clk_param_type(1).data(DB_MAC_COEFSELA, c, false, 0)
                 .port_enable(DB_MAC_COEFSELA, 3).port_enable(DB_MAC_COEFSELB, 3);
  auto no_ena = n.mac("no_ena").mode(9).enum_param(175, 0).clk_param_type(1).data(DB_MAC_COEFSELA, c, false, 0)
                    .port_enable(DB_MAC_COEFSELA, 6);
  // Coefficient select B already driven as A is: kept as it is.
  auto same = n.mac("same").mode(9).enum_param(175, 0).data(DB_MAC_COEFSELA, c, false, 0)
                  .data(DB_MAC_COEFSELB, c, false, 0).port_clock(DB_MAC_COEFSELA, 5).port_clock(DB_MAC_COEFSELB, 5);
  cfg_set_on("velmo_mac_sign_ext_debug");

  EXPECT_TRUE(run());
  EXPECT_THAT(host::debug::texts(), HasDebugLine("VELMO_MAC_DUP: Copy iterm to MAC " + std::to_string(dup.id()) +
                                                 ", Port " + std::to_string(DB_MAC_COEFSELB) + ", Iterm 1"));
  // Five MACs of mode 9, none of them sign extended: no count of those.
  EXPECT_THAT(host::debug::texts(), HasDebugLine("\t\tNumber of MACs of mode 9: 5"));
  for (const std::string& line : host::debug::texts())
    EXPECT_EQ(line.find("number of these sign extended"), std::string::npos) << line;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(source(dup, DB_MAC_COEFSELB, i), c[static_cast<std::size_t>(i)].oterm);
    EXPECT_EQ(source(ena, DB_MAC_COEFSELB, i), c[static_cast<std::size_t>(i)].oterm);
    EXPECT_EQ(source(same, DB_MAC_COEFSELB, i), c[static_cast<std::size_t>(i)].oterm);
  }
  EXPECT_EQ(m_util.get_input_port_clock(dup, DB_MAC_COEFSELB), 5);
  EXPECT_EQ(m_util.get_input_port_clock_enable(no_ena, DB_MAC_COEFSELB, nullptr, 0), 6);
  EXPECT_EQ(other->get_input_term_by_type(DB_MAC_COEFSELB, 0), nullptr);
  EXPECT_TRUE(host::messages::posted().empty());
}

TEST_F(MacSignExtensionTest, CoefficientSelectClockMismatchStopsAtThatMac) {
  host::testing::device(Family::KX).build();
  auto n = host::testing::netlist();
  auto c = inputs(n, "c", 1);
  auto x = inputs(n, "x", 2);
  n.mac("mismatch").mode(9).enum_param(175, 0).data(DB_MAC_COEFSELA, c, false, 0)
      .port_clock(DB_MAC_COEFSELA, 1).port_clock(DB_MAC_COEFSELB, 2);
  auto later = n.mac("later").mode(2).data(DB_MAC_DATA_AX, x, true, 4);

  EXPECT_FALSE(run());
  auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].text, "DSP \"mismatch\" in 27x27 mode has mismatching Coefficient Select clock and/or enables");
  EXPECT_EQ(m_util.get_input_port_width(later, DB_MAC_DATA_AX), 2);

  // A 27x27 MAC without an operand-source parameter is an internal error.
  auto bare = n.mac("bare").mode(9);
  VELMO_MAC_SIGN_EXTENSION op(m_env);
  EXPECT_EQ(expect_internal_error([&] { op.perform_duplication_coeff_select(bare); }).condition,
            "m_yos_interface->get_enum_data(mac, YOS_ENUM_OPERAND_SOURCE_MAX, &max)");
}
