#include "wexan/wexan_device.h"

#include <memory>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "tibex/tibex_placer.h"
#include "vok/vok_atom_netlist.h"
#include "wump/wump_die_info.h"

namespace {
struct DEVICE_STATE {
  std::unique_ptr<WEXAN_DEVICE> device = std::make_unique<WEXAN_DEVICE>();
};

VOK_ATOM_NODE* find_atom(const VOK_ATOM_NETLIST* n, int id) {
  if (VOK_ATOM_NODE* a = n->get_atom_by_id(id)) return a;
  for (VOK_ATOM_NODE* a : n->get_atom_list())
    if (a->is_box())
      if (const VOK_ATOM_NETLIST* c = static_cast<const VOK_ATOM_BLACKBOX*>(a)->get_child_netlist())
        if (VOK_ATOM_NODE* found = find_atom(c, id)) return found;
  return nullptr;
}
}  // namespace

WEXAN_DEVICE::WEXAN_DEVICE() = default;
WEXAN_DEVICE::~WEXAN_DEVICE() = default;

WEXAN_DEVICE* WEXAN_DEVICE::current() { return host_world_slot<DEVICE_STATE>().device.get(); }

bool WEXAN_DEVICE::place_atom_at_sub_location(int x, int y, int sub, int atom_id) {
  host::log_call("WEXAN_DEVICE::place_atom_at_sub_location", x, y, sub, atom_id);
  VOK_ATOM_NODE* atom = find_atom(host::vok::top_netlist(), atom_id);
  if (atom == nullptr) return false;
  const int kind = host::placement::site_kind(atom);
  if (kind == 0) return false;
  const unsigned gid = host::device::die_info()->get_place_info()->get_global_id(kind, x, y, sub);
  if (gid == 0xFFFFFFFFu) return false;
  return host::placement::write_location(atom, gid);
}
