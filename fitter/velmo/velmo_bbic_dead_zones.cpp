// Placement dead zones: unoccupied output routing elements whose fanout is
// claimed by the routing already in use, reported as locations to blacklist.
#include "velmo_bbic_dead_zones.h"

#include <string>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_location.h"
#include "gen/gen_profile.h"
#include "jov/jov_design.h"
#include "msg/msg_internal_error.h"
#include "pexa/pexa_utility.h"
#include "velmo_bbic_shell_routing.h"
#include "velmo_debug.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_chip_db_entry.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"
#include "zmp_hash_lite_sys.h"
#include "zmp_point.h"

namespace {

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_bbic", line);
}

constexpr unsigned l_gid(int index) { return static_cast<unsigned>(index) | 0x80000000u; }

int l_kind(const WUMP_ROUTE_INFO* ri, unsigned gid) { return static_cast<int>(ri->get_dev_element_from_gid(gid)); }

using USED_SET = ZMP_HASH_SET_LITE<unsigned int, ZMP_OPS<unsigned int, void>>;
using POINT2 = ZMP::POINT<2, int, ZMP::DEFAULT_COORDINATE_SPACE>;

bool l_used(const USED_SET& used, unsigned gid) { return !used.find(gid).is_end(); }

POINT2 l_route_xy(const WUMP_ROUTE_INFO* ri, unsigned gid) {
  const std::uint64_t loc = ri->get_location(gid, 0);
  return POINT2(static_cast<int>(loc & 0xFFFFFFFFu), static_cast<int>(loc >> 32));
}

}  // namespace

std::uint64_t velmo_bbic_get_num_fanout_paths(unsigned gid, const WUMP_ROUTE_INFO* route_info, const USED_SET& used) {
  std::uint64_t n = 0;
  for (auto it = route_info->begin_fanout_gids(gid), end = route_info->end_fanout_gids(gid); it != end; ++it) {
    const unsigned g = *it;
    if (l_kind(route_info, g) != 279 && !l_used(used, g)) ++n;
  }
  return n;
}

void velmo_bbic_detect_placement_dead_zones() {
  GEN_PROFILE_BINS::open_with_tag("VELMO", "detect_placement_dead_zones", 2147483647, nullptr);
  VOK_CHIP_DB_ENTRY* entry = VOK_CHIP_DB_ENTRY::current();
  const JUK::FOREST<int, int>* crf = entry->get_crf_re_network();
  if (crf == nullptr) l_internal_error("crf", __LINE__);
  VOK_ATOM_NETLIST* netlist = velmo_bbic_get_design_netlist();
  const WUMP_ROUTE_INFO* ri = velmo_bbic_get_route_info();
  const DEV_DIE_INFO* di = PEXA_UTILITY::get_current_device()->get_die_info();

  ZMP_HASH_SET_LITE<POINT2> occupied;
  for (VOK_ATOM_NODE* a : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (a->get_location_index() == -1) continue;
    DEV_LOCATION loc;
    if (di->get_location(a->get_location_gid(), loc)) occupied.insert(POINT2(loc[DEV_LOCATION_X], loc[DEV_LOCATION_Y]));
  }
  USED_SET used;
  for (int id = 0; id < crf->num_slots(); ++id)
    if (!crf->is_erased(id)) used.insert(l_gid(crf->payload(id)));
  ZMP_HASH_LITE<unsigned, std::uint64_t> claimed;
  for (int id = 0; id < crf->num_slots(); ++id) {
    if (crf->is_erased(id)) continue;
    const unsigned r = l_gid(crf->payload(id));
    if (l_kind(ri, r) == 279) continue;
    for (auto it = ri->begin_fanin_gids(r), end = ri->end_fanin_gids(r); it != end; ++it) {
      const unsigned f = *it;
      if (l_used(used, f)) continue;
      const int k = l_kind(ri, f);
      if (k != 282 && k != 283 && k != 284) continue;
      if (!occupied.find(l_route_xy(ri, f)).is_end()) continue;
      ++claimed[f];
    }
  }

  GEN_PROFILE_BINS::open_with_tag("VELMO", "check_output_re_usages", 2147483647, nullptr);
  const bool verbose = cfg_is_on("deadzone_verbose", false);
  const std::uint64_t threshold = static_cast<std::uint64_t>(static_cast<std::int64_t>(cfg_get_int_value("deadzone_threshold", 1)));
  const std::uint64_t effort = static_cast<std::uint64_t>(static_cast<std::int64_t>(cfg_get_int_value("deadzone_effort", 5)));
  unsigned reported = 0;
  unsigned interesting = 0;
  std::string name;
  for (auto it = claimed.begin(); it != claimed.end(); ++it) {
    ++interesting;
    const unsigned f = it->first;
    const std::uint64_t used_by = it->second;
    if (used_by < effort) continue;
    const std::uint64_t fanout = velmo_bbic_get_num_fanout_paths(f, ri, used);
    const POINT2 xy = l_route_xy(ri, f);
    ri->get_name(f, name);
    if (verbose)
      msg_vdebug_impl(2, "Output RE at %d, %d (%u:%s) has %u free fanouts (%u claimed)", xy[0], xy[1], f, name.c_str(),
                      static_cast<unsigned>(fanout), static_cast<unsigned>(used_by));
    std::uint64_t disc = 0;
    if (fanout == 1)
      for (auto g = ri->begin_fanout_gids(f), end = ri->end_fanout_gids(f); g != end; ++g)
        if (l_kind(ri, *g) != 279 && !l_used(used, *g) && velmo_bbic_get_num_fanout_paths(*g, ri, used) == 0) ++disc;
    if (fanout - disc <= threshold) {
      msg_vdebug_impl(2, "BLACKLIST %d, %d due to RE %u:%s with used=%u disc=%u fanout=%u", xy[0], xy[1], f, name.c_str(),
                      static_cast<unsigned>(used_by), static_cast<unsigned>(disc), static_cast<unsigned>(fanout));
      ++reported;
    }
  }
  msg_vdebug_impl(2, "Blacklisted %u locations for %u interesting REs", reported, interesting);
  GEN_PROFILE_BINS::close("check_output_re_usages");
  GEN_PROFILE_BINS::close("detect_placement_dead_zones");
}
