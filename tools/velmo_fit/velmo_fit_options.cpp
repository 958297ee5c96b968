#include "velmo_fit_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace velmo_fit {

const std::vector<std::string>& all_stages() {
  static const std::vector<std::string> stages = {"plan", "place", "route", "retime", "final"};
  return stages;
}

bool final_stage_routes(int family) { return family == 46 || family == 26; }

std::string stage_refusal(const std::vector<std::string>& ran, const std::string& stage, int family) {
  const auto& order = all_stages();
  const auto at = std::find(order.begin(), order.end(), stage);
  if (at == order.end()) return "unknown stage '" + stage + "'";
  if (std::find(ran.begin(), ran.end(), stage) != ran.end()) return stage + " has already run";
  for (const std::string& done : ran)
    if (std::find(order.begin(), order.end(), done) > at) return stage + " cannot run after " + done;
  auto has = [&](const char* s) { return std::find(ran.begin(), ran.end(), s) != ran.end(); };
  if (stage != "plan" && stage != "place" && !has("place")) return stage + " needs place in the same run";
  if (stage == "retime" && !has("route")) return "retime needs route in the same run (it retimes a routed design)";
  if (stage == "final" && family != 0 && !final_stage_routes(family) && !has("route"))
    return "final needs route in the same run on family " + std::to_string(family) +
           " (its final stage routes nothing)";
  return std::string();
}

const std::vector<int>& fit_families() {
  static const std::vector<int> codes = {46, 48, 26, 15};
  return codes;
}

std::string family_list() {
  std::string out;
  for (int code : fit_families()) out += (out.empty() ? "" : ", ") + std::to_string(code);
  return out;
}

const char* usage() {
  static const std::string text =
      "usage: velmo-fit [DESIGN.blif] [OPTION]...\n"
      "Fits a flat BLIF design (LUTs of at most six inputs, D flip-flops) into a device of the stand-in\n"
      "host and prints each stage's result, the routing and hold fixing, the timing per corner and the\n"
      "resources used.\n"
      "  DESIGN.blif         the design; without one, the built-in s298 benchmark\n"
      "                      (from Verilog: tools/velmo-synth TOP OUT.blif FILE... writes one)\n"
      "  --settings FILE     JSON with what BLIF cannot say: family, clocks, io_delays, options,\n"
      "                      assignments, cfg, partitions, ... (every key: docs/settings.md)\n"
      "  --report FILE       also writes the run as JSON (every field: docs/report.md); FILE must be a\n"
      "                      writable file (or none yet), device, FIFO or descriptor (/dev/stdout), and\n"
      "                      no input of the run; a file's earlier report goes once the design is loaded\n"
      "                      and the new one appears whole at the end (links are followed, never replaced)\n"
      "  --stages LIST|none  a comma-separated subset of plan,place,route,retime,final (default: all, with\n"
      "                      retime skipped on a family without a retimer); a list that routes, retimes or\n"
      "                      finalizes must also place, one that retimes must route (one that finalizes\n"
      "                      too on families 48 and 15); none: no stage\n"
      "  --family CODE       device family: " +
      family_list() +
      " (default 46; retime runs on 46 and 26)\n"
      "  --device COLUMNS    fits on the device of the series with COLUMNS columns (12-120) instead of\n"
      "                      the one sized to the design; without it a fit whose routing fails is tried\n"
      "                      again on a larger device (twice at most)\n"
      "  --cfg NAME=VALUE    sets a configuration variable (repeatable)\n"
      "  --cfg-file FILE     reads configuration variables from FILE: one NAME=VALUE per line; blank lines\n"
      "                      and lines starting with # are skipped (repeatable)\n"
      "  --suppress ID       does not print message ID, the number in \"Info (ID): ...\" (repeatable)\n"
      "  --debug[=LEVEL]     prints the component's debug lines up to LEVEL (0-9; --debug alone is 2)\n"
      "  --threads N         parallelism of the component and the host (1-256, default 4)\n"
      "  --help, -h          prints this text\n"
      "The command line's --family, --device and --cfg win over the settings. A net that clocks\n"
      "registers and has no period in the settings' clocks is timed at 5000 ps.\n"
      "exit status: 0 success, 1 a stage, start-up or a check failed, or the output could not be\n"
      "  written, 2 bad command line, design or settings, 3 internal error (also an exception,\n"
      "  exhausted memory or a thread that cannot start)";
  return text.c_str();
}

namespace {
// A decimal integer in [lo, hi]; false for anything else (no wrap-around).
bool parse_int(const std::string& s, long lo, long hi, long* out) {
  if (s.empty() || s.size() > 18) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (!(std::isdigit(static_cast<unsigned char>(s[i])) || (i == 0 && s[i] == '-'))) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}
}  // namespace

bool parse_options(int argc, char** argv, OPTIONS* out, std::string* error) {
  OPTIONS o;
  o.stages = all_stages();
  // 1: `flag VALUE` or `flag=VALUE` matched (value in *v); 0: another
  // argument; -1: the flag came last without its value.
  auto value_of = [&](int& i, const std::string& arg, const std::string& flag, std::string* v) {
    if (arg.size() > flag.size() && arg.compare(0, flag.size() + 1, flag + "=") == 0) {
      *v = arg.substr(flag.size() + 1);
      return 1;
    }
    if (arg != flag) return 0;
    if (i + 1 >= argc) {
      *error = flag + " needs a value";
      return -1;
    }
    *v = argv[++i];
    return 1;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string v;
    int m = 0;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--debug") {
      o.debug_level = 2;
    } else if (arg.rfind("--debug=", 0) == 0) {
      long n;
      if (!parse_int(arg.substr(8), 0, 9, &n)) return *error = "bad debug level '" + arg.substr(8) + "' (0-9)", false;
      o.debug_level = static_cast<int>(n);
    } else if ((m = value_of(i, arg, "--cfg", &v)) != 0) {
      if (m < 0) return false;
      const auto eq = v.find('=');
      if (eq == std::string::npos || v.find_first_not_of(" \t") >= eq)
        return *error = "--cfg expects NAME=VALUE with a name, got '" + v + "'", false;
      o.cfg_items.push_back(v);
    } else if ((m = value_of(i, arg, "--cfg-file", &v)) != 0) {
      if (m < 0) return false;
      o.cfg_files.push_back(v);
    } else if ((m = value_of(i, arg, "--stages", &v)) != 0) {
      if (m < 0) return false;
      o.stages.clear();
      o.stages_given = true;
      if (v == "none") continue;
      std::stringstream ss(v);
      std::string s;
      while (std::getline(ss, s, ',')) {
        if (std::find(all_stages().begin(), all_stages().end(), s) == all_stages().end())
          return *error = "unknown stage '" + s + "'", false;
        if (std::find(o.stages.begin(), o.stages.end(), s) == o.stages.end()) o.stages.push_back(s);
      }
      if (o.stages.empty()) return *error = "--stages needs at least one stage, or none", false;
      // Stages always run in flow order, whatever order they were listed in.
      std::vector<std::string> ordered;
      for (const auto& s2 : all_stages())
        if (std::find(o.stages.begin(), o.stages.end(), s2) != o.stages.end()) ordered.push_back(s2);
      o.stages = ordered;
      std::vector<std::string> ran;
      for (const auto& s2 : o.stages) {
        if (std::string why = stage_refusal(ran, s2); !why.empty()) return *error = "--stages: " + why, false;
        ran.push_back(s2);
      }
    } else if ((m = value_of(i, arg, "--family", &v)) != 0) {
      if (m < 0) return false;
      long n;
      if (!parse_int(v, INT_MIN, INT_MAX, &n) || !is_fit_family(static_cast<int>(n)))
        return *error = "unknown or unsupported family code '" + v + "' (valid: " + family_list() + ")", false;
      o.family = static_cast<int>(n);
    } else if ((m = value_of(i, arg, "--device", &v)) != 0) {
      if (m < 0) return false;
      long n;
      if (!parse_int(v, 12, 120, &n)) return *error = "bad device size '" + v + "' (12-120 columns)", false;
      o.device_columns = static_cast<int>(n);
    } else if ((m = value_of(i, arg, "--suppress", &v)) != 0) {
      if (m < 0) return false;
      long n;
      if (!parse_int(v, 0, UINT_MAX, &n)) return *error = "bad message id '" + v + "'", false;
      o.suppressed.push_back(static_cast<unsigned>(n));
    } else if ((m = value_of(i, arg, "--settings", &v)) != 0) {
      if (m < 0) return false;
      o.settings_file = v;
    } else if ((m = value_of(i, arg, "--report", &v)) != 0) {
      if (m < 0) return false;
      if (v.empty()) return *error = "--report needs a file name", false;
      o.report_file = v;
    } else if ((m = value_of(i, arg, "--threads", &v)) != 0) {
      if (m < 0) return false;
      long n;
      if (!parse_int(v, 1, 256, &n)) return *error = "bad thread count '" + v + "' (1-256)", false;
      o.threads = static_cast<int>(n);
    } else if (!arg.empty() && arg[0] != '-') {
      if (!o.design.empty()) return *error = "more than one design given ('" + o.design + "', '" + arg + "')", false;
      o.design = arg;
    } else {
      *error = "unknown argument '" + arg + "'";
      return false;
    }
  }
  *out = o;
  return true;
}

bool is_fit_family(int code) {
  return std::find(fit_families().begin(), fit_families().end(), code) != fit_families().end();
}

}  // namespace velmo_fit
