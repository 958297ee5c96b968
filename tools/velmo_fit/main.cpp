// velmo-fit: the host program. It prepares the stand-in host (design,
// settings, configuration, a device sized to the design, compiler facade),
// opens libvelmo.so with dlopen exactly as a host fitter would, starts the
// component, runs the asked stages in order, shuts it down and prints the
// messages, one line per stage (with the worst setup and hold slack of the
// host's timing analysis run after it), then the placement and routing
// checks, a timing summary per corner and a resource summary; --report
// writes the same as JSON.
//
// Every net that drives a register clock is declared a clock of
// kDefaultClockPeriodPs unless the settings file gives its period.
//
// Exit status: 0 success, 1 a stage (or start-up) returned false or the
// component lacks an entry point, 2 bad command line, design or settings,
// 3 internal error.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "korrin/korrin_router.h"
#include "dev/dev_spec.h"
#include "gen/gen_profile.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "sta/sta_analysis.h"
#include "testing/blif_design.h"
#include "testing/design_settings.h"
#include "yun/host_yun_env.h"
#include "zel/zel_dev_zota_util.h"
#include "wexan/wexan_env.h"
#include "tibex/tibex_placer.h"
#include "tibex/tibex_vpr_facade.h"
#include "velmo_fit_options.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "zel/zel_dc_table.h"

#include "velmo_default_design.inc"

namespace {

// Demangled signature -> mangled name of every function libvelmo.so exports.
const std::map<std::string, std::string>& exports() {
  static const std::map<std::string, std::string> table = {
#include "velmo_exports.inc"
  };
  return table;
}

struct ENTRY_POINTS {
  bool (*initialize)(CMP_FACADE*) = nullptr;
  void (*shutdown)() = nullptr;
  bool (*post_plan_ops)(bool) = nullptr;
  bool (*place)() = nullptr;
  bool (*route)() = nullptr;
  bool (*retime)() = nullptr;
  bool (*finalize)() = nullptr;
};

const char* kInitialize = "velmo_initialize_fitter(CMP_FACADE*)";
const char* kShutdown = "velmo_shutdown_fitter()";

const std::map<std::string, std::string>& stage_entry() {
  static const std::map<std::string, std::string> m = {
      {"plan", "velmo_post_plan_ops(bool)"}, {"place", "velmo_place()"},  {"route", "velmo_route()"},
      {"retime", "velmo_retime()"},          {"final", "velmo_finalize()"},
  };
  return m;
}

void* find(void* lib, const std::string& signature) {
  auto it = exports().find(signature);
  if (it == exports().end()) return nullptr;
  return dlsym(lib, it->second.c_str());
}

void print_message(const POSTED_MESSAGE& m) {
  std::printf("%s\n", host::messages::format(m).c_str());
  std::fflush(stdout);
}

std::string exe_dir() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : p.parent_path().string();
}

constexpr int kDefaultClockPeriodPs = 5000;

// Declares each net that drives a register clock of the top netlist as a
// clock, named as the net: the driver's name, or for a design input the
// pin's (its input buffer "x~ibuf" drives net x; the pad is the source, as
// the settings file has it). Clocks the settings gave keep their period.
void declare_default_clocks(const VOK_ATOM_NETLIST& top, const std::map<std::string, int>& given) {
  std::map<std::string, const VOK_ATOM_NODE*> names;
  for (const VOK_ATOM_NODE* a : top.get_atom_list()) names.emplace(a->get_string_hpath(), a);
  std::set<std::string> declared;
  const std::string ibuf = "~ibuf";
  for (const VOK_ATOM_NODE* a : top.get_atom_list()) {
    if (a->get_kind() != VOK_ATOM_KIND::CORE_REGISTER && a->get_kind() != VOK_ATOM_KIND::PIPELINE_REGISTER) continue;
    const VOK_ATOM_ITERM* clk = a->get_input_term_by_type(DB_INPUT_PORT_CLK, 0);
    const VOK_ATOM_OTERM* source = clk ? clk->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
    if (!source) continue;
    std::string net = source->get_my_node()->get_string_hpath();
    if (net.size() > ibuf.size() && net.compare(net.size() - ibuf.size(), ibuf.size(), ibuf) == 0) {
      net.resize(net.size() - ibuf.size());
      auto it = names.find(net);
      if (it != names.end())
        for (const VOK_ATOM_OTERM* o : it->second->coterms()) {
          source = o;
          break;
        }
    }
    if (given.count(net) || !declared.insert(net).second) continue;
    host::timing::declare_clock(net, kDefaultClockPeriodPs, source);
  }
}

// Peak resident memory of this process in kB (VmHWM), 0 when unknown.
long peak_rss_kb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return 0;
}

// The routing check's findings by kind.
struct ROUTING_FIGURES {
  bool ran = false;
  int connections = 0;
  int unrouted = 0;
  int overused = 0;
  std::vector<std::string> findings;
};

ROUTING_FIGURES check_routing() {
  ROUTING_FIGURES f;
  f.ran = true;
  std::string why;
  host::routing::check(&why);
  std::istringstream in(why);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("unrouted connection", 0) == 0) ++f.unrouted;
    if (line.rfind("element used more than once", 0) == 0) ++f.overused;
    f.findings.push_back(line);
  }
  f.connections = host::router::last_stats().connections;
  return f;
}

void print_findings(const char* what, const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size() && i < 10; ++i) std::printf("  %s: %s\n", what, lines[i].c_str());
  if (lines.size() > 10) std::printf("  ... and %zu more\n", lines.size() - 10);
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) out.push_back(line);
  return out;
}

struct STAGE_RESULT {
  std::string name;
  bool ok;
  double seconds;
};

// The worst setup and hold slack over the analysed corners after a stage,
// for its line ("" before any timing analysis).
std::string timing_note() {
  const auto corners = host::timing::summary();
  if (corners.empty()) return std::string();
  std::int32_t setup = KEM_NO_SLACK, hold = KEM_NO_SLACK;
  auto worst = [](std::int32_t a, std::int32_t b) {
    return a == KEM_NO_SLACK ? b : (b == KEM_NO_SLACK ? a : std::min(a, b));
  };
  for (const auto& c : corners) {
    setup = worst(setup, c.setup_wns);
    hold = worst(hold, c.hold_wns);
  }
  auto text = [](std::int32_t v) { return v == KEM_NO_SLACK ? std::string("none") : std::to_string(v) + " ps"; };
  return "worst setup slack " + text(setup) + ", worst hold slack " + text(hold);
}

struct RESOURCES {
  host::testing::RESOURCE_COUNTS counts;
  int atoms = 0;
  int nets = 0;
  int labs = 0;
  int labs_used = 0;
};

void count_netlist(const VOK_ATOM_NETLIST& n, RESOURCES& r, const WUMP_DIE_INFO* die, std::set<unsigned>& lab_tiles) {
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  for (const VOK_ATOM_NODE* a : n.get_atom_list()) {
    ++r.atoms;
    for (const VOK_ATOM_OTERM* o : a->coterms())
      if (o->get_first_fanout(VOK_TRAVERSE_AS_STORED)) ++r.nets;
    DEV_LOCATION loc;
    if (a->is_placed() && die->get_location(a->get_location_gid(), loc)) {
      const int x = loc[DEV_LOCATION_X], y = loc[DEV_LOCATION_Y];
      if (grid.in_grid(x, y) && grid.tile_kind(x, y) == DEV_TILE_KIND::LAB)
        lab_tiles.insert(static_cast<unsigned>(y * grid.nx() + x));
    }
    if (a->is_box())
      if (const VOK_ATOM_NETLIST* c = static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist())
        count_netlist(*c, r, die, lab_tiles);
  }
}

RESOURCES resources() {
  RESOURCES r;
  const VOK_ATOM_NETLIST* top = host::vok::top_netlist();
  const WUMP_DIE_INFO* die = host::device::die_info();
  r.counts = host::testing::count_resources(*top);
  std::set<unsigned> lab_tiles;
  count_netlist(*top, r, die, lab_tiles);
  r.labs_used = static_cast<int>(lab_tiles.size());
  const DEV_GRID& grid = die->get_place_info()->get_grid();
  for (int y = 0; y < grid.ny(); ++y)
    for (int x = 0; x < grid.nx(); ++x) r.labs += grid.tile_kind(x, y) == DEV_TILE_KIND::LAB;
  return r;
}

// The pins' chain settings before the first stage, so the report can list
// what the stages changed.
std::map<std::pair<std::string, int>, unsigned> g_chain_settings_before;

bool write_report(const std::string& path, const host::testing::LOADED_DESIGN& design,
                  const std::vector<STAGE_RESULT>& stages, const ROUTING_FIGURES& routing, int status) {
  const RESOURCES r = resources();
  const DeviceSpec& spec = host::device::spec();
  nlohmann::ordered_json j;
  j["design"] = {{"name", design.name}, {"file", design.file}};
  j["device"] = {{"family", spec.family}, {"nx", spec.nx}, {"ny", spec.ny}, {"routing_tracks", spec.routing_tracks}};
  j["atoms"] = r.atoms;
  j["nets"] = r.nets;
  j["resources"] = {{"luts", r.counts.luts},   {"registers", r.counts.registers}, {"pads", r.counts.pins},
                    {"labs", r.labs},          {"labs_used", r.labs_used}};
  j["stages"] = nlohmann::ordered_json::array();
  for (const auto& s : stages) j["stages"].push_back({{"name", s.name}, {"ok", s.ok}, {"seconds", s.seconds}});
  j["routing"] = nlohmann::ordered_json::object();
  if (routing.ran)
    j["routing"] = {{"connections", routing.connections}, {"unrouted", routing.unrouted}, {"overused", routing.overused}};
  // One object per analysed corner; a slack without endpoints is null.
  auto slack = [](std::int32_t v) { return v == KEM_NO_SLACK ? nlohmann::ordered_json() : nlohmann::ordered_json(v); };
  j["timing"] = nlohmann::ordered_json::array();
  for (const auto& c : host::timing::summary())
    j["timing"].push_back({{"corner", c.corner},
                           {"setup_wns_ps", slack(c.setup_wns)},
                           {"setup_tns_ps", c.setup_tns},
                           {"hold_wns_ps", slack(c.hold_wns)},
                           {"hold_tns_ps", c.hold_tns},
                           {"setup_failing", c.setup_failing_endpoints},
                           {"hold_failing", c.hold_failing_endpoints}});
  // Chain settings the stages set or changed, per pin and chain type.
  j["delay_chains"] = nlohmann::ordered_json::array();
  for (const auto& [key, value] : host::dc::pin_settings()) {
    auto it = g_chain_settings_before.find(key);
    if (it != g_chain_settings_before.end() && it->second == value) continue;
    nlohmann::ordered_json row = {{"pin", key.first}, {"type", key.second}, {"setting", value}};
    row["before"] = it == g_chain_settings_before.end() ? nlohmann::ordered_json() : nlohmann::ordered_json(it->second);
    j["delay_chains"].push_back(row);
  }
  j["peak_rss_kb"] = peak_rss_kb();
  j["status"] = status;
  std::ofstream out(path);
  out << j.dump(2) << "\n";
  return static_cast<bool>(out);
}

int run(const velmo_fit::OPTIONS& o, const std::string& command_line) {
  host_reset();
  // Comparing each incremental timing update with a full analysis is a test
  // aid; it would cost a full analysis per update here.
  host::sta::verify_incremental(false);
  host::messages::set_listener(&print_message);
  for (unsigned id : o.suppressed) host::messages::suppress(id);
  if (o.debug_level > 0) {
    host::debug::set_level("VELMO", o.debug_level);
    host::debug::set_echo(true);
  }

  // The design and its settings. Settings apply first, so the command line's
  // family and configuration win over them.
  host::testing::DESIGN_SETTINGS settings;
  host::testing::LOADED_DESIGN design;
  try {
    if (!o.settings_file.empty()) settings = host::testing::read_design_settings_file(o.settings_file);
    design = o.design.empty() ? host::testing::load_blif_text(kDefaultDesignText, kDefaultDesignName)
                              : host::testing::load_blif_file(o.design);
    host::testing::apply_design_settings(settings, *host::vok::top_netlist(), o.settings_file);
  } catch (const host::testing::DESIGN_LOAD_ERROR& e) {
    std::fprintf(stderr, "velmo-fit: %s\n", e.what().c_str());
    return 2;
  } catch (const host::testing::DESIGN_SETTINGS_ERROR& e) {
    std::fprintf(stderr, "velmo-fit: %s\n", e.what());
    return 2;
  }

  // Configuration next: the component reads some values when it is loaded.
  for (const auto& f : o.cfg_files) {
    std::string err;
    if (!host::cfg::load_file(f, &err)) {
      std::fprintf(stderr, "velmo-fit: %s\n", err.c_str());
      return 2;
    }
  }
  for (const auto& item : o.cfg_items) host::cfg::set_from_assignment(item, nullptr);

  declare_default_clocks(*host::vok::top_netlist(), settings.clocks);

  // A device sized to the design, with a fabric wide enough to route it.
  const int family = o.family ? *o.family : settings.family.value_or(DeviceSpec{}.family);
  host::device::configure(host::testing::size_device(host::testing::count_resources(*host::vok::top_netlist()),
                                                     family, 0.6, host::testing::kFitRoutingTracks,
                                                     host::testing::kFitLabAtomLimit));
  host::placement::PLACER_OPTIONS placer_options;
  placer_options.lab_atom_limit = host::testing::kFitLabAtomLimit;
  host::facade::set_placer_options(placer_options);
  // A device with the retiming flow gives the fitter the host's retiming
  // environment (pipeline-register depopulation and repopulation need it).
  static HOST_YUN_ENV host_yun_env;
  if (ZEL_DEV_ZOTA_UTIL::is_zota_device(nullptr, 1)) host::wexan::set_yun_env(&host_yun_env);
  // The design's routing database answers for the design's atoms.
  VOK_CHIP_DB_ENTRY::current()->get_routing()->attach_atom_netlist(host::vok::top_netlist(),
                                                                   VOK_TRAVERSE_HIERARCHICAL);
  const DeviceSpec& spec = host::device::spec();
  std::printf("Design %s (%s): %d LUTs, %d registers, %d input and %d output pins; device family %d, %d x %d tiles\n",
              design.name.c_str(), design.file.c_str(), design.luts + design.helper_luts, design.registers,
              design.inputs, design.outputs, spec.family, spec.nx, spec.ny);
  std::fflush(stdout);

  std::vector<STAGE_RESULT> stages;
  ROUTING_FIGURES routing;
  auto finish = [&](int status) {
    const RESOURCES r = resources();
    std::printf("Resources: %d LUTs, %d registers, %d pads, %d of %d LABs used\n", r.counts.luts,
                r.counts.registers, r.counts.pins, r.labs_used, r.labs);
    std::printf("Peak memory: %ld kB\n", peak_rss_kb());
    if (!o.report_file.empty() && !write_report(o.report_file, design, stages, routing, status)) {
      std::fprintf(stderr, "velmo-fit: cannot write the report '%s'\n", o.report_file.c_str());
      if (status == 0) status = 1;
    }
    std::printf("velmo-fit: %s\n", status == 0 ? "done" : "failed");
    return status;
  };

  CMP_FACADE* cmp = CMP_FACADE::current();
  cmp->set_command_line(command_line);

  const std::string lib_path = exe_dir() + "/lib/libvelmo.so";
  void* lib = dlopen(lib_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* e = dlerror();
    std::fprintf(stderr, "velmo-fit: cannot load %s: %s\n", lib_path.c_str(), e ? e : "unknown error");
    return 1;
  }

  ENTRY_POINTS ep;
  ep.initialize = reinterpret_cast<bool (*)(CMP_FACADE*)>(find(lib, kInitialize));
  ep.shutdown = reinterpret_cast<void (*)()>(find(lib, kShutdown));
  std::vector<std::string> missing;
  if (!ep.initialize) missing.push_back(kInitialize);
  if (!ep.shutdown) missing.push_back(kShutdown);
  std::map<std::string, void*> stage_fn;
  for (const auto& s : o.stages) {
    void* f = find(lib, stage_entry().at(s));
    if (!f) missing.push_back(stage_entry().at(s));
    stage_fn[s] = f;
  }
  if (!missing.empty()) {
    std::printf("velmo-fit: libvelmo.so does not provide these entry points yet:\n");
    for (const auto& m : missing) std::printf("  %s\n", m.c_str());
    return finish(1);
  }

  int status = 0;
  auto stage_line = [&](const std::string& name, bool ok, const GEN_STOPWATCH& watch) {
    stages.push_back(STAGE_RESULT{name, ok, watch.get_elapsed_seconds()});
    // The host's analysis of the design as the stage left it.
    sta_full_update_timing(true);
    const std::string note = timing_note();
    std::printf("Stage %s: %s (%s)%s%s\n", name.c_str(), ok ? "ok" : "FAILED", watch.get_elapsed_time_str().c_str(),
                note.empty() ? "" : ", ", note.c_str());
    std::fflush(stdout);
  };
  g_chain_settings_before = host::dc::pin_settings();
  try {
    GEN_STOPWATCH watch;
    bool ok = ep.initialize(cmp);
    stage_line("start-up", ok, watch);
    if (!ok) status = 1;
    for (const auto& s : o.stages) {
      if (status != 0) break;
      watch.reset();
      bool r;
      if (s == "plan")
        r = reinterpret_cast<bool (*)(bool)>(stage_fn[s])(true);
      else
        r = reinterpret_cast<bool (*)()>(stage_fn[s])();
      if (r && s == "route") {
        // The host runs the route-stage operation list after the router
        // (pipeline-register merging and repopulation among them).
        using ROUTE_OPS_FN = bool (*)(bool);
        if (auto ops = reinterpret_cast<ROUTE_OPS_FN>(find(lib, "VELMO_POSTROUTE_OPS::run_route_stage_ops(bool)"))) {
          r = ops(false);
          std::printf("Route-stage operations: %s\n", r ? "ok" : "FAILED");
        }
      }
      stage_line(s, r, watch);
      if (!r) status = 1;
      if (!r && s == "place") {
        // What the host's placer could not place, if it ran.
        const auto bad = host::placement::unplaceable();
        for (std::size_t i = 0; i < bad.size() && i < 10; ++i)
          std::printf("  not placed: %s (#%d): %s\n", bad[i].name.c_str(), bad[i].atom_id, bad[i].reason.c_str());
        if (bad.size() > 10) std::printf("  ... and %zu more\n", bad.size() - 10);
      }
      if (!r && (s == "route" || s == "final"))
        print_findings("routing", split_lines(host::facade::last_route_failure()));
    }
    // The host's own checks of what the stages that ran left (the routing's
    // figures also after a failed route), and the timing.
    auto ran = [&](const char* name) {
      return std::any_of(stages.begin(), stages.end(), [&](const STAGE_RESULT& r) { return r.name == name; });
    };
    if (status == 0 && ran("place")) {
      std::string why;
      const bool legal = host::placement::check_legal(&why);
      std::printf("Placement: %s\n", legal ? "legal" : "ILLEGAL");
      print_findings("placement", split_lines(why));
      if (!legal) status = 1;
    }
    if (ran("route")) {
      routing = check_routing();
      std::printf("Routing: %d connections, %d unrouted, %d overused%s\n", routing.connections, routing.unrouted,
                  routing.overused, routing.findings.empty() ? "" : " (ILLEGAL)");
      print_findings("routing", routing.findings);
      if (!routing.findings.empty()) status = 1;
    }
    for (const auto& c : host::timing::summary()) {
      auto v = [](std::int32_t x) { return x == KEM_NO_SLACK ? std::string("none") : std::to_string(x) + " ps"; };
      std::printf("Timing %s: setup WNS %s, TNS %lld ps, %d failing; hold WNS %s, TNS %lld ps, %d failing\n",
                  c.corner.c_str(), v(c.setup_wns).c_str(), static_cast<long long>(c.setup_tns),
                  c.setup_failing_endpoints, v(c.hold_wns).c_str(), static_cast<long long>(c.hold_tns),
                  c.hold_failing_endpoints);
    }
    std::fflush(stdout);
    ep.shutdown();
  } catch (const HOST_INTERNAL_ERROR& e) {
    std::fflush(stdout);
    std::printf("Internal Error: %s (%s:%d)\n", e.condition.c_str(), e.file.c_str(), e.line);
    std::fflush(stdout);
    // The component is in an unknown state: leave without unloading it.
    _exit(3);
  }
  dlclose(lib);
  return finish(status);
}

}  // namespace

int main(int argc, char** argv) {
  velmo_fit::OPTIONS o;
  std::string error;
  if (!velmo_fit::parse_options(argc, argv, &o, &error)) {
    std::fprintf(stderr, "velmo-fit: %s\n%s\n", error.c_str(), velmo_fit::usage());
    return 2;
  }
  if (o.help) {
    std::printf("%s\n", velmo_fit::usage());
    return 0;
  }
  std::string command_line;
  for (int i = 0; i < argc; ++i) command_line += (i ? " " : "") + std::string(argv[i]);
  return run(o, command_line);
}
