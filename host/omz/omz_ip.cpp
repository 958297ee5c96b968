#include "omz/omz_ip.h"

#include <map>
#include <memory>

#include "common/host_world.h"

namespace {
struct OMZ_IPS {
  std::map<std::string, std::unique_ptr<OMZ_IP_BASIC_INFO>> by_path;
};
OMZ_IPS& ips() { return host_world_slot<OMZ_IPS>(); }
}  // namespace

const OMZ_IP_BASIC_INFO* OMZ_IP::get_basic_ip_info(const OMZ_INSTANCE_NAME* instance, bool) {
  if (instance == nullptr) return nullptr;
  std::string path = instance->path();
  // The instance itself, then each enclosing instance.
  for (;;) {
    auto it = ips().by_path.find(path);
    if (it != ips().by_path.end()) return it->second.get();
    const auto bar = path.rfind('|');
    if (bar == std::string::npos) return nullptr;
    path.resize(bar);
  }
}

namespace host::omz {
void add_ip(const std::string& instance_path, const std::string& ip_name) {
  auto info = std::make_unique<OMZ_IP_BASIC_INFO>();
  info->name = ip_name;
  ips().by_path[instance_path] = std::move(info);
}
}  // namespace host::omz
