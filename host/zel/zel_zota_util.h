#pragma once
// data: the pipeline-register utility's record: its per-atom tables and its
// named register groups.
#include <string>
#include <vector>

#include "common/host_api.h"
#include "zmp_hash_lite_sys.h"

namespace ZOTA {

class HOST_API UTIL {
public:
  // A named group of pipeline registers (by atom id).
  struct GROUP {
    std::string name;
    std::vector<int> atom_ids;
  };

  UTIL() = default;
  inline ~UTIL();
  UTIL(const UTIL&) = delete;
  UTIL& operator=(const UTIL&) = delete;

  ZMP_HASH_LITE<int, int> zota_z_by_atom;
  ZMP_HASH_LITE<int, int> lab_pipeline_type_by_atom;
  std::vector<GROUP> groups;
};

}  // namespace ZOTA

#include "zel_zota_util_sys.h"
