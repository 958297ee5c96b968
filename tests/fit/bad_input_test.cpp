// velmo-fit on bad input and odd requests: a clear message and the right
// exit status, never a crash or a false success.
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fit_runner.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>

#include <nlohmann/json.hpp>

namespace {
using velmo_fit_test::RESULT;
using velmo_fit_test::run;
using velmo_fit_test::run_shell;
using ::testing::HasSubstr;
using ::testing::Not;

using velmo_fit_test::write_file;

nlohmann::json read_json(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in);
}

// A report as it is written: its fields in their order, two spaces a level,
// one field a line and a closing newline, as a person or a line-based tool
// reads it.
void expect_report_layout(const std::string& path) {
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, nlohmann::ordered_json::parse(text).dump(2) + "\n");
}

// A register feeding another of the same clock at the given edges ("re" or
// "fe"), with a LUT between them.
std::string two_registers(const char* first, const char* second) {
  return write_file(std::string("edges_") + first + "_" + second + ".blif",
                    std::string(".model edges\n.inputs clk a\n.outputs y\n") + ".latch a q1 " + first +
                        " clk 0\n.names q1 n\n0 1\n.latch n q2 " + second + " clk 0\n.names q2 y\n1 1\n.end\n");
}

}  // namespace

TEST(BadSettings, ClocksAndNumbersTheRunCannotUseAreSettingsErrors) {
  // An output pin drives no net: not a clock.
  const std::string out_clock = write_file("clock_on_output.json", R"({"clocks": {"out:y": 1000}})");
  const std::string design = two_registers("re", "re");
  RESULT r = run(design + " --stages none --settings " + out_clock);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr(out_clock + ": clock 'out:y' names 'out:y', which drives no net"));
  // A number JSON cannot hold.
  for (const char* text : {R"({"family": 1e400})", R"({"clocks": {"clk": -1e999}})"}) {
    const std::string huge = write_file("huge_number.json", text);
    r = run("--stages none --settings " + huge);
    EXPECT_EQ(r.status, 2) << text << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(huge + ": not valid JSON")) << text;
  }
  // A family the settings give is checked like --family.
  const std::string family = write_file("family_19.json", R"({"family": 19})");
  r = run("--stages none --settings " + family);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("unsupported family code 19 (valid: 46, 48, 26, 15)"));
}

TEST(BadOptions, RefusedBeforeAnythingRuns) {
  struct CASE {
    std::string args;
    std::string message;
  };
  const std::string design = std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif";
  const std::string cfg_file = write_file("inputs.cfg", "velmo_x=1\n");
  const std::string range_file = write_file(
      "io_delay_range.json", R"({"clocks": {"clk": 5000}, "io_delays": {"a": {"clock": "clk", "max": 100000001, "min": 0}}})");
  const std::string chain_file = write_file(
      "foreign_chain.json", R"({"assignments": [{"id": 3012, "type": 4, "value": "1", "instance": "s298_in_0_"}]})");
  const std::string lpclk_file = write_file("lpclk_en.json", R"({"lpclk": ["en"]})");
  const std::string family_15 = write_file("family_15.json", R"({"family": 15})");
  const std::string huge = write_file("huge.json", "");
  std::filesystem::resize_file(huge, (256 << 20) + 1);  // a hole: nothing on the disk
  // A link to an input not there yet names it as well.
  const std::string missing_cfg = velmo_fit_test::test_dir() + "missing_input.cfg";
  const std::string link_to_missing = write_file("link_to_missing", "");
  std::filesystem::remove(missing_cfg);
  std::filesystem::remove(link_to_missing);
  std::filesystem::create_symlink(missing_cfg, link_to_missing);
  const std::vector<CASE> cases = {
      {std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif --settings " + lpclk_file,
       lpclk_file + ": lpclk 'en' clocks no register"},
      {"--stages route", "--stages: route needs place in the same run"},
      {"--stages retime", "--stages: retime needs place in the same run"},
      {"--stages final", "--stages: final needs place in the same run"},
      {"--stages plan,route", "--stages: route needs place in the same run"},
      {"--family 19", "unknown or unsupported family code '19' (valid: 46, 48, 26, 15)"},
      {"--family 7", "unknown or unsupported family code '7'"},
      {"--family 999", "unknown or unsupported family code '999'"},
      {"--family 4294967342", "unknown or unsupported family code '4294967342'"},
      {"--threads 99999999999999999999", "bad thread count"},
      {"--suppress -1", "bad message id"},
      {"--stages none --report", "--report needs a value"},
      {"--family", "--family needs a value"},
      {"--report " + design + " " + design, "would overwrite the input file"},
      {"--report /nonexistent/dir/r.json", "--report /nonexistent/dir/r.json: cannot write the file"},
      {std::string(VELMO_DESIGNS_DIR), "is a directory, not a BLIF file"},
      // Inputs that may never end, or past any design's size.
      {"/dev/zero", "velmo-fit: /dev/zero: is a character device, not a regular file, a FIFO or standard input"},
      {"--stages none --settings /dev/zero", "--settings /dev/zero: is a character device, not a regular"},
      {"--stages none --cfg-file /dev/zero", "--cfg-file /dev/zero: is a character device, not a regular"},
      {"--settings " + huge, huge + ": longer than 268,435,456 bytes, past the text of any design a device holds"},
      {"--stages none --cfg use_dern_flow=1", "use_dern_flow is on: velmo-fit cannot run the dern flow"},
      {"--stages place,retime", "--stages: retime needs route in the same run"},
      {"--stages place,retime,final", "--stages: retime needs route in the same run"},
      // Where the final stage routes nothing, a list with final must route.
      {"--stages place,final --family 48",
       "--stages: final needs route in the same run on family 48 (its final stage routes nothing)"},
      {"--stages plan,place,final --settings " + family_15, "--stages: final needs route in the same run on family 15"},
      {"--stages none --cfg ' =1'", "--cfg expects NAME=VALUE with a name, got ' =1'"},
      {"--stages none --settings " + std::string(VELMO_DESIGNS_DIR), "--settings " + std::string(VELMO_DESIGNS_DIR) +
                                                                       ": is a directory, not a file"},
      {"--stages none --cfg-file " + std::string(VELMO_DESIGNS_DIR), ": is a directory, not a file"},
      {"--stages none --cfg-file " + cfg_file + " --report " + cfg_file, "would overwrite the input file " + cfg_file},
      {"--stages none --cfg-file " + missing_cfg + " --report " + link_to_missing,
       "would overwrite the input file " + missing_cfg},
      {"--device 11", "bad device size '11' (12-120 columns)"},
      {"--device 121", "bad device size '121'"},
      {std::string(VELMO_DESIGNS_DIR) + "/mcnc/frisc.blif --device 12 --stages none",
       "no device of 12 columns for this design: it needs at least "},
      {"--stages none --settings " + range_file, range_file + ": io_delays.a.max is out of range (-100000000 to 100000000)"},
      {"--stages none --settings " + chain_file,
       chain_file + ": assignments[0] sets option 3012, the delay chain of type 12, which family 46 does not have"},
  };
  for (const CASE& c : cases) {
    const RESULT r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.message)) << c.args;
    EXPECT_THAT(r.out, Not(HasSubstr("Stage "))) << c.args;
  }
  std::filesystem::remove(huge);
  // Standard input is read whatever it is, up to the same size.
  const RESULT r = run_shell(VELMO_FIT_EXE " /dev/stdin --stages none 2>&1 </dev/zero");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(r.out, "velmo-fit: /dev/stdin: longer than 268,435,456 bytes, past the text of any design a device "
                   "holds: not read further\n");
}

TEST(BadOptions, HelpGivesExitStatusesCfgFileFormatAndFamilies) {
  const RESULT r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("exit status: 0 success, 1 a stage"));
  EXPECT_THAT(r.out, HasSubstr("3 internal error"));
  EXPECT_THAT(r.out, HasSubstr("one NAME=VALUE per line; blank lines\n                      and lines starting with #"));
  EXPECT_THAT(r.out, HasSubstr("device family: 46, 48, 26, 15"));
  EXPECT_THAT(r.out, HasSubstr("from Verilog: tools/velmo-synth TOP OUT.blif FILE..."));
  // What the README says --help gives: the report's rule and where its
  // fields are, the debug levels, the default clock, where the settings are.
  for (const char* said : {"docs/report.md", "no input of the run", "--debug alone is 2", "timed at 5000 ps",
                           "every key: docs/settings.md", "win over the settings"})
    EXPECT_THAT(r.out, HasSubstr(said));
  // Every option the parser takes has its own line, starting with it.
  std::ifstream src(std::string(VELMO_SOURCE_DIR) + "/tools/velmo_fit/velmo_fit_options.cpp");
  const std::string code((std::istreambuf_iterator<char>(src)), std::istreambuf_iterator<char>());
  const std::regex flag(R"re((?:arg == |rfind\(|value_of\(i, arg, )"(--[a-z-]+)=?")re");
  int flags = 0;
  for (std::sregex_iterator it(code.begin(), code.end(), flag), end; it != end; ++it, ++flags)
    EXPECT_THAT(r.out, ::testing::ContainsRegex("\n  " + (*it)[1].str() + "[ =,\\[]")) << (*it)[1];
  EXPECT_GE(flags, 11);
}

TEST(OddDesigns, NetNamesLikeTheLoadersOwnLoad) {
  // Nets named as the loader would name its buffers and output pads.
  const std::string design =
      write_file("own_names.blif",
                 ".model names\n.inputs a clk\n.outputs y out:y\n.names a a~ibuf\n1 1\n.names a~ibuf out:y\n0 1\n"
                 ".latch out:y q re clk 0\n.names q y\n1 1\n.end\n");
  RESULT r = run(design + " --stages place,route");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Routing: "));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));

  // A model and file name in Latin-1 (and a lone continuation byte): the
  // console prints them as given, the report as valid UTF-8 with each stray
  // byte as \xNN, valid UTF-8 kept.
  const std::string latin1 = write_file("caf\xE9.blif", ".model caf\xE9_\x80_\xC3\xA9\n.inputs a clk\n.outputs y\n"
                                                       ".latch a q re clk 0\n.names q y\n0 1\n.end\n");
  const std::string report = velmo_fit_test::test_dir() + "latin1.json";
  r = run(latin1 + " --stages place,route --report " + report);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Design caf\xE9_\x80_\xC3\xA9 (" + latin1 + ")"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  const nlohmann::json j = read_json(report);
  EXPECT_EQ(j["status"], 0);
  EXPECT_EQ(j["design"]["name"], "caf\\xE9_\\x80_\xC3\xA9");
  EXPECT_THAT(j["design"]["file"].get<std::string>(), ::testing::EndsWith("caf\\xE9.blif"));
}

// Logic from which no output pin or periphery block input can be reached
// goes before placement, whatever it reads; what kept logic reads must be
// driven. yosys writes each name aliasing a net as a buffer nothing reads,
// and keeps a wire that lost its driver.
TEST(DeadLogic, IsRemovedCountedAndReportedAndAnUndrivenNetItReadsIsNoError) {
  const std::string design = write_file(
      "dead.blif",
      ".model dead\n.inputs clk a b\n.outputs y\n.names a b n\n11 1\n.latch n q re clk 0\n.names q y\n1 1\n"
      ".names q alias\n1 1\n.names undriven dead\n1 1\n.latch dead r re clk 0\n.names r a dead2\n01 1\n"
      ".latch b fed re clk 0\n.end\n");
  const std::string report = velmo_fit_test::test_dir() + "dead_logic.json";
  RESULT r = run(design + " --stages place,route --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("dead.blif): 2 LUTs, 1 register, 3 input and 1 output pin;"));
  EXPECT_THAT(r.out, HasSubstr("\nResources: 2 LUTs, 1 register, 4 pads, 1 of 56 LABs used\n"));
  EXPECT_THAT(r.out, HasSubstr("\nRemoved 3 LUTs and 2 registers that reach no output pin; 1 kept LUT is a one-input "
                               "identity other logic reads\n"));
  nlohmann::json j = read_json(report);
  EXPECT_EQ(j["design"]["removed"], (nlohmann::json{{"luts", 3}, {"registers", 2}}));
  EXPECT_EQ(j["resources"]["registers"], 1);
  EXPECT_EQ(j["routing"]["unrouted"], 0);

  // A register read only by a periphery block stays (family 48 has a UIB
  // at [6, 9] on the device this design gets).
  const std::string settings = write_file(
      "uib.json", R"({"family": 48, "periphery": [{"name": "u", "kind": "UIB", "site": [6, 9], "inputs": ["fed"]}]})");
  r = run(design + " --stages none --settings " + settings + " --report " + report);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Removed 3 LUTs and 1 register that reach no output pin"));
  j = read_json(report);
  EXPECT_EQ(j["design"]["removed"]["registers"], 1);
  EXPECT_EQ(j["resources"]["registers"], 2);

  // Settings naming what was removed say why it is not there.
  const std::string assigned = write_file(
      "assigned.json", R"({"assignments": [{"instance": "fed", "id": 1032, "type": 4, "value": "3"}]})");
  r = run(design + " --stages none --settings " + assigned);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("assignment to 'fed', which is no instance of the design ('fed' reaches no output "
                               "pin: the design's logic that reaches none was removed before the settings applied)"));
  // So do settings naming a clock whose registers were all removed (also
  // beside dead logic that reads an undriven net); a net that never clocked
  // one is just that.
  const std::string clocks = write_file(
      "dead_clock.blif", ".model dead_clock\n.inputs clk c2 a\n.outputs y\n.latch a q re clk 0\n.names q y\n1 1\n"
                         ".latch a r re c2 0\n.names undriven z\n1 1\n.end\n");
  const std::string removed = "' clocks no register (the registers 'c2' clocks reach no output pin: the design's "
                              "logic that reaches none was removed before the settings applied)";
  for (const auto& [key, said] : {std::pair<const char*, const char*>{"lpclk", "lpclk 'c2"},
                                  {"global_clocks", "global clock 'c2"}}) {
    r = run(clocks + " --stages none --settings " + write_file("c2.json", std::string("{\"") + key + "\": [\"c2\"]}"));
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_THAT(r.out, HasSubstr(said + removed)) << key;
    r = run(clocks + " --stages none --settings " + write_file("a.json", std::string("{\"") + key + "\": [\"a\"]}"));
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_THAT(r.out, HasSubstr("'a' clocks no register\n")) << key;
  }
}

// A transfer from a rising-edge to a falling-edge register has half the
// period: its setup slack is half a period less than the same transfer
// between rising edges, its hold slack half a period more.
TEST(HalfCycleTiming, OppositeEdgesGetHalfThePeriod) {
  const std::string settings = write_file("clock_3000.json", R"({"clocks": {"clk": 3000}})");
  auto fit = [&](const char* first, const char* second) {
    const std::string report = velmo_fit_test::test_dir() + "edges_" + first + second + ".json";
    const RESULT r = run(two_registers(first, second) + " --stages place,route --settings " + settings +
                         " --report " + report);
    EXPECT_EQ(r.status, 0) << r.out;
    return read_json(report)["timing"];
  };
  const nlohmann::json same = fit("re", "re");
  for (const auto& [first, second] : {std::pair<const char*, const char*>{"re", "fe"}, {"fe", "re"}}) {
    SCOPED_TRACE(std::string(first) + " -> " + second);
    const nlohmann::json half = fit(first, second);
    ASSERT_EQ(half.size(), same.size());
    for (std::size_t c = 0; c < same.size(); ++c) {
      EXPECT_EQ(half[c]["setup_wns_ps"].get<int>(), same[c]["setup_wns_ps"].get<int>() - 1500) << same[c]["corner"];
      EXPECT_EQ(half[c]["hold_wns_ps"].get<int>(), same[c]["hold_wns_ps"].get<int>() + 1500) << same[c]["corner"];
    }
  }
  // Two falling edges are a full cycle again.
  const nlohmann::json both_falling = fit("fe", "fe");
  for (std::size_t c = 0; c < same.size(); ++c)
    EXPECT_EQ(both_falling[c]["setup_wns_ps"].get<int>(), same[c]["setup_wns_ps"].get<int>());
}

TEST(Threads, OneAndEightThreadsGiveTheSameFit) {
  const std::string design = std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif";
  auto fit = [&](int threads) {
    const std::string report = velmo_fit_test::test_dir() + "threads_" + std::to_string(threads) + ".json";
    const RESULT r = run(design + " --threads " + std::to_string(threads) + " --report " + report);
    EXPECT_EQ(r.status, 0) << r.out;
    nlohmann::json j = read_json(report);
    return std::make_pair(j["routing"], j["timing"]);
  };
  EXPECT_EQ(fit(1), fit(8));
}

// An I/O delay naming a bus as the netlists show it (crc32x8's input bus d,
// its output bus crc, with or without "out:") is refused on stderr, naming
// the pins a delay takes; a name that is no bus's base keeps the plain
// refusal, and a bit takes its delay. A bus of one bit is named by it; a
// pin whose index is no number of at most nine digits is no bus bit.
TEST(BadSettings, AnIoDelayOnABusNamesTheBitsThatTakeOne) {
  const std::string crc = std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif";
  const std::string odd = write_file("odd_buses.blif",
                                     ".model odd\n.inputs clk a[3] w[123456789] v[1234567890] e[] x[1a]\n"
                                     ".outputs q[5]\n.names clk a[3] w[123456789] v[1234567890] e[] x[1a] q[5]\n"
                                     "111111 1\n.end\n");
  const std::string bus = "', which is a bus base, not a pin: name each bit, ";
  const std::string no_pin = "', which is no pin of the design\n";
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {crc, "d", "I/O delay of 'd" + bus + "'d[0]' ... 'd[7]'\n"},
      {crc, "out:crc", "I/O delay of 'out:crc" + bus + "'out:crc[0]' ... 'out:crc[31]'\n"},
      {crc, "crc", "I/O delay of 'crc" + bus + "'out:crc[0]' ... 'out:crc[31]'\n"},
      {crc, "out:d", "I/O delay of 'out:d" + no_pin},
      {crc, "cr", "I/O delay of 'cr" + no_pin},
      {crc, "d[3]", ""},
      {crc, "out:crc[31]", ""},
      {odd, "a", "I/O delay of 'a" + bus + "'a[3]'\n"},
      {odd, "q", "I/O delay of 'q" + bus + "'out:q[5]'\n"},
      {odd, "w", "I/O delay of 'w" + bus + "'w[123456789]'\n"},
      {odd, "v", "I/O delay of 'v" + no_pin},
      {odd, "e", "I/O delay of 'e" + no_pin},
      {odd, "x", "I/O delay of 'x" + no_pin},
  };
  for (const auto& [design, pin, message] : cases) {
    const std::string settings = write_file("io_bus.json", R"({"clocks": {"clk": 5000}, "io_delays": {")" + pin +
                                                                R"(": {"clock": "clk", "max": 1, "min": 0}}})");
    const RESULT r = run_shell(std::string(VELMO_FIT_EXE) + " " + design + " --stages none --settings " + settings +
                               " 2>&1 >/dev/null");
    EXPECT_EQ(r.status, message.empty() ? 0 : 2) << pin << "\n" << r.out;
    EXPECT_EQ(r.out, message.empty() ? "" : "velmo-fit: " + settings + ": " + message) << pin;
  }
}

// Which threads a log of the preloaded thread-start library names in its
// lines of one kind ("started" or "refused"): the timing netlist's parallel
// ranges, the timing analysis's corners, the threading library's workers.
std::set<std::string> thread_callers(const std::string& log, const std::string& kind) {
  std::set<std::string> found;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(kind + " ", 0) != 0) continue;
    for (const char* caller : {"parallel_ranges", "each_corner", "libtbb"})
      if (line.find(caller) != std::string::npos) found.insert(caller);
  }
  return found;
}

// Threads that cannot be started, on the main thread (the first one) or on
// a worker starting the next: one line on stderr and status 3, never an
// abort, and a report that says so.
TEST(Threads, AThreadThatCannotStartEndsTheRunWithOneLine) {
  const std::string design = std::string(VELMO_DESIGNS_DIR) + "/yosys/fir8.blif";
  const std::string report = velmo_fit_test::test_dir() + "no_threads.json";
  for (const char* started : {"0", "1", "2"}) {
    std::ofstream(report) << R"({"status": 0})";
    const RESULT r = run_shell(std::string("VELMO_TEST_THREADS_STARTED=") + started +
                               " LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB
                               " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " VELMO_FIT_EXE " " + design +
                               " --threads 8 --report " + report + " 2>&1 >/dev/null");
    EXPECT_EQ(r.status, 3) << started << "\n" << r.out;
    EXPECT_EQ(r.out, "velmo-fit: cannot start a thread: Resource temporarily unavailable\n") << started;
    const nlohmann::json failed = read_json(report);
    EXPECT_EQ(failed["status"], 3) << started;
    EXPECT_EQ(failed["error"], "cannot start a thread: Resource temporarily unavailable") << started;
  }
  // The host's own four-worker job (the parallel post-fit checks), one or
  // two of its workers started: those started are joined, the run ends as
  // above.
  for (const char* started : {"0", "1", "2"}) {
    const RESULT r = run_shell(std::string("VELMO_TEST_THREADS_STARTED=") + started +
                               " LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB
                               " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " VELMO_FIT_EXE
                               " --threads 1 --cfg wexan_parallize_allchecks=on 2>&1 >/dev/null");
    EXPECT_EQ(r.status, 3) << started << "\n" << r.out;
    EXPECT_EQ(r.out, "velmo-fit: cannot start a thread: Resource temporarily unavailable\n") << started;
  }
  // The same preload with every thread allowed fits.
  const RESULT r = run_shell("VELMO_TEST_THREADS_STARTED=1000 LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB
                             " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " VELMO_FIT_EXE " " + design +
                             " --threads 8 --stages place 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  // A design large enough that the timing netlist's build reads its inputs
  // in ranges on several threads and the timing analysis gives each corner
  // its own: a helper that cannot start there ends the run the same way,
  // after those started are joined.
  const std::string frisc = std::string(VELMO_DESIGNS_DIR) + "/mcnc/frisc.blif";
  const std::string log = velmo_fit_test::test_dir() + "threads_cannot_start.log";
  auto fit_frisc = [&](int started, const char* stages) {
    std::filesystem::remove(log);
    return run_shell("VELMO_TEST_THREADS_STARTED=" + std::to_string(started) + " VELMO_TEST_THREADS_LOG=" + log +
                     " LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB
                     " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " VELMO_FIT_EXE " " + frisc +
                     " --threads 8" + stages + " 2>&1 >/dev/null");
  };
  const RESULT placed = fit_frisc(1000, " --stages place");
  EXPECT_EQ(placed.status, 0) << placed.out;
  EXPECT_EQ(thread_callers(log, "started"), (std::set<std::string>{"parallel_ranges", "each_corner"}));
  std::set<std::string> refused;
  for (int started : {1, 2, 3, 8, 12}) {
    const RESULT failed = fit_frisc(started, "");
    EXPECT_EQ(failed.status, 3) << started << "\n" << failed.out;
    EXPECT_EQ(failed.out, "velmo-fit: cannot start a thread: Resource temporarily unavailable\n") << started;
    for (const std::string& caller : thread_callers(log, "refused")) refused.insert(caller);
  }
  EXPECT_EQ(refused, (std::set<std::string>{"parallel_ranges", "each_corner"}));
  // Only a worker of the threading library starting the next one refused.
  std::filesystem::remove(log);
  const RESULT worker = run_shell("VELMO_TEST_THREADS_REFUSE_WORKER=1 VELMO_TEST_THREADS_LOG=" + log +
                                  " LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB
                                  " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " VELMO_FIT_EXE " " + frisc +
                                  " --threads 8 2>&1 >/dev/null");
  EXPECT_EQ(worker.status, 3) << worker.out;
  EXPECT_EQ(worker.out, "velmo-fit: cannot start a thread: Resource temporarily unavailable\n");
  EXPECT_EQ(thread_callers(log, "refused"), std::set<std::string>{"libtbb"});
}

// The same in a fit driven from tclsh: a Tcl error with velmo-fit's reason
// that the script catches, and tclsh ends normally; also when a worker of
// the threading library cannot start the next worker, outside any command.
TEST(Threads, AThreadThatCannotStartIsATclErrorInTheTclPackage) {
  const std::string frisc = std::string(VELMO_DESIGNS_DIR) + "/mcnc/frisc.blif";
  const std::string dir = velmo_fit_test::test_dir();
  const std::string log = dir + "tcl_threads_cannot_start.log";
  // Each run logs the threads it started and refused into a file of its own.
  auto tclsh = [&](const std::string& refusal, const std::string& log) {
    std::filesystem::remove(log);
    return run_shell(refusal + " VELMO_TEST_THREADS_LOG=" + log +
                     // The shim first: under the sanitizers the runtime's own
                     // pthread_create would otherwise answer before it.
                     " LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB ":" VELMO_TCLSH_PRELOAD
                     " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 tclsh " VELMO_SOURCE_DIR
                     "/tests/tcl/thread_start_failure.tcl " VELMO_FIT_TCL_LIB " " + frisc + " 2>&1");
  };
  RESULT r = tclsh("VELMO_TEST_THREADS_STARTED=1000", log);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, Not(HasSubstr("error: "))) << r.out;
  EXPECT_EQ(thread_callers(log, "started"), (std::set<std::string>{"parallel_ranges", "each_corner", "libtbb"}));
  // The threads started before the threading library's first worker: one
  // more lets that worker start and refuses the next, which the worker or
  // the main thread may be starting.
  int before_workers = 0;
  {
    std::ifstream in(log);
    for (std::string line; std::getline(in, line) && line.find("libtbb") == std::string::npos;) ++before_workers;
  }
  std::set<std::string> refused;
  std::vector<std::string> refusals;
  for (int started : {1, 2, 8, 12, before_workers + 1, before_workers + 3})
    refusals.push_back("VELMO_TEST_THREADS_STARTED=" + std::to_string(started));
  // Only a worker's start of the next worker refused, every later thread
  // started: the failure still fails the fit.
  refusals.push_back("VELMO_TEST_THREADS_REFUSE_WORKER=1");
  // The refused runs are independent fits: they run side by side.
  std::vector<std::future<RESULT>> runs;
  for (std::size_t i = 0; i < refusals.size(); ++i)
    runs.push_back(std::async(std::launch::async, tclsh, refusals[i], dir + "refused_" + std::to_string(i) + ".log"));
  std::string last_log;
  for (std::size_t i = 0; i < refusals.size(); ++i) {
    const std::string& refusal = refusals[i];
    last_log = dir + "refused_" + std::to_string(i) + ".log";
    r = runs[i].get();
    EXPECT_EQ(r.status, 0) << refusal << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("error: cannot start a thread: Resource temporarily unavailable\n")) << refusal;
    // No stage runs after it; a start that failed leaves no fit open.
    if (r.out.find("\nstarted\n") == std::string::npos) {
      EXPECT_THAT(r.out, HasSubstr("\nthen: velmo_fit::stage: no fit is running\n")) << refusal;
      EXPECT_THAT(r.out, HasSubstr("\nend: velmo_fit::end: no fit is running\n")) << refusal;
    } else {
      EXPECT_THAT(r.out, ::testing::AnyOf(HasSubstr(" cannot run after a thread that could not be started\n"),
                                          HasSubstr("\nthen: none\n")))
          << refusal;
      EXPECT_THAT(r.out, HasSubstr("\nend: 0\n")) << refusal;
    }
    if (refusal == refusals.front()) EXPECT_THAT(r.out, Not(HasSubstr("\nstarted\n")));
    EXPECT_THAT(r.out, HasSubstr("fit ended\n")) << refusal;
    for (const std::string& caller : thread_callers(last_log, "refused")) refused.insert(caller);
  }
  EXPECT_EQ(refused, (std::set<std::string>{"parallel_ranges", "each_corner", "libtbb"}));
  // The last run refused only the worker's start of the next worker.
  EXPECT_EQ(thread_callers(last_log, "refused"), std::set<std::string>{"libtbb"});
  // A thread the end's own checks cannot start: that end closes the fit.
  r = run_shell("LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB ":" VELMO_TCLSH_PRELOAD
                " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 tclsh " VELMO_SOURCE_DIR
                "/tests/tcl/exit_after_thread_failure.tcl " VELMO_FIT_TCL_LIB " " VELMO_DESIGNS_DIR
                "/yosys/crc32x8.blif 2 checks 2>&1");
  EXPECT_THAT(r.out, HasSubstr("\nend: cannot start a thread: Resource temporarily unavailable\n"
                               "end: velmo_fit::end: no fit is running\n"));
}

// A fit from tclsh keeps its --threads to the end: the threading library
// starts one worker less than that (with the limit lifted, one for each
// further core).
TEST(Threads, ATclFitKeepsItsThreadLimit) {
  const std::string crc = std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif";
  for (int threads : {1, 2}) {
    const std::string log = velmo_fit_test::test_dir() + "threads_" + std::to_string(threads) + ".log";
    const RESULT r = run_shell("VELMO_TEST_THREADS_LOG=" + log + " LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB
                               ":" VELMO_TCLSH_PRELOAD " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 tclsh "
                               VELMO_SOURCE_DIR "/tests/tcl/exit_after_thread_failure.tcl " VELMO_FIT_TCL_LIB " " +
                               crc + " " + std::to_string(threads) + " end 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("\nend: 1\n")) << threads;
    int workers = 0;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
      workers += line.rfind("started ", 0) == 0 && line.find("libtbb") != std::string::npos;
    EXPECT_EQ(workers, std::min<int>(threads, std::thread::hardware_concurrency()) - 1) << threads;
  }
}

// A fit whose threads stopped starting, still open when tclsh exits: the
// package shuts the component down as tclsh exits, and tclsh ends with the
// script's status, never in an abort (lifting the fit's thread limit then has the
// threading library start workers). Whether the abort came depended on the
// count: each count runs six times, half of them with eight threads, a
// second start refused and the fit ended before the exit.
TEST(Threads, TclshExitsNormallyAfterAFitWhoseThreadsCouldNotStart) {
  const std::string crc = std::string(VELMO_DESIGNS_DIR) + "/yosys/crc32x8.blif";
  std::vector<std::pair<int, std::future<RESULT>>> runs;
  for (int started : {12, 13, 14})
    for (int i = 0; i < 6; ++i)
      runs.emplace_back(started, std::async(std::launch::async, [started, crc, i] {
                          const std::string log = velmo_fit_test::test_dir() + "exit_" + std::to_string(started * 6 + i);
                          std::filesystem::remove(log);
                          return run_shell("VELMO_TEST_THREADS_LOG=" + log + " VELMO_TEST_THREADS_STARTED=" +
                                           std::to_string(started) +
                                           " LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB ":" VELMO_TCLSH_PRELOAD
                                           " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 tclsh " VELMO_SOURCE_DIR
                                           "/tests/tcl/exit_after_thread_failure.tcl " VELMO_FIT_TCL_LIB " " +
                                           crc + (i % 2 ? " 8 end" : " 2") + " 2>&1");
                        }));
  for (std::size_t k = 0; k < runs.size(); ++k) {
    auto& [started, run] = runs[k];
    const RESULT r = run.get();
    EXPECT_EQ(r.status, 0) << started << "\n" << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("terminate called"))) << started;
    // Without the libraries' destructors, what Tcl held is written.
    std::ifstream log(velmo_fit_test::test_dir() + "exit_" + std::to_string(started * 6 + k % 6));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}).find("destructors"), std::string::npos) << started;
    EXPECT_THAT(r.out, HasSubstr("buffered at the exit")) << started;
    const std::size_t failed = r.out.find("final: cannot start a thread: Resource temporarily unavailable\n");
    EXPECT_NE(failed, std::string::npos) << started << "\n" << r.out;
    // The component was shut down as tclsh exited.
    EXPECT_NE(r.out.find("Deleting all memory required to exist until the end of the fitter", failed),
              std::string::npos)
        << started;
    if (r.out.find("\nstart: ") != std::string::npos)
      EXPECT_THAT(r.out, ::testing::AllOf(HasSubstr("\nstart: velmo_fit::start: a fit is running; end it first\n"),
                               HasSubstr("\nend: 0\n")))
          << started;
  }
}

TEST(FalseSuccesses, EveryRegisterClockedAnyLineEndAndEveryRoutingChecked) {
  // A partition that takes every register still has its clock declared.
  const std::string design = two_registers("re", "re");
  const std::string all_registers =
      write_file("all_registers.json", R"({"partitions": [{"name": "regs", "atoms": ["q1", "q2"]}]})");
  RESULT r = run(design + " --stages place,route --settings " + all_registers);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Timing [^\n]*: setup WNS -?[0-9]+ ps"));
  EXPECT_THAT(r.out, Not(HasSubstr("setup WNS none")));

  // CR, CRLF and a byte-order mark read as the LF file does.
  std::ifstream in(design);
  const std::string lf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto with_ends = [&](const std::string& eol) {
    std::string out;
    for (char c : lf) out += c == '\n' ? eol : std::string(1, c);
    return out;
  };
  const RESULT plain = run(design + " --stages none");
  const std::string summary = plain.out.substr(0, plain.out.find('\n'));
  ASSERT_THAT(summary, HasSubstr("2 registers"));
  for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
           {"cr.blif", with_ends("\r")}, {"crlf.blif", with_ends("\r\n")}, {"bom.blif", "\xEF\xBB\xBF" + lf}}) {
    r = run(write_file(name, text) + " --stages none");
    EXPECT_EQ(r.status, 0) << name << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(summary.substr(summary.find(':')))) << name;
  }
  // A file cut short (no .end) reads, with a warning naming its last line;
  // a whole one gets none.
  const std::string cut = write_file("cut.blif", ".model m\n.inputs a b\n.outputs y\n.names a b y\n11 1\n\n# gone\n");
  r = run(cut + " --stages none");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: warning: " + cut + ":5: the file ends without .end after '11 1': it may "
                               "be cut short\n"));
  r = run(write_file("whole.blif", ".model m\n.inputs a b\n.outputs y\n.names a b y\n11 1\n.end\n") + " --stages none");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, Not(HasSubstr("warning")));
  r = run(write_file("extra_word.blif", ".model m x\n.inputs a\n.outputs a\n.end\n") + " --stages none");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("extra_word.blif:1: unexpected 'x' after the model name"));

  // The final stage routes on the families with the retimer: the routing
  // and post-fit checks follow it.
  for (const char* family : {"46", "26"}) {
    r = run(design + " --stages place,final --family " + family);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("Stage final: ok"));
    EXPECT_THAT(r.out, HasSubstr("Stage checks: ok"));
    EXPECT_THAT(r.out, ::testing::ContainsRegex("Routing: [1-9][0-9]* connections, 0 unrouted, 0 overused\n"));
  }
}

TEST(Reports, NeverStaleAlwaysWholeAndTheOutputMustBeWritten) {
  const std::string dir = velmo_fit_test::test_dir() + "reports/";
  std::filesystem::create_directories(dir);
  const std::string report = dir + "r.json";
  const std::string bad = write_file("bad_family.json", R"({"family": 0})");
  // A run refused for its input replaces an earlier run's report with its
  // status and the message it printed.
  std::ofstream(report) << R"({"status": 0})";
  RESULT r = run("--stages none --settings " + bad + " --report " + report);
  EXPECT_EQ(r.status, 2) << r.out;
  const nlohmann::json refused = read_json(report);
  EXPECT_EQ(refused["status"], 2);
  EXPECT_EQ(refused.size(), 2u);
  expect_report_layout(report);
  const std::string error = refused["error"].get<std::string>();
  EXPECT_THAT(error, HasSubstr("bad_family.json: family is out of range"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: " + error + "\n"));
  // So does one whose design is refused; one whose error is the report path
  // itself writes none (here the path is the design, which stays as it was).
  const std::string undriven = write_file("undriven.blif", ".model m\n.inputs a\n.outputs y\n.names a u y\n11 1\n");
  r = run(undriven + " --stages none --report " + report);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(read_json(report)["error"].get<std::string>(),
              HasSubstr(undriven + ":4: net 'u' is used but never driven, and it reaches output pin 'y'"));
  // And one whose design, named by a descriptor, cannot be read from it.
  std::ofstream(report) << R"({"status": 0})";
  r = run_shell(std::string(VELMO_FIT_EXE) + " /dev/stdin --stages none --report " + report + " 2>&1 0>/dev/null");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: /dev/stdin: cannot read: "));
  EXPECT_EQ(read_json(report)["status"], 2);
  EXPECT_THAT(read_json(report)["error"].get<std::string>(), HasSubstr("/dev/stdin: cannot read: "));
  r = run(undriven + " --stages none --report " + undriven);
  EXPECT_EQ(r.status, 2) << r.out;
  std::ifstream kept(undriven);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), ".model m\n.inputs a\n.outputs y\n.names a u y\n11 1\n");
  std::filesystem::remove(report);
  r = run("--stages none --report " + report);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_json(report)["status"], 0);
  // Written beside its path and renamed: nothing else is left there.
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir)) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"r.json"});

  const std::string exe = VELMO_FIT_EXE;
  // A run that ends with status 3 mid-fit (here no thread can be started)
  // leaves a report that says so, and its line goes to stderr (only stderr
  // reaches the pipe here).
  r = run_shell("VELMO_TEST_THREADS_STARTED=0 LD_PRELOAD=" VELMO_THREAD_START_FAILURE_LIB
                " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " + exe + " --report " + report +
                " 2>&1 >/dev/null");
  EXPECT_EQ(r.status, 3) << r.out;
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: cannot start a thread: "));
  const nlohmann::json failed = read_json(report);
  EXPECT_EQ(failed["status"], 3);
  velmo_fit_test::expect_documented_report(failed);
  EXPECT_THAT(failed["error"].get<std::string>(), HasSubstr("cannot start a thread: "));
  expect_report_layout(report);

  // A report name as long as a directory takes: its temporary name beside
  // it stays within the limit too.
  const std::string long_name = dir + std::string(250, 'r') + ".json";
  r = run("--stages none --report " + long_name);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_json(long_name)["status"], 0);
  std::filesystem::remove(long_name);

  // Output that cannot be written fails the run, with one line on stderr.
  for (const std::string redirect : {">/dev/full", ">&-"}) {
    for (const std::string& args : {std::string("--stages none"), std::string("--help")}) {
      r = run_shell(exe + " " + args + " 2>&1 " + redirect);
      EXPECT_EQ(r.status, 1) << args << " " << redirect << "\n" << r.out;
      EXPECT_THAT(r.out, HasSubstr("velmo-fit: cannot write the standard output")) << args << " " << redirect;
    }
  }
  // A closed output does not hand its descriptor to the report, also with
  // standard input closed too (the descriptor that holds it is then opened
  // at 0 and moved); the report gives the run's status.
  for (const char* closed : {" >&-", " <&- >&-", " >/dev/full"}) {
    r = run_shell(exe + " --stages none --report " + report + " 2>&1" + closed);
    EXPECT_EQ(r.status, 1) << closed << "\n" << r.out;
    EXPECT_EQ(read_json(report)["status"], 1) << closed;
  }
  // A run that ends without a report of its own (here a copy of the program
  // without the component beside it) leaves none, not the earlier one.
  const std::string alone = dir + "velmo-fit-alone";
  std::filesystem::copy_file(exe, alone, std::filesystem::copy_options::overwrite_existing);
  r = run_shell(alone + " --stages none --report " + report + " 2>&1");
  std::filesystem::remove(alone);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: cannot load "));
  EXPECT_FALSE(std::filesystem::exists(report));
  // A component without the entry points (here a library that has none of
  // them beside a copy of the program): the list goes to stderr alone,
  // the verdict to stdout.
  const std::string lacking = dir + "lacking/";
  std::filesystem::create_directories(lacking + "lib");
  std::filesystem::copy_file(exe, lacking + "velmo-fit", std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove(lacking + "lib/libvelmo.so");
  std::filesystem::create_symlink(VELMO_THREAD_START_FAILURE_LIB, lacking + "lib/libvelmo.so");
  r = run_shell(lacking + "velmo-fit --stages none 2>&1 >" + lacking + "out.txt");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, ::testing::ContainsRegex("^velmo-fit: libvelmo.so does not provide these entry points yet:\n  "
                                              "[^\n]+\n"));
  std::ifstream lacking_out(lacking + "out.txt");
  const std::string out((std::istreambuf_iterator<char>(lacking_out)), {});
  EXPECT_THAT(out, HasSubstr("velmo-fit: failed\n"));
  EXPECT_THAT(out, Not(HasSubstr("entry points")));
}

TEST(Numbers, RangeEndsAndUnreadableConfigurationFitWithoutOverflow) {
  const std::string design = two_registers("re", "fe");
  // Every time at an end of its range, and guardband percentages at the
  // ends of int.
  for (const char* text :
       {R"({"options": [{"id": 1175, "type": 1, "value": "on"}], "clocks": {"clk": 1}, "io_delays": {"a": {"clock": "clk", "max": 100000000, "min": -100000000},
            "out:y": {"clock": "clk", "max": 100000000, "min": 100000000}}})",
        R"({"options": [{"id": 1175, "type": 1, "value": "on"}], "clocks": {"clk": 100000000}, "io_delays": {"a": {"clock": "clk", "max": -100000000, "min": -100000000},
            "out:y": {"clock": "clk", "max": -100000000, "min": -100000000}}})"}) {
    const std::string settings = write_file("range_ends.json", text);
    const RESULT r = run(design + " --stages place,route,retime,final --settings " + settings +
                         " --cfg velmo_tbff_guardband_percentage_min=2147483647"
                         " --cfg velmo_tbff_guardband_percentage_max=-2147483648");
    EXPECT_THAT(r.status, ::testing::AnyOf(0, 1)) << text << "\n" << r.out;
    EXPECT_THAT(r.out, ::testing::ContainsRegex("Timing [^\n]*: setup WNS -?[0-9]+ ps")) << text;
    EXPECT_THAT(r.out, Not(HasSubstr("runtime error"))) << text;
  }
  // A value no reading can take keeps the default, with one warning naming
  // it, however often it is read.
  const RESULT r = run(design + " --stages place,route --cfg debug_msg=perhaps");
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string warning =
      "velmo-fit: warning: configuration variable 'debug_msg' has the value 'perhaps', which is no boolean; its "
      "default applies\n";
  const auto first = r.out.find(warning);
  EXPECT_NE(first, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(warning, first + 1), std::string::npos) << r.out;
}

TEST(Device, TheDeviceCanBeAskedForOnTheCommandLineOrInTheSettings) {
  RESULT r = run("--stages none --device 20");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr(", 20 x 18 tiles\n"));
  const std::string settings = write_file("device_columns.json", R"({"device_columns": 24})");
  r = run("--stages none --settings " + settings);
  EXPECT_THAT(r.out, HasSubstr(", 24 x 22 tiles\n"));
  // The command line wins; a fit on the larger device routes.
  r = run("--stages place,route --device 22 --settings " + settings);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr(", 22 x 20 tiles\n"));
  EXPECT_THAT(r.out, HasSubstr(" 0 unrouted, 0 overused\n"));
}

// The design that routing fails on at the size velmo-fit picks for it.
const std::string kCongested = std::string(VELMO_SOURCE_DIR) + "/tests/data/congested.blif";

TEST(Device, ARoutingThatFailsIsTriedAgainOnALargerDevice) {
  const std::string dir = velmo_fit_test::test_dir(), report = dir + "congested.json", settings = dir + "settings.json";
  std::ofstream(settings) << R"({"clocks": {"clk": 10000}})";
  // The design piped into /dev/stdin and the settings from a pipe: the run
  // on the larger device reads the same inputs again.
  RESULT r = run_shell("cat " + kCongested + " | bash -c '" + VELMO_FIT_EXE + " /dev/stdin --stages place,route --settings <(cat " +
                       settings + ") --report " + report + " 2>&1'");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_json(report)["design"]["file"], "/dev/stdin");
  // One verdict, the last attempt's.
  EXPECT_THAT(r.out, Not(HasSubstr("velmo-fit: failed")));
  EXPECT_EQ(r.out.find("velmo-fit: done"), r.out.rfind("velmo-fit: done")) << r.out;
  // The failed stage's reason is what the routing left, not debug lines.
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Stage route: FAILED[^\n]*\n(Routing round[^\n]*\n)*  reason: "
                                              "(congestion not resolved|left unrouted)"));
  std::smatch m;
  const std::regex retry("velmo-fit: routing failed on the ([0-9]+) x ([0-9]+) device; trying a larger one "
                         "\\(--device ([0-9]+)\\)\n");
  ASSERT_TRUE(std::regex_search(r.out, m, retry)) << r.out;
  const int sized = std::stoi(m[1]), height = std::stoi(m[2]);
  // Each retry goes larger; the report holds the last one's device.
  int larger = sized;
  for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), retry); it != std::sregex_iterator(); ++it) {
    EXPECT_EQ(std::stoi((*it)[1]), larger == sized ? sized : larger) << r.out;
    EXPECT_GT(std::stoi((*it)[3]), larger);
    larger = std::stoi((*it)[3]);
  }
  // The device that failed is the one velmo-fit picked at first.
  EXPECT_THAT(r.out, HasSubstr(", " + std::to_string(sized) + " x " + std::to_string(height) + " tiles\n"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: done"));
  EXPECT_EQ(read_json(report)["device"]["nx"], larger);
  EXPECT_EQ(read_json(report)["status"], 0);
}

// A report on a descriptor (here through a link to standard output) is
// written once, by the run on the larger device.
TEST(Device, AReportOnADescriptorIsWrittenOnceByTheRunOnTheLargerDevice) {
  const std::string dir = velmo_fit_test::test_dir(), settings = dir + "settings.json";
  std::ofstream(settings) << R"({"clocks": {"clk": 10000}})";
  const std::string to_stdout = dir + "congested_to_stdout", console = to_stdout + ".txt";
  std::filesystem::create_symlink("/proc/self/fd/1", to_stdout);
  const RESULT r = run_shell(std::string(VELMO_FIT_EXE) + " " + kCongested + " --stages place,route --settings " + settings +
                             " --report " + to_stdout + " >" + console + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  std::ifstream in(console);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const auto json = text.find("\n{\n");
  ASSERT_NE(json, std::string::npos) << text;
  EXPECT_EQ(text.find("\n{\n", json + 1), std::string::npos) << text;
  EXPECT_LT(text.find("trying a larger one"), json) << text;
}

// The size velmo-fit picks for the congested design, on which routing
// fails: columns and rows.
std::pair<std::string, std::string> congested_size() {
  const RESULT r = run(kCongested + " --stages none");
  std::smatch m;
  EXPECT_TRUE(std::regex_search(r.out, m, std::regex(", ([0-9]+) x ([0-9]+) tiles\n"))) << r.out;
  return {m.size() > 2 ? m.str(1) : "0", m.size() > 2 ? m.str(2) : "0"};
}

// A device the user asked for is not replaced when routing fails on it.
TEST(Device, ADeviceTheUserAskedForIsNotReplacedWhenRoutingFails) {
  const auto [sized, height] = congested_size();
  const RESULT r = run(kCongested + " --stages place,route --device " + sized);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr(", " + sized + " x " + height + " tiles\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("trying a larger one")));
}

// Nor one whose sites the settings use: the routing failure is the run's.
TEST(Device, ADeviceWhoseSitesTheSettingsUseIsNotReplacedWhenRoutingFails) {
  const std::string dir = velmo_fit_test::test_dir();
  const std::string height = congested_size().second;
  const std::string uib = dir + "congested_uib.json";
  std::ofstream(uib) << R"({"periphery": [{"name": "u", "kind": "UIB", "site": [3, )" +
                            std::to_string(std::stoi(height) - 1) + R"(], "inputs": ["i0"]}]})";
  const RESULT r = run(kCongested + " --stages place,route --settings " + uib);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, Not(HasSubstr("trying a larger one")));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("Stage route: FAILED[^\n]*\n(Routing round[^\n]*\n)*  reason: "));
  EXPECT_EQ(r.out.find("velmo-fit: failed"), r.out.rfind("velmo-fit: failed")) << r.out;
}

TEST(Reports, AReportPathLeadingToADescriptorDeviceOrLinkIsWrittenThereAndNeverReplaced) {
  namespace fs = std::filesystem;
  const std::string exe = VELMO_FIT_EXE;
  const std::string dir = velmo_fit_test::test_dir() + "report_targets/";
  fs::remove_all(dir);
  fs::create_directories(dir);
  // A link to this process's standard output, itself redirected to a file:
  // the report follows the console lines on that file, and the link stays.
  const std::string to_stdout = dir + "to_stdout";
  fs::create_symlink("/proc/self/fd/1", to_stdout);
  const std::string console = dir + "console.txt";
  RESULT r = run_shell(exe + " --stages none --report " + to_stdout + " >" + console + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::is_symlink(to_stdout));
  EXPECT_EQ(fs::read_symlink(to_stdout), "/proc/self/fd/1");
  std::ifstream in(console);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text.rfind("Design top (s298.blif)", 0), 0u) << text;
  const auto open = text.find("\n{\n"), close = text.find("\n}\n");
  ASSERT_NE(open, std::string::npos) << text;
  ASSERT_NE(close, std::string::npos) << text;
  EXPECT_LT(text.find("Peak memory: "), open) << text;
  EXPECT_EQ(nlohmann::json::parse(text.substr(open + 1, close + 2 - open - 1))["status"], 0);

  // A link to a regular file: the file is replaced whole, the link kept,
  // nothing left beside either.
  const std::string target = dir + "target.json", link = dir + "link.json";
  std::ofstream(target) << R"({"status": 7})";
  fs::create_symlink("target.json", link);
  r = run("--stages none --report " + link);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_json(target)["status"], 0);
  std::set<std::string> left;
  for (const auto& e : fs::directory_iterator(dir)) left.insert(e.path().filename());
  EXPECT_EQ(left, (std::set<std::string>{"console.txt", "link.json", "target.json", "to_stdout"}));

  // A FIFO is opened and written, and stays a FIFO.
  const std::string fifo = dir + "report.fifo", got = dir + "got.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  r = run_shell("bash -c 'timeout 120 cat " + fifo + " >" + got + " & timeout 120 " + exe +
                " --stages none --report " + fifo + " 2>&1; status=$?; wait; exit $status'");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(read_json(got)["status"], 0);

  // A character device that takes nothing is refused before the run, as a
  // file that cannot be written is, and is left as it was; one that takes
  // writes is written.
  r = run("--report /dev/full");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(r.out, "velmo-fit: --report /dev/full: cannot write the file\n");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  r = run("--stages none --report /dev/null");
  EXPECT_EQ(r.status, 0) << r.out;
  // A terminal device with no terminal behind it (a session of its own has
  // none) cannot be opened: refused alike.
  r = run_shell("setsid -w " + exe + " --report /dev/tty 2>&1 </dev/null");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(r.out, "velmo-fit: --report /dev/tty: cannot write the file\n");
  // Standard output appended to the design itself: no input is overwritten,
  // so the run goes on and the report follows the design and the console.
  const std::string design_text = ".model m\n.inputs a\n.outputs y\n.names a y\n1 1\n.end\n";
  const std::string appended = write_file("appended.blif", design_text);
  r = run_shell(exe + " " + appended + " --stages none --report /dev/stdout >>" + appended + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  std::ifstream appended_in(appended);
  const std::string appended_text((std::istreambuf_iterator<char>(appended_in)), {});
  EXPECT_EQ(appended_text.rfind(design_text + "Design m (", 0), 0u) << appended_text;
  EXPECT_NE(appended_text.find("\n{\n"), std::string::npos) << appended_text;
  // A descriptor not open for writing is refused before anything runs.
  r = run_shell(exe + " --stages none --report /dev/fd/5 2>&1 5</dev/null");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("--report /dev/fd/5: descriptor 5 is not open for writing"));
  // So is standard output or error closed as the run starts (a library
  // opening a file then would take its number): the line goes to the other.
  r = run_shell(exe + " --stages none --report /dev/stdout 2>&1 >&-");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("--report /dev/stdout: descriptor 1 is not open for writing"));
  r = run_shell(exe + " --stages none --report /dev/stderr 2>&-");
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_EQ(r.out, "");
  // Open, standard error takes the report after the run's own lines.
  r = run_shell(exe + " --stages none --report /dev/stderr 2>&1 >/dev/null");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(nlohmann::json::parse(r.out)["status"], 0);
}

TEST(Reports, AReportPathTheEquivalenceCheckingWritesIsRefusedBeforeTheFit) {
  namespace fs = std::filesystem;
  const std::string eda = velmo_fit_test::test_dir() + "report_eda";
  fs::remove_all(eda);
  const std::string settings = write_file(
      "eda.json", R"({"options": [{"id": 627, "type": 1, "value": "on"}], "eda": {"output_dir": ")" + eda +
                      R"(", "netlist_type": 3}})");
  // The netlist an earlier run wrote stays as it was.
  const std::string netlist = eda + "/synthesized/top.vo";
  fs::create_directories(eda + "/synthesized");
  std::ofstream(netlist) << "module top;\n";
  RESULT r = run("--stages place --settings " + settings + " --report " + netlist);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: --report " + netlist + " would overwrite the netlist " + netlist + "\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("Stage ")));
  std::ifstream kept(netlist);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "module top;\n");
  // The output directory itself, before it exists: nothing is made there.
  fs::remove_all(eda);
  r = run("--stages place --settings " + settings + " --report " + eda);
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: --report " + eda + " is eda.output_dir"));
  EXPECT_THAT(r.out, Not(HasSubstr("Stage ")));
  EXPECT_FALSE(fs::exists(eda));
  // With option 627 off nothing is written there: the path is the report's.
  const std::string off = write_file("eda_off.json", R"({"eda": {"output_dir": ")" + eda + R"(", "netlist_type": 3}})");
  r = run("--stages none --settings " + off + " --report " + eda);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_json(eda)["status"], 0);
}

TEST(Reports, ARefusalNamingStrayBytesIsAReportWithThemEscaped) {
  // The design's file name, a net of the design and a settings key in
  // Latin-1: each refusal is exit 2 with a report in valid UTF-8.
  const std::string report = velmo_fit_test::test_dir() + "stray_bytes.json";
  const std::string missing = velmo_fit_test::test_dir() + "caf\xE9.blif";
  const std::string undriven =
      write_file("undriven_latin1.blif", ".model m\n.inputs a\n.outputs y\n.names a u\xE9 y\n11 1\n.end\n");
  const std::string settings = write_file("latin1_key.json", "{\"clocks\": {\"clk\": 1000}, \"caf\xE9\": 1}");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {missing + " --stages none", "caf\\xE9.blif: cannot open the file"},
      {undriven + " --stages none", "net 'u\\xE9' is used but never driven"},
      {"--stages none --settings " + settings, "caf\\xE9"},
  };
  for (const auto& [args, said] : cases) {
    std::ofstream(report) << R"({"status": 0})";
    const RESULT r = run(args + " --report " + report);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("internal error"))) << args;
    const nlohmann::json j = read_json(report);
    EXPECT_EQ(j["status"], 2) << args;
    EXPECT_THAT(j["error"].get<std::string>(), HasSubstr(said)) << args;
  }
}

TEST(Reports, AFileSizeLimitFailsTheWriteWithALineNamingTheFile) {
  namespace fs = std::filesystem;
  const std::string exe = VELMO_FIT_EXE;
  const std::string dir = velmo_fit_test::test_dir() + "size_limit/";
  fs::remove_all(dir);
  fs::create_directories(dir);
  // A model name of 6000 characters makes the report larger than the limit
  // (4096 bytes), the file probed before the run not.
  const std::string name(6000, 'm');
  const std::string design =
      write_file("long_model.blif", ".model " + name + "\n.inputs a\n.outputs y\n.names a y\n1 1\n.end\n");
  const std::string report = dir + "r.json";
  RESULT r = run_shell("bash -c 'ulimit -f 4; exec " + exe + " " + design + " --stages none --report " + report +
                       "' 2>&1");
  EXPECT_EQ(r.status, 1) << r.out.substr(0, 2000);
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: cannot write the report '" + report + "'\n"));
  EXPECT_TRUE(fs::is_empty(dir));
  // Below 4 KB the probe before the run is cut short by the limit, which
  // says nothing of the path: a report within the limit is written, one
  // beyond it fails its own write as above.
  const std::string small = write_file("small.blif", ".model m\n.inputs a\n.outputs y\n.names a y\n1 1\n.end\n");
  r = run_shell("bash -c 'ulimit -f 2; exec " + exe + " " + small + " --stages none --report " + report + "' 2>&1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(read_json(report)["status"], 0);
  EXPECT_LT(fs::file_size(report), 2048u);
  fs::remove(report);
  r = run_shell("bash -c 'ulimit -f 2; exec " + exe + " " + design + " --stages none --report " + report + "' 2>&1");
  EXPECT_EQ(r.status, 1) << r.out.substr(0, 2000);
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: cannot write the report '" + report + "'\n"));
  EXPECT_TRUE(fs::is_empty(dir));
  // The equivalence-check netlist: one line naming it.
  const std::string settings = write_file(
      "size_limit_eda.json", R"({"options": [{"id": 627, "type": 1, "value": "on"}], "eda": {"output_dir": ")" + dir +
                                 R"(eda", "netlist_type": 3}})");
  r = run_shell("bash -c 'ulimit -f 4; exec " + exe + " --stages none --settings " + settings + "' 2>&1");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: cannot write the netlist " + dir + "eda/synthesized/top.vo\n"));
  EXPECT_THAT(r.out, HasSubstr("velmo-fit: failed\n"));
  EXPECT_FALSE(fs::exists(dir + "eda/synthesized/top.vo"));
}

TEST(Device, ADesignReadFromANamedFifoIsNotReadAgainForALargerDevice) {
  const std::string exe = VELMO_FIT_EXE;
  const std::string design = std::string(VELMO_SOURCE_DIR) + "/tests/data/congested.blif";
  const std::string settings = write_file("fifo_settings.json", R"({"clocks": {"clk": 10000}})");
  const std::string fifo = velmo_fit_test::test_dir() + "congested_fifo.blif";
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Both sides under a time limit: a run that opened the FIFO again would
  // wait for a writer for ever.
  // Only stderr reaches the pipe; stdout goes to a file.
  const std::string out_file = velmo_fit_test::test_dir() + "congested_fifo.out";
  const RESULT r = run_shell("bash -c 'timeout 120 sh -c \"cat " + design + " >" + fifo + "\" & timeout 120 " + exe +
                             " " + fifo + " --stages place,route --settings " + settings + " 2>&1 >" + out_file +
                             "; status=$?; wait; exit $status'");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, ::testing::ContainsRegex("velmo-fit: routing failed on the [0-9]+ x [0-9]+ device; a larger one "
                                              "is not tried: " + fifo + " is a FIFO, which a second run cannot read "
                                              "again\n"));
  std::ifstream fifo_out(out_file);
  const std::string out((std::istreambuf_iterator<char>(fifo_out)), {});
  EXPECT_THAT(out, HasSubstr("velmo-fit: failed\n"));
  EXPECT_THAT(out, Not(HasSubstr("a larger one is not tried")));
  EXPECT_THAT(out, Not(HasSubstr("trying a larger one")));
  EXPECT_EQ(out.find("velmo-fit: failed"), out.rfind("velmo-fit: failed")) << out;
  // A run from a FIFO that needs no larger device says nothing of it.
  const RESULT fits = run_shell("bash -c 'timeout 120 sh -c \"cat " + design + " >" + fifo + "\" & timeout 120 " +
                                exe + " " + fifo + " --stages none 2>&1; status=$?; wait; exit $status'");
  EXPECT_EQ(fits.status, 0) << fits.out;
  EXPECT_THAT(fits.out, Not(HasSubstr("is a FIFO")));
}
