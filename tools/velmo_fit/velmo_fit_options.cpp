#include "velmo_fit_options.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace velmo_fit {

const std::vector<std::string>& all_stages() {
  static const std::vector<std::string> stages = {"plan", "place", "route", "retime", "final"};
  return stages;
}

const char* usage() {
  return "usage: velmo-fit [DESIGN.blif] [--settings FILE] [--report FILE] [--stages LIST|none] [--family CODE]\n"
         "                 [--cfg NAME=VALUE]... [--cfg-file FILE]... [--suppress ID]... [--threads N]\n"
         "                 [--debug[=LEVEL]] [--help]\n"
         "  DESIGN.blif defaults to the built-in s298 benchmark; FILE of --settings is JSON\n"
         "  LIST is a comma-separated subset of plan,place,route,retime,final (default: all)";
}

namespace {
bool parse_int(const std::string& s, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0') return false;
  *out = v;
  return true;
}
}  // namespace

bool parse_options(int argc, char** argv, OPTIONS* out, std::string* error) {
  OPTIONS o;
  o.stages = all_stages();
  auto value_of = [&](int& i, const std::string& arg, const std::string& flag, std::string* v) {
    if (arg.size() > flag.size() && arg.compare(0, flag.size() + 1, flag + "=") == 0) {
      *v = arg.substr(flag.size() + 1);
      return true;
    }
    if (arg == flag) {
      if (i + 1 >= argc) {
        *error = flag + " needs a value";
        return false;
      }
      *v = argv[++i];
      return true;
    }
    return false;
  };
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string v;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--debug") {
      o.debug_level = 2;
    } else if (arg.rfind("--debug=", 0) == 0) {
      long n;
      if (!parse_int(arg.substr(8), &n) || n < 0) return *error = "bad debug level '" + arg.substr(8) + "'", false;
      o.debug_level = static_cast<int>(n);
    } else if (value_of(i, arg, "--cfg", &v)) {
      if (v.find('=') == std::string::npos || v.front() == '=')
        return *error = "--cfg expects NAME=VALUE, got '" + v + "'", false;
      o.cfg_items.push_back(v);
    } else if (value_of(i, arg, "--cfg-file", &v)) {
      o.cfg_files.push_back(v);
    } else if (value_of(i, arg, "--stages", &v)) {
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
    } else if (value_of(i, arg, "--family", &v)) {
      long n;
      if (!parse_int(v, &n) || n <= 0) return *error = "bad family code '" + v + "'", false;
      o.family = static_cast<int>(n);
    } else if (value_of(i, arg, "--suppress", &v)) {
      long n;
      if (!parse_int(v, &n) || n < 0) return *error = "bad message id '" + v + "'", false;
      o.suppressed.push_back(static_cast<unsigned>(n));
    } else if (value_of(i, arg, "--settings", &v)) {
      o.settings_file = v;
    } else if (value_of(i, arg, "--report", &v)) {
      o.report_file = v;
    } else if (!arg.empty() && arg[0] != '-') {
      if (!o.design.empty()) return *error = "more than one design given ('" + o.design + "', '" + arg + "')", false;
      o.design = arg;
    } else if (value_of(i, arg, "--threads", &v)) {
      long n;
      if (!parse_int(v, &n) || n < 1) return *error = "bad thread count '" + v + "'", false;
      o.threads = static_cast<int>(n);
    } else {
      *error = "unknown argument '" + arg + "'";
      return false;
    }
  }
  *out = o;
  return true;
}

}  // namespace velmo_fit
