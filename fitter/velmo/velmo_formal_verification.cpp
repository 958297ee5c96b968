#include "velmo_formal_verification.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <memory>
#include <ostream>
#include <string>

#include "cfg/cfg.h"
#include "gen/gen_project.h"
#include "jov/jov_design.h"
#include "msg/msg_internal_error.h"
#include "omz/omz_option.h"
#include "velmo_debug.h"
#include "wez/wez_file_system.h"
#include "wez/wez_path.h"
#include "yova/yova_util.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_formal_verification", line);
}

constexpr int VERIFICATION_OPTION = 627;
constexpr int FAMILY_OPTION = 381;
constexpr int SIMULATION_TOOL_CATEGORY = 2;

enum VERIFICATION_STATE { PLANNED = 0, PLACED = 1, ROUTED = 2, RETIMED = 3, NUM_STATES = 4 };

using SNAPSHOT = JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE>;

struct STATE_INFO {
  const char* directory;
  JOV_SNAPSHOT_BASE::ENUM golden;
  JOV_SNAPSHOT_BASE::ENUM revised;
};
// Read through at(): a state past the table is a fault, never a stray read.
const std::array<STATE_INFO, NUM_STATES> l_states = {{
    {"planned/", JOV_SNAPSHOT_BASE::SYNTHESIZED, JOV_SNAPSHOT_BASE::PLANNED},
    {"placed/", JOV_SNAPSHOT_BASE::PLANNED, JOV_SNAPSHOT_BASE::PLACED},
    {"routed/", JOV_SNAPSHOT_BASE::PLACED, JOV_SNAPSHOT_BASE::ROUTED},
    {"retimed/", JOV_SNAPSHOT_BASE::NONE, JOV_SNAPSHOT_BASE::NONE},
}};

std::string l_state_dir(VERIFICATION_STATE state) {
  return gen_get_project_dir_path() + "/" + "verification/" + l_states.at(state).directory;
}

const OMZ_NAMESPACE* l_namespace(const JOV_PARTITION&) {
  const OMZ_NAMESPACE* ns = JOV_ROOT::get()->get_design("")->get_option_namespace();
  if (ns == nullptr) l_internal_error("m_namespace != nullptr", __LINE__);
  return ns;
}

std::string l_family(const OMZ_NAMESPACE* ns) {
  const OMZ_OPTION* family_opt = OMZ_DERIVED_OPTION::get_single_option(ns, FAMILY_OPTION, true);
  if (family_opt == nullptr) l_internal_error("family_opt", __LINE__);
  std::string family = family_opt->get_value_str();
  for (char& c : family) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (family == "pellam") return "morvane10";
  if (family == "vintrel") return "lindrel10";
  std::string compact = family;
  compact.erase(std::remove(compact.begin(), compact.end(), ' '), compact.end());
  if (compact == "morvane10" || compact == "lindrel10") return compact;
  return family;
}

void write_eqcheck_tcl_compare_snapshots(std::ostream& out, const JOV_PARTITION& partition, const SNAPSHOT& golden,
                                         const SNAPSHOT& revised) {
  YOVA_UTIL yova(l_namespace(partition));
  std::unique_ptr<YOVA_TOOL> tool(yova.get_tool(SIMULATION_TOOL_CATEGORY));
  WEZ_PATH dir(tool->output_dir());
  dir.become_absolute("");
  const std::string base = gen_get_relative_path_if_starts_with_project_dir(dir.fullpath().c_str());
  const int type = tool->get_eda_netlist_type();
  auto line = [&](const char* tag, const SNAPSHOT& snapshot) {
    const std::string netlists = base + "/" + snapshot.to_str() + "/";
    switch (type) {
      case 2: out << "read_vhdl " << tag << " " << netlists << "*.vho"; break;
      case 3: out << "read_verilog " << tag << " " << netlists << "*.vo"; break;
      case 4: out << "read_verilog " << tag << " -sv " << netlists << "*.sv"; break;
      default: break;
    }
    out << "\n" << std::flush;
  };
  line("-golden", golden);
  out << "\n" << std::flush;
  line("-revised", revised);
}

// Writes `text` as the file `name` of the folder `dir` (ending in '/'): to
// a new file beside it first, renamed to `name` once written and closed
// whole. Both go through a descriptor of the folder opened without
// following a link, so neither lands beyond a link that another program
// puts in the folder's place: the folder is then not opened and nothing is
// written. False when the file is not in place; the new file is removed.
bool write_through_folder(const std::string& dir, const char* name, const std::string& text) {
  const std::string folder = dir.substr(0, dir.find_last_not_of('/') + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  const std::string temporary = std::string(name) + ".tmp" + std::to_string(getpid());
  const int file = ::openat(fd, temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  bool ok = file >= 0;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(file, text.data() + done, text.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else
      ok = n < 0 && errno == EINTR;
  }
  if (file >= 0) ok = ::close(file) == 0 && ok;
  ok = ok && ::renameat(fd, temporary.c_str(), fd, name) == 0;
  if (!ok && file >= 0) ::unlinkat(fd, temporary.c_str(), 0);
  ::close(fd);
  return ok;
}

void write_eqcheck_tcl(const JOV_PARTITION& partition, VERIFICATION_STATE state) {
  const std::string dir = l_state_dir(state);
  if (!WEZ_FILE_SYSTEM::exists(dir.c_str())) {
    std::size_t at = 0;
    while ((at = dir.find('/', at + 1)) != std::string::npos) {
      const std::string prefix = dir.substr(0, at);
      if (!prefix.empty() && !WEZ_FILE_SYSTEM::exists(prefix.c_str())) WEZ_FILE_SYSTEM::mkdir(prefix.c_str());
    }
  }
  // The script is made whole first, written beside its name and renamed
  // into place: a write that fails (a full disk, a file-size limit) leaves no
  // script, never part of one, which the host's check after the stage sees.
  std::ostringstream out;
  const std::string family = l_family(l_namespace(partition));
  auto put = [&](const std::string& text) { out << text << "\n"; };
  put("set torvika_root $::env(TORVIKA_DIR);");
  put("set device \"" + family + "\"");
  put("load_settings ec_fpga_kestro:${device}_vexl");
  put("");
  write_eqcheck_tcl_compare_snapshots(out, partition, SNAPSHOT(l_states[state].golden),
                                      SNAPSHOT(l_states[state].revised));
  put("");
  for (const char* text :
       {"elaborate -golden", "puts \"resource_usage_after_golden_elaboration\"", "report_resource_usage",
        "elaborate -revised", "puts \"resource_usage_after_revised_elaboration\"", "report_resource_usage",
        "set_mode ec", "puts \"resource_usage_after_ec_mode_setup\"", "report_resource_usage", "map",
        "puts \"resource_usage_after_map\"", "report_resource_usage", "compare",
        "puts \"resource_usage_after_compare\"", "report_resource_usage",
        "::kestro::torvika::get_failing_compare_points"})
    put(text);
  const std::string path = dir + "eqcheck.tcl";
  if (!write_through_folder(dir, "eqcheck.tcl", out.str()))
    msg_vdebug_impl(2, "Cannot write the formal verification script %s", path.c_str());
}

}  // namespace

void velmo_write_formal_verification_flow(JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> snapshot) {
  JOV_PARTITION* root = JOV_ROOT::get()->get_design("")->get_top_partition();
  const OMZ_NAMESPACE* ns = l_namespace(*root);
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(ns, VERIFICATION_OPTION, true);
  std::string name = "fitter_write_eqcheck";
  if (snapshot.get_value() != JOV_SNAPSHOT_BASE::NONE) name += std::string("_for_") + snapshot.to_str();
  if (option == nullptr || !option->get_bool_value() || !cfg_is_on(name.c_str(), false)) return;

  VERIFICATION_STATE state;
  switch (snapshot.get_value()) {
    case JOV_SNAPSHOT_BASE::PLANNED: state = PLANNED; break;
    case JOV_SNAPSHOT_BASE::PLACED: state = PLACED; break;
    case JOV_SNAPSHOT_BASE::ROUTED:
    case JOV_SNAPSHOT_BASE::RETIMED: state = ROUTED; break;
    default:
      msg_vdebug_impl(2, "Unsupported formal verification snapshot stage: %s", snapshot.to_str());
      return;
  }
  // Without a project directory the paths would start at the file-system
  // root: nothing is removed or written.
  if (gen_get_project_dir_path().empty()) {
    msg_vdebug_impl(2, "No project directory: no formal verification script written");
    return;
  }
  for (int s = state; s < NUM_STATES; ++s) {
    const std::string dir = l_state_dir(static_cast<VERIFICATION_STATE>(s));
    if (WEZ_FILE_SYSTEM::exists(dir.c_str())) WEZ_FILE_SYSTEM::remove_recursively(dir.c_str(), nullptr, nullptr);
  }
  write_eqcheck_tcl(*root, state);
}
