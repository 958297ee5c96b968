#pragma once
// data: the pipeline-register utility's record: its per-atom tables and its
// named register groups.
#include <string>
#include <vector>

#include "common/host_api.h"

class DEV_DEVICE;
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
  // A utility over the device's pipeline-register resources.
  explicit UTIL(const DEV_DEVICE* device) : m_device(device) {}
  inline ~UTIL();
  UTIL(const UTIL&) = delete;
  UTIL& operator=(const UTIL&) = delete;

  ZMP_HASH_LITE<int, int> zota_z_by_atom;
  ZMP_HASH_LITE<int, int> lab_pipeline_type_by_atom;
  std::vector<GROUP> groups;

  // algorithm: a clock routing element of one of the kinds (the global clock
  // spine tap, 318) serving the row of the pipeline slot or site `gid`;
  // 0xFFFFFFFF when there is none.
  unsigned get_any_clk_re_gid_for_zota(unsigned gid, const std::vector<int>& kinds, int mode) const;
  // data: the LAB pipeline type of a LAB pipeline slot (a LAB control-input
  // mux holding a slot): 0 for the slot of a synchronous clear, 1 for the
  // slot of a clock enable; -1 for any other gid.
  int get_lab_zota_type(unsigned gid) const;

private:
  const DEV_DEVICE* m_device = nullptr;
};

}  // namespace ZOTA

#include "zel_zota_util_sys.h"
