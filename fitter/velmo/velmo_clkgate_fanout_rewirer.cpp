#include "velmo_clkgate_fanout_rewirer.h"

#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "cfg/cfg.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_die_info.h"
#include "luj/luj_bbox.h"
#include "mem/mem_initializer.h"
#include "msg/msg_internal_error.h"
#include "norbo/norbo_manager.h"
#include "omz/omz_instance_name.h"
#include "omz/omz_option.h"
#include "pelk/pelk_symbol.h"
#include "pexa/pexa_utility.h"
#include "r5t/r5t_interface.h"
#include "velmo_debug.h"
#include "velmo_expert.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_env.h"
#include "wump/wump_die_info.h"
#include "wump/wump_route_objects.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_atom_util.h"
#include "zel/zel_dev_zota_constraint_util.h"
#include "zel/zel_zota_util.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

[[noreturn]] void l_internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_clkgate_fanout_rewirer", line);
}

constexpr int kSectorClockGateAtomType = 1850;
constexpr int kSectorClockRegionType = 7;
constexpr DB_OUTPUT_PORT_TYPE kClockGateOutput = static_cast<DB_OUTPUT_PORT_TYPE>(4541);
constexpr DB_OUTPUT_PORT_TYPE kRegisterOutput = static_cast<DB_OUTPUT_PORT_TYPE>(10);
constexpr DB_INPUT_PORT_TYPE kRegisterDataIn = static_cast<DB_INPUT_PORT_TYPE>(20);
constexpr int kZotaLocationOption = 1179;
constexpr unsigned kIllegalGid = 0xFFFFFFFFu;
constexpr int kMetadataNamespace = 4;

bool l_box_is_valid(const LUJ_BBOX& b) {
  return b.x0() != -1 && b.y0() != -1 && b.x1() != -1 && b.y1() != -1 && b.x0() <= b.x1() && b.y0() <= b.y1();
}

bool l_box_holds(const LUJ_BBOX& b, int x, int y) {
  return x != -1 && y != -1 && b.x0() <= x && x <= b.x1() && b.y0() <= y && y <= b.y1();
}
}  // namespace

// A group of sector clock gates: its members in netlist order (the original
// gate included) and the gate marked as the original.
struct VELMO_CLKGATE_GROUP_INFO {
  std::vector<VOK_ATOM_NODE*> gates;
  VOK_ATOM_NODE* original_gate = nullptr;
};

// A placed location handed over by the host.
struct VELMO_CLKGATE_FANOUT_ATOM_LOCATION {
  int x = 0;
  int y = 0;
};

class VELMO_CLKGATE_FANOUT_REWIRER_IMPL {
public:
  explicit VELMO_CLKGATE_FANOUT_REWIRER_IMPL(WEXAN_ENV* env);
  ~VELMO_CLKGATE_FANOUT_REWIRER_IMPL();
  VELMO_CLKGATE_FANOUT_REWIRER_IMPL(const VELMO_CLKGATE_FANOUT_REWIRER_IMPL&) = delete;
  VELMO_CLKGATE_FANOUT_REWIRER_IMPL& operator=(const VELMO_CLKGATE_FANOUT_REWIRER_IMPL&) = delete;

  int work();
  void set_atom_location(int atom_id, int x, int y) { m_atom_locations[atom_id] = {x, y}; }
  void free_all_atom_locations() { m_atom_locations.clear(); }

  void extract_clkgate_group_info();
  int perform_fanout_rewiring();
  // The placement id of a pipeline register's location assignment, -1 when
  // it has none.
  int get_zota_locked_location(const VOK_ATOM_NODE* atom) const;
  // The first atom with a recorded location reached from a pipeline register
  // through pipeline registers, forward first, then backward; null when none.
  VOK_ATOM_NODE* get_core_atom_connected_to_zota(VOK_ATOM_NODE* atom) const;

private:
  void rewire_gate(const VELMO_CLKGATE_GROUP_INFO& group, VOK_ATOM_NODE* gate, bool& rewired);
  bool locate_fanout(VOK_ATOM_NODE* fanout, const ZOTA::UTIL& zota_util, int& x, int& y);
  void dump_netlist(const char* name) const;

  std::map<int, VELMO_CLKGATE_GROUP_INFO> m_groups;
  std::map<int, LUJ_BBOX> m_gate_bboxes;
  WEXAN_ENV* m_env;
  std::map<int, VELMO_CLKGATE_FANOUT_ATOM_LOCATION> m_atom_locations;
  bool m_debug;
  bool m_all_data_ready;
  const WUMP_ROUTE_INFO* m_route_info;
  const WUMP_PLACE_INFO* m_place_info;
  const WUMP_DIE_INFO* m_die_info;
};

VELMO_CLKGATE_FANOUT_REWIRER_IMPL::VELMO_CLKGATE_FANOUT_REWIRER_IMPL(WEXAN_ENV* env)
    : m_env(env),
      m_debug(cfg_is_on("velmo_clkgate_fanout_rewirer_debug_verbose", false)),
      m_all_data_ready(false),
      m_route_info(nullptr),
      m_place_info(nullptr),
      m_die_info(nullptr) {
  const DEV_DEVICE* dev_device = PEXA_UTILITY::get_current_device();
  if (dev_device == nullptr) l_internal_error("dev_device != NULL", __LINE__);
  DEV_DIE_INFO* dev_die_info = dev_device->get_die_info();
  if (dev_die_info == nullptr) l_internal_error("dev_die_info != NULL", __LINE__);
  m_die_info = dev_die_info->get_wump_die_info();
  if (m_die_info == nullptr) l_internal_error("m_die_info != NULL", __LINE__);
  m_place_info = m_die_info->get_place_info();
  if (m_place_info == nullptr) l_internal_error("m_place_info != NULL", __LINE__);
  m_route_info = m_die_info->get_route_info();
  if (m_route_info == nullptr) l_internal_error("m_route_info != NULL", __LINE__);
}

VELMO_CLKGATE_FANOUT_REWIRER_IMPL::~VELMO_CLKGATE_FANOUT_REWIRER_IMPL() { m_env = nullptr; }

int VELMO_CLKGATE_FANOUT_REWIRER_IMPL::work() {
  VELMO_SCOPED_PROFILE_BIN bin("Sector Level Clock Gating Fanout Rewiring", "VPR - Other");
  extract_clkgate_group_info();
  return perform_fanout_rewiring();
}

void VELMO_CLKGATE_FANOUT_REWIRER_IMPL::extract_clkgate_group_info() {
  std::vector<LUJ_BBOX> boxes;
  for (const WUMP_CLOCK_REGION& region :
       m_place_info->get_clock_region_info()->get_clock_region_list(kSectorClockRegionType)) {
    WUMP_POINT ll = region.get_lower_left_corner();
    WUMP_POINT ur = region.get_upper_right_corner();
    boxes.emplace_back(ll.x, ll.y, ur.x, ur.y);
  }

  R5T_INTERFACE* r5t = R5T_INTERFACE::get_instance();
  const PELK group_key = PELK::intern(kMetadataNamespace, "SECTOR_LEVEL_CLK_GATE_GROUP");
  const PELK gate_key = PELK::intern(kMetadataNamespace, "SECTOR_LEVEL_CLK_GATE");
  const PELK original = PELK::intern(kMetadataNamespace, "ORIGINAL");
  for (VOK_ATOM_NODE* atom : m_env->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (atom->get_atom_type() != kSectorClockGateAtomType) continue;
    PELK group_value = r5t->get_atom_metadata(atom->get_id(), group_key);
    if (group_value.is_null()) continue;
    const int group_number = static_cast<int>(std::strtol(group_value.cname(), nullptr, 10));
    VELMO_CLKGATE_GROUP_INFO& group = m_groups[group_number];
    if (r5t->get_atom_metadata(atom->get_id(), gate_key) == original) group.original_gate = atom;
    group.gates.push_back(atom);

    const int location_gid = atom->get_location_index();
    if (static_cast<unsigned>(location_gid) == kIllegalGid)
      l_internal_error("location_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
    auto place_block = m_place_info->get_place_block(static_cast<unsigned>(location_gid));
    if (!place_block) l_internal_error("place_block", __LINE__);
    for (const LUJ_BBOX& box : boxes)
      if (l_box_is_valid(box) && l_box_holds(box, place_block->get_x(), place_block->get_y()))
        m_gate_bboxes[atom->get_id()] = box;
  }

  if (m_debug) {
    msg_vdebug_impl(2, "PELLAM clkgate fanout rewirer: Extract_clkgate_group_info...");
    for (const auto& [number, group] : m_groups) {
      auto box_text = [this](const VOK_ATOM_NODE* gate) {
        auto it = gate ? m_gate_bboxes.find(gate->get_id()) : m_gate_bboxes.end();
        return it == m_gate_bboxes.end() ? LUJ_BBOX().describe() : it->second.describe();
      };
      msg_vdebug_impl(2, " group %d with original gate id %d with bbox %s", number,
                      group.original_gate ? group.original_gate->get_id() : -1,
                      box_text(group.original_gate).c_str());
      for (const VOK_ATOM_NODE* gate : group.gates)
        msg_vdebug_impl(2, "    %d with bbox %s", gate->get_id(), box_text(gate).c_str());
    }
  }
  m_all_data_ready = true;
}

int VELMO_CLKGATE_FANOUT_REWIRER_IMPL::perform_fanout_rewiring() {
  if (!m_all_data_ready) l_internal_error("m_all_data_ready", __LINE__);
  if (m_debug) dump_netlist("atom_netlist.before_ky_clkgate_fanout_rewiring");
  bool rewired = false;
  for (const auto& [number, group] : m_groups) {
    const VELMO_CLKGATE_GROUP_INFO snapshot = group;
    // The original gate first, then every member (the original once more).
    // A group without an original gate has only its members visited.
    if (snapshot.original_gate != nullptr) rewire_gate(snapshot, snapshot.original_gate, rewired);
    for (VOK_ATOM_NODE* gate : snapshot.gates) rewire_gate(snapshot, gate, rewired);
  }
  if (rewired) norbo_rewire_spine_tap_to_sector_level_clk_gate(m_env->get_chip_db_entry());
  if (m_debug) dump_netlist("atom_netlist.after_ky_clkgate_fanout_rewiring");
  return rewired ? 1 : 0;
}

void VELMO_CLKGATE_FANOUT_REWIRER_IMPL::dump_netlist(const char* name) const {
  ZEL_ATOM_DUMPER dumper(m_env->get_chip_db_entry());
  dumper.dump_current_atom_netlist(name, true);
}

int VELMO_CLKGATE_FANOUT_REWIRER_IMPL::get_zota_locked_location(const VOK_ATOM_NODE* atom) const {
  VOK_ATOM_OTERM* out = atom->get_output_term_by_type(kRegisterOutput, 0);
  if (out == nullptr) return -1;
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(
      atom->get_instance_name() ? atom->get_instance_name()->path() : std::string(), kZotaLocationOption, false);
  if (option == nullptr || option->get_value_str().empty()) return -1;
  ZEL_DEV_ZOTA_CONSTRAINT_UTIL constraint_util(PEXA_UTILITY::get_current_device()->get_device_enum(), true);
  const unsigned gid = constraint_util.translate_location_string_to_gid(option->get_value_str());
  return gid == kIllegalGid ? -1 : static_cast<int>(gid);
}

VOK_ATOM_NODE* VELMO_CLKGATE_FANOUT_REWIRER_IMPL::get_core_atom_connected_to_zota(VOK_ATOM_NODE* atom) const {
  // Forward: the first fanout of each pipeline register's output, until an
  // atom that is not one. A ring of pipeline registers ends the walk.
  std::set<int> visited;
  VOK_ATOM_NODE* current = atom;
  while (current != nullptr && ZEL_ATOM_UTIL::is_zota_marked_reg(current) && visited.insert(current->get_id()).second) {
    VOK_ATOM_OTERM* out = current->get_output_term_by_type(kRegisterOutput, 0);
    VOK_ATOM_ITERM* first = nullptr;
    if (out != nullptr)
      for (VOK_ATOM_ITERM* iterm : out->fanout(VOK_TRAVERSE_HIERARCHICAL)) {
        first = iterm;
        break;
      }
    current = first ? first->get_my_node() : nullptr;
  }
  if (current != nullptr && !ZEL_ATOM_UTIL::is_zota_marked_reg(current) &&
      m_atom_locations.count(current->get_id()))
    return current;

  // Backward: the source of each pipeline register's data input.
  visited.clear();
  current = atom;
  while (current != nullptr && ZEL_ATOM_UTIL::is_zota_marked_reg(current) && visited.insert(current->get_id()).second) {
    VOK_ATOM_ITERM* in = current->get_input_term_by_type(kRegisterDataIn, 0);
    VOK_ATOM_OTERM* source = in ? in->get_source(VOK_TRAVERSE_HIERARCHICAL) : nullptr;
    current = source ? source->get_my_node() : nullptr;
  }
  if (current != nullptr && !ZEL_ATOM_UTIL::is_zota_marked_reg(current) &&
      m_atom_locations.count(current->get_id()))
    return current;
  return nullptr;
}

bool VELMO_CLKGATE_FANOUT_REWIRER_IMPL::locate_fanout(VOK_ATOM_NODE* fanout, const ZOTA::UTIL& zota_util, int& x,
                                                      int& y) {
  if (ZEL_ATOM_UTIL::is_zota_marked_reg(fanout)) {
    const int locked = get_zota_locked_location(fanout);
    if (locked != -1) {
      const unsigned spine_tap_gid =
          zota_util.get_any_clk_re_gid_for_zota(static_cast<unsigned>(locked), std::vector<int>{318}, 10);
      if (spine_tap_gid == kIllegalGid) l_internal_error("spine_tap_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
      const WUMP_ROUTE_ELEMENT* element = m_route_info->get_element_by_gid(spine_tap_gid);
      if (element == nullptr) l_internal_error("spine_tap_gid != DEV_ILLEGAL_GLOBAL_ID", __LINE__);
      x = element->get_x();
      y = element->get_y();
      return true;
    }
    VOK_ATOM_NODE* core = get_core_atom_connected_to_zota(fanout);
    if (core == nullptr) {
      msg_vdebug_impl(2, "Not rewiring ZOTA atom %d", fanout->get_id());
      return false;
    }
    const VELMO_CLKGATE_FANOUT_ATOM_LOCATION& loc = m_atom_locations[core->get_id()];
    x = loc.x;
    y = loc.y;
    return true;
  }
  auto it = m_atom_locations.find(fanout->get_id());
  if (it == m_atom_locations.end()) {
    // Without a placed location the fanout's region is unknown; taking it as
    // the origin would move it to whichever gate covers (0, 0).
    msg_vdebug_impl(2, "Not rewiring atom %d without a recorded location", fanout->get_id());
    return false;
  }
  x = it->second.x;
  y = it->second.y;
  return true;
}

void VELMO_CLKGATE_FANOUT_REWIRER_IMPL::rewire_gate(const VELMO_CLKGATE_GROUP_INFO& group, VOK_ATOM_NODE* gate,
                                                    bool& rewired) {
  VOK_ATOM_OTERM* gate_out = gate->get_output_term_by_type(kClockGateOutput, 0);
  if (gate_out == nullptr) return;
  std::vector<VOK_ATOM_ITERM*> fanouts;
  for (VOK_ATOM_ITERM* iterm : gate_out->fanout(VOK_TRAVERSE_HIERARCHICAL)) fanouts.push_back(iterm);

  ZOTA::UTIL zota_util(PEXA_UTILITY::get_current_device());
  WEXAN_DESIGN* design = m_env->get_design();
  for (VOK_ATOM_ITERM* fanout_iterm : fanouts) {
    VOK_ATOM_NODE* fanout = fanout_iterm->get_my_node();
    if (ZEL_ATOM_UTIL::must_be_in_periphery(fanout->get_basic_type()) || ZEL_ATOM_UTIL::is_periphery_ff(fanout))
      continue;
    int x = 0;
    int y = 0;
    if (!locate_fanout(fanout, zota_util, x, y)) continue;

    auto own = m_gate_bboxes.find(gate->get_id());
    if (own == m_gate_bboxes.end()) l_internal_error("m_gate_bboxes.count(gate->get_id())", __LINE__);
    if (l_box_is_valid(own->second) && l_box_holds(own->second, x, y)) {
      if (m_debug)
        msg_vdebug_impl(2, "fanout %d placed in (%d, %d) is already in the correct spot", fanout->get_id(), x, y);
      continue;
    }
    bool moved = false;
    for (VOK_ATOM_NODE* other : group.gates) {
      auto box = m_gate_bboxes.find(other->get_id());
      if (box == m_gate_bboxes.end()) l_internal_error("m_gate_bboxes.count(gate->get_id())", __LINE__);
      if (!l_box_is_valid(box->second) || !l_box_holds(box->second, x, y)) continue;
      design->break_connection_between_iterm_and_oterm(gate_out, fanout_iterm);
      design->insert_fanout(fanout_iterm, other->get_output_term_by_type(kClockGateOutput, 0));
      rewired = true;
      moved = true;
      if (m_debug)
        msg_vdebug_impl(2, " rewire atom %d from gate %d to gate %d", fanout->get_id(), gate->get_id(),
                        other->get_id());
      break;
    }
    if (!moved) {
      msg_vdebug_impl(2, "fanout %d (%d, %d) is outside of all clkgate fanout bbox", fanout->get_id(), x, y);
      l_internal_error("rewired", __LINE__);
    }
  }
}

VELMO_CLKGATE_FANOUT_REWIRER::VELMO_CLKGATE_FANOUT_REWIRER(WEXAN_ENV* env)
    : m_impl(new VELMO_CLKGATE_FANOUT_REWIRER_IMPL(env)) {}

VELMO_CLKGATE_FANOUT_REWIRER::~VELMO_CLKGATE_FANOUT_REWIRER() {
  delete m_impl;
  m_impl = nullptr;
}

int VELMO_CLKGATE_FANOUT_REWIRER::work() {
  if (m_impl == nullptr) l_internal_error("m_impl", __LINE__);
  return m_impl->work();
}

void VELMO_CLKGATE_FANOUT_REWIRER::set_atom_location(int atom_id, int x, int y) {
  if (m_impl == nullptr) l_internal_error("m_impl", __LINE__);
  m_impl->set_atom_location(atom_id, x, y);
}

void VELMO_CLKGATE_FANOUT_REWIRER::free_all_atom_locations() {
  if (m_impl == nullptr) l_internal_error("m_impl", __LINE__);
  m_impl->free_all_atom_locations();
}
