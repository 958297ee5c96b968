#include "velmo_fit_verification.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "jov/jov_enum.h"
#include "omz/omz_option.h"
#include "tawn/tawn_netlist_writer.h"
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

bool VERIFICATION::bind(void* lib, const std::string& design_name) {
  m_design = design_name;
  m_write_script = requested() ? find_entry(lib, kWriteScript) : nullptr;
  return active();
}

std::string VERIFICATION::netlist_path(const std::string& snapshot) const {
  return eda_tool()->output_dir() + "/" + snapshot + "/" + m_design +
         TAWN_NETLIST_WRITER::extension(eda_tool()->get_eda_netlist_type());
}

bool VERIFICATION::write(const std::string& snapshot) {
  if (!active()) return true;
  const std::unique_ptr<YOVA_TOOL> tool = eda_tool();
  const std::string dir = tool->output_dir() + "/" + snapshot;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!TAWN_NETLIST_WRITER::write(host::vok::top_netlist(), dir.c_str(), m_design.c_str(),
                                  tool->get_eda_netlist_type())) {
    std::printf("velmo-fit: cannot write the netlist %s\n", netlist_path(snapshot).c_str());
    std::fflush(stdout);
    return false;
  }
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> value;
  value.set_from_str(snapshot.c_str(), true);
  reinterpret_cast<WRITE_SCRIPT>(m_write_script)(value);
  return true;
}

bool VERIFICATION::after_stage(const std::string& stage, bool ok) {
  if (!ok || !active()) return true;
  return write(stage_snapshot().at(stage));
}

}  // namespace velmo_fit
