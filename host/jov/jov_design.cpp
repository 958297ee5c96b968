#include "jov/jov_design.h"

#include <memory>

#include "common/host_world.h"
#include "jov/jov_enum.h"

namespace {
struct JOV_STATE {
  std::unique_ptr<JOV_ROOT> root = std::make_unique<JOV_ROOT>();
};
}  // namespace

JOV_DESIGN::JOV_DESIGN() = default;
JOV_DESIGN::~JOV_DESIGN() = default;

void JOV_DESIGN::set_current_snapshot(int n) {
  JOV_ENUM_IMPL<JOV_SNAPSHOT_BASE> e(static_cast<JOV_SNAPSHOT_BASE::ENUM>(n));
  m_snapshot = e.to_str();
}

JOV_ROOT* JOV_ROOT::get() { return host_world_slot<JOV_STATE>().root.get(); }
JOV_ROOT::JOV_ROOT() = default;
JOV_ROOT::~JOV_ROOT() = default;

JOV_DESIGN* JOV_ROOT::get_design(const std::string& name) { return name.empty() ? &m_design : nullptr; }
