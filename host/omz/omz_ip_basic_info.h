#pragma once
// data: basic information of an IP instance: its name, vendor and version,
// its files, and its parameters by name.
#include <string>
#include <vector>

#include "common/host_api.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_ops.h"

class HOST_API OMZ_IP_BASIC_INFO {
public:
  OMZ_IP_BASIC_INFO() = default;
  inline ~OMZ_IP_BASIC_INFO();
  OMZ_IP_BASIC_INFO(const OMZ_IP_BASIC_INFO&) = delete;
  OMZ_IP_BASIC_INFO& operator=(const OMZ_IP_BASIC_INFO&) = delete;

  std::string name;
  std::string vendor;
  std::string version;
  std::vector<std::string> files;
  ZMP_HASH_LITE<std::string, std::string> parameters;
};

#include "omz_ip_basic_info_sys.h"
