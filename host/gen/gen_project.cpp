#include "gen/gen_project.h"

#include <chrono>

#include "common/host_clock.h"
#include "common/host_world.h"

namespace {
struct GEN_PROJECT_STATE {
  std::string output_directory = ".";
};
}  // namespace

std::string gen_get_project_output_directory() { return host_world_slot<GEN_PROJECT_STATE>().output_directory; }

long long gen_get_current_time_seconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(host::clock::now().time_since_epoch()).count();
}

namespace host::gen {
void set_project_output_directory(const std::string& dir) { host_world_slot<GEN_PROJECT_STATE>().output_directory = dir; }
}  // namespace host::gen
