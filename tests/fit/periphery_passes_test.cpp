// velmo-fit and the periphery passes: pins are placed before the plan stage,
// so port translation walks their interface chains (families 26 and 48);
// the bundled periphery settings of fir8 give transfers that are found,
// committed and routed, and a low-power clock buffer the cleanup processes;
// transfer assignments on pin-fed and pin-driving registers and wire LUTs
// run without internal errors or spurious warnings; and the slack
// estimation leaves the route stage's timing as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "fit_runner.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The text after "Stage <stage>: ok (<time>), ": the stage's worst slacks.
std::string stage_slacks(const std::string& out, const std::string& stage) {
  const std::size_t at = out.find("Stage " + stage + ": ok (");
  if (at == std::string::npos) return "(stage " + stage + " missing)";
  const std::size_t from = out.find("), ", at);
  const std::size_t end = out.find('\n', at);
  return from == std::string::npos || from > end ? "" : out.substr(from + 3, end - from - 3);
}

std::string write_temp(const std::string& name, const std::string& text) {
  const std::string path = velmo_fit_test::test_dir() + name;
  std::ofstream(path) << text;
  return path;
}

nlohmann::json read_json(const std::string& path) {
  std::ifstream in(path);
  nlohmann::json j = nlohmann::json::parse(in);
  velmo_fit_test::expect_documented_report(j);
  return j;
}

}  // namespace

TEST(VelmoFitPeriphery, PortTranslationWalksThePinChains) {
  const std::string report = velmo_fit_test::test_dir() + "periphery_report.json";
  for (const char* family : {"26", "48"}) {
    for (const char* design : {"mcnc/s298.blif", "yosys/fir8.blif"}) {
      SCOPED_TRACE(std::string(family) + " " + design);
      std::remove(report.c_str());
      const auto r = velmo_fit_test::run(std::string(VELMO_DESIGNS_DIR) + "/" + design + " --family " + family +
                                         " --debug --cfg velmo_verbose_port_translation=on --report " + report);
      EXPECT_EQ(r.status, 0) << r.out;
      // The pins' ports were found in the port map and their chains walked.
      EXPECT_THAT(r.out, HasSubstr("Plan: pins and periphery blocks placed"));
      EXPECT_THAT(r.out, Not(HasSubstr("Plan: pins and periphery blocks placed, 0 port-map entries")));
      EXPECT_GT(count_of(r.out, "has a ICD name of"), 0);
      EXPECT_GT(count_of(r.out, "Ended: node has fan-in with 1 or more CRF edges"), 0);
      EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
      const nlohmann::json j = read_json(report);
      EXPECT_EQ(j["routing"]["unrouted"], 0);
      EXPECT_EQ(j["routing"]["overused"], 0);
      // No transfer is asked for.
      EXPECT_EQ(j["periphery_transfers"]["found"], 0);
    }
  }
}

TEST(VelmoFitPeriphery, BundledPeripheryDesignCommitsAndRoutesTransfers) {
  const std::string design = std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif";
  const std::string settings = std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.periphery.json";
  const std::string report = velmo_fit_test::test_dir() + "periphery_transfers.json";
  for (const char* family : {"48", "26"}) {
    SCOPED_TRACE(family);
    std::remove(report.c_str());
    const auto r = velmo_fit_test::run(design + " --settings " + settings + " --family " + family +
                                       " --debug --cfg velmo_verbose_dangling_routing_cleanupaf=on --report " + report);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
    const nlohmann::json j = read_json(report);
    const auto& t = j["periphery_transfers"];
    EXPECT_GT(t["found"].get<int>(), 0) << r.out;
    EXPECT_GT(t["committed"].get<int>(), 0);
    EXPECT_GT(t["routed"].get<int>(), 0);
    // The C2P transfers carry wire requirements without the router's lock:
    // placed, not routed.
    EXPECT_LT(t["routed"].get<int>(), t["committed"].get<int>());
    EXPECT_LE(t["committed"].get<int>(), t["found"].get<int>());
    EXPECT_THAT(r.out, HasSubstr("Periphery transfers: " + std::to_string(t["found"].get<int>()) + " found, " +
                                 std::to_string(t["committed"].get<int>()) + " committed, " +
                                 std::to_string(t["routed"].get<int>()) + " routed"));
    EXPECT_EQ(j["routing"]["unrouted"], 0);
    EXPECT_EQ(j["routing"]["overused"], 0);
    EXPECT_THAT(r.out, HasSubstr("Routing: "));
    EXPECT_THAT(r.out, Not(HasSubstr("(ILLEGAL)")));
    // The low-power clock buffer is looked at by the cleanup (family 48 runs it).
    if (std::string(family) == "48") {
      EXPECT_THAT(r.out, HasSubstr("Processing LPCLK CLKBUF atom"));
    }
    EXPECT_THAT(r.out, Not(HasSubstr("Mark ALMs illegal when R5T BLEs are mixed")));
  }
  // With routing for wire requirements the C2P transfers are routed too; on
  // family 26 their registers get output cell mappings, and the placer is
  // told to keep such cells apart.
  std::remove(report.c_str());
  const auto r = velmo_fit_test::run(design + " --settings " + settings + " --report " + report +
                                     " --family 26 --debug --cfg velmo_p2c_publish_routing_for_wire_based=on");
  EXPECT_EQ(r.status, 0) << r.out;
  const nlohmann::json j = read_json(report);
  EXPECT_GT(j["periphery_transfers"]["routed"].get<int>(), 0);
  EXPECT_EQ(j["periphery_transfers"]["routed"], j["periphery_transfers"]["committed"]);
  EXPECT_THAT(r.out, HasSubstr("jev port mapping is "));
  EXPECT_THAT(r.out, HasSubstr("Mark ALMs illegal when R5T BLEs are mixed"));
}

TEST(VelmoFitPeriphery, PeripherySettingsErrorsNameWhatIsWrong) {
  const std::string design = std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif";
  struct CASE {
    const char* json;
    const char* error;
  };
  for (const CASE& c : {
           CASE{R"({"periphery": [{"name": "u", "kind": "HSSI", "site": [3, 9], "inputs": ["y[0]"]}]})",
                "periphery[0].kind must be \"UIB\" or \"ESRAM\""},
           CASE{R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 9], "inputs": ["nowhere"]}]})",
                "periphery block 'u' names 'nowhere', which is no net of the design"},
           CASE{R"({"periphery": [{"name": "u", "kind": "UIB", "site": [4, 4], "inputs": ["y[0]"]}]})",
                "periphery block 'u': site [4, 4] holds no UIB block of this device (UIB sites: ["},
           CASE{R"({"periphery": [{"name": "y[0]", "kind": "UIB", "site": [3, 9], "inputs": ["y[1]"]}]})",
                "periphery block 'y[0]' has the name of another instance"},
           CASE{R"({"lpclk": ["nowhere"]})", "lpclk names 'nowhere', which is no net of the design"},
           CASE{R"({"lpclk": ["clk", "clk~ibuf"]})",
                "lpclk 'clk~ibuf' names the net lpclk 'clk' has taken over already (two buffers in series)"},
           CASE{R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, 10], "inputs": ["x[0]"], "outputs": ["x[0]"]}]})",
                "periphery block 'u' reads and drives the net 'x[0]': the block would feed itself"},
           // Periphery blocks and partitions: the bundled blocks with the
           // registers feeding the output block in a partition of their own,
           // and the registers the input block feeds.
           CASE{R"({"family": 48, "partitions": [{"name": "taps", "atoms": ["tap[7]*"]}], "periphery": [
                    {"name": "uib_out", "kind": "UIB", "site": [6, 10], "inputs": ["tap[7][0]", "tap[7][1]"]}]})",
                "periphery block 'uib_out': the net 'tap[7][0]' is driven in partition 'taps'; periphery blocks "
                "connect only to nets of the top partition '|'"},
           CASE{R"({"family": 48, "partitions": [{"name": "first", "atoms": ["tap[0]*"]}], "periphery": [
                    {"name": "uib_in", "kind": "UIB", "site": [3, 10], "outputs": ["x[0]"]}]})",
                "periphery block 'uib_in': the net 'x[0]' has loads in partition 'first'"},
       }) {
    SCOPED_TRACE(c.json);
    const auto r = velmo_fit_test::run(design + " --settings " + write_temp("bad_periphery.json", c.json));
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.error));
  }
}

// Four input registers, four LUTs and four registers behind them, two
// outputs (without its .end): the periphery-transfer fits' design.
const std::string kP2Design = R"(.model p2design
.inputs a0 a1 a2 a3 b0 clk
.outputs z0 z1
.latch a0 r0 re clk 2
.latch a1 r1 re clk 2
.latch a2 r2 re clk 2
.latch a3 r3 re clk 2
.names r0 r1 n0
01 1
10 1
.names r2 r3 n1
11 1
.names r0 r2 b0 n2
1-1 1
-11 1
.names r1 r3 n3
00 1
.latch n0 o0 re clk 2
.latch n1 o1 re clk 2
.latch n2 o2 re clk 2
.latch n3 o3 re clk 2
.names o0 o1 z0
11 1
.names o2 o3 z1
1- 1
-1 1
)";

// A register forced into a pipeline slot for its periphery-to-core transfer
// (assignment 833 = 2) and feeding two LUTs: the slot is the one next to the
// periphery port, and its output reaches only that slot's LAB, so the
// placer puts the register's loads there and the route stage routes both.
// The transfer counts in the summary and the report: found and committed
// by the dedicated depopulation, routed by the route stage, not the plan's.
// Committed counts only a register the plan stage put at its site (not with
// the repopulation left to later), and a forced core-to-periphery register
// (835 = 2) is found too.
TEST(VelmoFitPeriphery, AForcedTransferRegisterWithTwoLoadsRoutes) {
  const std::string design = write_temp("p2design.blif", kP2Design + ".end\n");
  const std::string report = velmo_fit_test::test_dir() + "forced_transfer.json";
  for (const auto& [row, device] : {std::pair<int, std::string>{9, ""}, {10, " --device 13"}}) {
    const std::string settings = write_temp("p2ded.json", R"({"family": 46, "periphery": [
      {"name": "uib_a", "kind": "UIB", "site": [3, )" + std::to_string(row) + R"(], "outputs": ["a0", "a1", "a2", "a3"]},
      {"name": "uib_b", "kind": "UIB", "site": [6, )" + std::to_string(row) + R"(], "inputs": ["o0", "o1", "o2", "o3"]}],
      "assignments": [{"instance": "r3", "id": 833, "type": 6, "value": "2"}]})");
    std::remove(report.c_str());
    const auto r = velmo_fit_test::run(design + " --settings " + settings + device + " --debug=2 --report " + report);
    SCOPED_TRACE(device);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("depopulate_registers: 1 of 1 registers depopulated"));
    EXPECT_THAT(r.out, HasSubstr("Stage route: ok"));
    EXPECT_THAT(r.out, HasSubstr(" 0 unrouted, 0 overused\n"));
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
    EXPECT_THAT(r.out, HasSubstr("\nPeriphery transfers: 1 found, 1 committed, 0 routed (1 of them by the dedicated "
                                 "depopulation)\n"));
    const nlohmann::json t = read_json(report)["periphery_transfers"];
    EXPECT_EQ(t, nlohmann::json::parse(R"({"found": 1, "committed": 1, "routed": 0, "uib_esram": 0, "dedicated": 1})"))
        << t.dump();
  }
  const std::string settings = write_temp("p2ded.json", R"({"family": 46, "periphery": [
      {"name": "uib_a", "kind": "UIB", "site": [3, 9], "outputs": ["a0", "a1", "a2", "a3"]},
      {"name": "uib_b", "kind": "UIB", "site": [6, 9], "inputs": ["o0", "o1", "o2", "o3"]}],
      "assignments": [{"instance": "r3", "id": 833, "type": 6, "value": "2"}]})");
  auto r = velmo_fit_test::run(design + " --settings " + settings + " --cfg yun_do_p2c_repopulation_in_post_plan=off");
  EXPECT_THAT(r.out, HasSubstr("\nPeriphery transfers: 1 found, 0 committed, 0 routed (1 of them by the dedicated "
                               "depopulation)\n"));
  const std::string c2p_design = write_temp("p2c2p.blif", kP2Design + ".latch n3 e1 re clk 2\n.end\n");
  const std::string c2p = write_temp("c2p.json", R"({"family": 46, "periphery": [
      {"name": "uib_c", "kind": "UIB", "site": [9, 9], "inputs": ["e1"]}],
      "assignments": [{"instance": "e1", "id": 835, "type": 6, "value": "2"}]})");
  r = velmo_fit_test::run(c2p_design + " --settings " + c2p + " --stages plan");
  EXPECT_THAT(r.out, HasSubstr("\nPeriphery transfers: 1 found, "));
  EXPECT_THAT(r.out, HasSubstr(" routed (1 of them by the dedicated depopulation)\n"));
  // The register finds no slot at its block's port: the plan stage fails
  // and says so, not with its last debug lines.
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Stage plan: FAILED"));
  EXPECT_THAT(r.out, HasSubstr("\n  reason: no free pipeline slot next to the port of 'uib_c' for register 'e1' (its "
                               "core-to-periphery transfer): the register cannot be placed at the port\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("reason: P2C dedicated depopulation")));
  // Its one load is the block's: it was taken, so no warning.
  EXPECT_THAT(r.out, Not(HasSubstr("velmo-fit: warning")));
  // A forced core-to-periphery register with a second load in the core is
  // not taken; velmo-fit says so, naming it, the assignment and its loads.
  const std::string second_load = write_temp("c2p_second_load.json", R"({"family": 46, "periphery": [
      {"name": "uib_b", "kind": "UIB", "site": [6, 9], "inputs": ["o0"]}],
      "assignments": [{"instance": "o0", "id": 835, "type": 6, "value": "2"}]})");
  r = velmo_fit_test::run(design + " --settings " + second_load + " --stages plan");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("\nPeriphery transfers: 0 found, 0 committed, 0 routed\n"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: warning: register 'o0' is forced into a core-to-periphery transfer (option "
                               "835 = 2) but feeds 2 loads ("));
  EXPECT_THAT(r.out, HasSubstr("'z0'"));
  EXPECT_THAT(r.out, HasSubstr("): the transfer takes a register with one load, so it is not made\n"));
}

// Transfer assignments where a pin is the periphery end: before the pins
// were placed ahead of the plan stage these stopped the run or warned. Only
// the buffer in front of a pin is a wire LUT for the periphery router; the
// inverter is not.
TEST(VelmoFitPeriphery, TransferAssignmentsAtPinsRunCleanly) {
  const std::string inv_out = write_temp("inv_out.blif", R"(.model inv_out
.inputs din clk
.outputs nout wout
.latch din q1 re clk 2
.names q1 nout
0 1
.names q1 wout
1 1
.end
)");
  const std::string io_regs = write_temp("io_regs.blif", R"(.model io_regs
.inputs din din2 clk
.outputs q2 wout q3
.latch din q1 re clk 2
.names q1 n1
0 1
.latch n1 q2 re clk 2
.names q1 wout
1 1
.names q1 din2 n3
11 1
.latch n3 q3 re clk 2
.end
)");
  struct CASE {
    std::string design;
    const char* settings;
    const char* wire_lut;  // the wire LUT the periphery router places, or ""
  };
  for (const CASE& c : {
           CASE{inv_out, R"({"family": 48, "assignments": [{"instance": "nout", "id": 844, "type": 6, "value": "2"}]})", ""},
           CASE{inv_out, R"({"family": 48, "assignments": [{"instance": "wout", "id": 844, "type": 6, "value": "2"}]})",
                "wout"},
           CASE{io_regs, R"({"family": 48, "assignments": [{"instance": "q3", "id": 837, "type": 6, "value": "2"}]})", ""},
           CASE{io_regs, R"({"family": 48, "assignments": [{"instance": "q1", "id": 838, "type": 4, "value": "4"},
                                                           {"instance": "q2", "id": 843, "type": 4, "value": "3"}]})", ""},
       }) {
    SCOPED_TRACE(c.settings);
    const auto r = velmo_fit_test::run(c.design + " --settings " + write_temp("pin_transfer.json", c.settings) +
                                       " --debug --cfg velmo_verbose_p2c_placement=on");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("Internal Error")));
    EXPECT_THAT(r.out, Not(HasSubstr("016245")));
    EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
    if (*c.wire_lut != '\0') {
      EXPECT_THAT(r.out, HasSubstr(std::string("LCELL_PERIPHERY_ROUTER: Placed and routed wire LUT ") + c.wire_lut + " "));
    } else {
      EXPECT_THAT(r.out, Not(HasSubstr("Placed and routed wire LUT")));
    }
  }
}

// The estimation's clock-pin annotations do not outlive the timing netlist
// they were written into: the route stage's slacks are the same with the
// estimation on and off.
TEST(VelmoFitPeriphery, SlackEstimationLeavesTheRouteStageTiming) {
  struct CASE {
    const char* design;
    const char* clock;
  };
  for (const CASE& c : {CASE{"mcnc/s298.blif", "clock"}, CASE{"yosys/fir8.blif", "clk"}}) {
    SCOPED_TRACE(c.design);
    const std::string settings =
        write_temp("global_clock.json", std::string(R"({"global_clocks": [")") + c.clock + R"("]})");
    const std::string base = std::string(VELMO_DESIGNS_DIR) + "/" + c.design + " --settings " + settings +
                             " --family 48 --stages plan,place,route --debug --cfg velmo_verbose_p2c_placement=on";
    const auto off = velmo_fit_test::run(base);
    const auto on = velmo_fit_test::run(base + " --cfg velmo_p2c_perform_slack_estimation=on");
    EXPECT_EQ(off.status, 0) << off.out;
    EXPECT_EQ(on.status, 0) << on.out;
    // The estimation ran and annotated the clock pins.
    EXPECT_THAT(on.out, HasSubstr("p2c: got 0 targeted paths"));
    EXPECT_THAT(on.out, HasSubstr("annotating"));
    EXPECT_THAT(off.out, Not(HasSubstr("annotating")));
    EXPECT_THAT(stage_slacks(on.out, "route"), HasSubstr("worst setup slack"));
    EXPECT_EQ(stage_slacks(on.out, "route"), stage_slacks(off.out, "route"));
  }
}

// The UIB/ESRAM pass's transfers count with the main pass's: a design with
// a UIB taking over four inputs, a UIB fed by four registers (843 = 3) and
// an ESRAM block fed by two registers (837 = 2) on family 48 places and
// routes the two ESRAM connections, and the printed and reported counts hold
// them on top of what the same design gives without the ESRAM block; with
// one of the two registers marked, the one transfer is named.
TEST(VelmoFitPeriphery, UibEsramTransfersAreCounted) {
  const std::string design =
      velmo_fit_test::write_file("p2design.blif", kP2Design + ".latch n0 e0 re clk 2\n.latch n3 e1 re clk 2\n.end\n");
  // esram: how many of the ESRAM block's registers are marked (0: no block).
  auto settings = [](int esram) {
    std::string s = R"({"family": 48, "periphery": [
      {"name": "uib_a", "kind": "UIB", "site": [3, 9], "outputs": ["a0", "a1", "a2", "a3"]},
      {"name": "uib_b", "kind": "UIB", "site": [6, 9], "inputs": ["o0", "o1", "o2", "o3"]})";
    if (esram > 0) s += R"(, {"name": "esr_c", "kind": "ESRAM", "site": [10, 9], "inputs": ["e0", "e1"]})";
    s += R"(], "assignments": [
      {"instance": "o0", "id": 843, "type": 4, "value": "3"}, {"instance": "o1", "id": 843, "type": 4, "value": "3"},
      {"instance": "o2", "id": 843, "type": 4, "value": "3"}, {"instance": "o3", "id": 843, "type": 4, "value": "3"})";
    if (esram > 0) s += R"(, {"instance": "e0", "id": 837, "type": 6, "value": "2"})";
    if (esram > 1) s += R"(, {"instance": "e1", "id": 837, "type": 6, "value": "2"})";
    return velmo_fit_test::write_file("p2_esram" + std::to_string(esram) + ".json", s + "]}");
  };
  const std::string report = velmo_fit_test::write_file("report.json", "");
  auto fit = [&](int esram, std::string* out) {
    const auto r = velmo_fit_test::run(design + " --settings " + settings(esram) + " --debug=2 --report " + report);
    EXPECT_EQ(r.status, 0) << r.out;
    *out = r.out;
    return read_json(report)["periphery_transfers"];
  };
  std::string with_out, without_out, one_out;
  const nlohmann::json with = fit(2, &with_out), without = fit(0, &without_out), one = fit(1, &one_out);
  // One marked register: one transfer, still named.
  EXPECT_EQ(one["uib_esram"], 1);
  EXPECT_THAT(one_out, HasSubstr(" routed (1 of them by the UIB/ESRAM pass)\n"));
  EXPECT_THAT(with_out, HasSubstr("UIB ESRAM C2P placed and route 2 connections"));
  EXPECT_THAT(without_out, Not(HasSubstr("UIB ESRAM C2P placed and route")));
  EXPECT_EQ(with["uib_esram"], 2);
  EXPECT_EQ(without["uib_esram"], 0);
  for (const char* k : {"found", "committed", "routed"})
    EXPECT_EQ(with[k].get<int>(), without[k].get<int>() + 2) << k << "\n" << with_out;
  EXPECT_THAT(with_out, HasSubstr("Periphery transfers: " + std::to_string(with["found"].get<int>()) + " found, " +
                                  std::to_string(with["committed"].get<int>()) + " committed, " +
                                  std::to_string(with["routed"].get<int>()) +
                                  " routed (2 of them by the UIB/ESRAM pass)\n"));
  EXPECT_THAT(without_out, HasSubstr("Periphery transfers: " + std::to_string(without["found"].get<int>()) + " found, " +
                                     std::to_string(without["committed"].get<int>()) + " committed, " +
                                     std::to_string(without["routed"].get<int>()) + " routed\n"));

  // Family 15 commits no transfer, and the UIB/ESRAM pass cannot leave one
  // unsolved: a UIB/ESRAM transfer asked for there is refused as the
  // settings are read, naming the register, its block and the family. One
  // the pass would not take (a register the main pass routes, 845 or 839,
  // or one with a second load) is no reason to refuse, nor are the main
  // pass's assignments.
  auto on_15 = [&](const std::string& name, const std::string& more) {
    const std::string s = R"({"family": 15, "periphery": [
      {"name": "uib_a", "kind": "UIB", "site": [3, 9], "outputs": ["a0", "a1", "a2", "a3"]},
      {"name": "uib_b", "kind": "UIB", "site": [6, 9], "inputs": ["o0", "o1", "o2", "o3"]},
      {"name": "esr_c", "kind": "ESRAM", "site": [10, 9], "inputs": ["e0", "e1"]}],
     "assignments": [
      {"instance": "e0", "id": 837, "type": 6, "value": "2"}, {"instance": "e1", "id": 837, "type": 6, "value": "2"},
      {"instance": "r0", "id": 839, "type": 4, "value": "4"}, {"instance": "r1", "id": 841, "type": 4, "value": "2000"},
      {"instance": "r2", "id": 838, "type": 4, "value": "3"}, {"instance": "o0", "id": 845, "type": 4, "value": "4"},
      {"instance": "o1", "id": 843, "type": 4, "value": "3"})";
    return velmo_fit_test::run(design + " --settings " + velmo_fit_test::write_file(name, s + more + "]}"));
  };
  auto r = on_15("p2_15.json", "");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("p2_15.json: assignments[0] asks for a UIB/ESRAM transfer (option 837 = 2) of register "
                               "'e0' into ESRAM block 'esr_c', which family 15 cannot make: it commits no "
                               "periphery-core transfer\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("Internal Error")));
  EXPECT_THAT(r.out, Not(HasSubstr("Stage ")));
  r = on_15("p2_15_skipped.json", R"(, {"instance": "e0", "id": 845, "type": 4, "value": "4"},
      {"instance": "e1", "id": 839, "type": 4, "value": "4"}, {"instance": "o2", "id": 837, "type": 6, "value": "2"})");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("\nPeriphery transfers: 6 found, 0 committed, 0 routed\n"));
}

// A low-power clock buffer has no site: its clock's loads are routed from
// where the clock arrives, so fir8 with one on `clk` routes every
// connection the plain fit routes, on families with and without the large
// periphery clocks.
TEST(VelmoFitPeriphery, ALowPowerClockBufferStillHasItsLoadsRouted) {
  const std::string design = std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif";
  const std::string lpclk = velmo_fit_test::write_file("lpclk_clk.json", R"({"lpclk": ["clk"]})");
  const std::string report = velmo_fit_test::write_file("report.json", "");
  for (const char* family : {"46", "48"}) {
    SCOPED_TRACE(family);
    auto routing = [&](const std::string& extra) {
      std::remove(report.c_str());
      const auto r = velmo_fit_test::run(design + " --family " + family + " --device 13 --report " + report + extra);
      EXPECT_EQ(r.status, 0) << r.out;
      EXPECT_THAT(r.out, Not(HasSubstr("unrouted connection")));
      return read_json(report)["routing"];
    };
    const nlohmann::json plain = routing(""), buffered = routing(" --settings " + lpclk);
    EXPECT_GT(plain["connections"].get<int>(), 2000);
    EXPECT_EQ(buffered["connections"], plain["connections"]);
    EXPECT_EQ(buffered["unrouted"], 0);
    EXPECT_EQ(buffered["overused"], 0);
  }
}
