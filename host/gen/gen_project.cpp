#include "gen/gen_project.h"

#include "common/host_world.h"

namespace {
struct GEN_PROJECT_STATE {
  std::string output_directory = ".";
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
