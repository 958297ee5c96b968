// velmo-fit: the host program. It prepares the stand-in host (design,
// settings, configuration, a device sized to the design, compiler facade),
// opens libvelmo.so with dlopen exactly as a host fitter would, and plays the
// host's stage sequence: start-up; before the first stage the
// design-without-device step and the user-constraint load ("prepare"); the
// asked stages in order, each with the design snapshot it produces set as it
// starts; the route-stage operation list after routing; the post-fit checks
// after the last stage; shut-down. It prints the messages, one line per stage
// (with the worst setup and hold slack of the host's timing analysis run
// after it, and the reason when it failed), then the placement and routing
// checks, a timing summary per corner and a resource summary; --report
// writes the same as JSON.
//
// Every net that drives a register clock is declared a clock of
// kDefaultClockPeriodPs unless the settings file gives its period.
//
// Exit status: 0 success, 1 a stage (or start-up) returned false or the
// component lacks an entry point, 2 bad command line, design or settings,
// 3 internal error (an internal error of the host or component, out of
// memory, or any other exception).
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>
#include <tbb/global_control.h>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "common/host_control.h"
#include "korrin/korrin_router.h"
#include "dev/dev_spec.h"
#include "gen/gen_profile.h"
#include "jov/jov_design.h"
#include "jov/jov_enum.h"
#include "msg/msg_base.h"
#include "msg/msg_internal_error.h"
#include "oxu/oxu_job.h"
#include "omz/omz_option.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "sta/sta_analysis.h"
#include "tawn/tawn_netlist_writer.h"
#include "tibex/tibex_hold_reroute.h"
#include "testing/blif_design.h"
#include "testing/design_settings.h"
#include "yun/host_yun_env.h"
#include "zel/zel_dev_zota_util.h"
#include "wexan/wexan_env.h"
#include "tibex/tibex_placer.h"
#include "tibex/tibex_vpr_facade.h"
#include "velmo_fit_options.h"
#include "velmo_fit_retiming.h"
#include "velmo_fit_partitions.h"
#include "velmo_fit_session.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dc_table.h"
#include "zel/zel_dev_zota_util.h"
#include "yova/yova_util.h"


namespace {

using velmo_fit::ENTRY_POINTS;
using velmo_fit::kCheckAndReport;
using velmo_fit::kDesignWithoutDevice;
using velmo_fit::kInitialize;
using velmo_fit::kLoadUserConstraints;
using velmo_fit::kRouteStageOps;
using velmo_fit::kShutdown;
using velmo_fit::set_snapshot;
using velmo_fit::stage_entry;
using velmo_fit::stage_snapshot;

// Equivalence checking (project option 627): each snapshot's netlist goes
// into <simulation tool directory>/<snapshot>/, and after each stage the
// component writes that stage's check script.
bool eqcheck_on() {
  const OMZ_OPTION* o = OMZ_DERIVED_OPTION::get_single_option(OMZ_NAMESPACE::get_default(), 627, true);
  return o != nullptr && o->get_bool_value();
}

void write_snapshot_netlist(const char* snapshot, const std::string& design_name) {
  YOVA_UTIL yova(OMZ_NAMESPACE::get_default());
  std::unique_ptr<YOVA_TOOL> tool(yova.get_tool(2));
  const std::string dir = tool->output_dir() + "/" + snapshot;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  TAWN_NETLIST_WRITER::write(host::vok::top_netlist(), dir.c_str(), design_name.c_str());
}

void print_message(const POSTED_MESSAGE& m) {
  std::printf("%s\n", host::messages::format(m).c_str());
  std::fflush(stdout);
}

// Atoms that take part in routing (a connected terminal) but have no
// location: the router cannot have routed their connections.
std::vector<std::string> unplaced_routable_atoms(const VOK_ATOM_NETLIST& n) {
  std::vector<std::string> out;
  for (const VOK_ATOM_NODE* a : n.get_atom_list()) {
    if (a->is_box()) {
      if (const VOK_ATOM_NETLIST* c = static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist()) {
        auto inner = unplaced_routable_atoms(*c);
        out.insert(out.end(), inner.begin(), inner.end());
      }
      continue;
    }
    // A depopulated pipeline register stays unplaced on purpose; a
    // partition's boundary port has no location of its own.
    if (a->is_placed() || a->is_port() || ZEL_ATOM_UTIL::is_zota_marked_reg(a)) continue;
    bool connected = false;
    for (const VOK_ATOM_OTERM* o : a->coterms()) connected = connected || o->get_first_fanout(VOK_TRAVERSE_AS_STORED);
    for (const VOK_ATOM_ITERM* i : a->citerms()) connected = connected || i->get_source(VOK_TRAVERSE_AS_STORED);
    if (connected)
      out.push_back("unplaced atom '" + a->get_string_hpath() + "' (#" + std::to_string(a->get_id()) +
                    "): its connections cannot be routed");
  }
  return out;
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
  // Hold fixing: connections re-routed for hold and dangling stubs kept.
  int rerouted_for_hold = 0;
  int dangling_wires = 0;
  std::vector<std::string> findings;
};

ROUTING_FIGURES check_routing() {
  ROUTING_FIGURES f;
  f.ran = true;
  std::string why;
  host::routing::check(&why);
  f.dangling_wires = host::routing::last_check_hold_stubs();
  f.rerouted_for_hold = host::hold_reroute::last_rerouted();
  for (const std::string& line : unplaced_routable_atoms(*host::vok::top_netlist())) why += line + "\n";
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
  long peak_rss_kb = 0;  // the process's peak when the stage ended
};

// Routing progress: once routing has run a few seconds, a line per
// negotiation round.
constexpr double kRoundLinesAfterSeconds = 3.0;
void print_round(const host::router::ROUND& r) {
  if (r.seconds < kRoundLinesAfterSeconds) return;
  std::printf("  Routing round %d: %d overused elements, %d connections left (%.1f s)\n", r.round, r.overused,
              r.connections_left, r.seconds);
  std::fflush(stdout);
}

// Every corner of the part loaded into the timing netlist and analysed (a
// stage, such as hold fixing, may leave only one loaded).
void load_all_corners() {
  KEM_NETLIST* kem = KEM_MANAGER::get()->get_kem_netlist();
  if (kem == nullptr) return;
  std::vector<KEM_TIMING_MODEL> all;
  for (const DeviceCorner& c : host::device::spec().corners) all.push_back(KEM_TIMING_MODEL::from_corner(c));
  if (all.empty() || kem->get_corner_manager()->get_loaded_corners() == all) return;
  kem->get_corner_manager()->set_corners(all);
  kem->annotate_current_corner();
  host::sta::analyze(kem);
}

// The worst setup and hold slack over the analysed corners after a stage,
// for its line ("" before any timing analysis).
std::string timing_note() {
  load_all_corners();
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

// Per combinational cell: its mask and, per input, the driver, inversion and
// tie. The LUTs the final stage changed (resynthesis) are those whose entry
// differs; -1 while the final stage has not run.
std::map<int, std::string> lut_states() {
  std::map<int, std::string> out;
  for (const VOK_ATOM_NODE* a : host::vok::top_netlist()->get_atom_list()) {
    if (a->get_kind() != VOK_ATOM_KIND::COMB_CELL) continue;
    std::string s = std::to_string(a->get_lutmask().get_value());
    for (std::size_t i = 0; i < a->get_iterm_slot_count(); ++i) {
      const VOK_ATOM_ITERM* t = a->get_iterm_slot(i);
      if (!t) continue;
      const VOK_ATOM_OTERM* src = t->get_source(VOK_TRAVERSE_AS_STORED);
      s += " " + std::to_string(t->get_port_type()) + ":" +
           (src && src->get_my_node() ? std::to_string(src->get_my_node()->get_id()) + "." + std::to_string(src->get_port_type())
                                      : (t->is_connected() ? (t->is_tie_low() ? "0" : "1") : "-")) +
           (t->is_inverted() ? "!" : "");
    }
    out[a->get_id()] = s;
  }
  return out;
}
int g_final_changed_luts = -1;
// The LUTs the final stage's resynthesiser changed (its own account, one
// debug line per LUT); -1 while the final stage has not run.
int g_final_resynthesised_luts = -1;
int resynthesised_luts(const std::vector<DEBUG_LINE>& lines, std::size_t from) {
  static const std::string prefix = "VM Debug: resynthesised LUT ";
  std::set<std::string> ids;
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i].module == "VELMO" && lines[i].text.rfind(prefix, 0) == 0) ids.insert(lines[i].text.substr(prefix.size()));
  return static_cast<int>(ids.size());
}
// The chain settings the route stage changed (the automatic delay-chain
// pass), once it ran.
int g_route_changed_delay_chains = -1;
// Negotiation rounds of the route stage's routing (0: the stage did not
// run). Later routings (the final stage's, which mostly follow this one) do
// not replace it.
int g_route_stage_rounds = 0;

// The pins' chain settings before the first stage, so the report can list
// what the stages changed.
std::map<std::pair<std::string, int>, unsigned> g_chain_settings_before;
// What the finalize stage changed in the register structure (post-route
// retiming), once it ran.
std::optional<velmo_fit::RETIMING_CHANGES> g_retiming;

// A fit that ends failing hold says so in one line naming the endpoints
// (over every corner, each once, worst first; the first eight by name).
void print_hold_failures(const std::vector<host::timing::CORNER_SUMMARY>& corners) {
  std::vector<std::pair<std::int32_t, std::string>> all;
  for (const auto& c : corners) all.insert(all.end(), c.hold_failing.begin(), c.hold_failing.end());
  if (all.empty()) return;
  std::sort(all.begin(), all.end());
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const auto& [slack, name] : all)
    if (seen.insert(name).second) names.push_back(name);
  constexpr std::size_t kShown = 8;
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < kShown; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > kShown) text += " and " + std::to_string(names.size() - kShown) + " more";
  std::printf("Hold: FAILING at %zu endpoint%s (worst %d ps): %s\n", names.size(), names.size() == 1 ? "" : "s",
              all.front().first, text.c_str());
}

bool write_report(const std::string& path, const host::testing::LOADED_DESIGN& design,
                  const std::vector<STAGE_RESULT>& stages, const ROUTING_FIGURES& routing, int status,
                  const velmo_fit::PARTITION_RUN& partitions) {
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
  for (const auto& s : stages)
    j["stages"].push_back({{"name", s.name}, {"ok", s.ok}, {"seconds", s.seconds}, {"peak_rss_kb", s.peak_rss_kb}});
  j["routing"] = nlohmann::ordered_json::object();
  if (routing.ran)
    j["routing"] = {{"connections", routing.connections}, {"unrouted", routing.unrouted}, {"overused", routing.overused},
                    {"rounds", g_route_stage_rounds > 0 ? g_route_stage_rounds : host::router::last_stats().rounds}};
  if (routing.ran)
    j["hold_fixing"] = {{"rerouted", routing.rerouted_for_hold}, {"dangling_wires", routing.dangling_wires}};
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
  if (g_retiming) j["retiming"] = velmo_fit::retiming_report(*g_retiming);
  if (partitions.active()) j["partitions"] = partitions.report();
  if (g_final_changed_luts >= 0) j["final_changed_luts"] = g_final_changed_luts;
  if (g_final_resynthesised_luts >= 0) j["final_resynthesised_luts"] = g_final_resynthesised_luts;
  if (g_route_changed_delay_chains >= 0) j["route_changed_delay_chains"] = g_route_changed_delay_chains;
  j["peak_rss_kb"] = peak_rss_kb();
  j["status"] = status;
  std::ofstream out(path);
  out << j.dump(2) << "\n";
  return static_cast<bool>(out);
}

int run(const velmo_fit::OPTIONS& o, const std::string& command_line) {
  host_reset();
  g_retiming.reset();
  // Comparing each incremental timing update with a full analysis is a test
  // aid; it would cost a full analysis per update here.
  host::sta::verify_incremental(false);
  host::messages::set_listener(&print_message);
  host::router::set_round_listener(&print_round);
  for (unsigned id : o.suppressed) host::messages::suppress(id);
  if (o.debug_level > 0) {
    host::debug::set_level("VELMO", o.debug_level);
    host::debug::set_echo(true);
  }

  velmo_fit::PREPARED prepared;
  if (std::string why; const int bad = velmo_fit::prepare_host(o, &prepared, &why)) {
    std::fprintf(stderr, "velmo-fit: %s\n", why.c_str());
    return bad;
  }
  const host::testing::DESIGN_SETTINGS& settings = prepared.settings;
  const host::testing::LOADED_DESIGN& design = prepared.design;
  // Partitioned designs: the earlier compile, on this device.
  velmo_fit::PARTITION_RUN partitions(settings.partitions);
  if (std::string why; !partitions.prepare(&why)) {
    std::fprintf(stderr, "velmo-fit: %s\n", why.c_str());
    return 2;
  }
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
    if (!o.report_file.empty() && !write_report(o.report_file, design, stages, routing, status, partitions)) {
      std::fprintf(stderr, "velmo-fit: cannot write the report '%s'\n", o.report_file.c_str());
      if (status == 0) status = 1;
    }
    std::printf("velmo-fit: %s\n", status == 0 ? "done" : "failed");
    return status;
  };

  CMP_FACADE* cmp = CMP_FACADE::current();
  cmp->set_command_line(command_line);

  const std::string lib_path = velmo_fit::component_library_path(true);
  void* lib = dlopen(lib_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* e = dlerror();
    std::fprintf(stderr, "velmo-fit: cannot load %s: %s\n", lib_path.c_str(), e ? e : "unknown error");
    return 1;
  }

  ENTRY_POINTS ep;
  std::vector<std::string> missing;
  auto need = [&](auto& fn, const char* signature) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(velmo_fit::find_entry(lib, signature));
    if (!fn) missing.push_back(signature);
  };
  need(ep.initialize, kInitialize);
  need(ep.shutdown, kShutdown);
  std::vector<std::string> stage_list = o.stages;
  if (!stage_list.empty()) {
    need(ep.design_without_device, kDesignWithoutDevice);
    need(ep.load_user_constraints, kLoadUserConstraints);
    need(ep.check_and_report, kCheckAndReport);
  }
  if (std::find(stage_list.begin(), stage_list.end(), "route") != stage_list.end())
    need(ep.route_stage_ops, kRouteStageOps);
  std::map<std::string, void*> stage_fn;
  for (const auto& s : stage_list) {
    void* f = velmo_fit::find_entry(lib, stage_entry().at(s));
    if (!f) missing.push_back(stage_entry().at(s));
    stage_fn[s] = f;
  }
  if (!partitions.bind(lib, velmo_fit::exports())) missing.push_back("velmo_bbic_initialize / velmo_bbic_shutdown");
  if (!missing.empty()) {
    std::printf("velmo-fit: libvelmo.so does not provide these entry points yet:\n");
    for (const auto& m : missing) std::printf("  %s\n", m.c_str());
    return finish(1);
  }

  using WRITE_EQCHECK = void (*)(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE>);
  auto write_eqcheck =
      reinterpret_cast<WRITE_EQCHECK>(velmo_fit::find_entry(lib, "velmo_write_formal_verification_flow(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE>)"));
  const bool eqcheck = eqcheck_on() && write_eqcheck != nullptr;
  if (eqcheck) write_snapshot_netlist("synthesized", design.name);

  int status = 0;
  // Every component debug line is kept (and shown only with --debug), so that
  // a step that fails without an error message can still say why.
  if (o.debug_level < 2) host::debug::set_level("VELMO", 2);
  std::size_t debug_mark = 0;
  int errors_mark = 0;
  auto begin_step = [&] {
    debug_mark = host::debug::lines().size();
    errors_mark = msg_get_default_report()->get_error_count();
  };
  // Why a step failed when it posted no error: the last debug lines it
  // wrote (up to three, oldest first).
  auto print_reason = [&](const std::string& what) {
    if (msg_get_default_report()->get_error_count() > errors_mark) return;
    const auto lines = host::debug::lines();
    std::vector<std::string> last;
    for (std::size_t i = lines.size(); i > debug_mark && last.size() < 3; --i)
      if (lines[i - 1].module == "VELMO" && !lines[i - 1].text.empty()) last.insert(last.begin(), lines[i - 1].text);
    if (last.empty()) std::printf("  reason: %s returned false without a message\n", what.c_str());
    for (const auto& line : last) std::printf("  reason: %s\n", line.c_str());
  };
  auto stage_line = [&](const std::string& name, bool ok, const GEN_STOPWATCH& watch) {
    stages.push_back(STAGE_RESULT{name, ok, watch.get_elapsed_seconds(), peak_rss_kb()});
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
    begin_step();
    bool ok = ep.initialize(cmp);
    stage_line("start-up", ok, watch);
    if (!ok) {
      print_reason(kInitialize);
      status = 1;
    }
    if (ok && !partitions.after_startup(spec.family)) status = 1;
    // The device-independent checks and changes, then the user constraints,
    // before the first stage.
    if (status == 0 && !stage_list.empty()) {
      watch.reset();
      begin_step();
      const char* failed = nullptr;
      if (!ep.design_without_device())
        failed = kDesignWithoutDevice;
      else if (!ep.load_user_constraints(false))
        failed = kLoadUserConstraints;
      stage_line("prepare", failed == nullptr, watch);
      if (failed != nullptr) {
        print_reason(failed);
        status = 1;
      }
    }
    bool routed = false;
    for (const auto& s : stage_list) {
      if (status != 0) break;
      if (s == "retime" && !o.stages_given && !ZEL_DEV_ZOTA_UTIL::is_zota_device(cmp, 1)) {
        // A host runs no retime stage for a device without the retimer.
        std::printf("Stage retime: skipped (device family %d has no retimer)\n", host::device::spec().family);
        continue;
      }
      watch.reset();
      begin_step();
      set_snapshot(stage_snapshot().at(s));
      partitions.stage_starting(s);
      std::map<int, std::string> luts_before;
      if (s == "final") luts_before = lut_states();
      const auto chains_before = s == "route" ? host::dc::pin_settings() : decltype(host::dc::pin_settings())();
      bool r;
      const velmo_fit::RETIMING_STATE before_final =
          s == "final" ? velmo_fit::retiming_state() : velmo_fit::RETIMING_STATE();
      if (s == "plan")
        r = reinterpret_cast<bool (*)(bool)>(stage_fn[s])(true);
      else
        r = reinterpret_cast<bool (*)()>(stage_fn[s])();
      // After routing, the host's route-stage operation list (repopulating the
      // pipeline registers the router used).
      if (r && s == "route") {
        r = ep.route_stage_ops(false);
        std::printf("Route-stage operations: %s\n", r ? "ok" : "FAILED");
        routed = r;
      }
      if (s == "route") {
        g_route_stage_rounds = host::router::last_stats().rounds;
        g_route_changed_delay_chains = 0;
        for (const auto& [key, value] : host::dc::pin_settings())
          if (auto it = chains_before.find(key); it == chains_before.end() || it->second != value)
            ++g_route_changed_delay_chains;
        if (g_route_changed_delay_chains > 0)
          std::printf("Route stage: %d delay-chain settings changed\n", g_route_changed_delay_chains);
      }
      stage_line(s, r, watch);
      if (s == "final") {
        g_final_changed_luts = 0;
        for (const auto& [id, state] : lut_states())
          if (auto it = luts_before.find(id); it != luts_before.end() && it->second != state) ++g_final_changed_luts;
        g_final_resynthesised_luts = resynthesised_luts(host::debug::lines(), debug_mark);
        std::printf("Final stage: %d LUTs with changed connections or masks; %d LUTs resynthesised\n",
                    g_final_changed_luts, g_final_resynthesised_luts);
        g_retiming = velmo_fit::retiming_changes(before_final);
        if (g_retiming->any())
          std::printf("Retiming: %d pipeline registers created, %d deleted; %d LAB registers bypassed, %d "
                      "re-enabled; %d wire LUTs\n",
                      g_retiming->pipeline_created, g_retiming->pipeline_deleted, g_retiming->lab_bypassed,
                      g_retiming->lab_reenabled, g_retiming->wire_luts);
      }
      if (r && eqcheck) {
        JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot;
        snapshot.set_from_str(stage_snapshot().at(s), true);
        write_snapshot_netlist(snapshot.to_str(), design.name);
        write_eqcheck(snapshot);
      }
      if (!r) {
        status = 1;
        print_reason(stage_entry().at(s));
      }
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
    // The post-fit checks of the fitted design.
    if (status == 0 && routed) {
      watch.reset();
      begin_step();
      ep.check_and_report(true, true);
      const bool clean = msg_get_default_report()->get_error_count() == errors_mark;
      stage_line("checks", clean, watch);
      if (!clean) status = 1;
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
      std::printf("Hold fixing: %d connections re-routed for hold, %d dangling wires added\n", routing.rerouted_for_hold,
                  routing.dangling_wires);
      if (!routing.findings.empty()) status = 1;
    }
    // The resource and timing report sees every partition's full contents.
    partitions.report_guard_begin();
    load_all_corners();
    for (const auto& c : host::timing::summary()) {
      auto v = [](std::int32_t x) { return x == KEM_NO_SLACK ? std::string("none") : std::to_string(x) + " ps"; };
      std::printf("Timing %s: setup WNS %s, TNS %lld ps, %d failing; hold WNS %s, TNS %lld ps, %d failing\n",
                  c.corner.c_str(), v(c.setup_wns).c_str(), static_cast<long long>(c.setup_tns),
                  c.setup_failing_endpoints, v(c.hold_wns).c_str(), static_cast<long long>(c.hold_tns),
                  c.hold_failing_endpoints);
    }
    print_hold_failures(host::timing::summary());
    partitions.report_guard_end();
    if (partitions.active() && status == 0 && ran("place")) {
      const auto changed = partitions.check_preserved();
      std::printf("Preserved partitions: %s\n", changed.empty() ? "unchanged" : "CHANGED");
      print_findings("partitions", changed);
      if (!changed.empty()) status = 1;
    }
    std::fflush(stdout);
    partitions.before_shutdown();
    ep.shutdown();
  } catch (const HOST_INTERNAL_ERROR& e) {
    std::fflush(stdout);
    std::printf("Internal Error: %s (%s:%d)\n", e.condition.c_str(), e.file.c_str(), e.line);
    std::fflush(stdout);
    // The component is in an unknown state: leave without unloading it.
    _exit(3);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::printf("Internal Error: exception: %s\n", e.what());
    std::fflush(stdout);
    _exit(3);
  }
  dlclose(lib);
  return finish(status);
}

// The design must be a file; the report must be writable and must not be the
// design. Checked before anything is loaded.
bool check_files(const velmo_fit::OPTIONS& o) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!o.design.empty() && fs::is_directory(o.design, ec)) {
    std::fprintf(stderr, "velmo-fit: %s: is a directory, not a BLIF file\n", o.design.c_str());
    return false;
  }
  if (o.report_file.empty()) return true;
  if (fs::is_directory(o.report_file, ec)) {
    std::fprintf(stderr, "velmo-fit: --report %s: is a directory\n", o.report_file.c_str());
    return false;
  }
  for (const std::string& input : {o.design, o.settings_file}) {
    if (input.empty()) continue;
    if (fs::weakly_canonical(input, ec) == fs::weakly_canonical(o.report_file, ec) ||
        (fs::exists(input, ec) && fs::exists(o.report_file, ec) && fs::equivalent(input, o.report_file, ec))) {
      std::fprintf(stderr, "velmo-fit: --report %s would overwrite the input file %s\n", o.report_file.c_str(),
                   input.c_str());
      return false;
    }
  }
  const bool existed = fs::exists(o.report_file, ec);
  {
    std::ofstream probe(o.report_file, std::ios::app);
    if (!probe) {
      std::fprintf(stderr, "velmo-fit: --report %s: cannot write the file\n", o.report_file.c_str());
      return false;
    }
  }
  if (!existed) fs::remove(o.report_file, ec);
  return true;
}

}  // namespace

// Running out of memory anywhere (any thread, host or component) ends the
// run with one line and status 3.
[[noreturn]] void out_of_memory() {
  std::fflush(stdout);
  static const char text[] = "velmo-fit: out of memory: the design is too large for this machine\n";
  if (write(STDERR_FILENO, text, sizeof text - 1) < 0) {}
  _exit(3);
}

int main(int argc, char** argv) {
  std::set_new_handler(&out_of_memory);
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
  if (!check_files(o)) return 2;
  std::string command_line;
  for (int i = 0; i < argc; ++i) command_line += (i ? " " : "") + std::string(argv[i]);
  // One parallelism for every parallel region of the component and the host.
  tbb::global_control parallelism(tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(o.threads));
  OXU_PROCESSOR_MANAGER::set_thread_count(o.threads);
  try {
    return run(o, command_line);
  } catch (const std::bad_alloc&) {  // thrown explicitly, not by operator new
    out_of_memory();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmo-fit: internal error: %s\n", e.what());
    return 3;
  } catch (const HOST_INTERNAL_ERROR& e) {
    std::fprintf(stderr, "velmo-fit: internal error: %s (%s:%d)\n", e.condition.c_str(), e.file.c_str(), e.line);
    return 3;
  }
}
