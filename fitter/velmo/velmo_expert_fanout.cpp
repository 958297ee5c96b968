// Fanout limits of the core routing fabric: some routing elements may drive
// only a limited number of fabric branches. After routing every routed net is
// checked against the limits the device database gives its element kinds.
#include <cstdint>
#include <vector>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_element_desc.h"
#include "dev/dev_die_info.h"
#include "msg/msg_internal_error.h"
#include "pexa/pexa_utility.h"
#include "puve_dev_element_enum_sys.h"
#include "velmo_bbic.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_re_routing.h"
#include "vok_re_routing_sys.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_info.h"
#include "wump_route_objects_sys.h"
#include "zmp_hash_lite_sys.h"

namespace {

constexpr int FABRIC_GRAPH = 2;
constexpr int KIND_LAB_PORT_MUX = 282;
constexpr int KIND_LAB_FEEDBACK = 279;
constexpr int FAMILY_WITH_SPECIAL_CASES = 46;
constexpr int FANOUT_LIMIT_DATUM = 21;

// One offending routing node.
struct VELMO_FANOUT_VIOLATION {
  std::uint32_t gid;
  DEV_ELEMENT_ENUM element;
  std::int32_t limit;
  std::int32_t used;
};

DEV_ELEMENT_ENUM l_element_of(const WUMP_ROUTE_INFO& route_info, unsigned gid) {
  return route_info.element(gid & ~WUMP_GID_BIT).get_element_enum();
}

// A node id that names a device routing element: top bit set, not all ones.
bool l_is_element_node_value(std::int32_t value) { return value <= -2; }

std::vector<VELMO_FANOUT_VIOLATION> velmo_find_fanout_violations_in_crf(const WEXAN_ENV* env) {
  std::vector<VELMO_FANOUT_VIOLATION> violations;
  // The placer and router honour the limits themselves in that case.
  if (cfg_is_on("vpr_fanout_limit_loading", false)) return violations;

  const VOK_RE_ROUTING& routing = *env->get_chip_db_entry()->get_routing();
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  const DEV_BASIC_INFO* basic_info = device->get_basic_info();
  const WUMP_ROUTE_INFO& route_info = *device->get_die_info()->get_wump_die_info()->get_route_info();

  ZMP_HASH_LITE<DEV_ELEMENT_ENUM, int> limits;
  for (const DEV_ELEMENT_DESC* desc : basic_info->get_element_descs())
    if (desc->is_valid_int_enum(FANOUT_LIMIT_DATUM))
      limits[desc->get_element_enum()] = desc->get_int_data(FANOUT_LIMIT_DATUM);
  const bool special_cases = static_cast<int>(basic_info->get_family_enum()) == FAMILY_WITH_SPECIAL_CASES;

  const VOK_RE_ROUTING_ZOTA_SKIP skip;
  auto is_fabric_edge = [&](int from, int to) {
    const std::int32_t a = routing.get_value(from);
    const std::int32_t b = routing.get_value(to);
    if (!l_is_element_node_value(a) || !l_is_element_node_value(b)) return false;
    return route_info.get_top_level_graph_from_edge(static_cast<unsigned>(a), static_cast<unsigned>(b), 0) ==
           FABRIC_GRAPH;
  };

  for (auto it = routing.begin_node_ids(skip), end = routing.end_node_ids(skip); it != end; ++it) {
    const int node = *it;
    const int parent = routing.get_parent(node, skip);
    const bool parent_fabric = parent != -1 && is_fabric_edge(parent, node);
    int used = 0;
    for (int c = routing.get_first_child(node, skip); c != -1; c = routing.get_next_sibling(c, skip))
      if (is_fabric_edge(node, c)) ++used;
    if (!parent_fabric && used == 0) continue;

    const unsigned gid = static_cast<unsigned>(routing.get_value(node));
    const DEV_ELEMENT_ENUM element = l_element_of(route_info, gid);
    auto found = limits.find(element);
    if (found == limits.end()) continue;
    int limit = found->second;
    if (special_cases) {
      const int special = VELMO_EXPERT::get_fanout_limit_for_special_cases(route_info, gid, !parent_fabric);
      if (special != -1) limit = special;
    }
    if (limit < used) violations.push_back({gid, element, limit, used});
  }
  return violations;
}

}  // namespace

int VELMO_EXPERT::get_fanout_limit_for_special_cases(const WUMP_ROUTE_INFO& route_info, unsigned int id,
                                                     bool starts_fabric) {
  const int kind = static_cast<int>(l_element_of(route_info, id));
  if (kind == KIND_LAB_PORT_MUX) return starts_fabric ? 5 : -1;
  if (kind == KIND_LAB_FEEDBACK) {
    for (auto it = route_info.begin_real_fanout(id), end = route_info.end_real_fanout(id); it != end; ++it)
      if (static_cast<int>(l_element_of(route_info, *it)) == KIND_LAB_PORT_MUX) return -1;
    return 1;
  }
  return -1;
}

bool VELMO_EXPERT::analyze_fanout_violations(const WEXAN_ENV* env, bool assert_on_violation) {
  if (VELMO_BBIC::any_partitions_blackboxed()) return true;
  const std::vector<VELMO_FANOUT_VIOLATION> violations = velmo_find_fanout_violations_in_crf(env);
  if (violations.empty()) return true;

  msg_vdebug_impl(2, "=== FANOUT LIMIT VIOLATION(S) FOUND ===");
  for (const VELMO_FANOUT_VIOLATION& v : violations)
    msg_vdebug_impl(2, "    offending DEV_GID %u has %d/%d fanout used (element_enum=%s)", v.gid, v.used, v.limit,
                    pral_get_debug_string(v.element));
  if (assert_on_violation)
    MSG_INTERNAL_ERROR::report("Fanout limits violated. See debug output for details.", "VELMO",
                               "velmo_expert_fanout", __LINE__);
  msg_vdebug_impl(2, "Fanout limit violations found, but I will not assert.");
  return false;
}
