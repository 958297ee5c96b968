#include "velmo_register_packer_clk_region_callback.h"

#include <list>
#include <string>

#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "jopp/jopp_pr.h"
#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "pexa/pexa_utility.h"
#include "tibex/tibex_location_constraint.h"
#include "vok/vok_chip_db_entry.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_register_packer_clk_region_callback", line);
}

constexpr unsigned kIoPackingSource = 0x200;
constexpr int kRefusedStatus = 8;
constexpr int kSiteParentKind = 162;
constexpr unsigned kIllegalGid = 0xFFFFFFFFu;
}  // namespace

VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK::VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK() {
  WEXAN_ENV* env = WEXAN_ENV::get_env();
  const int family = env->get_internal_family_code();
  if (family == 48 || family == 15) {
    m_use_location_manager = false;
  } else {
    m_use_location_manager = true;
    m_location_manager.initialize_devices(env->get_atom_netlist(), env->get_chip_db_entry()->get_routing(), true, 1);
  }
}

VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK::~VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK() = default;

bool VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK::is_block_packing_feasible(
    const NOLT_REGPACK_CANDIDATE_PAIR& pair) const {
  if (m_use_location_manager) {
    bool ok = m_location_manager.can_pack_atoms(pair.first, pair.second, 0);
    if (ok) m_location_manager.pack_atoms(pair.first, pair.second, 0);
    return ok;
  }
  bool ok = JOPP::can_use_clocks(pair.first, pair.second);
  if (ok) JOPP::use_clocks(pair.first, pair.second);
  return ok;
}

bool VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK::is_ram_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair,
                                                                        NOLT_RP_EXPLANATION*) const {
  return is_block_packing_feasible(pair);
}

bool VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK::is_dsp_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair,
                                                                        NOLT_RP_EXPLANATION*) const {
  return is_block_packing_feasible(pair);
}

bool VELMO_REGISTER_PACKER_CLK_REGION_CALLBACK::is_io_packing_feasible(const NOLT_REGPACK_CANDIDATE_PAIR& pair,
                                                                       NOLT_IO_RP_REGISTER_TYPE,
                                                                       NOLT_RP_EXPLANATION* explanation) const {
  const VOK_ATOM_NODE* reg = pair.first;
  const VOK_ATOM_NODE* io_atom = pair.second;
  if (m_use_location_manager) {
    bool ok = m_location_manager.can_pack_atoms(reg, io_atom, 0);
    if (ok)
      m_location_manager.pack_atoms(reg, io_atom, 0);
    else if (explanation)
      explanation->add_io_explanation(kRefusedStatus, reg, io_atom);
    return ok;
  }

  if (!io_atom->is_io_obuf() && !io_atom->is_io_ibuf())
    l_internal_error("io_atom->is_io_obuf() || io_atom->is_io_ibuf()", __LINE__);
  const bool is_output = io_atom->is_io_obuf();
  const int io_kind = is_output ? 647 : 646;
  const int reg_kind = is_output ? 654 : 653;

  WEXAN_DESIGN* design = WEXAN_ENV::get_env()->get_design();
  TIBEX_LOCATION_CONSTRAINT constraint = design->get_atom_location_constraint(io_atom->get_id());
  if (!constraint.has_locked_constraint(kIoPackingSource)) return true;
  TIBEX_LOCKED_CONSTRAINT io_loc_locked = constraint.get_locked_constraint(kIoPackingSource);
  if (!io_loc_locked.is_specified_exactly()) l_internal_error("io_loc_locked.is_specified_exactly()", __LINE__);

  const WUMP_PLACE_INFO* place_info =
      PEXA_UTILITY::get_current_device()->get_die_info()->get_wump_die_info()->get_place_info();
  const int x = io_loc_locked.get_x();
  const int y = io_loc_locked.get_y();
  const unsigned io_gid = place_info->get_global_id(io_kind, x, y, io_loc_locked.get_sub_location());
  unsigned io_parent = kIllegalGid;
  if (auto block = place_info->get_place_block(io_gid)) {
    unsigned p = block->get_parent_global_id();
    if (auto parent = place_info->get_place_block(p); parent && parent->get_element_enum() == kSiteParentKind)
      io_parent = p;
  }

  unsigned target_gid = kIllegalGid;
  for (unsigned gid : place_info->get_global_ids_at(x, y)) {
    auto block = place_info->get_place_block(gid);
    if (!block || block->get_element_enum() != reg_kind) continue;
    if (block->get_parent_global_id() != io_parent) continue;
    if (target_gid != kIllegalGid) l_internal_error("target_gid == DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    target_gid = gid;
  }
  if (target_gid == kIllegalGid) l_internal_error("target_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);

  std::list<std::string> messages;
  if (JOPP::can_use_clocks(reg, target_gid, io_atom, &messages)) {
    JOPP::use_clocks(reg, target_gid);
    return true;
  }
  if (explanation) {
    explanation->add_io_explanation(kRefusedStatus, reg, io_atom);
    explanation->io_set_submessages(messages);
  }
  return false;
}
