// velmo-fit with post-route physical synthesis in finalize: the retimer runs
// over the clock domains of the default design and the program ends cleanly
// (its worker threads gone before the library is unloaded); on a global
// clock it moves registers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fit_runner.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Also with fewer threads than the default: the retimer's parallel work
// asks for no more threads than --threads allows, so the threading library
// has nothing to refuse (it would say so on stderr).
TEST(VelmoFitPostRoute, TheRetimerRunsInFinalizeAndTheProgramEndsCleanly) {
  for (const char* threads : {" --threads 1", " --threads 2"}) {
    SCOPED_TRACE(threads);
    auto r = velmo_fit_test::run(std::string("--family 46 --cfg muvo_post_route_in_finalize=on --debug") + threads);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("FF Queue Size : "));
    EXPECT_THAT(r.out, HasSubstr("Accepted Moves      : 0 (0%)"));
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
    EXPECT_THAT(r.out, HasSubstr("[0 0][0] Yun[0]"));
    EXPECT_THAT(r.out, Not(HasSubstr("Warning: The number of workers")));
    EXPECT_THAT(r.out, Not(HasSubstr("workers is ignored")));
  }
}

// The stage line's worst setup slack.
int setup_slack_after(const std::string& out, const std::string& stage) {
  std::smatch m;
  const std::regex re("Stage " + stage + ": ok \\([^)]*\\), worst setup slack (-?[0-9]+) ps");
  if (!std::regex_search(out, m, re)) {
    ADD_FAILURE() << "no line for stage " << stage;
    return 0;
  }
  return std::stoi(m[1]);
}

// tseng on a global clock it cannot meet: the retimer moves a register in
// finalize, timing gets no worse, the fit stays legal, the timing netlist
// kept incrementally equals a rebuilt one and the report counts the change.
// (The built-in design is no good here: its worst path is one register's
// own loop, which no move shortens.)
TEST(VelmoFitPostRoute, RegistersMoveInFinalizeAndTheFitStaysLegal) {
  const std::string settings = std::string(VELMO_SOURCE_DIR) + "/tests/data/retime_settings.json";
  const auto report = std::filesystem::path(velmo_fit_test::test_dir()) / "velmo_fit_retime_report.json";
  auto r = velmo_fit_test::run(std::string(VELMO_DESIGNS_DIR) + "/mcnc/tseng.blif --settings " + settings +
                               " --report " + report.string() +
                               " --cfg muvo_post_route_in_finalize=on --cfg muvo_zota_crit_iterations=2"
                               " --cfg test_incremental_resynthesis=off --cfg velmo_verify_incremental_hep=on");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, HasSubstr(", 0 unrouted, 0 overused\n"));
  // How many registers move depends on the placement; at least one does,
  // and the report counts what the summary line says.
  std::smatch m;
  const std::regex counts("Retiming: ([0-9]+) pipeline registers? created, 0 deleted; ([0-9]+) LAB registers? bypassed");
  ASSERT_TRUE(std::regex_search(r.out, m, counts)) << r.out;
  EXPECT_GE(std::stoi(m[1]), 1);
  EXPECT_GE(std::stoi(m[2]), 1);
  EXPECT_GE(setup_slack_after(r.out, "final"), setup_slack_after(r.out, "route"));
  std::ifstream in(report);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_THAT(text.str(), HasSubstr("\"pipeline_registers_created\": " + m[1].str() + ","));
  EXPECT_THAT(text.str(), HasSubstr("\"lab_registers_bypassed\": " + m[2].str() + ","));
  velmo_fit_test::expect_documented_report(nlohmann::json::parse(text.str()));
  std::filesystem::remove(report);

  // A small pipeline whose one move makes one pipeline register and
  // bypasses one LAB register: the counts of one read in the singular.
  const std::string pipe = velmo_fit_test::write_file(
      "retime_pipe.json", R"({"family": 46, "clocks": {"clock": 700}, "global_clocks": ["clock"]})");
  r = velmo_fit_test::run(std::string(VELMO_SOURCE_DIR) + "/tests/data/retime_pipe.blif --settings " + pipe +
                          " --cfg muvo_post_route_in_finalize=on");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("): 7 LUTs, 4 registers, 4 input and 1 output pin; device family 46"));
  EXPECT_THAT(r.out, HasSubstr("\nRetiming: 1 pipeline register created, 0 deleted; 1 LAB register bypassed, 0 "
                               "re-enabled; 0 wire LUTs\n"));
}

// diffeq, tseng, elliptic and s298 with their clock on the global network:
// what the retimer keeps leaves every connection routed, hold met at every
// corner and setup no worse than the route stage left it (better on at
// least two). It moves registers on diffeq, tseng and elliptic at least; s298
// may keep all of them, its worst path being one register's own loop, and
// then changes nothing.
TEST(VelmoFitPostRoute, MovesOnAGlobalPinClockKeepHoldAndGainSetup) {
  int better = 0;
  for (const auto& [design, clock] : std::vector<std::pair<std::string, std::string>>{
           {"diffeq", "pclk"}, {"tseng", "pclk"}, {"elliptic", "pclk"}, {"s298", "clock"}}) {
    SCOPED_TRACE(design);
    const std::string settings = velmo_fit_test::test_dir() + "retime_" + design + ".json";
    std::ofstream(settings) << R"({"global_clocks": [")" << clock << R"("]})";
    auto r = velmo_fit_test::run(std::string(VELMO_DESIGNS_DIR) + "/mcnc/" + design + ".blif --settings " + settings +
                                 " --cfg muvo_post_route_in_finalize=on");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr(", 0 unrouted, 0 overused\n"));
    std::smatch m;
    int created = 0;
    if (std::regex_search(r.out, m, std::regex("Retiming: ([0-9]+) pipeline registers? created"))) created = std::stoi(m[1]);
    if (design != "s298") {
      EXPECT_GE(created, 1) << r.out;
    }
    const int route = setup_slack_after(r.out, "route"), final = setup_slack_after(r.out, "final");
    EXPECT_GE(final, route);
    better += final > route;
    ASSERT_TRUE(std::regex_search(
        r.out, m, std::regex("Final stage: ([0-9]+) LUTs? with changed connections or masks; ([0-9]+) LUTs? resynthesised")));
    const int changed = std::stoi(m[1]), resynthesised = std::stoi(m[2]);
    // The LUTs the moves re-attached are not counted as resynthesised; with
    // neither a move nor a resynthesis the stage leaves setup as it was.
    if (created > 0) {
      EXPECT_LT(resynthesised, changed);
    } else {
      EXPECT_EQ(resynthesised, changed);
    }
    if (changed == 0) {
      EXPECT_EQ(final, route);
    }
    int corners = 0;
    const std::regex timing("Timing [^:]*: setup WNS [^;]*; hold WNS (-?[0-9]+) ps, TNS [-0-9]+ ps, ([0-9]+) failing");
    for (std::sregex_iterator it(r.out.begin(), r.out.end(), timing), end; it != end; ++it, ++corners) {
      EXPECT_GE(std::stoi((*it)[1]), 0) << it->str();
      EXPECT_EQ((*it)[2], "0") << it->str();
    }
    EXPECT_EQ(corners, 2);
    EXPECT_THAT(r.out, Not(HasSubstr("Hold: FAILING")));
  }
  EXPECT_GE(better, 2);
}

// A device with pipeline slots on the long wires of its LABs: a route
// between LABs passes several slots, so the forward search times slots
// without loads directly below them and moves registers onto wires; the fit
// stays legal and setup gets no worse.
TEST(VelmoFitPostRoute, WireSlotsReachTheForwardSlotTimingTest) {
  const std::string settings = velmo_fit_test::test_dir() + "retime_wire_slots.json";
  std::ofstream(settings) << R"({"global_clocks": ["pclk"], "wire_pipeline_slots": true})";
  auto r = velmo_fit_test::run(std::string(VELMO_DESIGNS_DIR) + "/mcnc/diffeq.blif --settings " + settings +
                               " --cfg muvo_post_route_in_finalize=on --cfg test_incremental_resynthesis=off --debug");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, HasSubstr(", 0 unrouted, 0 overused\n"));
  auto lines = [&](const std::string& pattern) {
    const std::regex re(pattern);
    return std::distance(std::sregex_iterator(r.out.begin(), r.out.end(), re), std::sregex_iterator());
  };
  EXPECT_GE(lines("\n    slot \\([0-9]+\\): delay -?[0-9]+ budget -?[0-9]+ requirement -?[0-9]+ -- "), 1);
  EXPECT_GE(lines("Created ZOTA atom [0-9]+ at \\([0-9]+\\) [HV]_WIRE_"), 1);
  EXPECT_GE(setup_slack_after(r.out, "final"), setup_slack_after(r.out, "route"));
}


// The ports of a written Verilog netlist's module, from its header (one a
// line: "  input wire [3:0] a,").
struct PORT {
  bool input;
  int width;
  std::string name;
};
std::vector<PORT> ports_of(const std::string& netlist) {
  std::vector<PORT> ports;
  const std::regex line("\n  (input|output) wire (\\[([0-9]+):0\\] )?([A-Za-z_][A-Za-z0-9_]*)");
  const std::string header = netlist.substr(0, netlist.find(");"));
  for (std::sregex_iterator it(header.begin(), header.end(), line), end; it != end; ++it)
    ports.push_back({(*it)[1] == "input", (*it)[3].matched ? std::stoi((*it)[3]) + 1 : 1, (*it)[4]});
  return ports;
}

// Simulates two netlists of one design side by side from power-up: new
// random inputs every half cycle of `clock`, every output of the two
// compared before each rising and each falling edge. "" when they agree
// throughout, else the first difference.
std::string simulate_side_by_side(const std::string& design, const std::string& a, const std::string& b,
                                  const std::string& clock, int half_cycles) {
  const std::string dir = velmo_fit_test::test_dir();
  std::ostringstream bench, map;
  int in = 0, out = 0;
  for (const PORT& p : ports_of(a)) {
    if (p.name == clock) continue;
    int& at = p.input ? in : out;
    map << ", ." << p.name << "(" << (p.input ? "in" : "OUT") << "[" << at + p.width - 1 << ":" << at << "])";
    at += p.width;
  }
  if (in == 0 || out == 0) return "no data ports in " + a.substr(0, 200);
  std::string ports = map.str();
  std::string draws = "$random(seed)";  // 32 random bits per draw, every input bit covered
  for (int k = 1; k < std::max(2, (in + 31) / 32); ++k) draws += ", $random(seed)";
  auto instance = [&](const std::string& module, const std::string& name, const std::string& outs) {
    std::string m = ports;
    for (std::size_t at; (at = m.find("OUT")) != std::string::npos;) m.replace(at, 3, outs);
    return "  " + module + " " + name + "(." + clock + "(clk)" + m + ");\n";
  };
  bench << "module bench;\n  reg clk = 1'b0;\n  reg [" << in - 1 << ":0] in = 0;\n  wire [" << out - 1 << ":0] oa, ob;\n"
        << instance("netlist_a", "a", "oa") << instance("netlist_b", "b", "ob")
        << "  integer i, seed = 20261208;\n  initial begin\n    for (i = 0; i < " << half_cycles << "; i = i + 1) begin\n"
        << "      #1 in = {" << draws << "};\n"
        << "      #1 if (oa !== ob) begin $display(\"half cycle %0d: %b against %b\", i, oa, ob); $finish; end\n"
        << "      clk = ~clk;\n    end\n    $display(\"same\");\n    $finish;\n  end\nendmodule\n";
  const std::string header = "module " + design + " (";
  auto renamed = [&](std::string text, const std::string& module) {
    const std::size_t at = text.find(header);
    return at == std::string::npos ? text : text.replace(at, header.size(), "module " + module + " (");
  };
  velmo_fit_test::write_file("bench.v", bench.str());
  velmo_fit_test::write_file("a.v", renamed(a, "netlist_a"));
  velmo_fit_test::write_file("b.v", renamed(b, "netlist_b"));
  auto r = velmo_fit_test::run_command("iverilog -g2012 -o " + dir + "bench.vvp " + dir + "bench.v " + dir + "a.v " +
                                       dir + "b.v && vvp -n " + dir + "bench.vvp");
  return r.status == 0 && r.out == "same\n" ? "" : r.out;
}

// Fits tests/data/<design>.blif on family 46 with its clock `clk` on the
// global network at `period` ps, post-route retiming on, and the routed and
// final netlists written; their texts into `routed` and `final`.
velmo_fit_test::RESULT fit_with_netlists(const std::string& design, int period, std::string* routed,
                                         std::string* final) {
  const std::string dir = velmo_fit_test::test_dir();
  const std::string settings = velmo_fit_test::write_file(
      design + ".json", R"({"family": 46, "clocks": {"clk": )" + std::to_string(period) + R"(}, "global_clocks": ["clk"],
 "options": [{"id": 627, "type": 1, "value": "on"}], "eda": {"output_dir": ")" + dir + R"(eda", "netlist_type": 3}})");
  auto r = velmo_fit_test::run(std::string(VELMO_SOURCE_DIR) + "/tests/data/" + design + ".blif --settings " +
                               settings + " --cfg muvo_post_route_in_finalize=on --debug");
  auto text = [&](const std::string& snapshot) {
    std::ifstream in(dir + "eda/" + snapshot + "/" + design + ".vo");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  *routed = text("routed");
  *final = text("final");
  return r;
}

// A retimed design computes what the routed one computes, from power-up: a
// pipeline whose middle bank ticks on the falling edge between rising-edge
// banks, its registers powering up at 0 and at 1, fitted with post-route
// retiming, which moves registers of the falling-edge bank back into slots
// (across a LUT as well). Its routed and final netlists give the same
// outputs before every edge. (A slot register made on the other edge, or
// powering up otherwise, differs within a few cycles.)
TEST(VelmoFitPostRoute, ARetimedPipelineOverBothEdgesComputesWhatTheRoutedOneDoes) {
  if (velmo_fit_test::run_command("command -v iverilog && command -v vvp").status != 0)
    GTEST_SKIP() << "iverilog is not installed (make deps)";
  std::string routed, final;
  auto r = fit_with_netlists("mixed_edge_pipe", 1000, &routed, &final);
  ASSERT_EQ(r.status, 0) << r.out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("Retiming: ([0-9]+) pipeline registers? created"))) << r.out;
  EXPECT_GE(std::stoi(m[1]), 2);
  ASSERT_THAT(routed, HasSubstr("always @(negedge"));
  ASSERT_NE(routed, final);
  EXPECT_EQ(simulate_side_by_side("mixed_edge_pipe", routed, final, "clk", 600), "");
}

// Two registers on one net, p powering up at 0 and q at 1: a backward move
// that would remove both is given up (a slot register keeps one power-up),
// and the moves that are made keep the outputs from the first cycle.
TEST(VelmoFitPostRoute, RegistersOfOneNetPoweringUpDifferentlyKeepTheirValues) {
  if (velmo_fit_test::run_command("command -v iverilog && command -v vvp").status != 0)
    GTEST_SKIP() << "iverilog is not installed (make deps)";
  std::string routed, final;
  auto r = fit_with_netlists("pu2", 700, &routed, &final);
  ASSERT_EQ(r.status, 0) << r.out;
  std::smatch m;
  EXPECT_NE(r.out.find("Failed to compute inital condition"), std::string::npos) << "no move was given up";
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("Retiming: ([0-9]+) pipeline registers? created"))) << r.out;
  EXPECT_GE(std::stoi(m[1]), 1);
  EXPECT_EQ(simulate_side_by_side("pu2", routed, final, "clk", 600), "");
}

}  // namespace
