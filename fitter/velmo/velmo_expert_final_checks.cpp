// Final legality checks of pipeline-register placement: the register feeding
// a LUT-RAM's data input, and the registers of periphery-to-core (P2C) and
// core-to-periphery (C2P) transfers, must sit in the pipeline-register slot
// nearest to their port on the routing graph.
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "dev/dev_element_desc.h"
#include "gesk/gesk_bundle.h"
#include "msg/msg_internal_error.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_interface.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "w3j3/w3j3_port_map_db.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_util.h"

namespace {

constexpr int k_leim_zota_kind = 282;
constexpr int k_port_map_type = 1;

[[noreturn]] void l_fail(int line, const char* format, ...) __attribute__((format(printf, 2, 3)));
[[noreturn]] void l_fail(int line, const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  MSG_INTERNAL_ERROR::report(buffer, "VELMO", "velmo_expert", line);
}

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_expert", line);
}

const WUMP_DIE_INFO* l_die_info() {
  const DEV_DIE_INFO* die = PEXA_UTILITY::get_current_device()->get_die_info();
  const WUMP_DIE_INFO* wump = die ? die->get_wump_die_info() : nullptr;
  if (wump == nullptr) l_internal_error("di", __LINE__);
  return wump;
}

// The top-level routing gid of a terminal: its one type-1 port-map entry,
// converted through the routing/bundle utility.
template <class TERM> unsigned l_top_level_gid(const TERM* term, const WUMP_DIE_INFO* die) {
  GESK_BUNDLE* bundle = GESK_BUNDLE_SINGLETON::get_bundle();
  if (bundle == nullptr) l_internal_error("bundle != NULL", __LINE__);
  const std::vector<W3J3_PORT_MAP_ENTRY> ihc_jev_port_ids =
      bundle->get_port_map_db()->get_port_map_results(W3J3_LOGICAL_PORT_FACTORY::create(term), k_port_map_type);
  if (ihc_jev_port_ids.size() != 1)
    l_internal_error("std::distance(ihc_jev_port_ids.begin(), ihc_jev_port_ids.end()) == 1", __LINE__);
  WUMP_GESK_UTIL* util = zel_dev_obtain_wump_gesk_util(die->get_route_info(), bundle->get_device());
  return util->get_top_level_wump_port_gid(ihc_jev_port_ids.front());
}

// Breadth-first over fan-ins from `start`; the first pipeline-register slot
// taken from the queue is the nearest one. No slot reachable: internal error.
unsigned l_nearest_zota_slot(const WUMP_DIE_INFO* die, unsigned start) {
  std::deque<unsigned> queue{start};
  std::unordered_set<unsigned> visited{start};
  std::vector<unsigned> fanins;
  for (;;) {
    if (queue.empty()) l_internal_error("found", __LINE__);
    const unsigned gid = queue.front();
    queue.pop_front();
    if (ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, gid)) return gid;
    die->get_fanin_gids(gid, fanins);
    for (unsigned f : fanins) {
      if (visited.insert(f).second) queue.push_back(f);
    }
  }
}

std::string l_path(const VOK_ATOM_NODE* atom) { return atom->get_string_hpath(); }

}  // namespace

bool VELMO_EXPERT::final_lutram_check() {
  if (cfg_is_on("velmo_skip_final_lutarm_check", false) || m_env->get_base_family_code() != 46) return true;
  const WUMP_DIE_INFO* die = l_die_info();

  for (VOK_ATOM_NODE* lutram : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!lutram->is_lutram()) continue;
    const VOK_ATOM_ITERM* data_in = lutram->get_input_term_by_type(DB_INPUT_PORT_LUTRAM_DATA_A, 0);
    if (data_in == nullptr) continue;
    const VOK_ATOM_OTERM* source = data_in->get_source(VOK_TRAVERSE_HIERARCHICAL);
    if (source == nullptr) continue;
    const VOK_ATOM_NODE* reg = source->get_my_node();
    if (!ZEL_ZOTA_UTIL::is_ff_atom_a_simple_ff(reg)) continue;

    const std::string reg_path = l_path(reg);
    const std::string lutram_path = l_path(lutram);
    if (reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0) == nullptr)
      l_fail(__LINE__, "Final check failed: data in ff %d - %s of lutram %d - %s has no real driver", reg->get_id(),
             reg_path.c_str(), lutram->get_id(), lutram_path.c_str());
    if (!ZEL_ATOM_UTIL::is_zota_marked_reg(reg))
      l_fail(__LINE__, "Final check failed: data in ff %d - %s of lutram %d - %s is not zota", reg->get_id(),
             reg_path.c_str(), lutram->get_id(), lutram_path.c_str());

    const unsigned location = reg->get_location_gid();
    const DEV_ELEMENT_DESC* dev_desc = die->get_element_desc(location);
    if (dev_desc == nullptr) l_internal_error("dev_desc != NULL", __LINE__);
    if (dev_desc->get_element_enum() != k_leim_zota_kind)
      l_fail(__LINE__, "Final check failed: data in ff %d - %s of lutram %d - %s is placed on %u which is not LEIM zota",
             reg->get_id(), reg_path.c_str(), lutram->get_id(), lutram_path.c_str(), location);

    const unsigned start = l_top_level_gid(data_in, die);
    const bool verbose = cfg_is_on("lutram_zota_debug_verbose", false);
    const unsigned nearest = l_nearest_zota_slot(die, start);
    if (nearest != location)
      l_fail(__LINE__,
             "Final check failed: data in zota %d - %s of lutram %d - %s is not placed in the closest leim zota %u, "
             "but placed at %u",
             reg->get_id(), reg_path.c_str(), lutram->get_id(), lutram_path.c_str(), nearest, location);
    if (verbose)
      msg_vdebug_impl(2, "Final check: verified data in zota %d of lutram %d is placed in the closest leim zota %u",
                      reg->get_id(), lutram->get_id(), nearest);
  }
  return true;
}

namespace {

// A P2C register passes when it sits in the first slot reached over fan-outs
// from the periphery port, or in a later slot fed by the same routing element
// as that first slot.
void l_check_p2c_register(const VOK_ATOM_NODE* reg, const WUMP_DIE_INFO* die, bool verbose) {
  if (!ZEL_ATOM_UTIL::is_zota_marked_reg(reg))
    l_fail(__LINE__, "Final check failed: p2c ff %d - %s is not zota", reg->get_id(), l_path(reg).c_str());
  const unsigned location = reg->get_location_gid();
  const VOK_ATOM_ITERM* din_iterm = reg->get_input_term_by_type(DB_INPUT_PORT_DATA_IN, 0);
  if (din_iterm == nullptr) l_internal_error("din_iterm", __LINE__);
  const VOK_ATOM_OTERM* periphery_oterm = din_iterm->get_source(VOK_TRAVERSE_HIERARCHICAL);
  if (periphery_oterm == nullptr) l_internal_error("periphery_oterm", __LINE__);
  const unsigned start = l_top_level_gid(periphery_oterm, die);
  msg_vdebug_impl(2, "working on p2c node %d", reg->get_id());

  std::deque<unsigned> queue{start};
  std::unordered_set<unsigned> visited{start};
  std::unordered_map<unsigned, unsigned> driven_by;
  bool found_before = false;
  unsigned first_driver = 0;
  std::vector<unsigned> fanouts;
  for (;;) {
    if (queue.empty()) l_internal_error("found", __LINE__);
    const unsigned gid = queue.front();
    queue.pop_front();
    if (ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, gid)) {
      msg_vdebug_impl(2, "found zota %u", gid);
      const unsigned driver = driven_by.count(gid) ? driven_by[gid] : 0xFFFFFFFFu;
      if (!found_before) {
        if (gid == location) {
          if (verbose)
            msg_vdebug_impl(2, "Final check: verified p2c zota %d is placed in the closestzota %u", reg->get_id(),
                            location);
          return;
        }
        first_driver = driver;
        found_before = true;
        msg_vdebug_impl(2, " %u is driven by %u", gid, driver);
      } else if (gid == location) {
        msg_vdebug_impl(2, " -- %u is driven by %u", gid, driver);
        if (driver != first_driver)
          l_fail(__LINE__, "Final check failed: p2c zota %d is not placed in the closest zota, but placed at %u",
                 reg->get_id(), location);
        if (verbose)
          msg_vdebug_impl(2, "Final check: verified p2c zota %d is placed in the closest zota %u", reg->get_id(),
                          location);
        return;
      }
      continue;  // slots are never expanded
    }
    die->get_fanout_gids(gid, fanouts);
    for (unsigned n : fanouts) {
      if (!visited.insert(n).second) continue;
      queue.push_back(n);
      if (ZEL_DEV_ZOTA_UTIL::is_zota_gid(die, n)) driven_by[n] = gid;
    }
  }
}

void l_check_c2p_register(const VOK_ATOM_NODE* reg, const WUMP_DIE_INFO* die, bool verbose) {
  const std::string path = l_path(reg);
  if (!ZEL_ATOM_UTIL::is_zota_marked_reg(reg))
    l_fail(__LINE__, "Final check failed: c2p ff %d - %s is not zota", reg->get_id(), path.c_str());
  const unsigned location = reg->get_location_gid();
  const VOK_ATOM_OTERM* dout_oterm = reg->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  if (dout_oterm == nullptr) l_internal_error("dout_oterm", __LINE__);
  const VOK_ATOM_ITERM* periphery_iterm = dout_oterm->get_first_fanout(VOK_TRAVERSE_HIERARCHICAL) == nullptr
                                              ? nullptr
                                              : dout_oterm->get_only_fanout_or_die(VOK_TRAVERSE_HIERARCHICAL);
  if (periphery_iterm == nullptr) l_internal_error("periphery_iterm", __LINE__);
  const unsigned start = l_top_level_gid(periphery_iterm, die);
  const unsigned nearest = l_nearest_zota_slot(die, start);
  if (nearest != location)
    l_fail(__LINE__, "Final check failed: c2p zota %d - %s is not placed in the closest zota %u, but placed at %u",
           reg->get_id(), path.c_str(), nearest, location);
  if (verbose)
    msg_vdebug_impl(2, "Final check: verified c2p zota %d is placed in the closest zota %u", reg->get_id(), location);
}

}  // namespace

bool VELMO_EXPERT::final_p2c2p_zota_check() {
  if (!cfg_is_on("velmo_run_p2c2p_zota_check", true)) return true;
  R5T_INTERFACE* r5t = R5T_INTERFACE::get_or_create_instance();
  if (r5t == nullptr) l_internal_error("r5t", __LINE__);
  static const bool verbose = cfg_is_on("p2c_zota_debug_verbose", false);

  const PELK key = PELK::intern(4, "P2C_ZOTA");
  const PELK p2c = PELK::intern(4, "P2C");
  const PELK c2p = PELK::intern(4, "C2P");
  const PELK esram_c2p = PELK::intern(4, "UIB_ESRAM_C2P");
  std::vector<const VOK_ATOM_NODE*> p2c_regs;
  std::vector<const VOK_ATOM_NODE*> c2p_regs;
  for (const VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    const PELK value = r5t->get_atom_metadata(atom->get_id(), key);
    if (value.is_null()) continue;
    if (value == p2c) {
      p2c_regs.push_back(atom);
    } else if (value == c2p || value == esram_c2p) {
      c2p_regs.push_back(atom);
    }
  }
  if (p2c_regs.empty() && c2p_regs.empty()) return true;

  const WUMP_DIE_INFO* die = l_die_info();
  for (const VOK_ATOM_NODE* reg : p2c_regs) l_check_p2c_register(reg, die, verbose);
  for (const VOK_ATOM_NODE* reg : c2p_regs) l_check_c2p_register(reg, die, verbose);
  return true;
}
