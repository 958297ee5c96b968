#include "gesk/gesk_bundle.h"

#include <memory>

#include "common/host_world.h"
#include "gesk/gesk_tree.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"

namespace {
struct GESK_STATE {
  std::unique_ptr<GESK_BUNDLE> bundle = std::make_unique<GESK_BUNDLE>();
  std::unique_ptr<WUMP_GESK_UTIL> util;
};
GESK_STATE& state() { return host_world_slot<GESK_STATE>(); }
}  // namespace

unsigned GESK_DEVICE::get_port_gid(int value) const {
  auto it = m_port_gids.find(value);
  return it == m_port_gids.end() ? 0xFFFFFFFFu : it->second;
}

GESK_BUNDLE::GESK_BUNDLE() : m_port_map(new W3J3_PORT_MAP_DB), m_device(new GESK_DEVICE), m_instance_tree(new GESK_TREE) {}
GESK_BUNDLE::~GESK_BUNDLE() {
  delete m_instance_tree;
  delete m_port_map;
  delete m_device;
}

unsigned WUMP_GESK_UTIL::get_top_level_wump_port_gid(const W3J3_PORT_MAP_ENTRY& entry) const {
  if (m_device == nullptr || entry.type != 1) return 0xFFFFFFFFu;
  return m_device->get_port_gid(entry.value);
}

WUMP_GESK_UTIL* zel_dev_obtain_wump_gesk_util(const WUMP_ROUTE_INFO* route_info, const GESK_DEVICE* device) {
  GESK_STATE& st = state();
  st.util = std::make_unique<WUMP_GESK_UTIL>(route_info, device);
  return st.util.get();
}

int WUMP_GESK_UTIL::get_top_level_gesk_instance_id(unsigned gid) const {
  if (m_route_info == nullptr || gid == 0xFFFFFFFFu || !(gid & 0x80000000u)) return -1;
  if ((gid & 0x7FFFFFFFu) >= m_route_info->get_num_elements()) return -1;
  if (m_route_info->get_dev_element_from_gid(gid) != static_cast<DEV_ELEMENT_ENUM>(1929)) return -1;
  const WUMP_ROUTE_ELEMENT* e = m_route_info->get_element_by_gid(gid);
  return e->get_y() * 65536 + e->get_x();
}

PELK WUMP_GESK_UTIL::get_instance_name(int instance_id) const {
  if (instance_id < 0) return PELK();
  return PELK::intern(JEV_INSTANCE_NAMESPACE, "RTLB_X" + std::to_string(instance_id % 65536) + "_Y" +
                                                   std::to_string(instance_id / 65536));
}

std::shared_ptr<ZEL_DEV_WUMP_GESK_UTIL> zel_dev_obtain_wump_gesk_util(const WUMP_DIE_INFO* die,
                                                                    const GESK_DEVICE* device) {
  return std::make_shared<ZEL_DEV_WUMP_GESK_UTIL>(die ? die->get_route_info() : nullptr, device);
}

GESK_BUNDLE* GESK_BUNDLE_SINGLETON::get_bundle() { return state().bundle.get(); }

namespace host::gesk {
void load(bool present, bool loaded_entry) {
  auto& st = state();
  if (!present) {
    st.bundle.reset();
    return;
  }
  st.bundle = std::make_unique<GESK_BUNDLE>();
  st.bundle->entries().assign(4, nullptr);
  if (loaded_entry) st.bundle->entries()[0] = st.bundle.get();
}
}  // namespace host::gesk
