// What velmo-fit and its Tcl package check before a fit with equivalence
// checking on, so that each check script reads exactly the netlists it
// names: the text of the output directory, which the scripts' read lines
// carry as a bare Tcl word; where it lies beside verification/, whose stage
// directories the component empties; and the other netlists the read lines'
// patterns would take up.
#include <fnmatch.h>
#include <limits.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "gen/gen_project.h"
#include "omz/omz_option.h"
#include "tawn/tawn_netlist_writer.h"
#include "velmo_fit_session.h"
#include "velmo_fit_verification.h"
#include "wez/wez_path.h"
#include "yova/yova_util.h"

namespace velmo_fit {

namespace {
namespace fs = std::filesystem;

// The EDA tool whose netlists the check scripts read.
std::unique_ptr<YOVA_TOOL> eda_tool() {
  YOVA_UTIL yova(OMZ_NAMESPACE::get_default());
  return std::unique_ptr<YOVA_TOOL>(yova.get_tool(2));
}

// A path as a message shows it: control characters escaped, so that the
// message stays one line.
std::string shown(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7f) {
      out += ch;
      continue;
    }
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
      }
    }
  }
  return out;
}

// Why `text` cannot stand in a read line ("" when it can): the first
// character the checker's Tcl would split the word at, substitute, or take
// as a pattern, a leading ~ (a home directory) or a leading - (the read
// command would take the word for one of its options).
std::string unsafe_text(const std::string& text) {
  if (!text.empty() && (text[0] == '~' || text[0] == '-')) return "starts with '" + text.substr(0, 1) + "'";
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == ' ') return "holds white space";
    if (c < 0x20 || c == 0x7f) return "holds the control character '" + shown(std::string(1, ch)) + "'";
    if (std::string("$[]{};\\\"*?").find(ch) != std::string::npos) return "holds '" + std::string(1, ch) + "'";
  }
  return "";
}

// The output directory as the component writes it into the read lines.
std::string read_line_path(const std::string& dir) {
  WEZ_PATH path(dir);
  path.become_absolute("");
  return gen_get_relative_path_if_starts_with_project_dir(path.fullpath().c_str());
}

// The check scripts asked for after `stages`, in stage order, each with
// the snapshot directories it reads (golden, revised).
std::vector<std::pair<std::string, std::vector<std::string>>> scripts_and_their_snapshots(
    const std::vector<std::string>& stages) {
  static const std::map<std::string, std::vector<std::string>> read = {
      {"planned", {"synthesized", "planned"}}, {"placed", {"planned", "placed"}},
      {"routed", {"placed", "routed"}},        {"retimed", {"placed", "routed"}}};
  std::vector<std::pair<std::string, std::vector<std::string>>> out;
  for (const std::string& stage : stages) {
    const auto snapshot = stage_snapshot().find(stage);
    if (snapshot == stage_snapshot().end() || !read.count(snapshot->second)) continue;
    const std::string script = VERIFICATION::script_for(snapshot->second);
    if (!script.empty()) out.emplace_back(script, read.at(snapshot->second));
  }
  return out;
}

// Whether `inner` is `outer` or lies inside it (both resolved).
bool inside(const fs::path& inner, const fs::path& outer) {
  return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first == outer.end();
}
}  // namespace

bool VERIFICATION::check_read_line_text(std::string* why) {
  const std::string dir = eda_tool()->output_dir();
  if (const std::string bad = unsafe_text(dir); !bad.empty()) {
    *why = "eda.output_dir '" + shown(dir) + "' " + bad + ", which the check scripts' read lines cannot carry";
    return false;
  }
  if (dir.empty()) return true;
  const std::string path = read_line_path(dir);
  if (const std::string bad = unsafe_text(path); !bad.empty()) {
    *why = "eda.output_dir '" + shown(dir) + "' is named '" + shown(path) + "' in the check scripts, which " + bad +
           ", which their read lines cannot carry";
    return false;
  }
  return true;
}

bool VERIFICATION::check_verification_links(const std::vector<std::string>& stages, std::string* why) {
  const auto scripts = scripts_and_their_snapshots(stages);
  if (scripts.empty()) return true;
  const fs::path project = gen_get_project_dir_path();
  const fs::path verification = project / "verification";
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(verification, ec))) {
    const fs::path target = fs::read_symlink(verification, ec);
    std::error_code loop;
    (void)fs::status(verification, loop);
    if (loop == std::errc::too_many_symbolic_link_levels) {
      *why = "verification is a link that loops (to '" + shown(target.string()) +
             "'): the check scripts cannot be written there";
      return false;
    }
    if (!fs::exists(verification, ec)) {
      *why = "verification is a link to '" + shown(target.string()) +
             "', which does not exist: the check scripts cannot be written there";
      return false;
    }
  }
  // The component empties the directory of the earliest script asked for
  // and every later one.
  static const std::vector<std::string> order = {"planned", "placed", "routed", "retimed"};
  std::size_t first = order.size();
  for (const auto& [script, snapshots] : scripts)
    for (std::size_t i = 0; i < order.size(); ++i)
      if (script == "verification/" + order[i] + "/eqcheck.tcl") first = std::min(first, i);
  for (std::size_t i = first; i < order.size(); ++i) {
    const fs::path dir = verification / order[i];
    if (!fs::is_symlink(fs::symlink_status(dir, ec))) continue;
    *why = "verification/" + order[i] + " is a link (to '" + shown(fs::read_symlink(dir, ec).string()) +
           "'): it is emptied before a check script is written, which would delete what it points to";
    return false;
  }
  return check_output_dir_outside_verification(why);
}

bool VERIFICATION::check_output_dir_outside_verification(std::string* why) {
  const std::string out = eda_tool()->output_dir();
  if (out.empty()) return true;
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(out, ec), ec);
  const fs::path holder = fs::weakly_canonical(fs::path(gen_get_project_dir_path()) / "verification", ec);
  if (!resolved.empty() && !holder.empty() && inside(resolved, holder)) {
    *why = "eda.output_dir '" + out + "' (" + resolved.string() + ") lies inside verification/ (" + holder.string() +
           "), whose snapshot directories are emptied before each check script is written: the netlists would be "
           "deleted";
    return false;
  }
  return true;
}

bool VERIFICATION::check_netlist_names(const std::string& design_name, std::string* why) {
  const std::unique_ptr<YOVA_TOOL> tool = eda_tool();
  const std::string dir = tool->output_dir();
  // The synthesized snapshot's name is the longest, so its netlist's path
  // is. The writer writes each netlist as .<name>.<pid>.<serial>.tmp beside
  // it first (a pid of up to 7 digits, a serial of up to 10), then renames
  // it.
  constexpr std::size_t kTemporaryExtra = 24;
  const std::string name =
      "synthesized/" + design_name + TAWN_NETLIST_WRITER::extension(tool->get_eda_netlist_type());
  const std::size_t longest = dir.size() + 1 + name.size() + kTemporaryExtra;
  if (longest < PATH_MAX) return true;
  *why = "eda.output_dir of " + std::to_string(dir.size()) + " bytes is too long: the netlist names in it (" +
         shown(name) + " and the temporary file written beside it) would have up to " + std::to_string(longest) +
         " bytes, more than the " + std::to_string(PATH_MAX - 1) + " a path may have";
  return false;
}

bool VERIFICATION::check_foreign_netlists(const std::string& design_name, const std::vector<std::string>& stages,
                                          std::string* why) {
  const std::unique_ptr<YOVA_TOOL> tool = eda_tool();
  const int type = tool->get_eda_netlist_type();
  if (type != 2 && type != 3 && type != 4) return true;  // the scripts read no netlist
  const std::string extension = TAWN_NETLIST_WRITER::extension(type);
  const std::string pattern = "*" + extension, own = design_name + extension;
  std::set<std::string> checked;
  for (const auto& [script, snapshots] : scripts_and_their_snapshots(stages))
    for (const std::string& snapshot : snapshots) {
      const std::string dir = tool->output_dir() + "/" + snapshot;
      if (!checked.insert(dir).second) continue;
      std::error_code ec;
      for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name == own || fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
        *why = dir + "/" + shown(name) + " is not a netlist of " + design_name + ", but the check script " + script +
               " would read it with this design's (" + dir + "/" + pattern + "): use one eda.output_dir per design";
        return false;
      }
    }
  return true;
}

}  // namespace velmo_fit
