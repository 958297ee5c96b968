#include "dev/dev_pad.h"

#include <map>
#include <memory>
#include <mutex>

#include "common/host_world.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_grid.h"
#include "wump/wump_die_info.h"

DEV_PAD::DEV_PAD(unsigned gid, int x, int y, int sub, int nx) : m_gid(gid), m_x(x), m_y(y), m_sub(sub), m_nx(nx) {}

bool DEV_PAD::is_valid_bool_data(int item) const {
  const bool left = m_x == 0;
  const bool right = m_x == m_nx - 1;
  const bool bottom = !left && !right;
  if (item == 1) return bottom;
  if (item == 3) return left;
  if (item == 4) return right || bottom;
  return false;
}

bool DEV_PAD::get_bool_data(int item) const {
  if (!is_valid_bool_data(item)) return false;
  return item != 4 || m_x == m_nx - 1;
}

namespace {
// Pads are made on first use per configured grid and live until the reset.
struct PAD_STATE {
  std::mutex mutex;
  const DEV_GRID* grid = nullptr;
  int nx = 0, ny = 0;
  std::size_t sites = 0;
  std::map<unsigned, std::unique_ptr<DEV_PAD>> by_gid;  // every site gid of a pin -> its pad
};

const DEV_PAD* pad_of_gid(unsigned gid) {
  PAD_STATE& st = host_world_slot<PAD_STATE>();
  std::lock_guard<std::mutex> lock(st.mutex);
  const DEV_GRID& grid = host::device::die_info()->get_place_info()->get_grid();
  if (st.grid != &grid || st.nx != grid.nx() || st.ny != grid.ny() || st.sites != grid.sites().size()) {
    st.by_gid.clear();
    st.grid = &grid;
    st.nx = grid.nx();
    st.ny = grid.ny();
    st.sites = grid.sites().size();
  }
  auto it = st.by_gid.find(gid);
  if (it != st.by_gid.end()) return it->second.get();
  const auto& sites = grid.sites();
  if (gid >= sites.size()) return nullptr;
  const DEV_SITE& s = sites[gid];
  if (grid.tile_kind(s.x, s.y) != DEV_TILE_KIND::PAD) return nullptr;
  const int pin = s.z / DEV_GRID::SITES_PER_PIN;
  const int pad_z = pin * DEV_GRID::SITES_PER_PIN + 1;
  const unsigned pad_gid = grid.site_gid(s.x, s.y, pad_z);
  auto pad = std::make_unique<DEV_PAD>(pad_gid, s.x, s.y, pad_z, grid.nx());
  const DEV_PAD* p = pad.get();
  st.by_gid.emplace(gid, std::move(pad));
  return p;
}
}  // namespace

const DEV_PAD* DEV_DEVICE::get_pad(unsigned gid) const { return pad_of_gid(gid); }

namespace host::device {
const DEV_PAD* pad_at(int x, int y, int sub) {
  const DEV_GRID& grid = die_info()->get_place_info()->get_grid();
  if (!grid.in_grid(x, y) || sub < 0) return nullptr;
  const unsigned gid = grid.site_gid(x, y, sub);
  return gid == DEV_GRID::ILLEGAL_GID ? nullptr : pad_of_gid(gid);
}
}  // namespace host::device
