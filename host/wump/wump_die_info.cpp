#include "wump/wump_die_info.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "dev/dev_family.h"
#include "wump/wump_route_info.h"

namespace {

std::atomic<WUMP_ROUTE_INFO_SINGLETON_MANAGER*> s_manager{nullptr};

// The world's device die and the route-info singleton. Destroyed at reset.
struct WUMP_STATE {
  std::mutex mutex;
  WUMP_ROUTE_INFO_SINGLETON_MANAGER manager;
  DeviceSpec spec;
  std::unique_ptr<WUMP_DIE_INFO> die;
  ~WUMP_STATE() {
    WUMP_ROUTE_INFO_SINGLETON_MANAGER* self = &manager;
    s_manager.compare_exchange_strong(self, nullptr);
  }
};

}  // namespace

WUMP_ROUTE_INFO_SINGLETON_MANAGER& WUMP_ROUTE_INFO_SINGLETON_MANAGER::get() {
  WUMP_ROUTE_INFO_SINGLETON_MANAGER* m = s_manager.load(std::memory_order_acquire);
  if (!m) {
    m = &host_world_slot<WUMP_STATE>().manager;
    s_manager.store(m, std::memory_order_release);
  }
  return *m;
}

void WUMP_ROUTE_INFO_SINGLETON_MANAGER::activate(const WUMP_ROUTE_INFO* info, int mode) {
  if (info && mode == 1) (void)info->get_kop();
  if (info && mode == 2) (void)info->get_kop_hier();
  m_active.info = info;
  m_active.mode = mode;
}

void WUMP_BLACKLISTING::add_routing_gid(unsigned gid) {
  const unsigned id = gid & 0x7FFFFFFFu;
  if (id >= m_bits.size()) m_bits.resize(id + 1, false);
  if (!m_bits[id]) {
    m_bits[id] = true;
    ++m_count;
  }
}

int WUMP_DIE_INFO::get_block_type(const DEV_ELEMENT_DESC& desc, int) const {
  return static_cast<int>(desc.get_element_enum());
}

int WUMP_DIE_INFO::get_block_type_height(int block_type) const { return block_type == dev_kind::DSP ? 2 : 1; }

std::vector<WUMP_CLOCK_REGION> WUMP_CLOCK_REGION_INFO::get_clock_region_list(int type) const {
  std::vector<WUMP_CLOCK_REGION> res;
  for (const auto& r : m_regions)
    if (r.get_type() == type) res.push_back(r);
  return res;
}

WUMP_PLACE_INFO::WUMP_PLACE_INFO(const DeviceSpec& spec)
    : m_grid(spec), m_slots(dev_family_row(spec.family).zota_check0_routing_slots) {}

unsigned WUMP_PLACE_INFO::get_global_id(int element, int x, int y, int sub) const {
  if (!m_grid.in_grid(x, y)) return DEV_GRID::ILLEGAL_GID;
  if (element == dev_kind::FF && sub >= 60 && sub < 100) {
    if (!m_slots || m_grid.tile_kind(x, y) != DEV_TILE_KIND::LAB || !m_route_info) return DEV_GRID::ILLEGAL_GID;
    return m_route_info->get_gid(dev_kind::LAB_RE, x, y, 80 + sub);
  }
  const unsigned gid = m_grid.site_gid(x, y, sub);
  if (gid == DEV_GRID::ILLEGAL_GID) return gid;
  if (element != 0 && m_grid.sites()[gid].element != element) return DEV_GRID::ILLEGAL_GID;
  return gid;
}

std::optional<WUMP_PLACE_BLOCK> WUMP_PLACE_INFO::get_place_block(unsigned gid) const {
  const auto& table = m_grid.sites();
  if (gid >= table.size()) return std::nullopt;
  const DEV_SITE& s = table[gid];
  unsigned parent = DEV_GRID::ILLEGAL_GID;
  if (m_grid.tile_kind(s.x, s.y) == DEV_TILE_KIND::PAD && s.z % DEV_GRID::SITES_PER_PIN != 0)
    parent = m_grid.site_gid(s.x, s.y, s.z - s.z % DEV_GRID::SITES_PER_PIN);
  return WUMP_PLACE_BLOCK(gid, s, parent);
}

std::vector<unsigned> WUMP_PLACE_INFO::get_global_ids_at(int x, int y) const {
  std::vector<unsigned> res;
  for (int z = 0; z < m_grid.site_count(x, y); ++z) res.push_back(m_grid.site_gid(x, y, z));
  return res;
}

std::vector<unsigned> WUMP_PLACE_INFO::get_top_level_blocks_at_coordinate(int x, int y) const {
  std::vector<unsigned> res;
  if (!m_grid.in_grid(x, y)) return res;
  for (unsigned gid : get_global_ids_at(x, y))
    if (get_place_block(gid)->get_parent_global_id() == DEV_GRID::ILLEGAL_GID) res.push_back(gid);
  return res;
}

void WUMP_DIE_INFO::install_route_info(std::unique_ptr<WUMP_ROUTE_INFO> info) {
  m_route_info = std::move(info);
  m_place_info.m_route_info = m_route_info.get();
  WUMP_ROUTE_INFO_SINGLETON_MANAGER::get().activate(m_route_info.get(), 0);
}

WUMP_DIE_INFO::WUMP_DIE_INFO(const DeviceSpec& spec)
    : m_place_info(spec), m_route_info(wump_generate_route_info(spec, m_place_info.get_grid())),
      m_blacklisting(this), m_disabled(spec.disabled_locations) {
  m_place_info.m_route_info = m_route_info.get();
  const int nx = m_place_info.get_nx(), ny = m_place_info.get_ny();
  const int mx = nx / 2, my = ny / 2;
  m_sectors = {DEV_TILE_RECT{0, 0, mx - 1, my - 1}, DEV_TILE_RECT{mx, 0, nx - 1, my - 1},
               DEV_TILE_RECT{0, my, mx - 1, ny - 1}, DEV_TILE_RECT{mx, my, nx - 1, ny - 1}};
  for (const auto& s : m_sectors) m_place_info.m_clock_regions.m_regions.emplace_back(7, s);
  for (const DEV_ELEMENT_REF& ref : spec.blacklist) {
    const unsigned gid = m_route_info->get_gid(ref.kind, ref.x, ref.y, ref.index);
    if (gid != WUMP_ILLEGAL_GID) m_blacklisting.add_routing_gid(gid);
  }
  for (unsigned gid : spec.blacklist_gids) m_blacklisting.add_routing_gid(gid);
}

WUMP_DIE_INFO::~WUMP_DIE_INFO() = default;

bool WUMP_DIE_INFO::is_global_id_enabled(unsigned gid) const {
  if (gid == WUMP_ILLEGAL_GID) return false;
  if (gid & WUMP_GID_BIT) return m_route_info->get_element_by_gid(gid) != nullptr;
  return gid < m_place_info.get_location_table().size() && m_disabled.count(gid) == 0;
}

bool WUMP_DIE_INFO::get_location(unsigned gid, DEV_LOCATION& location) const {
  if (gid == WUMP_ILLEGAL_GID) return false;
  if (gid & WUMP_GID_BIT) {
    const WUMP_ROUTE_ELEMENT* e = m_route_info->get_element_by_gid(gid);
    if (!e) return false;
    const WUMP_ROUTE_NODE n = m_route_info->get_route_node_of(gid);
    location.set(DEV_LOCATION_ELEMENT, static_cast<int>(n.element_type));
    location.set(DEV_LOCATION_SUB_LOCATION, n.sub_location);
    location.set(DEV_LOCATION_SUB, n.sub_location);
    location.set(DEV_LOCATION_INDEX, n.index);
    location.set(DEV_LOCATION_X, n.x);
    location.set(DEV_LOCATION_Y, n.y);
    location.set_name(m_route_info->get_name(gid));
    return true;
  }
  const auto& table = m_place_info.get_location_table();
  if (gid >= table.size()) return false;
  const DEV_SITE& s = table[gid];
  location.set(DEV_LOCATION_ELEMENT, s.element);
  location.set(DEV_LOCATION_SUB_LOCATION, s.z);
  location.set(DEV_LOCATION_SUB, s.z);
  location.set(DEV_LOCATION_INDEX, -1);
  location.set(DEV_LOCATION_X, s.x);
  location.set(DEV_LOCATION_Y, s.y);
  location.set_name(get_gid_string(gid));
  return true;
}

std::string WUMP_DIE_INFO::get_gid_string(unsigned gid) const {
  if (gid == WUMP_ILLEGAL_GID) return "?";
  if (gid & WUMP_GID_BIT) {
    std::string name = m_route_info->get_name(gid);
    return name.empty() ? "?" : name;
  }
  const auto& table = m_place_info.get_location_table();
  if (gid >= table.size()) return "?";
  char buf[64];
  std::snprintf(buf, sizeof buf, "X%d_Y%d_N%d", table[gid].x, table[gid].y, table[gid].z);
  return buf;
}

const DEV_ELEMENT_DESC* WUMP_DIE_INFO::get_element_desc(unsigned gid) const {
  if (gid == WUMP_ILLEGAL_GID) return nullptr;
  if (gid & WUMP_GID_BIT) {
    if (!m_route_info->get_element_by_gid(gid)) return nullptr;
    return &dev_element_desc(m_route_info->get_dev_element_from_gid(gid));
  }
  const auto& table = m_place_info.get_location_table();
  return gid < table.size() ? &dev_element_desc(table[gid].element) : nullptr;
}

void WUMP_DIE_INFO::get_fanin_gids(unsigned gid, std::vector<unsigned>& out) const {
  out.clear();
  if (!m_route_info->get_element_by_gid(gid)) return;
  for (auto it = m_route_info->begin_fanin_gids(gid); it != m_route_info->end_fanin_gids(gid); ++it) out.push_back(*it);
}

void WUMP_DIE_INFO::get_fanout_gids(unsigned gid, std::vector<unsigned>& out) const {
  out.clear();
  if (!m_route_info->get_element_by_gid(gid)) return;
  for (auto it = m_route_info->begin_fanout_gids(gid); it != m_route_info->end_fanout_gids(gid); ++it) out.push_back(*it);
}

void WUMP_BLACKLISTING_LOADER::setup_blacklisting(WUMP_DIE_INFO* die) {
  host::log_call("WUMP_BLACKLISTING_LOADER::setup_blacklisting", static_cast<const void*>(die));
}

namespace host::device {
WUMP_DIE_INFO* die_info() {
  WUMP_STATE& state = host_world_slot<WUMP_STATE>();
  std::lock_guard<std::mutex> lock(state.mutex);
  const DeviceSpec& current = spec();
  if (!state.die || !(state.spec == current)) {
    const WUMP_ROUTE_INFO* old = state.die ? state.die->get_route_info() : nullptr;
    state.spec = current;
    auto die = std::make_unique<WUMP_DIE_INFO>(current);
    WUMP_ROUTE_INFO_SINGLETON_MANAGER& m = WUMP_ROUTE_INFO_SINGLETON_MANAGER::get();
    const int mode = m.has_active() && m.get_active().info == old ? m.get_active().mode : 0;
    if (!m.has_active() || m.get_active().info == old) m.activate(die->get_route_info(), mode);
    state.die = std::move(die);
  }
  return state.die.get();
}
}  // namespace host::device
