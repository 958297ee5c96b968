#include "gen/gen_project.h"

#include "common/host_world.h"

#include <filesystem>

namespace {
struct GEN_PROJECT_STATE {
  std::string output_directory = ".";
  bool project_dir_set = false;
  std::string project_dir;
};
}  // namespace

std::string gen_get_project_output_directory() { return host_world_slot<GEN_PROJECT_STATE>().output_directory; }

namespace {
// Process-wide (read by the component's exit handlers, after the world).
bool l_is_qt = false;
}  // namespace

bool gen_get_is_qt() { return l_is_qt; }

namespace host::gen {
void set_is_qt(bool on) { l_is_qt = on; }
void set_project_output_directory(const std::string& dir) {
  host_world_slot<GEN_PROJECT_STATE>().output_directory = dir;
}
}  // namespace host::gen

std::string gen_get_project_dir_path() {
  const GEN_PROJECT_STATE& st = host_world_slot<GEN_PROJECT_STATE>();
  return st.project_dir_set ? st.project_dir : std::filesystem::current_path().string();
}

namespace host::gen {
void set_project_dir(const std::string& dir) {
  host_world_slot<GEN_PROJECT_STATE>().project_dir_set = true;
  host_world_slot<GEN_PROJECT_STATE>().project_dir = dir;
}
}  // namespace host::gen

std::string gen_get_relative_path_if_starts_with_project_dir(const char* path) {
  const std::string dir = gen_get_project_dir_path();
  const std::string p = path != nullptr ? path : "";
  if (p == dir) return ".";
  if (p.size() > dir.size() && p.compare(0, dir.size(), dir) == 0 && p[dir.size()] == '/')
    return p.substr(dir.size() + 1);
  return p;
}
