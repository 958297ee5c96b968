// velmo-fit with partitions in the settings: bad declarations, the fit of a
// recompiled partition against preserved ones, and the blackboxing gates
// the component applies to them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "fit_runner.h"

using ::testing::HasSubstr;
using ::testing::Not;
using velmo_fit_test::run;

namespace {

const std::string kMac = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.blif";
const std::string kBundled = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.partitions.json";

using velmo_fit_test::write_file;

// The bundled settings with the partitions list replaced.
std::string settings_with(const std::string& name, const std::string& partitions, int family = 46) {
  return write_file(name, "{\"family\": " + std::to_string(family) + ", \"clocks\": {\"clk\": 5000}, \"partitions\": " +
                              partitions + "}");
}

// A nested blackboxed child: prod (the product registers) inside mult.
const char* kNested = R"([
    {"name": "|", "preserved": true},
    {"name": "mult", "atoms": ["ra[*]", "rb[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
    {"name": "prod", "atoms": ["p[*]"], "parent": "mult", "preserved": true, "vantrel_preserve": "AUTO"},
    {"name": "acc", "atoms": ["acc[*]"]}])";

// Every "<prefix> -N ps" figure of the output, in order.
std::vector<int> figures(const std::string& out, const std::string& prefix) {
  std::vector<int> v;
  const std::regex re(prefix + " (-?[0-9]+) ps");
  for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it) v.push_back(std::stoi((*it)[1]));
  return v;
}

// The most endpoints failing hold at any corner of the timing summary.
int most_hold_failing(const std::string& out) {
  int most = 0;
  const std::regex re("hold WNS -?[0-9]+ ps, TNS -?[0-9]+ ps, ([0-9]+) failing");
  for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it) most = std::max(most, std::stoi((*it)[1]));
  return most;
}

}  // namespace

TEST(VelmoFitPartitions, BadDeclarationsExitTwoNamingTheCulprit) {
  const struct {
    const char* partitions;
    const char* says;
  } cases[] = {
      {R"([{"name": "m", "atoms": ["ra[*]"], "colour": "red"}])", "unknown key 'colour' in partitions[0]"},
      {R"([{"name": "m", "atoms": ["nothing[*]"]}])", "pattern 'nothing[*]' of partition 'm' matches no atom"},
      {R"([{"name": "m", "atoms": ["ra[0]"]}, {"name": "n", "atoms": ["ra[?]"]}])",
       "atom 'ra[0]' is claimed by partitions 'm' and 'n'"},
      {R"([{"name": "m", "atoms": ["ra[*]"], "parent": "x"}])", "partition 'm' has an unknown parent 'x'"},
      {R"([{"name": "m", "atoms": ["ra[*]"], "parent": "n"}, {"name": "n", "atoms": ["rb[*]"], "parent": "m"}])",
       "partition 'm' is part of a parent cycle"},
      {R"([{"name": "m", "atoms": ["ra[*]"]}, {"name": "m", "atoms": ["rb[*]"]}])", "partition 'm' is declared twice"},
      {R"([{"name": "|", "atoms": ["ra[*]"]}])", "partition '|' takes no 'atoms'"},
  };
  int i = 0;
  for (const auto& c : cases) {
    const std::string file = settings_with("bad_partitions_" + std::to_string(i++) + ".json", c.partitions);
    auto r = run(kMac + " --settings " + file + " --stages none");
    EXPECT_EQ(r.status, 2) << c.partitions << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(file + ": " + c.says)) << r.out;
  }
}

TEST(VelmoFitPartitions, RecompiledPartitionFitsAgainstThePreservedOnes) {
  const std::string report = velmo_fit_test::test_dir() + "partitions_report.json";
  auto r = run(kMac + " --settings " + kBundled + " --report " + report);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Partition mult (parent |):"));
  EXPECT_THAT(r.out, HasSubstr("Partition acc (parent |):"));
  EXPECT_THAT(r.out, HasSubstr("Info (019492): Vantrel Preservation is enabled for the following partitions."));
  EXPECT_THAT(r.out, HasSubstr("    Info (019493): Partition: mult"));
  EXPECT_THAT(r.out, Not(HasSubstr("Partition: acc")));
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, HasSubstr(" 0 unrouted, 0 overused\n"));
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
  std::ifstream in(report);
  const auto j = nlohmann::json::parse(in);
  velmo_fit_test::expect_documented_report(j);
  ASSERT_EQ(j["partitions"].size(), 3u);
  EXPECT_EQ(j["partitions"][0]["name"], "|");
  EXPECT_TRUE(j["partitions"][0]["parent"].is_null());
  EXPECT_EQ(j["partitions"][1]["name"], "mult");
  EXPECT_EQ(j["partitions"][1]["parent"], "|");
  EXPECT_EQ(j["partitions"][1]["preserved"], true);
  EXPECT_EQ(j["partitions"][2]["preserved"], false);
  // mult holds its 64 registers and the multiplier's logic.
  EXPECT_GT(j["partitions"][1]["atoms"].get<int>(), 64);
  // Only mult is blackboxed; its shell keeps part of its atoms and routing.
  EXPECT_EQ(j["partitions"][0]["blackboxed"], false);
  EXPECT_EQ(j["partitions"][2]["blackboxed"], false);
  EXPECT_FALSE(j["partitions"][2].contains("shell_atoms"));
  ASSERT_EQ(j["partitions"][1]["blackboxed"], true);
  const int shell_atoms = j["partitions"][1]["shell_atoms"].get<int>();
  EXPECT_GT(shell_atoms, 0);
  EXPECT_LT(shell_atoms, j["partitions"][1]["atoms"].get<int>());
  EXPECT_GT(j["partitions"][1]["shell_routing_nodes"].get<int>(), 0);
  EXPECT_THAT(r.out, HasSubstr("Partition mult blackboxed: shell keeps " + std::to_string(shell_atoms) + " of " +
                               std::to_string(j["partitions"][1]["atoms"].get<int>()) + " atoms, " +
                               std::to_string(j["partitions"][1]["shell_routing_nodes"].get<int>()) + " of "));

  // With the inputs held at 0 ps hold fails after routing, also into the
  // recompiled acc from pins of the preserved top partition. The final
  // stage's hold fixing leaves the preserved partitions as they were: it
  // ends with hold met or names in one line what it could not change.
  std::ifstream bundled(kBundled);
  auto held = nlohmann::json::parse(bundled);
  const nlohmann::json at_zero = {{"clock", "clk"}, {"max", 200}, {"min", 0}};
  for (const char* bus : {"a", "b"})
    for (int i = 0; i < 16; ++i) held["io_delays"][std::string(bus) + "[" + std::to_string(i) + "]"] = at_zero;
  held["io_delays"]["rst"] = at_zero;
  r = run(kMac + " --settings " + write_file("partitions_input_hold.json", held.dump()));
  EXPECT_EQ(r.status, 0) << r.out;
  const auto routed_hold = figures(r.out, "Stage route: [^\n]*worst hold slack");
  ASSERT_EQ(routed_hold.size(), 1u) << r.out;
  EXPECT_LT(routed_hold[0], 0);
  EXPECT_THAT(r.out, HasSubstr("Hold fixing: "));
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
  velmo_fit_test::expect_held_endpoints_named(r.out, most_hold_failing(r.out),
                                              "in routing or atoms a preserved or blackboxed partition keeps");
}

// A run that stops before the final stage reports (and prints) the whole
// design's timing, not the shells': with the nested partitions the worst
// path lies inside the preserved logic, so it is the same as without
// blackboxing.
TEST(VelmoFitPartitions, ReportBeforeTheFinalStageShowsTheWholeDesignsTiming) {
  const std::string file = settings_with("nested.json", kNested);
  const std::string report = velmo_fit_test::test_dir() + "nested_report.json";
  const std::string args = kMac + " --settings " + file + " --stages plan,place,route";
  auto shells = run(args + " --report " + report);
  auto flat = run(args + " --cfg jov_disable_bbic=on");
  ASSERT_EQ(shells.status, 0) << shells.out;
  ASSERT_EQ(flat.status, 0) << flat.out;
  EXPECT_THAT(shells.out, HasSubstr("Partition prod blackboxed"));
  EXPECT_THAT(flat.out, Not(HasSubstr("blackboxed:")));
  const auto wns = figures(shells.out, "Timing [^ ]+: setup WNS");
  const auto flat_wns = figures(flat.out, "Timing [^ ]+: setup WNS");
  ASSERT_FALSE(wns.empty()) << shells.out;
  EXPECT_EQ(wns, flat_wns);
  std::ifstream in(report);
  const auto j = nlohmann::json::parse(in);
  ASSERT_EQ(j["timing"].size(), wns.size());
  for (std::size_t i = 0; i < wns.size(); ++i) EXPECT_EQ(j["timing"][i]["setup_wns_ps"].get<int>(), wns[i]) << i;
  // The report counts the full contents, not the shells.
  int full = 0;
  for (const auto& p : j["partitions"]) full += p["atoms"].get<int>();
  EXPECT_GE(j["atoms"].get<int>(), full);
}

// The component's report guard does nothing with velmo_bbic_reporting off;
// the host still shows the whole design, however the switch is set: the
// resources, the slow corner's timing and the netlists for equivalence
// checking are those of the fit with the switch on (mult's full contents,
// not its shell's 83 LUTs and a 1289-line netlist). With the nested
// partitions, the stages after each netlist still see the shells as they
// were: every stage line is the one of the fit with the switch on.
TEST(VelmoFitPartitions, TheReportSwitchOffStillShowsTheWholeDesign) {
  std::ifstream bundled(kBundled);
  auto mult = nlohmann::json::parse(bundled);
  mult["options"] = {{{"id", 627}, {"type", 1}, {"value", "on"}}};
  for (const char* s : {"planned", "placed", "routed"}) mult["cfg"][std::string("fitter_write_eqcheck_for_") + s] = "on";
  auto nested = mult;
  nested["partitions"] = nlohmann::json::parse(kNested);
  const std::string dir = velmo_fit_test::test_dir();
  const auto fit = [&](const std::string& name, nlohmann::json settings, const std::string& more) {
    settings["eda"] = {{"output_dir", dir + name}, {"netlist_type", 3}};
    return run(kMac + " --settings " + write_file(name + ".json", settings.dump()) + " --stages plan,place,route" + more);
  };
  // The stage, timing and resources lines, without the stages' times.
  const auto outcome = [](const std::string& out) {
    static const std::regex line_re("(Stage [^ ]+ [^ ]+) \\([0-9:]+\\)(.*)|Timing .*|Resources: .*");
    std::string lines;
    for (std::sregex_iterator it(out.begin(), out.end(), line_re), end; it != end; ++it)
      lines += ((*it)[1].matched ? (*it)[1].str() + (*it)[2].str() : it->str()) + "\n";
    return lines;
  };
  auto in_settings = mult;
  in_settings["cfg"]["velmo_bbic_reporting"] = "off";
  const struct {
    std::string name;
    velmo_fit_test::RESULT on, off;
  } fits[] = {
      {"cfg", fit("mult", mult, ""), fit("cfg", mult, " --cfg velmo_bbic_reporting=off")},
      {"cfg_file", {}, fit("cfg_file", mult, " --cfg-file " + write_file("off.cfg", "velmo_bbic_reporting=off\n"))},
      {"settings", {}, fit("settings", in_settings, "")},
      {"nested", fit("nested_on", nested, ""), fit("nested", nested, " --cfg velmo_bbic_reporting=off")},
  };
  for (const auto& f : fits) {
    const velmo_fit_test::RESULT& on = f.name == "nested" ? f.on : fits[0].on;
    ASSERT_EQ(on.status, 0) << on.out;
    ASSERT_THAT(outcome(on.out), HasSubstr("\nStage route: ok, worst setup slack ")) << on.out;
    ASSERT_EQ(f.off.status, 0) << f.name << "\n" << f.off.out;
    EXPECT_THAT(f.off.out, HasSubstr("Partition mult blackboxed")) << f.name;
    EXPECT_THAT(f.off.out, HasSubstr("Resources: 605 LUTs, ")) << f.name << "\n" << f.off.out;
    EXPECT_THAT(f.off.out, HasSubstr("Timing 1_slow_900mv_100c: setup WNS ")) << f.off.out;
    EXPECT_EQ(outcome(f.off.out), outcome(on.out)) << f.name;
    for (const char* snapshot : {"planned", "placed", "routed"}) {
      std::ifstream netlist(dir + f.name + "/" + snapshot + "/mac16.vo");
      EXPECT_EQ(std::count(std::istreambuf_iterator<char>(netlist), {}, '\n'), 1696) << f.name << " " << snapshot;
    }
  }
}

// While the shells are active, the host's timing counts the slack records
// of the routing they hide: no stage line shows a better setup slack than
// the worst record. The line counts every record the component stored. On
// mac16 the earlier compile's worst path runs through the hidden routing;
// beside a recompiled s298, tseng's blackboxed partition hides routing
// better than the design's worst path, which lies in s298: its worst record
// is not the start-up stage's worst slack.
TEST(VelmoFitPartitions, StageTimingWithShellsCountsTheHiddenRouting) {
  // tseng's nets become c0_*, s298's c1_*.
  const std::string mcnc = std::string(VELMO_DESIGNS_DIR) + "/mcnc/";
  const std::string merged = velmo_fit_test::test_dir() + "tseng_s298.blif";
  ASSERT_EQ(std::system((std::string(VELMO_DESIGNS_DIR) + "/../../bench/merge_blif.sh 1 " + mcnc + "tseng.blif " +
                         mcnc + "s298.blif > " + merged).c_str()),
            0);
  const std::string merged_settings = write_file("tseng_s298.json", R"({"family": 46,
      "clocks": {"c0_pclk": 5000, "c1_clock": 5000},
      "partitions": [{"name": "|", "preserved": true},
                     {"name": "tseng", "atoms": ["c0_*"], "preserved": true, "vantrel_preserve": "AUTO"},
                     {"name": "s298", "atoms": ["c1_*"]}]})");
  const std::pair<std::string, std::string> fits[] = {
      {kMac, kBundled}, {kMac, settings_with("nested_hidden.json", kNested)}, {merged, merged_settings}};
  for (const auto& [design, settings] : fits) {
    auto r = run(design + " --settings " + settings + " --stages plan,place,route --debug");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto worst = figures(r.out, "preserved slack records, worst setup slack");
    ASSERT_EQ(worst.size(), 1u) << r.out;
    const auto earlier = figures(r.out, "Stage start-up: ok \\([0-9:]+\\), worst setup slack");
    ASSERT_EQ(earlier.size(), 1u) << r.out;
    if (design == merged) {
      EXPECT_LT(earlier[0], worst[0]) << r.out;
    }
    int stored = 0;
    const std::regex stored_re("BBIC Preserved ([0-9]+) slack records on hidden routing");
    for (std::sregex_iterator it(r.out.begin(), r.out.end(), stored_re), end; it != end; ++it)
      stored += std::stoi((*it)[1]);
    EXPECT_GT(stored, 0);
    EXPECT_THAT(r.out, HasSubstr("Hidden routing: " + std::to_string(stored) + " preserved slack records,"));
    const auto stages = figures(r.out, "Stage (?:prepare|plan|place|route): ok \\([0-9:]+\\), worst setup slack");
    ASSERT_EQ(stages.size(), 4u) << r.out;
    for (int s : stages) EXPECT_LE(s, worst[0]) << settings << "\n" << r.out;
  }
}

// Atoms that the fit left elsewhere (two of them exchanged after the last
// stage by a preloaded library): in a preserved partition the check names
// both and the run fails; a recompiled partition's atoms may move.
TEST(VelmoFitPartitions, APreservedAtomThatMovedFailsTheRun) {
  const std::string args = kMac + " --settings " + kBundled + " --stages plan,place";
  const auto swapped = [&](const std::string& atoms) {
    return velmo_fit_test::run_with("VELMO_TEST_SWAP_ATOMS='" + atoms + "' LD_PRELOAD=" VELMO_SWAP_ATOMS_LIB
                                    " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 ",
                                    args);
  };
  auto r = swapped("ra[0],ra[1]");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Placement: legal"));
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: CHANGED"));
  EXPECT_THAT(r.out, HasSubstr("partition mult: ra[0] moved"));
  EXPECT_THAT(r.out, HasSubstr("partition mult: ra[1] moved"));
  r = swapped("acc[0],acc[1]");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
}

namespace {

// Every stage list velmo-fit accepts fits the bundled partition settings
// file mac16.<settings>.json, leaves the preserved partitions as they were
// and prints and reports the whole design's timing, the same as without
// blackboxing; the others are refused before the fit (a list without place
// among them: before it the whole design has no placement of this compile).
// The runs go a few at a time, each stage list with its own report.
void every_accepted_stage_list_fits(const char* settings) {
  const std::vector<std::string> optional = {"plan", "place", "route", "retime", "final"};
  const std::string file = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16." + settings + ".json";
  struct FIT {
    std::string list, report;
    velmo_fit_test::RESULT r, flat;
  };
  std::vector<FIT> fits(32);
  for (unsigned mask = 0; mask < 32; ++mask) {
    for (unsigned i = 0; i < optional.size(); ++i)
      if (mask & (1u << i)) fits[mask].list += (fits[mask].list.empty() ? "" : ",") + optional[i];
    fits[mask].report = velmo_fit_test::write_file("report" + std::to_string(mask) + ".json", "");
    std::remove(fits[mask].report.c_str());
  }
  std::atomic<unsigned> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&] {
      for (unsigned mask = next++; mask < 32; mask = next++) {
        FIT& f = fits[mask];
        f.r = run(kMac + " --settings " + file + " --stages " + (f.list.empty() ? "none" : f.list) + " --report " + f.report);
        if (f.r.status == 0) f.flat = run(kMac + " --settings " + file + " --stages " + f.list + " --cfg jov_disable_bbic=on");
      }
    });
  for (std::thread& t : workers) t.join();
  for (unsigned mask = 0; mask < 32; ++mask) {
    const std::string& list = fits[mask].list;
    const std::string& report = fits[mask].report;
    const velmo_fit_test::RESULT& r = fits[mask].r;
    const std::string what = std::string(settings) + " " + (list.empty() ? "none" : list);
    // Without place, or retiming without routing: refused before the fit.
    if ((mask & 2u) == 0) {
      EXPECT_EQ(r.status, 2) << what << "\n" << r.out;
      const std::string why = (mask & ~3u) != 0 ? "needs place in the same run"
                                                : "a design with partitions needs place in the same run";
      EXPECT_THAT(r.out, HasSubstr(why)) << what;
      EXPECT_THAT(r.out, Not(HasSubstr("Timing "))) << what;
      continue;
    }
    if ((mask & 8u) != 0 && (mask & 4u) == 0) {
      EXPECT_EQ(r.status, 2) << what << "\n" << r.out;
      EXPECT_THAT(r.out, HasSubstr("retime needs route")) << what;
      continue;
    }
    EXPECT_EQ(r.status, 0) << what << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged")) << what;
    const velmo_fit_test::RESULT& flat = fits[mask].flat;
    ASSERT_EQ(flat.status, 0) << what << "\n" << flat.out;
    auto timing_lines = [](const std::string& out) {
      std::vector<std::string> lines;
      for (std::size_t at = out.find("\nTiming "); at != std::string::npos; at = out.find("\nTiming ", at + 1))
        lines.push_back(out.substr(at + 1, out.find('\n', at + 1) - at - 1));
      return lines;
    };
    const auto printed = timing_lines(r.out);
    ASSERT_EQ(printed.size(), 2u) << what << "\n" << r.out;
    EXPECT_EQ(printed, timing_lines(flat.out)) << what;
    std::ifstream in(report);
    const auto j = nlohmann::json::parse(in);
    ASSERT_EQ(j["timing"].size(), printed.size()) << what;
    for (std::size_t i = 0; i < printed.size(); ++i) {
      const auto& c = j["timing"][i];
      char line[256];
      std::snprintf(line, sizeof line, "Timing %s: setup WNS %d ps, TNS %lld ps, %d failing; hold WNS %d ps, TNS %lld ps, %d failing",
                    c["corner"].get<std::string>().c_str(), c["setup_wns_ps"].get<int>(), c["setup_tns_ps"].get<long long>(),
                    c["setup_failing"].get<int>(), c["hold_wns_ps"].get<int>(), c["hold_tns_ps"].get<long long>(),
                    c["hold_failing"].get<int>());
      EXPECT_EQ(printed[i], line) << what;
    }
  }
}

}  // namespace

// One test per settings file, each a few seconds of fits.
TEST(VelmoFitPartitions, EveryAcceptedStageListFitsThePartitions) { every_accepted_stage_list_fits("partitions"); }
TEST(VelmoFitPartitions, EveryAcceptedStageListFitsTheInheritedPartitions) { every_accepted_stage_list_fits("inherit"); }
TEST(VelmoFitPartitions, EveryAcceptedStageListFitsThePartitionsWithDeadZones) { every_accepted_stage_list_fits("deadzones"); }

// The routing debug checks of the push-back pass on a routed run.
TEST(VelmoFitPartitions, TheRoutingDebugChecksOfThePushBackPassOnARoutedRun) {
  for (const std::string& file : {kBundled, settings_with("nested_debug.json", kNested)}) {
    auto r = run(kMac + " --settings " + file + " --cfg jov_bbic_debug_remerge=on --cfg bbic_debug_routing_push=on");
    EXPECT_EQ(r.status, 0) << file << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
  }
}

// Every stage list velmo-fit accepts with partitions, on every family: the
// bundled partitions come out unchanged. After plan has placed the pins,
// the place stage's port translation (26, 48 and 15) hangs their interface
// chains on a virtual source or sink where no routing meets them yet: on
// the nets of the top partition's buffers, routing that serves no
// connection until the router completes it, so no change of "|". Asked
// for, retime fails on a family without the retimer (18419); and on 48 and
// 15, whose final stage routes nothing, a list with final but not route is
// refused before the fit. The fits run a few at a time.
TEST(VelmoFitPartitions, EveryAcceptedStageListKeepsThePreservedPartitionsOnEveryFamily) {
  const std::vector<std::string> optional = {"plan", "place", "route", "retime", "final"};
  struct FIT {
    std::string family, list;
    bool retime, final_without_route;
    velmo_fit_test::RESULT r;
  };
  std::vector<FIT> fits;
  for (const char* family : {"46", "48", "26", "15"})
    for (unsigned mask = 0; mask < 32; ++mask) {
      if ((mask & 2u) == 0 || ((mask & 8u) != 0 && (mask & 4u) == 0)) continue;  // refused
      std::string list;
      for (unsigned i = 0; i < optional.size(); ++i)
        if (mask & (1u << i)) list += (list.empty() ? "" : ",") + optional[i];
      fits.push_back({family, list, (mask & 8u) != 0, (mask & 16u) != 0 && (mask & 4u) == 0, {}});
    }
  ASSERT_EQ(fits.size(), 48u);
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&] {
      for (std::size_t i = next++; i < fits.size(); i = next++)
        fits[i].r = run(kMac + " --settings " + kBundled + " --family " + fits[i].family + " --stages " + fits[i].list);
    });
  for (std::thread& t : workers) t.join();
  for (const FIT& f : fits) {
    const std::string what = f.family + " " + f.list;
    const bool without_retimer = f.family == "48" || f.family == "15";
    EXPECT_THAT(f.r.out, Not(HasSubstr("Preserved partitions: CHANGED"))) << what << "\n" << f.r.out;
    if (without_retimer && f.final_without_route) {
      EXPECT_EQ(f.r.status, 2) << what << "\n" << f.r.out;
      EXPECT_THAT(f.r.out, HasSubstr("--stages: final needs route in the same run on family " + f.family)) << what;
      EXPECT_THAT(f.r.out, Not(HasSubstr("Stage "))) << what;
    } else if (without_retimer && f.retime) {
      EXPECT_EQ(f.r.status, 1) << what << "\n" << f.r.out;
      EXPECT_THAT(f.r.out, HasSubstr("Error (018419)")) << what;
    } else {
      EXPECT_EQ(f.r.status, 0) << what << "\n" << f.r.out;
      EXPECT_THAT(f.r.out, HasSubstr("Preserved partitions: unchanged")) << what;
    }
  }
}

// The bundled dead-zone settings: the report (a debug report only) lists
// output elements at empty locations whose fanout the kept routing claims,
// and the fit is the same as without it.
TEST(VelmoFitPartitions, BundledDeadZoneSettingsBlacklistLocations) {
  const std::string file = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.deadzones.json";
  auto r = run(kMac + " --settings " + file + " --debug=2");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::regex summary("Blacklisted ([0-9]+) locations for ([0-9]+) interesting REs");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, summary)) << r.out;
  const int blacklisted = std::stoi(m[1]);
  EXPECT_GT(blacklisted, 0);
  EXPECT_LE(blacklisted, std::stoi(m[2]));
  int lines = 0;
  for (std::size_t at = r.out.find("BLACKLIST "); at != std::string::npos; at = r.out.find("BLACKLIST ", at + 1)) ++lines;
  EXPECT_EQ(lines, blacklisted);
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
}

// The bundled settings on which the cross-partition routing removal runs:
// a preserved parent (mult) whose one child (prod, the multiplier) is
// re-fitted and fed only by the parent's registers and the global clock.
// The parent's clock routing network loses what served the child.
TEST(VelmoFitPartitions, InheritedPreservationRemovesTheRefittedChildsRouting) {
  const std::string file = std::string(VELMO_DESIGNS_DIR) + "/yosys/mac16.inherit.json";
  auto r = run(kMac + " --settings " + file + " --debug=2");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::regex sizes("(BEFORE|AFTER): blc=([0-9]+), fcd=([0-9]+), crf=([0-9]+)");
  std::vector<std::smatch> found;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), sizes), end; it != end; ++it) found.push_back(*it);
  ASSERT_EQ(found.size(), 2u) << r.out;
  EXPECT_EQ(found[0][1], "BEFORE");
  EXPECT_LT(std::stoi(found[1][4]), std::stoi(found[0][4]));
  EXPECT_LE(std::stoi(found[1][2]), std::stoi(found[0][2]));
  EXPECT_THAT(r.out, HasSubstr("Partition prod (parent mult):"));
  EXPECT_THAT(r.out, HasSubstr(" 0 unrouted, 0 overused\n"));
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
}

// The layouts the cross-partition routing removal does not support are
// refused before the earlier compile, naming the partition and what feeds
// it: a child fed by a sibling, a child fed through its parent's port, two
// preserved parents with re-fitted children.
TEST(VelmoFitPartitions, UnsupportedInheritedPreservationLayoutsAreRefusedBeforeTheFit) {
  auto settings = [](const std::string& name, const std::string& partitions) {
    return write_file(name, R"({"family": 46, "clocks": {"clk": 5000}, "global_clocks": ["clk"], "partitions": )" +
                                partitions + "}");
  };
  struct CASE {
    std::string file;
    std::string says;
  };
  const std::vector<CASE> cases = {
      {kBundled, "jov_inherit_preservation: partition 'acc' is re-fitted and fed by its sibling 'mult' ('p["},
      {settings("inherit_port.json", R"([{"name": "|", "preserved": true},
          {"name": "mult", "atoms": ["rb[*]", "acc[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
          {"name": "prod", "atoms": ["p[*]", "$auto$maccmap*"], "parent": "mult"}])"),
       "jov_inherit_preservation: partition 'prod' is re-fitted and fed through a port of its parent 'mult' ('ra["},
      {settings("inherit_feeds_sibling.json", R"([{"name": "|", "preserved": true},
          {"name": "mult", "atoms": ["ra[*]", "rb[*]", "p[*]"]},
          {"name": "acc", "atoms": ["acc[*]"], "preserved": true}])"),
       "jov_inherit_preservation: partition 'acc' is fed by its re-fitted sibling 'mult' ('p["},
      {settings("inherit_two_parents.json", R"([{"name": "|", "preserved": true},
          {"name": "mult", "atoms": ["ra[*]", "rb[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
          {"name": "prod", "atoms": ["p[*]", "$auto$maccmap*"], "parent": "mult"},
          {"name": "acc", "atoms": ["acc[*]"]}])"),
       "jov_inherit_preservation: partitions 'mult' and '|' are both preserved with re-fitted children ('prod', "
       "'acc'): one preserved parent of re-fitted partitions is supported"}};
  for (const CASE& c : cases) {
    auto r = run(kMac + " --settings " + c.file + " --cfg jov_inherit_preservation=on");
    EXPECT_EQ(r.status, 2) << c.file << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: " + c.says)) << r.out;
    EXPECT_THAT(r.out, Not(HasSubstr("Stage "))) << c.file;
    EXPECT_THAT(r.out, Not(HasSubstr("Internal Error"))) << c.file;
  }
  // Without the removal each layout fits.
  auto r = run(kMac + " --settings " + cases[1].file + " --stages plan,place");
  EXPECT_EQ(r.status, 0) << r.out;
}

// Loads behind a partition's ports are left as they are: duplication for
// retiming keeps a register's loads inside another partition on it (r feeds
// q, on another clock, inside bb), and resynthesis after routing leaves the
// LUTs an edit would reach across a boundary.
TEST(VelmoFitPartitions, EditsStopAtAPartitionsBoundary) {
  const std::string bbdup = write_file("bbdup.blif", R"(.model bbdup
.inputs a b clk1 clk2
.outputs y z w
.latch a r re clk1 0
.names r b y
11 1
.latch r s re clk1 0
.names s w
1 1
.latch r q re clk2 0
.names q z
1 1
.end
)");
  const std::string bb = write_file("bbdup.json", R"({"family": 46, "partitions": [{"name": "bb", "atoms": ["q"]}]})");
  for (const char* limit : {"dup_regs_for_retiming_for_partitions=off", "dup_regs_for_retiming_max_total_dups_for_partition=0"}) {
    const auto r = run(bbdup + " --settings " + bb + " --cfg early_retiming_pre_dup_regs=on --cfg " + limit);
    EXPECT_EQ(r.status, 0) << limit << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("velmo-fit: done")) << limit;
    EXPECT_THAT(r.out, HasSubstr("Resources: 3 LUTs, 4 registers,")) << limit;  // one copy, for y: q stays on r
  }
  // A preserved partition's registers are not duplicated.
  const std::string kept = write_file("bbpres.json", R"({"family": 46, "partitions": [
      {"name": "|", "preserved": true, "vantrel_preserve": "AUTO"}, {"name": "bb", "atoms": ["q"]}]})");
  const auto k = run(bbdup + " --settings " + kept + " --cfg early_retiming_pre_dup_regs=on");
  EXPECT_EQ(k.status, 0) << k.out;
  EXPECT_THAT(k.out, HasSubstr("Preserved partitions: unchanged"));
  // On a global clock, with acc a partition of its own no register may
  // move; with acc inside mult the retimer moves registers inside it.
  struct LAYOUT {
    std::string acc;
    bool moves;
  };
  for (const LAYOUT& l : {LAYOUT{R"(]}, {"name": "acc", "atoms": ["acc[*]"]})", false}, LAYOUT{R"(, "acc[*]"]})", true}}) {
    const std::string mac = write_file("mac_resyn.json", R"({"family": 46, "clocks": {"clk": 1500}, "global_clocks": ["clk"],
        "partitions": [{"name": "|"}, {"name": "mult", "atoms": ["ra[*]", "rb[*]", "p[*]")" + l.acc + "]}");
    const auto r = run(kMac + " --settings " + mac + " --cfg muvo_post_route_in_finalize=on");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr(" 0 unrouted, 0 overused\n"));
    if (l.moves) EXPECT_THAT(r.out, ::testing::ContainsRegex("Retiming: [1-9][0-9]* pipeline registers? created"));
  }
}

// A preserved partition left on its shell while the top is recompiled
// compares unchanged, though its routing starts at atoms the shell hides.
TEST(VelmoFitPartitions, APartitionLeftOnItsShellComparesUnchanged) {
  const std::string file = settings_with("mac_shell.json", R"([{"name": "|"},
      {"name": "mult", "atoms": ["ra[*]", "rb[*]", "p[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
      {"name": "acc", "atoms": ["acc[*]"]}])");
  const auto r = run(kMac + " --settings " + file + " --stages plan,place,route --cfg jov_bbic_allow_recompile_top=on");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Preserved partitions: unchanged"));
}

TEST(VelmoFitPartitions, OtherFamilyIsRefused) {
  auto r = run(kMac + " --settings " + kBundled + " --family 48 --stages place");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Warning (020800): Vantrel Preservation will not be enabled for KX-48 device family."));
  EXPECT_THAT(r.out, Not(HasSubstr("019492")));
}

TEST(VelmoFitPartitions, EveryPartitionPreservedIsRefused) {
  const std::string file = settings_with("all_preserved.json", R"([
      {"name": "|", "preserved": true},
      {"name": "mult", "atoms": ["ra[*]", "rb[*]", "p[*]"], "preserved": true, "vantrel_preserve": "AUTO"},
      {"name": "acc", "atoms": ["acc[*]"], "preserved": true}])");
  auto r = run(kMac + " --settings " + file + " --stages place");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_THAT(r.out, HasSubstr("Warning (021646): Vantrel Preservation cannot be enabled if all partitions are preserved."));
}
