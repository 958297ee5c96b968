#include "velmo_fit_verification.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string_view>

#include "cfg/cfg.h"
#include "gen/gen_project.h"
#include "jov/jov_enum.h"
#include "omz/omz_option.h"
#include "tawn/tawn_netlist_writer.h"
#include "velmo_fit_partitions.h"
#include "velmo_fit_session.h"
#include "vok/vok_atom_netlist.h"
#include "yova/yova_util.h"

namespace velmo_fit {

namespace {
using WRITE_SCRIPT = void (*)(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE>);
constexpr const char* kWriteScript = "velmo_write_formal_verification_flow(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE>)";
// The EDA tool whose netlists the check scripts read.
constexpr int kEdaCategory = 2;

std::unique_ptr<YOVA_TOOL> eda_tool() {
  YOVA_UTIL yova(OMZ_NAMESPACE::get_default());
  return std::unique_ptr<YOVA_TOOL>(yova.get_tool(kEdaCategory));
}

// Each snapshot's check script is asked for by this prefix and its name.
constexpr const char* kSwitchPrefix = "fitter_write_eqcheck_for_";

// Whether the component writes a check script for the snapshot at all.
bool script_path_any(const std::string& snapshot) {
  return snapshot == "planned" || snapshot == "placed" || snapshot == "routed" || snapshot == "retimed";
}

// The last line of every check script the component writes.
constexpr const char* kScriptLastLine = "::kestro::torvika::get_failing_compare_points";

// The check script the component writes after a snapshot, relative to the
// project directory: verification/<snapshot>/eqcheck.tcl (the retimed
// snapshot's goes into routed/), when its configuration variable asks for
// it. "" when it writes none: another snapshot, not asked for, or no
// project directory.
std::string script_path(const std::string& snapshot) {
  static const std::map<std::string, std::string> dirs = {
      {"planned", "planned"}, {"placed", "placed"}, {"routed", "routed"}, {"retimed", "routed"}};
  const auto it = dirs.find(snapshot);
  if (it == dirs.end() || gen_get_project_dir_path().empty() ||
      !cfg_is_on(("fitter_write_eqcheck_for_" + snapshot).c_str(), false))
    return std::string();
  return "verification/" + it->second + "/eqcheck.tcl";
}

// Whether the script is there and whole: a regular file whose last line is
// the script's last line, ended by its newline. The writer renames only a
// whole script into place, so a failed write leaves none; the last line is
// checked all the same, since nothing else stops a shorter file from
// standing there.
bool script_whole(const std::filesystem::path& path) {
  std::error_code ec;
  std::ifstream in(path, std::ios::binary);
  if (!in || !std::filesystem::is_regular_file(path, ec)) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string tail = std::string("\n") + kScriptLastLine + "\n";
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether this process may create and remove entries in the directory.
bool writable_directory(const std::filesystem::path& dir) { return access(dir.c_str(), W_OK | X_OK) == 0; }
}  // namespace

bool VERIFICATION::requested() {
  const OMZ_OPTION* o = OMZ_DERIVED_OPTION::get_single_option(OMZ_NAMESPACE::get_default(), 627, true);
  return o != nullptr && o->get_bool_value();
}

bool VERIFICATION::check_output_dir(std::string* why) {
  namespace fs = std::filesystem;
  const std::string dir = eda_tool()->output_dir();
  if (dir.empty()) {
    *why = "eda.output_dir is empty: the equivalence-check netlists need a directory";
    return false;
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec)) {
    *why = "eda.output_dir " + dir + ": cannot create the directory";
    return false;
  }
  const fs::path probe = fs::path(dir) / ".velmo-fit-probe";
  const bool writable = static_cast<bool>(std::ofstream(probe));
  fs::remove(probe, ec);
  if (!writable) {
    *why = "eda.output_dir " + dir + ": cannot write into the directory";
    return false;
  }
  return true;
}

bool VERIFICATION::check_script_dirs(const std::vector<std::string>& stages, std::string* why) {
  namespace fs = std::filesystem;
  const fs::path project = gen_get_project_dir_path();
  for (const std::string& stage : stages) {
    const auto snapshot = stage_snapshot().find(stage);
    if (snapshot == stage_snapshot().end()) continue;
    const std::string script = script_path(snapshot->second);
    if (script.empty()) continue;
    // verification/, then verification/<snapshot>/: each a directory or
    // nothing yet.
    const fs::path dir = fs::path(script).parent_path();
    std::error_code ec;
    for (const fs::path& p : {dir.parent_path(), dir}) {
      if (fs::exists(project / p, ec) && !fs::is_directory(project / p, ec)) {
        *why = p.string() + " is not a directory: the check script " + script + " of " + stage + " goes into it";
        return false;
      }
    }
    // The component empties the script's directory and creates what is
    // missing: the directory when it exists, and its parent; else the
    // nearest one that exists.
    fs::path at = dir;
    bool ok = true;
    if (fs::exists(project / at, ec)) {
      ok = writable_directory(project / at) && writable_directory(project / at.parent_path());
    } else {
      while (!at.empty() && !fs::exists(project / at, ec)) at = at.parent_path();
      ok = writable_directory(project / at);
    }
    if (!ok) {
      *why = "cannot write the check script " + script + " of " + stage + ": " +
             (at.empty() ? std::string("the working directory") : at.string()) + " is not writable";
      return false;
    }
  }
  return true;
}

std::string VERIFICATION::script_for(const std::string& snapshot) { return script_path(snapshot); }

bool VERIFICATION::switch_on(const std::string& name) {
  const auto values = host::cfg::snapshot();
  const auto it = values.find(name);
  bool on = false;
  return it != values.end() && host::cfg::parse_bool(it->second, &on) && on;
}

void VERIFICATION::warn_switches_without_effect(const std::string& name) {
  for (const char* snapshot : {"synthesized", "final"}) {
    const std::string item = std::string(kSwitchPrefix) + snapshot;
    if ((!name.empty() && name != item) || !switch_on(item)) continue;
    // This is the warning of the name: the end of the run gives no second
    // one for a name nothing read.
    host::cfg::mark_read(item);
    std::fflush(stdout);
    std::fprintf(stderr,
                 "velmo-fit: warning: configuration variable '%s' has no effect: check scripts are written for "
                 "planned, placed, routed and retimed only\n",
                 item.c_str());
  }
}

std::string VERIFICATION::stage_of_switch(const std::string& name) {
  if (!std::string_view(name).starts_with(kSwitchPrefix)) return std::string();
  const std::string snapshot = name.substr(std::string_view(kSwitchPrefix).size());
  for (const auto& [stage, snap] : stage_snapshot())
    if (snap == snapshot && script_path_any(snapshot)) return stage;
  return std::string();
}

bool VERIFICATION::check_before_fit(const std::string& design_name, const std::vector<std::string>& stages,
                                    std::string* why) {
  return check_read_line_text(why) && check_netlist_names(design_name, why) &&
         check_verification_links(stages, why) && check_output_dir(why) && check_script_dirs(stages, why) &&
         check_foreign_netlists(design_name, stages, why);
}

bool VERIFICATION::bind(void* lib, const std::string& design_name, PARTITION_RUN* partitions) {
  m_design = design_name;
  m_partitions = partitions;
  m_write_script = requested() ? find_entry(lib, kWriteScript) : nullptr;
  return active();
}

std::string VERIFICATION::netlist_path(const std::string& snapshot) const {
  return eda_tool()->output_dir() + "/" + snapshot + "/" + m_design +
         TAWN_NETLIST_WRITER::extension(eda_tool()->get_eda_netlist_type());
}

bool VERIFICATION::write(const std::string& snapshot) {
  if (!active()) return true;
  if (snapshot == "synthesized") {
    const std::string mark = eda_tool()->output_dir() + "/" + kMarkName;
    std::error_code ec;
    std::filesystem::create_directories(eda_tool()->output_dir(), ec);
    std::ofstream file(mark, std::ios::trunc);
    file << "velmo-fit is writing the netlists here, or stopped before it wrote them all: a snapshot's netlist may "
            "be an earlier run's\n";
    file.close();
    if (file.fail()) {
      std::fflush(stdout);
      std::fprintf(stderr, "velmo-fit: cannot write %s\n", mark.c_str());
      m_incomplete = true;
      return false;
    }
  }
  const bool written = write_snapshot(snapshot);
  if (!written) m_incomplete = true;
  return written;
}

void VERIFICATION::finish() {
  if (!active() || m_incomplete) return;
  std::error_code ec;
  std::filesystem::remove(eda_tool()->output_dir() + "/" + kMarkName, ec);
}

bool VERIFICATION::write_snapshot(const std::string& snapshot) {
  // The directories the script's writer empties are checked again as they
  // are now: one may have become a link during the fit.
  std::vector<std::string> stage;
  for (const auto& [name, snap] : stage_snapshot())
    if (snap == snapshot) stage.push_back(name);
  if (std::string why; !script_path(snapshot).empty() && !check_verification_links(stage, &why)) {
    std::fflush(stdout);
    std::fprintf(stderr, "velmo-fit: %s; neither the %s netlist nor its check script is written\n", why.c_str(),
                 snapshot.c_str());
    return false;
  }
  const std::unique_ptr<YOVA_TOOL> tool = eda_tool();
  const std::string dir = tool->output_dir() + "/" + snapshot;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  // While blackboxed partitions are on their shells, the top netlist holds
  // only what the shells keep: the netlist is the whole design's, as the
  // report guard shows it (its routing and timing are not read here, and
  // stay as the stage left them).
  const bool guarded = m_partitions != nullptr && m_partitions->shells_active();
  if (guarded) m_partitions->netlist_guard_begin();
  const bool written = TAWN_NETLIST_WRITER::write(host::vok::top_netlist(), dir.c_str(), m_design.c_str(),
                                                  tool->get_eda_netlist_type());
  if (guarded) m_partitions->report_guard_end();
  if (!written) {
    std::fflush(stdout);
    std::fprintf(stderr, "velmo-fit: cannot write the netlist %s\n", netlist_path(snapshot).c_str());
    return false;
  }
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> value;
  value.set_from_str(snapshot.c_str(), true);
  reinterpret_cast<WRITE_SCRIPT>(m_write_script)(value);
  // The component reports no script it could not open or write: the host
  // asked for it, and checks that it is there and whole.
  if (const std::string script = script_path(snapshot);
      !script.empty() && !script_whole(std::filesystem::path(gen_get_project_dir_path()) / script)) {
    std::fflush(stdout);
    std::fprintf(stderr, "velmo-fit: cannot write the check script %s\n", script.c_str());
    return false;
  }
  return true;
}

bool VERIFICATION::after_stage(const std::string& stage, bool ok) {
  if (!ok) m_incomplete = true;
  if (!ok || !active()) return true;
  const std::string snapshot = stage_snapshot().at(stage);
  // The retimed snapshot's script is the routed one: say so where it is
  // asked for, since nothing checks what the retimer changed.
  if (snapshot == "retimed" && !script_path(snapshot).empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "velmo-fit: note: the retimed check script is the routed one (placed against routed): no "
                         "script checks the retimer's changes\n");
  }
  return write(snapshot);
}

}  // namespace velmo_fit
