#pragma once
// data: the IP instances of the design: an instance path and everything
// below it belongs to the IP.
#include <string>

#include "common/host_api.h"
#include "omz/omz_instance_name.h"
#include "omz/omz_ip_basic_info.h"

class HOST_API OMZ_IP {
public:
  // The basic information of the IP the instance belongs to, or null.
  static const OMZ_IP_BASIC_INFO* get_basic_ip_info(const OMZ_INSTANCE_NAME* instance, bool flag);
};

namespace host::omz {
// Declares an IP instance at a path (its name is the IP's name).
HOST_API void add_ip(const std::string& instance_path, const std::string& ip_name);
}  // namespace host::omz
