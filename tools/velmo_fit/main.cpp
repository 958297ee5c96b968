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
// The design's LUTs and registers from which no output pin or periphery
// block input can be reached are removed as it is loaded (one line says how
// many).
//
// Every net that drives a register clock is declared a clock of
// kDefaultClockPeriodPs unless the settings file gives its period.
//
// Exit status: 0 success, 1 a stage (or start-up) returned false or the
// component lacks an entry point, 2 bad command line, design or settings,
// 3 internal error (an internal error of the host or component, out of
// memory, a thread that cannot be started, or any other exception). A run
// ending with 2 or 3 once the report path passed its checks writes
// {"error", "status"} there.
//
// A file that cannot be written whole (a full disk, a file-size limit) fails
// the run with a line naming it: the file-size signal is ignored, so such a
// write fails instead of ending the process.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <system_error>
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
#include "common/host_input.h"
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
#include "velmo_fit_counts.h"
#include "velmo_fit_hold.h"
#include "velmo_fit_options.h"
#include "velmo_fit_output.h"
#include "velmo_fit_retiming.h"
#include "velmo_fit_partitions.h"
#include "velmo_fit_progress.h"
#include "velmo_fit_sequence.h"
#include "velmo_fit_session.h"
#include "velmo_fit_verification.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "wump/wump_die_info.h"
#include "yova/yova_util.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dc_table.h"
#include "zel/zel_dev_zota_util.h"


// A thread that could not be started: the reason the exception gives (""
// for any other exception), and the exit (defined with the process's other
// exits at the end of the file).
using host::thread_start_failure;
[[noreturn]] void cannot_start_thread(const std::string& reason);

namespace {


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
    // An atom with no site in the device (a clock buffer) is never placed.
    if (host::placement::site_kind(a) == 0) continue;
    bool connected = false;
    for (const VOK_ATOM_OTERM* o : a->coterms()) connected = connected || o->get_first_fanout(VOK_TRAVERSE_AS_STORED);
    for (const VOK_ATOM_ITERM* i : a->citerms()) connected = connected || i->get_source(VOK_TRAVERSE_AS_STORED);
    if (connected)
      out.push_back("unplaced atom '" + a->get_string_hpath() + "' (#" + std::to_string(a->get_id()) +
                    "): its connections cannot be routed");
  }
  return out;
}

// The routing check's findings by kind.
struct ROUTING_FIGURES {
  bool ran = false;
  int connections = 0;
  int unrouted = 0;
  int overused = 0;
  // Hold fixing: connections re-routed for hold and the dangling stubs it
  // added.
  int rerouted_for_hold = 0;
  int dangling_wires = 0;
  // Single sinkless leaf wires the routing holds that hold fixing did not
  // add.
  int dangling_leaves = 0;
  std::vector<std::string> findings;
};

ROUTING_FIGURES check_routing(int dangling_wires_added) {
  ROUTING_FIGURES f;
  f.ran = true;
  std::string why;
  host::routing::check(&why);
  f.dangling_wires = dangling_wires_added;
  f.dangling_leaves = std::max(0, host::routing::last_check_hold_stubs() - dangling_wires_added);
  f.rerouted_for_hold = host::hold_reroute::last_rerouted();
  for (const std::string& line : unplaced_routable_atoms(*host::vok::top_netlist())) why += line + "\n";
  std::istringstream in(why);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("unrouted connection", 0) == 0) ++f.unrouted;
    if (line.rfind("element used more than once", 0) == 0) ++f.overused;
    f.findings.push_back(line);
  }
  f.connections = host::routing::last_check_connections();
  return f;
}

void print_findings(const char* what, const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size() && i < 10; ++i) std::printf("  %s: %s\n", what, lines[i].c_str());
  if (lines.size() > 10) std::printf("  ... and %zu more\n", lines.size() - 10);
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

// The resources and timing as reported: taken while the report sees the
// whole design (unset before that).
std::optional<RESOURCES> g_reported_resources;
std::optional<std::vector<host::timing::CORNER_SUMMARY>> g_reported_timing;

RESOURCES resources() {
  if (g_reported_resources) return *g_reported_resources;
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

// The report path of the run, for the exits that cannot write a full report
// (also as plain characters, for the out-of-memory exit).
std::string g_report_path;
char g_report_path_c[4096];
// Out of memory blames the design only when it is large: a BLIF file of
// more than kLargeDesignBytes, or more than kLargeDesignAtoms LUTs and
// registers.
constexpr long long kLargeDesignBytes = 8 << 20;
constexpr int kLargeDesignAtoms = 20000;
bool g_design_large = false;
// > 0: run again on the device of this many columns.
int g_retry_columns = 0;
std::string g_retry_device;  // the device routing failed on, "W x H"
// A failed routing is tried again on a device a tenth larger (at least a
// column), at most this many times; the retries count themselves in the
// environment variable below (a retry's --device is not the user's choice).
constexpr int kRoutingRetries = 2;
constexpr const char* kRetryVariable = "VELMO_FIT_ROUTING_RETRY";
int routing_retries_done() {
  const char* v = std::getenv(kRetryVariable);
  return v != nullptr && *v >= '1' && *v <= '9' ? *v - '0' : 0;
}

// The temporary file beside `path` a report is written to before it is
// renamed into place: the path's name with ".tmp<pid>" added, the name
// shortened so the whole stays within the longest file name a directory takes
// (a report name near that limit is still writable).
std::string temporary_path(const std::string& path) {
  const std::string suffix = ".tmp" + std::to_string(getpid());
  const std::size_t slash = path.rfind('/');
  const std::size_t name_begin = slash == std::string::npos ? 0 : slash + 1;
  long limit = pathconf(name_begin == 0 ? "." : path.substr(0, name_begin).c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = 255;
  std::string name = path.substr(name_begin);
  if (name.size() + suffix.size() > static_cast<std::size_t>(limit))
    name.resize(static_cast<std::size_t>(limit) - suffix.size());
  return path.substr(0, name_begin) + name + suffix;
}

// The descriptor of this process an absolute path names (/dev/stdin,
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/PID/fd/N with
// this process's PID), or -1.
int descriptor_path(const std::string& path) {
  if (path == "/dev/stdin") return STDIN_FILENO;
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string& p : {std::string("/dev/fd/"), std::string("/proc/self/fd/"), own}) {
    if (path.size() <= p.size() || path.compare(0, p.size(), p) != 0) continue;
    const std::string digits = path.substr(p.size());
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(digits);
  }
  return -1;
}

// Where the report goes. A report path may lead, through symbolic links, to
// a descriptor of this process (/dev/stdout, a link to /proc/self/fd/1, ...):
// the report is written on it after what is already there; to a character
// device or a FIFO: it is opened and written; to a regular file or to no file
// yet: the report is written beside that file and renamed over it, any link
// on the way kept. Nothing but that regular file is ever removed or
// replaced.
struct REPORT_TARGET {
  enum KIND { FILE, DESCRIPTOR, DEVICE } kind = FILE;
  std::string path;  // FILE: the file replaced; DEVICE: the one opened
  int fd = -1;       // DESCRIPTOR
};
REPORT_TARGET g_report_target;

// Follows `given` through its symbolic links to what the report is written
// on; false with the reason when it cannot be a report.
bool resolve_report_path(const std::string& given, REPORT_TARGET* target, std::string* why) {
  namespace fs = std::filesystem;
  std::string p = given;
  for (int hops = 0; hops < 40; ++hops) {
    // The directories with their links resolved, the last name as it is.
    const fs::path path(p);
    std::error_code ec;
    const fs::path dir = fs::canonical(path.has_parent_path() ? path.parent_path() : fs::path("."), ec);
    const std::string full = ec ? p : (dir / path.filename()).string();
    if (const int fd = descriptor_path(full); fd >= 0) {
      const int flags = fcntl(fd, F_GETFL);
      if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || velmo_fit::closed_at_start(fd)) {
        *why = "descriptor " + std::to_string(fd) + " is not open for writing";
        return false;
      }
      *target = {REPORT_TARGET::DESCRIPTOR, full, fd};
      return true;
    }
    struct stat st {};
    if (ec || lstat(full.c_str(), &st) != 0) {
      // No file yet (or none that can be looked at): the write says.
      *target = {REPORT_TARGET::FILE, full, -1};
      return true;
    }
    if (S_ISLNK(st.st_mode)) {
      const fs::path link = fs::read_symlink(full, ec);
      if (ec) {
        *why = "cannot read the symbolic link " + full;
        return false;
      }
      p = (link.is_absolute() ? link : dir / link).string();
      continue;
    }
    if (S_ISREG(st.st_mode)) {
      *target = {REPORT_TARGET::FILE, full, -1};
      return true;
    }
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
      *target = {REPORT_TARGET::DEVICE, full, -1};
      return true;
    }
    *why = S_ISDIR(st.st_mode) ? "is a directory" : "not a regular file";
    return false;
  }
  *why = "too many levels of symbolic links";
  return false;
}

// Writes all of `text` on `fd`; false when a write fails.
bool write_all(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool write_atomically(const std::string& path, const std::string& text);

// Writes the report text where the report path leads.
bool write_report_text(const std::string& text) {
  const REPORT_TARGET& t = g_report_target;
  switch (t.kind) {
    case REPORT_TARGET::FILE: return write_atomically(t.path, text);
    case REPORT_TARGET::DESCRIPTOR:
      // After the lines the process has printed on it.
      std::fflush(stdout);
      std::fflush(stderr);
      return write_all(t.fd, text);
    case REPORT_TARGET::DEVICE: {
      const int fd = open(t.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (fd < 0) return false;
      const bool ok = write_all(fd, text);
      return close(fd) == 0 && ok;
    }
  }
  return false;
}

// Writes the text beside `path` and renames it into place, so a reader never
// sees half a report and a failed write leaves no stale one behind.
bool write_atomically(const std::string& path, const std::string& text) {
  const std::string tmp = temporary_path(path);
  bool ok;
  {
    std::ofstream out(tmp, std::ios::trunc);
    out << text;
    out.flush();
    ok = static_cast<bool>(out);
  }
  ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    std::remove(tmp.c_str());
    std::remove(path.c_str());
  }
  return ok;
}

// The text with every byte that does not belong to a valid UTF-8 sequence
// written as "\xNN" (two upper-case hexadecimal digits): names in the
// report come from files and command lines in any encoding, and JSON holds
// only valid UTF-8. Overlong forms, surrogates and code points beyond
// U+10FFFF are not valid.
std::string valid_utf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* b = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  auto continuation = [&](std::size_t i) { return i < n && (b[i] & 0xC0) == 0x80; };
  for (std::size_t i = 0; i < n;) {
    std::size_t length = 0;
    if (b[i] < 0x80) {
      length = 1;
    } else if (b[i] >= 0xC2 && b[i] <= 0xDF) {
      length = continuation(i + 1) ? 2 : 0;
    } else if (b[i] >= 0xE0 && b[i] <= 0xEF) {
      const unsigned char lo = b[i] == 0xE0 ? 0xA0 : 0x80, hi = b[i] == 0xED ? 0x9F : 0xBF;
      length = i + 1 < n && b[i + 1] >= lo && b[i + 1] <= hi && continuation(i + 2) ? 3 : 0;
    } else if (b[i] >= 0xF0 && b[i] <= 0xF4) {
      const unsigned char lo = b[i] == 0xF0 ? 0x90 : 0x80, hi = b[i] == 0xF4 ? 0x8F : 0xBF;
      length = i + 1 < n && b[i + 1] >= lo && b[i + 1] <= hi && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    if (length == 0) {
      static const char digits[] = "0123456789ABCDEF";
      out += "\\x";
      out += digits[b[i] >> 4];
      out += digits[b[i] & 0xF];
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  return out;
}

// Every string of the report (keys too) as valid_utf8 writes it.
nlohmann::ordered_json with_valid_utf8(const nlohmann::ordered_json& j) {
  if (j.is_string()) return valid_utf8(j.get_ref<const std::string&>());
  if (j.is_array()) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const auto& e : j) out.push_back(with_valid_utf8(e));
    return out;
  }
  if (j.is_object()) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (const auto& [key, value] : j.items()) out[valid_utf8(key)] = with_valid_utf8(value);
    return out;
  }
  return j;
}

// An internal error, exception or exhausted memory ends the run with status
// 3: the report says so (no figures of a fit in an unknown state).
void write_failed_report(const std::string& why) {
  if (g_report_path.empty()) return;
  nlohmann::ordered_json j;
  j["error"] = why;
  j["status"] = 3;
  if (!write_report_text(with_valid_utf8(j).dump(2) + "\n"))
    std::fprintf(stderr, "velmo-fit: cannot write the report '%s'\n", g_report_path.c_str());
}

// A run refused for its input (exit 2) once the report path passed its
// checks: the report gives the status and the message printed.
std::string g_refusal;
int refuse(const std::string& why) {
  std::fprintf(stderr, "velmo-fit: %s\n", why.c_str());
  g_refusal = why;
  return 2;
}
void write_refusal_report() {
  if (g_report_path.empty()) return;
  nlohmann::ordered_json j;
  j["status"] = 2;
  j["error"] = g_refusal;
  if (!write_report_text(with_valid_utf8(j).dump(2) + "\n"))
    std::fprintf(stderr, "velmo-fit: cannot write the report '%s'\n", g_report_path.c_str());
}

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

bool write_report(const host::testing::LOADED_DESIGN& design, velmo_fit::HOST_SEQUENCE& sequence,
                  const ROUTING_FIGURES& routing, int status) {
  const velmo_fit::STAGE_FIGURES& fig = sequence.figures();
  const velmo_fit::PARTITION_RUN& partitions = sequence.partitions();
  const RESOURCES r = resources();
  const DeviceSpec& spec = host::device::spec();
  nlohmann::ordered_json j;
  j["design"] = {{"name", design.name}, {"file", design.file},
                 {"removed", {{"luts", design.removed.luts}, {"registers", design.removed.registers}}}};
  j["device"] = {{"family", spec.family}, {"nx", spec.nx}, {"ny", spec.ny}, {"routing_tracks", spec.routing_tracks}};
  j["atoms"] = r.atoms;
  j["nets"] = r.nets;
  j["resources"] = {{"luts", r.counts.luts},   {"registers", r.counts.registers}, {"pads", r.counts.pins},
                    {"labs", r.labs},          {"labs_used", r.labs_used}};
  if (sequence.ran("place")) j["placement"] = velmo_fit::placement_report();
  j["stages"] = nlohmann::ordered_json::array();
  for (const auto& s : sequence.results())
    j["stages"].push_back({{"name", s.name}, {"ok", s.ok}, {"seconds", s.seconds}, {"peak_rss_kb", s.peak_rss_kb}});
  j["routing"] = nlohmann::ordered_json::object();
  if (routing.ran)
    j["routing"] = {{"connections", routing.connections}, {"unrouted", routing.unrouted}, {"overused", routing.overused},
                    {"dangling_leaves", routing.dangling_leaves},
                    {"rounds", fig.route_stage_rounds > 0 ? fig.route_stage_rounds : host::router::last_stats().rounds}};
  if (routing.ran)
    j["hold_fixing"] = {{"rerouted", routing.rerouted_for_hold}, {"dangling_wires", routing.dangling_wires}};
  // One object per analysed corner; a slack without endpoints is null.
  auto slack = [](std::int32_t v) { return v == KEM_NO_SLACK ? nlohmann::ordered_json() : nlohmann::ordered_json(v); };
  j["timing"] = nlohmann::ordered_json::array();
  for (const auto& c : g_reported_timing ? *g_reported_timing : host::timing::summary())
    j["timing"].push_back({{"corner", c.corner},
                           {"setup_wns_ps", slack(c.setup_wns)},
                           {"setup_tns_ps", c.setup_tns},
                           {"hold_wns_ps", slack(c.hold_wns)},
                           {"hold_tns_ps", c.hold_tns},
                           {"setup_failing", c.setup_failing_endpoints},
                           {"hold_failing", c.hold_failing_endpoints}});
  j["periphery_transfers"] = nlohmann::ordered_json();
  if (fig.periphery_transfers)
    j["periphery_transfers"] = {{"found", fig.periphery_transfers->found},
                                {"committed", fig.periphery_transfers->committed},
                                {"routed", fig.periphery_transfers->routed},
                                {"uib_esram", fig.periphery_transfers->uib_esram},
                                {"dedicated", fig.periphery_transfers->dedicated}};
  // The chains whose setting after the fit differs from before the stages
  // (a chain without a setting then was at 0), per pin and chain type: a
  // plain fit, which leaves every chain at 0, lists none.
  j["delay_chains"] = nlohmann::ordered_json::array();
  for (const auto& [key, value] : host::dc::pin_settings()) {
    const unsigned before = velmo_fit::chain_setting(fig.chain_settings_before, key);
    if (before == value) continue;
    j["delay_chains"].push_back({{"pin", key.first}, {"type", key.second}, {"setting", value}, {"before", before}});
  }
  if (fig.retiming) j["retiming"] = velmo_fit::retiming_report(*fig.retiming);
  if (partitions.active()) j["partitions"] = partitions.report();
  if (fig.final_changed_luts >= 0) j["final_changed_luts"] = fig.final_changed_luts;
  if (fig.final_setup_newly_failing) {
    j["final_setup_newly_failing"] = nlohmann::ordered_json::object();
    for (const auto& [corner, n] : *fig.final_setup_newly_failing) j["final_setup_newly_failing"][corner] = n;
  }
  if (fig.final_resynthesised_luts >= 0) j["final_resynthesised_luts"] = fig.final_resynthesised_luts;
  if (fig.route_changed_delay_chains >= 0) j["route_changed_delay_chains"] = fig.route_changed_delay_chains;
  j["peak_rss_kb"] = velmo_fit::peak_rss_kb();
  j["status"] = status;
  return write_report_text(with_valid_utf8(j).dump(2) + "\n");
}

// Whether two paths name the same file (or would, once made).
bool same_file(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // Made absolute first: a relative path none of which exists stays relative.
  if (fs::weakly_canonical(fs::absolute(a, ec), ec) == fs::weakly_canonical(fs::absolute(b, ec), ec)) return true;
  return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

// "" or why the report path names what the equivalence checking writes:
// eda.output_dir, a snapshot's directory in it or a netlist there.
std::string report_names_a_netlist(const std::string& report, const std::string& design_name) {
  if (report.empty() || g_report_target.kind == REPORT_TARGET::DESCRIPTOR || !velmo_fit::VERIFICATION::requested())
    return "";
  YOVA_UTIL yova(OMZ_NAMESPACE::get_default());
  const std::unique_ptr<YOVA_TOOL> tool(yova.get_tool(2));
  const std::string dir = tool->output_dir();
  if (dir.empty()) return "";
  if (same_file(g_report_target.path, dir))
    return "--report " + report + " is eda.output_dir, the directory the equivalence-check netlists go to";
  std::vector<std::string> snapshots = {"synthesized"};
  for (const auto& [stage, snapshot] : velmo_fit::stage_snapshot()) snapshots.push_back(snapshot);
  const std::string extension = TAWN_NETLIST_WRITER::extension(tool->get_eda_netlist_type());
  for (const std::string& snapshot : snapshots) {
    const std::string netlist = dir + "/" + snapshot + "/" + design_name + extension;
    if (same_file(g_report_target.path, dir + "/" + snapshot) || same_file(g_report_target.path, netlist))
      return "--report " + report + " would overwrite the netlist " + netlist;
  }
  return "";
}

// An input the run reads by its path from a FIFO: it cannot be read again.
std::string fifo_input(const velmo_fit::OPTIONS& o) {
  std::vector<std::string> inputs = {o.design, o.settings_file};
  inputs.insert(inputs.end(), o.cfg_files.begin(), o.cfg_files.end());
  for (const std::string& input : inputs) {
    struct stat st {};
    if (!input.empty() && descriptor_path(input) < 0 && stat(input.c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
      return input;
  }
  return "";
}

int run(const velmo_fit::OPTIONS& o, const std::string& command_line) {
  host_reset();
  // After the reset, which forgets it: every parallel region asks for at
  // most the run's threads.
  OXU_PROCESSOR_MANAGER::set_thread_count(o.threads);
  g_reported_resources.reset();
  g_reported_timing.reset();
  // Comparing each incremental timing update with a full analysis is a test
  // aid; it would cost a full analysis per update here.
  host::sta::verify_incremental(false);
  host::messages::set_listener(&print_message);
  host::router::set_round_listener(&velmo_fit::print_round, velmo_fit::kRoundProgressSeconds);
  host::progress::set_listener(&velmo_fit::print_final_progress, velmo_fit::kRoundProgressSeconds);
  host::cfg::set_bad_value_listener(&velmo_fit::warn_bad_cfg_value);
  for (unsigned id : o.suppressed) host::messages::suppress(id);
  if (o.debug_level > 0) {
    host::debug::set_level("VELMO", o.debug_level);
    host::debug::set_level("YUN", o.debug_level);  // what the retiming engine did
    host::debug::set_echo(true);
  }

  velmo_fit::PREPARED prepared;
  if (std::string why; const int bad = velmo_fit::prepare_host(o, &prepared, &why)) {
    if (bad == 2) return refuse(why);
    std::fprintf(stderr, "velmo-fit: %s\n", why.c_str());
    return bad;
  }
  const host::testing::DESIGN_SETTINGS& settings = prepared.settings;
  const host::testing::LOADED_DESIGN& design = prepared.design;
  for (const std::string& warning : design.warnings)
    std::fprintf(stderr, "velmo-fit: warning: %s\n", host::testing::printable(warning).c_str());
  // Partitioned designs: the earlier compile, on this device.
  velmo_fit::HOST_SEQUENCE sequence(settings.partitions);
  velmo_fit::PARTITION_RUN& partitions = sequence.partitions();
  if (const std::string why = partitions.stage_list_refusal(o.stages); !why.empty()) return refuse(why);
  if (std::string why; !partitions.prepare(&why)) return refuse(why);
  if (const std::string why = report_names_a_netlist(o.report_file, design.name); !why.empty()) {
    // An error of the report path itself: nothing is written there.
    g_report_path.clear();
    g_report_path_c[0] = '\0';
    return refuse(why);
  }
  // An earlier run's report goes now: a run that ends before it can write
  // its own leaves none, never a stale one.
  if (!o.report_file.empty() && g_report_target.kind == REPORT_TARGET::FILE) {
    std::error_code ec;
    std::filesystem::remove(g_report_target.path, ec);
  }
  if (std::string why; velmo_fit::VERIFICATION::requested() &&
                       !velmo_fit::VERIFICATION::check_before_fit(design.name, o.stages, &why))
    return refuse(why);
  g_design_large = design.luts + design.helper_luts + design.registers > kLargeDesignAtoms;
  const DeviceSpec& spec = host::device::spec();
  std::printf("Design %s (%s): %s, %s, %d input and %s; device family %d, %d x %d tiles\n", design.name.c_str(),
              design.file.c_str(), velmo_fit::counted(design.luts + design.helper_luts, "LUT").c_str(),
              velmo_fit::counted(design.registers, "register").c_str(), design.inputs,
              velmo_fit::counted(design.outputs, "output pin").c_str(), spec.family, spec.nx, spec.ny);
  std::printf("%s\n", host::testing::sweep_summary(design.removed).c_str());
  std::fflush(stdout);

  ROUTING_FIGURES routing;
  auto finish = [&](int status) {
    const RESOURCES r = resources();
    std::printf("Resources: %s, %s, %s, %d of %s used\n", velmo_fit::counted(r.counts.luts, "LUT").c_str(),
                velmo_fit::counted(r.counts.registers, "register").c_str(),
                velmo_fit::counted(r.counts.pins, "pad").c_str(), r.labs_used,
                velmo_fit::counted(r.labs, "LAB").c_str());
    std::printf("Peak memory: %ld kB\n", velmo_fit::peak_rss_kb());
    // A run tried again on a larger device leaves the report to that run,
    // but for a file (replaced again there) or when it cannot be run again:
    // a descriptor or device would get two.
    const bool retry_writes_it = g_retry_columns > 0 && g_report_target.kind != REPORT_TARGET::FILE;
    // Output that could not be written fails the run (main says so): the
    // report gives the status the run ends with.
    if (status == 0 && !velmo_fit::stdout_written()) status = 1;
    if (!o.report_file.empty() && !retry_writes_it && !write_report(design, sequence, routing, status)) {
      std::fprintf(stderr, "velmo-fit: cannot write the report '%s'\n", o.report_file.c_str());
      if (status == 0) status = 1;
    }
    // A run tried again on a larger device gives its verdict once, there.
    if (g_retry_columns == 0) std::printf("velmo-fit: %s\n", status == 0 ? "done" : "failed");
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

  const std::vector<std::string>& stage_list = o.stages;
  std::vector<std::string> missing;
  sequence.bind(lib, stage_list, false, &missing);
  if (!missing.empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "velmo-fit: libvelmo.so does not provide these entry points yet:\n");
    for (const auto& m : missing) std::fprintf(stderr, "  %s\n", m.c_str());
    return finish(1);
  }

  // Equivalence checking: the synthesized netlist before the first stage,
  // then each stage's netlist and check script after it. A netlist that
  // cannot be written ends the run.
  velmo_fit::VERIFICATION verification;
  int status = 0;
  if (verification.bind(lib, design.name, &partitions)) {
    if (!verification.write("synthesized")) status = 1;
    sequence.after_stage = [&](const std::string& s, bool ok) {
      if (!verification.after_stage(s, ok)) status = 1;
    };
  }
  try {
    if (!sequence.start_up(cmp)) status = 1;
    // The device-independent checks and changes, then the user constraints,
    // before the first stage.
    if (status == 0 && !stage_list.empty() && !sequence.prepare()) status = 1;
    for (const auto& s : stage_list) {
      if (status != 0) break;
      if (!sequence.run_stage(s, !o.stages_given)) status = 1;
    }
    if (status == 0) verification.finish();
    // The post-fit checks of the fitted design, after the stage that routed
    // last.
    if (status == 0 && !sequence.post_fit_checks()) status = 1;
    // The host's own checks of what the stages that ran left (the routing's
    // figures also after a failed route), and the timing.
    if (status == 0 && sequence.ran("place")) {
      std::string why;
      const bool legal = host::placement::check_legal(&why);
      std::printf("Placement: %s\n", legal ? "legal" : "ILLEGAL");
      print_findings("placement", velmo_fit::split_lines(why));
      if (!legal) status = 1;
    }
    if (sequence.routing_ran()) {
      routing = check_routing(sequence.figures().final_dangling_wires);
      std::printf("Routing: %s, %d unrouted, %d overused%s\n",
                  velmo_fit::counted(routing.connections, "connection").c_str(), routing.unrouted, routing.overused,
                  routing.findings.empty() ? "" : " (ILLEGAL)");
      print_findings("routing", routing.findings);
      std::printf("Hold fixing: %s re-routed for hold, %s added\n",
                  velmo_fit::counted(routing.rerouted_for_hold, "connection").c_str(),
                  velmo_fit::counted(routing.dangling_wires, "dangling wire").c_str());
      if (!routing.findings.empty()) status = 1;
    }
    // The resource and timing report sees every partition's full contents.
    // The analysis runs inside the guard: before it, the timing netlist is
    // that of the shells while partitions are blackboxed.
    partitions.report_guard_begin();
    sta_full_update_timing(true);
    velmo_fit::load_all_corners();
    g_reported_timing = host::timing::summary();
    g_reported_resources = resources();
    for (const auto& c : *g_reported_timing) {
      auto v = [](std::int32_t x) { return x == KEM_NO_SLACK ? std::string("none") : std::to_string(x) + " ps"; };
      std::printf("Timing %s: setup WNS %s, TNS %lld ps, %d failing; hold WNS %s, TNS %lld ps, %d failing\n",
                  c.corner.c_str(), v(c.setup_wns).c_str(), static_cast<long long>(c.setup_tns),
                  c.setup_failing_endpoints, v(c.hold_wns).c_str(), static_cast<long long>(c.hold_tns),
                  c.hold_failing_endpoints);
    }
    print_hold_failures(*g_reported_timing);
    velmo_fit::print_held_hold_failures(!settings.clocks.empty());
    partitions.report_guard_end();
    if (partitions.active() && status == 0 && sequence.ran("place") && !partitions.print_preserved_check()) status = 1;
    sequence.shut_down();
    // A routing that failed on the device sized to the design is tried once
    // more on the next larger one (never when the device was asked for).
    const int retries = routing_retries_done();
    // Periphery blocks at sites of this device pin it too: their sites mean
    // nothing on another one.
    const bool device_chosen =
        (o.device_columns && retries == 0) || settings.device_columns || !settings.periphery.empty();
    if (status != 0 && !device_chosen && retries < kRoutingRetries &&
        (sequence.routing_failed() || routing.unrouted + routing.overused > 0) && spec.nx < 120)
      g_retry_columns = std::min(120, spec.nx + std::max(1, spec.nx / 10));
    g_retry_device = std::to_string(spec.nx) + " x " + std::to_string(spec.ny);
    // The run on a larger device reads its inputs again: one read from a
    // FIFO by its path is gone (one piped into /dev/stdin or <(...) is kept).
    if (const std::string fifo = fifo_input(o); g_retry_columns > 0 && !fifo.empty()) {
      std::fflush(stdout);
      std::fprintf(stderr, "velmo-fit: routing failed on the %s device; a larger one is not tried: %s is a FIFO, "
                   "which a second run cannot read again\n", g_retry_device.c_str(), fifo.c_str());
      g_retry_columns = 0;
    }
  } catch (const HOST_INTERNAL_ERROR& e) {
    std::fflush(stdout);
    const std::string why = e.condition + " (" + e.file + ":" + std::to_string(e.line) + ")";
    std::fprintf(stderr, "Internal Error: %s\n", why.c_str());
    write_failed_report("Internal Error: " + why);
    std::fflush(stdout);
    // The component is in an unknown state: leave without unloading it.
    _exit(3);
  } catch (const std::exception& e) {
    if (const std::string reason = thread_start_failure(e); !reason.empty()) cannot_start_thread(reason);
    std::fflush(stdout);
    std::fprintf(stderr, "Internal Error: exception: %s\n", e.what());
    write_failed_report(std::string("Internal Error: exception: ") + e.what());
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
  if (!o.design.empty() && fs::is_regular_file(o.design, ec))
    g_design_large = static_cast<long long>(fs::file_size(o.design, ec)) > kLargeDesignBytes;
  if (const std::string why = velmo_fit::input_refusal(o); !why.empty()) {
    std::fprintf(stderr, "velmo-fit: %s\n", why.c_str());
    return false;
  }
  if (o.report_file.empty()) return true;
  if (fs::is_directory(o.report_file, ec)) {
    std::fprintf(stderr, "velmo-fit: --report %s: is a directory\n", o.report_file.c_str());
    return false;
  }
  if (std::string why; !resolve_report_path(o.report_file, &g_report_target, &why)) {
    std::fprintf(stderr, "velmo-fit: --report %s: %s\n", o.report_file.c_str(), why.c_str());
    return false;
  }
  // A descriptor is written after what is on it: no input is overwritten.
  std::vector<std::string> inputs = {o.design, o.settings_file};
  inputs.insert(inputs.end(), o.cfg_files.begin(), o.cfg_files.end());
  for (const std::string& input : inputs) {
    if (input.empty() || g_report_target.kind == REPORT_TARGET::DESCRIPTOR) continue;
    if (same_file(input, o.report_file) || same_file(input, g_report_target.path)) {
      std::fprintf(stderr, "velmo-fit: --report %s would overwrite the input file %s\n", o.report_file.c_str(),
                   input.c_str());
      return false;
    }
  }
  if (g_report_target.kind != REPORT_TARGET::FILE) {
    if (g_report_target.kind == REPORT_TARGET::DEVICE &&
        (access(g_report_target.path.c_str(), W_OK) != 0 || !velmo_fit::device_takes_writes(g_report_target.path))) {
      std::fprintf(stderr, "velmo-fit: --report %s: cannot write the file\n", o.report_file.c_str());
      return false;
    }
    return true;
  }
  // The report is written beside the file its path leads to and renamed into
  // place: there a file of some bytes must be writable.
  if (!velmo_fit::probe_writable(temporary_path(g_report_target.path))) {
    std::fprintf(stderr, "velmo-fit: --report %s: cannot write the file\n", o.report_file.c_str());
    return false;
  }
  return true;
}

// An input read from a pipe (`--settings <(...)`, a design piped into
// /dev/stdin) can be read only once, yet a run tried again on a larger
// device reads its inputs again. Each such input's bytes move into an
// in-memory file that takes over the pipe's descriptor: every reading of the
// path, this run's and the retry's (which inherits the descriptor), sees the
// whole input under the same name. False with the reason when a pipe cannot
// be read.
bool keep_piped_inputs(const velmo_fit::OPTIONS& o, std::string* why) {
  std::vector<std::string> inputs = {o.design, o.settings_file};
  inputs.insert(inputs.end(), o.cfg_files.begin(), o.cfg_files.end());
  for (const std::string& input : inputs) {
    const int fd = descriptor_path(input);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) continue;
    const int copy = memfd_create("velmo-fit-input", 0);
    if (copy < 0) continue;  // read once, as without a copy
    char buffer[65536];
    bool ok = true;
    for (std::uint64_t kept = 0;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || (kept += static_cast<std::uint64_t>(n)) > host::input::kLimitBytes) {
        *why = input + ": " + (n < 0 ? "cannot read: " + std::string(std::strerror(errno)) : host::input::too_large_text());
        ok = false;
        break;
      }
      for (ssize_t done = 0; ok && done < n;) {
        const ssize_t w = write(copy, buffer + done, static_cast<std::size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) {
          *why = input + ": cannot keep the input: " + std::strerror(errno);
          ok = false;
        }
        done += w > 0 ? w : 0;
      }
      if (!ok) break;
    }
    if (ok && dup2(copy, fd) < 0) {
      *why = input + ": cannot keep the input: " + std::strerror(errno);
      ok = false;
    }
    close(copy);
    if (!ok) return false;
  }
  return true;
}


}  // namespace

// Running out of memory anywhere (any thread, host or component) ends the
// run with one line and status 3, and removes the report path (nothing more
// can be written safely). The design is named the cause only when it is
// large.
[[noreturn]] void out_of_memory() {
  std::fflush(stdout);
  static const char large[] = "velmo-fit: out of memory: the design is too large for this machine\n";
  static const char other[] = "velmo-fit: out of memory\n";
  if (g_design_large) {
    if (write(STDERR_FILENO, large, sizeof large - 1) < 0) {}
  } else if (write(STDERR_FILENO, other, sizeof other - 1) < 0) {
  }
  if (g_report_path_c[0] != '\0') unlink(g_report_path_c);
  _exit(3);
}

// A thread that cannot be started ends the run with status 3 and one line:
// the out-of-memory line when the memory or the address space ran out (no
// room left for the stack of another thread), otherwise the reason, which
// the report then holds as its error. Any
// thread may get here, several at once: one prints, the others wait for the
// end.
[[noreturn]] void cannot_start_thread(const std::string& reason) {
  static std::atomic_flag first = ATOMIC_FLAG_INIT;
  if (first.test_and_set()) {
    for (;;) pause();
  }
  constexpr std::size_t kStackBytes = 8u << 20;
  void* room = mmap(nullptr, kStackBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room == MAP_FAILED || reason == std::strerror(ENOMEM)) out_of_memory();
  munmap(room, kStackBytes);
  std::fflush(stdout);
  const std::string line = "velmo-fit: cannot start a thread: " + reason + "\n";
  if (write(STDERR_FILENO, line.data(), line.size()) < 0) {
  }
  write_failed_report("cannot start a thread: " + reason);
  _exit(3);
}

// An exception that leaves a thread of the threading library's (a worker
// that could not start the next one) ends the process here: a thread that
// could not be started ends the run as above, anything else as it would
// have without this handler.
std::terminate_handler g_previous_terminate = nullptr;
[[noreturn]] void on_terminate() {
  if (std::exception_ptr active = std::current_exception()) {
    try {
      std::rethrow_exception(active);
    } catch (const std::exception& e) {
      if (const std::string reason = thread_start_failure(e); !reason.empty()) cannot_start_thread(reason);
    } catch (...) {
    }
  }
  if (g_previous_terminate != nullptr) g_previous_terminate();
  std::abort();
}

// Whether the output written so far reached standard output; false (after
// one line on stderr) when it was closed or a write failed.
bool output_written() {
  if (velmo_fit::stdout_written()) return true;
  std::fprintf(stderr, "velmo-fit: cannot write the standard output%s\n", g_stdout_closed ? " (it is closed)" : "");
  return false;
}

int run_checked(int argc, char** argv);

int main(int argc, char** argv) {
  const int status = run_checked(argc, argv);
  // A failed write of the output fails a run that would otherwise succeed.
  if (!output_written() && status == 0) return 1;
  return status;
}

int run_checked(int argc, char** argv) {
  std::set_new_handler(&out_of_memory);
  // A write beyond the file-size limit fails (EFBIG) and is reported as the
  // failed write it is.
  std::signal(SIGXFSZ, SIG_IGN);
  g_previous_terminate = std::set_terminate(&on_terminate);
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
  g_report_path = o.report_file;
  // Only a regular file is removed when memory runs out.
  if (g_report_target.kind == REPORT_TARGET::FILE && g_report_target.path.size() < sizeof g_report_path_c)
    std::copy(g_report_target.path.begin(), g_report_target.path.end(), g_report_path_c);
  if (std::string why; !keep_piped_inputs(o, &why)) {
    refuse(why);
    write_refusal_report();
    return 2;
  }
  std::string command_line;
  for (int i = 0; i < argc; ++i) command_line += (i ? " " : "") + std::string(argv[i]);
  // One parallelism for every parallel region of the component and the host.
  tbb::global_control parallelism(tbb::global_control::max_allowed_parallelism, static_cast<std::size_t>(o.threads));
  try {
    const int status = run(o, command_line);
    if (status == 3) write_failed_report("internal error while preparing the fit");
    if (status == 2) write_refusal_report();
    if (status == 1 && g_retry_columns > 0) {
      std::printf("velmo-fit: routing failed on the %s device; trying a larger one (--device %d)\n",
                  g_retry_device.c_str(), g_retry_columns);
      std::fflush(stdout);
      std::vector<std::string> words(argv, argv + argc);
      words.push_back("--device");
      words.push_back(std::to_string(g_retry_columns));
      setenv(kRetryVariable, std::to_string(routing_retries_done() + 1).c_str(), 1);
      std::vector<char*> args;
      for (std::string& w : words) args.push_back(w.data());
      args.push_back(nullptr);
      execv("/proc/self/exe", args.data());
      std::fprintf(stderr, "velmo-fit: cannot run again on the larger device\n");
      std::printf("velmo-fit: failed\n");
    }
    velmo_fit::warn_unread_cfg();
    return status;
  } catch (const std::bad_alloc&) {  // thrown explicitly, not by operator new
    out_of_memory();
  } catch (const std::exception& e) {
    if (const std::string reason = thread_start_failure(e); !reason.empty()) cannot_start_thread(reason);
    std::fprintf(stderr, "velmo-fit: internal error: %s\n", e.what());
    write_failed_report(std::string("internal error: ") + e.what());
    velmo_fit::warn_unread_cfg();
    return 3;
  } catch (const HOST_INTERNAL_ERROR& e) {
    std::fprintf(stderr, "velmo-fit: internal error: %s (%s:%d)\n", e.condition.c_str(), e.file.c_str(), e.line);
    write_failed_report("internal error: " + e.condition);
    velmo_fit::warn_unread_cfg();
    return 3;
  }
}
