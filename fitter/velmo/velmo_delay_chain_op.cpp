#include "velmo_delay_chain_op.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_family.h"
#include "dev/dev_pad.h"
#include "gen/gen_profile.h"
#include "hov/hov_utility.h"
#include "kem/kem_netlist.h"
#include "mem/mem_segment.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_utilities.h"
#include "omz/omz_instance_name.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "tibex/tibex_location_constraint.h"
#include "twy/twy_translator.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_debug.h"
#include "velmo_main.h"
#include "velmo_msgs.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_msgr.h"
#include "wexan/wexan_utilities.h"
#include "zav/zav_delay_model.h"
#include "zel/zel_atom_dumper.h"
#include "zel/zel_delay_chain_util.h"

namespace {

[[noreturn]] void internal_error(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_delay_chain_op", line);
}

// Read once when the library is loaded.
const bool l_enable_m10_io_delay_chain = cfg_is_on("enable_m10_io_delay_chain", true);

// The chain arrays of the current family as the delay-chain utility hands
// them out; replaced by every construction.
const YOS_UINT_DATA_ENUM* velmo_user_delay_types = nullptr;
const YOS_UINT_DATA_ENUM* velmo_auto_delay_types = nullptr;

bool s_banner_printed = false;

constexpr unsigned kNoFineChain = 0xFFFFFFFFu;
constexpr std::uint32_t kUnplaced = 0xFFFFFFFFu;
constexpr unsigned kUserConstraint = 0x80;
constexpr int kAtomModDelayChain = 24;
constexpr int kAssignmentConsumed = 14;

std::string pin_name(const VOK_ATOM_NODE* atom) {
  const OMZ_INSTANCE_NAME* name = atom ? atom->get_instance_name() : nullptr;
  return name ? name->get_short_hpath(OMZ_HPATH_FORMAT_SHORT) : std::string();
}

bool dev_item(const DEV_BASIC_INFO* info, int item) { return info->is_valid_bool_data(item) && info->get_bool_data(item); }

// Closes the dispatcher's bin on every way out.
struct BIN_GUARD {
  explicit BIN_GUARD(const char* name) : m_name(name) {
    GEN_PROFILE_BINS::open_with_tag(nullptr, name, 0x7FFFFFFF, "VELMO");
  }
  ~BIN_GUARD() { GEN_PROFILE_BINS::close(m_name); }
  const char* m_name;
};

}  // namespace

// ---- names and ordering

const char* velmo_get_delay_chain_string(YOS_UINT_DATA_ENUM type) {
  switch (static_cast<int>(type)) {
    case 12: return "Pad to Core 0";
    case 13: return "Pad to Core 1";
    case 14: return "TCO Chain";
    case 15: return "Pad to Input Register";
    case 16: return "TCOE Chain";
    case 17: return "DQS Local Clock Delay Chain";
    case 18: return "NDQS Local Clock Delay Chain";
    case 19: return "DQS Out Delay Chain";
    case 144: return "D1 Delay Chain";
    case 145: return "D2 Delay Chain";
    case 146: return "D3_0 Delay Chain";
    case 147: return "D3_1 Delay Chain 1";
    case 148: return "T4 (DDIO_MUX) Delay Chain";
    case 149: return "D4 Delay Chain";
    case 150: return "T8_0 (DQS) Delay Chain";
    case 151: return "T8_1 (NDQS) Delay Chain";
    case 152: return "D5 Delay Chain";
    case 153: return "D6 Delay Chain";
    case 154: return "D5_OCT Delay Chain";
    case 155: return "D6_OCT Delay Chain";
    case 156: return "T11 (Postamble) Delay Chain";
    case 157: return "T11_0 (Postamble Gating) Delay Chain";
    case 158: return "T11_1 (Postamble Ungating) Delay Chain";
    case 294: return "Pad to Input Register";
    case 295: return "DQS Enable Delay Chain";
    case 296: return "Pad to DDIO Register";
    case 298: return "D5_OE Delay Chain";
    case 299: return "D6_OE Delay Chain";
    case 300: return "D1 Fine Delay Chain";
    case 301: return "D6 Fine Delay Chain";
    case 302: return "T11 (Postamble) Fine Delay Chain";
    case 303: return "D6_OE Fine Delay Chain";
    case 304: return "D4 Fine Delay Chain";
    case 305: return "D5 Fine Delay Chain";
    // The chains of the newer I/O atoms and the PLL pseudo types, which the
    // supported families use.
    case 414: return "PLL Delay Chain 0";
    case 415: return "PLL Delay Chain 1";
    case 416: return "PLL Delay Chain 2";
    case 417: return "PLL Delay Chain 3";
    case 418: return "PLL Phase Shift";
    case 430: return "Output Delay Chain";
    case 431: return "Output Enable Delay Chain";
    case 446: return "Input Delay Chain 0";
    case 447: return "Input Delay Chain 1";
    case 448: return "Input Delay Chain 2 (12-Lane)";
    case 449: return "Input Delay Chain 3";
    default: return "Illegal";
  }
}

int translate_delay_type_priority(YOS_UINT_DATA_ENUM type) {
  switch (static_cast<int>(type)) {
    case 146: return 141;
    case 147: return 142;
    case 145: return 143;
    default: return static_cast<int>(type);
  }
}

bool VELMO_SLACK_KEY::operator<(const VELMO_SLACK_KEY& other) const {
  const auto a = static_cast<std::uint32_t>(atom->get_id());
  const auto b = static_cast<std::uint32_t>(other.atom->get_id());
  if (a != b) return a < b;
  return translate_delay_type_priority(type) < translate_delay_type_priority(other.type);
}

// ---- construction and destruction

VELMO_DELAY_CHAIN_OP::VELMO_DELAY_CHAIN_OP(WEXAN_ENV* env) : m_env(env) {
  // An internal error leaves the constructor without the destructor running.
  try {
    construct();
  } catch (...) {
    release();
    throw;
  }
}

void VELMO_DELAY_CHAIN_OP::construct() {
  m_msgr = new WEXAN_MSGR(m_env);
  const DEV_DEVICE* device = PEXA_UTILITY::get_current_device();
  m_dev_basic_info = device ? device->get_basic_info() : nullptr;
  if (m_dev_basic_info == nullptr) internal_error("m_dev_basic_info != NULL", __LINE__);
  m_family = m_dev_basic_info->get_family_enum();
  m_base_family = DEV_FAMILY_MANAGER().get_base_family_enum(m_family);

  auto set_flag = [this](int bit, bool on) {
    if (on) m_flags = static_cast<std::uint8_t>(m_flags | (1u << bit));
  };
  set_flag(5, m_dev_basic_info->is_valid_bool_data(154) && m_dev_basic_info->get_bool_data(154));
  set_flag(6, cfg_is_on("velmo_auto_pll_delay_chain", false));
  set_flag(7, cfg_is_on("velmo_auto_pll_phase_shift", false));

  yos_init_for(m_family);
  m_yos = yos_current_interface();

  if (ZEL_ATOM_IO::is_available(m_base_family)) {
    m_zel_atom_io_util = ZEL_ATOM_IO::create_util(MEM_SEGMENT::get_default(), m_base_family, false);
    if (m_zel_atom_io_util == nullptr) internal_error("m_zel_atom_io_util != NULL", __LINE__);
  }
  m_body = new NOLT_DELAY_CHAIN_UTIL_BODY(m_family);
  m_util = ZEL_DELAY_CHAIN_UTIL::create_util(MEM_SEGMENT::get_default(), m_family);
  velmo_user_delay_types = m_util->get_user_delay_types();
  velmo_auto_delay_types = m_util->get_auto_delay_types();

  init_bool_atom_is_dqs_vec();
  m_env->get_atom_mod_drc()->refresh_if_necessary(nullptr);

  set_flag(1, cfg_is_on("velmo_print_auto_delay_chain_debug_msg", false));
  set_flag(0, dev_item(m_dev_basic_info, 77));
  set_flag(2, dev_item(m_dev_basic_info, 105));
  set_flag(3, dev_item(m_dev_basic_info, 114));
  set_flag(4, dev_item(m_dev_basic_info, 119));

  // Type 15 and the pair 294/296 are alternatives: flag 4 picks the pair.
  auto skipped = [this](YOS_UINT_DATA_ENUM t) {
    const int v = static_cast<int>(t);
    return get_flag(4) ? v == 15 : (v == 294 || v == 296);
  };
  auto supported = [this](YOS_UINT_DATA_ENUM t) {
    return dev_item(m_dev_basic_info, ZEL_ATOM_IO::get_delay_chain_dev_bool_enum(t));
  };
  for (int i = 0; i < m_util->get_num_user_delay_types(); ++i) {
    const YOS_UINT_DATA_ENUM t = velmo_user_delay_types[i];
    if (skipped(t) || !supported(t)) continue;
    m_user_types.push_back(t);
    m_all_types.push_back(t);
  }
  const bool two_pad_to_core = ZEL_ATOM_IO::get_max_pad_to_core_delay_chains(m_family) >= 2;
  for (int i = 0; i < m_util->get_num_auto_delay_types(); ++i) {
    const YOS_UINT_DATA_ENUM t = velmo_auto_delay_types[i];
    if (skipped(t)) continue;
    bool keep = supported(t) && (static_cast<int>(t) != 13 || two_pad_to_core);
    if (!keep) keep = m_body->is_fake_pll_enum(t);
    if (!keep) continue;
    m_auto_types.push_back(t);
    if (std::find(m_all_types.begin(), m_all_types.end(), t) == m_all_types.end()) m_all_types.push_back(t);
  }
}

VELMO_DELAY_CHAIN_OP::~VELMO_DELAY_CHAIN_OP() { release(); }

void VELMO_DELAY_CHAIN_OP::release() {
  delete m_zel_atom_io_util;
  m_zel_atom_io_util = nullptr;
  delete m_msgr;
  m_msgr = nullptr;
  delete m_body;
  m_body = nullptr;
  delete m_util;
  m_util = nullptr;
  for (DELAY_CHAIN_INFO_VEC_ELEMENT* info : m_chain_info) {
    for (DELAY_CHAIN_VALUE_VEC_ELEMENT* v : info->values) delete v;
    delete info;
  }
  m_chain_info.clear();
  delete_slack_info_map();
  m_slack_map.clear();
  m_pll_delay_chain_edges.clear();
  m_pll_phase_shift_edges.clear();
}

// ---- the dispatcher

bool VELMO_DELAY_CHAIN_OP::work(DELAY_CHAIN_STEP step) {
  BIN_GUARD bin("Delay Chain Operations");
  if (static_cast<int>(m_family) == 46 && !l_enable_m10_io_delay_chain) {
    velmo_print_hack_notice(s_banner_printed, __FILE__, __LINE__, 218462u, "Pellam Delay Chain Support");
    return true;
  }
  if (static_cast<int>(step) < 0 || static_cast<int>(step) > 9) internal_error("Delay Chain step not defined", __LINE__);
  const bool result = run_step(step);
  m_msgr->post();
  msg_vdebug_impl(2, "%s", result ? "            * SUCCESS *" : "            !!!FAILED!!!");
  return result;
}

// Steps without a result of their own (4, 6, 9, and 7 and 8 on a device
// without the automatic chains) answer true.
bool VELMO_DELAY_CHAIN_OP::run_step(DELAY_CHAIN_STEP step) {
  const bool auto_items = dev_item(m_dev_basic_info, 53);
  switch (step) {
    case READ_USER_INFO:
    case READ_USER_INFO_WITH_MESSAGES:
      msg_vdebug_impl(2, "        performing:  Read User Info........");
      return read_user_setting(step == READ_USER_INFO_WITH_MESSAGES);
    case VALIDATE_CHAIN_INFO: {
      const bool ok = validate_chain_to_itself(false);
      msg_vdebug_impl(2, "        performing:  Validate Chain Info........");
      return ok;
    }
    case VALIDATE_TO_OTHER_ASSIGNMENTS: {
      const bool ok = validate_chain_to_others(false);
      msg_vdebug_impl(2, "        performing:  Validate to Other Assignments........");
      return ok;
    }
    case PACKAGE_SKEW_COMPENSATION: {
      const int f = static_cast<int>(m_family);
      if ((f == 7 || f == 37 || f == 62) && !cfg_is_on("velmo_bypass_package_skew_compensation", false))
        perform_package_skew_compensation();
      return true;
    }
    case NETLIST_FLOW_LEGALITY_CHECK:
      msg_vdebug_impl(2, "        performing:  Netlist Flow Legality Check........");
      return do_netlist_flow_legality_check();
    case SET_PLL_BASIC_DELAY_CHAINS: {
      const int f = static_cast<int>(m_family);
      // Consulted for these families; the settings it guards are the host's.
      if (f == 8 || f == 9 || f == 19 || f == 59) (void)cfg_is_on("velmo_set_pll_basic_delay_chains", true);
      return true;
    }
    case AUTO_DELAY_CHAIN:
      if (!auto_items) {
          return true;
      } else {
        init_bool_atom_is_dqs_vec();
        VELMO_AUTO_DELAY_CHAIN_OP pass(m_env, this);
        return pass.work_new();
      }
    case ESTIMATE_TIMING_DELAY_CHAIN:
      if (!auto_items) {
          return true;
      }
      return resolve_using_estimate_timing();
    case DUMP_ATOMS:
      dump_atoms();
      return true;
  }
  return true;
}

bool velmo_auto_delay_chain_work(WEXAN_ENV* env) {
  VELMO_DELAY_CHAIN_OP op(env);
  return op.work(VELMO_DELAY_CHAIN_OP::AUTO_DELAY_CHAIN);
}


bool VELMO_DELAY_CHAIN_OP::perform_package_skew_compensation() { return true; }

void VELMO_DELAY_CHAIN_OP::dump_atoms() {
  msg_vdebug_impl(2, "Begin Dumping atoms");
  ZEL_ATOM_DUMPER dumper(m_env->get_chip_db_entry());
  const std::string path = m_env->get_cmp()->get_project_name() + ".dly";
  dumper.dump_current_atom_netlist(path, true);
  msg_vdebug_impl(2, "End Dumping atoms");
}

// ---- chain services

bool VELMO_DELAY_CHAIN_OP::set_delay_chain(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, int setting) {
  if (m_body->is_fake_pll_enum(type))
    return m_body->set_delay_chain_time_value_on_atom(atom, m_body->convert_fake_uint_enum_to_time_enum(type),
                                                     static_cast<unsigned>(setting));
  return m_body->set_delay_chain_setting(atom, type, static_cast<unsigned>(setting));
}

unsigned VELMO_DELAY_CHAIN_OP::get_delay_chain_setting(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const {
  if (m_body->is_fake_pll_enum(type))
    return m_body->get_delay_chain_setting_for_time_data(atom, m_body->convert_fake_uint_enum_to_time_enum(type));
  return m_body->get_delay_chain_setting_of_atom(atom, type);
}

// The PLL pseudo types never count as pin chains; every other chain is asked
// of the I/O atom utility, and counts as used on a family without one.
bool VELMO_DELAY_CHAIN_OP::is_delay_chain_used(YOS_UINT_DATA_ENUM type, const VOK_ATOM_NODE* atom, bool) const {
  const int t = static_cast<int>(type);
  if (t >= 414 && t <= 418) return false;
  if (m_zel_atom_io_util == nullptr) return true;
  return m_zel_atom_io_util->is_delay_chain_used_on_atom(atom, type, false);
}

int VELMO_DELAY_CHAIN_OP::translate_delay_type(YOS_UINT_DATA_ENUM type) const {
  return m_body->translate_delay_chain_from_yos_to_zav(type);
}

unsigned VELMO_DELAY_CHAIN_OP::translate_delay_value(unsigned setting) const {
  return m_body->translate_delay_value(setting);
}

DELAY_CHAIN_VALUE_VEC_ELEMENT* VELMO_DELAY_CHAIN_OP::set_delay_value(YOS_UINT_DATA_ENUM type, unsigned setting) const {
  const ZAV_ROOT_NODE* root = PEXA_UTILITY::retrieve_zav_root_node(false);
  const int zav_type = translate_delay_type(type);
  const unsigned zav_value = translate_delay_value(setting);
  auto* v = new DELAY_CHAIN_VALUE_VEC_ELEMENT;
  v->setting = setting;
  if (root->get_delay(zav_type, setting, 8, 46) == ZAV_ILLEGAL_DELAY) {
    v->horizontal_delay = static_cast<std::uint32_t>(root->get_delay_by_value(zav_type, zav_value, 8, 46));
    v->other_delay = static_cast<std::uint32_t>(root->get_delay_by_value(zav_type, zav_value, 8, 47));
  } else {
    v->horizontal_delay = static_cast<std::uint32_t>(root->get_delay(zav_type, setting, 8, 46));
    v->other_delay = static_cast<std::uint32_t>(root->get_delay(zav_type, setting, 8, 47));
  }
  return v;
}

std::vector<DELAY_CHAIN_VALUE_VEC_ELEMENT*> VELMO_DELAY_CHAIN_OP::create_delay_chain_value_vec_element(
    YOS_UINT_DATA_ENUM type) const {
  std::vector<DELAY_CHAIN_VALUE_VEC_ELEMENT*> out;
  const unsigned max = m_body->get_max_setting(type);
  const bool fine = m_util->has_fine_delay_chain(type) &&
                    static_cast<unsigned>(m_util->get_fine_delay_chain(type)) != kNoFineChain;
  if (!fine) {
    for (unsigned s = 0; s <= max; ++s) out.push_back(set_delay_value(type, s));
    return out;
  }
  const YOS_UINT_DATA_ENUM fine_type = m_util->get_fine_delay_chain(type);
  const unsigned fine_max = m_body->get_max_setting(fine_type);
  for (unsigned c = 0; c <= max; ++c) {
    for (unsigned f = 0; f <= fine_max; ++f) {
      DELAY_CHAIN_VALUE_VEC_ELEMENT* coarse = set_delay_value(type, c);
      DELAY_CHAIN_VALUE_VEC_ELEMENT* part = set_delay_value(fine_type, f);
      coarse->other_delay += part->other_delay;
      coarse->horizontal_delay += part->horizontal_delay;
      coarse->setting = c * (fine_max + 1) + f;
      delete part;
      out.push_back(coarse);
    }
  }
  return out;
}

DELAY_CHAIN_INFO_VEC_ELEMENT* VELMO_DELAY_CHAIN_OP::create_delay_chain_info_vec_element(YOS_UINT_DATA_ENUM type) const {
  auto* info = new DELAY_CHAIN_INFO_VEC_ELEMENT;
  info->type = type;
  info->values = create_delay_chain_value_vec_element(type);
  return info;
}

void VELMO_DELAY_CHAIN_OP::build_auto_delay_chain_vec() {
  for (YOS_UINT_DATA_ENUM t : m_all_types) {
    if (m_util->is_fine_delay_chain(t)) continue;
    if (m_body->is_fake_pll_enum(t) && (static_cast<int>(t) == 418 || !get_flag(6))) continue;
    m_chain_info.push_back(create_delay_chain_info_vec_element(t));
  }
}

DELAY_CHAIN_INFO_VEC_ELEMENT* VELMO_DELAY_CHAIN_OP::get_delay_chain_info(YOS_UINT_DATA_ENUM type) const {
  for (DELAY_CHAIN_INFO_VEC_ELEMENT* info : m_chain_info)
    if (info->type == type) return info;
  return nullptr;
}

void VELMO_DELAY_CHAIN_OP::init_bool_atom_is_dqs_vec() {
  const int max_id = m_env->get_design()->get_max_atom_id(false);
  const std::size_t n = static_cast<std::size_t>(max_id + 1);
  if (!m_atom_is_dqs.empty() && m_atom_is_dqs.size() == n) return;
  m_atom_is_dqs.assign(n, false);
  VOK_ATOM_NETLIST* netlist = m_env->get_atom_netlist();
  if (netlist == nullptr) return;
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_pin() || !m_util->is_dqs(atom)) continue;
    const auto id = static_cast<std::size_t>(atom->get_id());
    if (id < m_atom_is_dqs.size()) m_atom_is_dqs[id] = true;
  }
}

bool VELMO_DELAY_CHAIN_OP::is_dq(const VOK_ATOM_NODE* atom) const {
  if (atom == nullptr) internal_error("atom != NULL", __LINE__);
  return m_body->is_dq_pin(atom);
}

// An atom made after the bits were built has none: it is not a DQS pin.
bool VELMO_DELAY_CHAIN_OP::is_dqs(const VOK_ATOM_NODE* atom) const {
  if (atom == nullptr) internal_error("atom != NULL", __LINE__);
  const auto id = static_cast<std::size_t>(atom->get_id());
  return id < m_atom_is_dqs.size() && m_atom_is_dqs[id];
}

namespace {
bool pad_is_horizontal(const DEV_PAD* pad) {
  if (pad == nullptr) return false;
  if (pad->is_valid_bool_data(3) && pad->get_bool_data(3)) return true;
  if (pad->is_valid_bool_data(4)) return pad->get_bool_data(4);
  return false;
}
bool pad_is_vertical(const DEV_PAD* pad) {
  return pad != nullptr && (pad->is_valid_bool_data(1) || pad->is_valid_bool_data(2));
}
}  // namespace

// The pad of a placed pin answers; an unplaced pin answers through the
// user's locked constraint: the pad of an exact lock, or whether a region
// touches the device's edge on the axis asked about.
bool VELMO_DELAY_CHAIN_OP::pad_orientation(const VOK_ATOM_NODE* atom, bool horizontal) const {
  bool (*pad_test)(const DEV_PAD*) = horizontal ? pad_is_horizontal : pad_is_vertical;
  if (atom->get_location_gid() != kUnplaced)
    return pad_test(PEXA_UTILITY::get_current_device()->get_pad(atom->get_location_gid()));
  const TIBEX_LOCATION_CONSTRAINT lc = m_env->get_design()->get_atom_location_constraint(atom->get_id());
  if (!lc.has_locked_constraint(kUserConstraint)) return false;
  const TIBEX_LOCKED_CONSTRAINT c = lc.get_locked_constraint(kUserConstraint);
  if (!c.has_constraint()) return false;
  if (c.is_specified_exactly())
    return pad_test(m_env->get_device()->get_pad_from_location(c.get_x(), c.get_y(), c.get_sub_location()));
  if (horizontal) return c.get_xmin() == 0 || c.get_xmax() == m_env->get_device()->get_nx() - 1;
  return c.get_ymin() == 0 || c.get_ymax() == m_env->get_device()->get_ny() - 1;
}

bool VELMO_DELAY_CHAIN_OP::is_horizontal_pad(const VOK_ATOM_NODE* atom) const { return pad_orientation(atom, true); }
bool VELMO_DELAY_CHAIN_OP::is_vertical_pad(const VOK_ATOM_NODE* atom) const { return pad_orientation(atom, false); }

void VELMO_DELAY_CHAIN_OP::delete_slack_info_map() {
  for (auto& [key, info] : m_slack_map) {
    delete info;
    info = nullptr;
  }
}

// ---- user settings

void VELMO_DELAY_CHAIN_OP::set_chain_flag(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, bool value) {
  m_yos->set_bool_data(atom, ZEL_ATOM_IO::get_delay_chain_yos_bool_enum(type), value);
}

bool VELMO_DELAY_CHAIN_OP::is_legal_value_for_chain(YOS_UINT_DATA_ENUM type, unsigned value, bool) const {
  return value <= m_body->get_max_setting(type);
}

bool VELMO_DELAY_CHAIN_OP::is_valid_atom_delay_chain_pair(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const {
  return !m_body->is_fake_pll_enum(type) && atom->is_pin();
}

const DEV_PAD* VELMO_DELAY_CHAIN_OP::locked_exact_pad(const VOK_ATOM_NODE* atom) const {
  const TIBEX_LOCATION_CONSTRAINT lc = m_env->get_design()->get_atom_location_constraint(atom->get_id());
  const TIBEX_LOCKED_CONSTRAINT c = lc.get_locked_constraint(kUserConstraint);
  if (!c.is_specified_exactly()) return nullptr;
  return m_env->get_device()->get_pad_from_location(c.get_x(), c.get_y(), c.get_sub_location());
}

unsigned VELMO_DELAY_CHAIN_OP::get_default_setting(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const {
  return m_util->get_default_delay_chain_setting(atom, type, 0, 0, locked_exact_pad(atom), 0, 0, is_horizontal_pad(atom));
}

bool VELMO_DELAY_CHAIN_OP::has_user_option(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type) const {
  return m_body->has_user_delay_chain_option(atom, type);
}

// A write that fails leaves the chain as it was and fails the assignment.
bool VELMO_DELAY_CHAIN_OP::validate_single_delay_chain_assignment(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type,
                                                                  unsigned value, bool set_when_legal,
                                                                  bool error_mode, bool issue_messages) {
  if (is_legal_value_for_chain(type, value)) {
    if (!set_when_legal) return true;
    if (!set_delay_chain(atom, type, static_cast<int>(value))) return false;
    set_chain_flag(atom, type, true);
    return true;
  }
  if (!error_mode) {
    if (issue_messages) issue_delay_value_warning_message(type, value, atom);
    set_chain_flag(atom, type, false);
    return set_delay_chain(atom, type, static_cast<int>(get_default_setting(atom, type)));
  }
  if (issue_messages) issue_delay_value_error_message(type, value, atom);
  return false;
}

bool VELMO_DELAY_CHAIN_OP::read_user_setting(bool issue_messages) {
  VOK_ATOM_NETLIST* netlist = m_env->get_atom_netlist();
  if (netlist == nullptr) internal_error("atom_netlist != 0", __LINE__);
  for (VOK_ATOM_NODE* atom : netlist->nodes(VOK_TRAVERSE_HIERARCHICAL)) {
    if (!atom->is_pin()) continue;
    const VOK_ATOM_OTERM* oterm = atom->get_output_term_by_type(
        atom->is_io_pad() ? DB_OUTPUT_PORT_PAD_IO : static_cast<DB_OUTPUT_PORT_TYPE>(7), 0);
    if (oterm == nullptr) internal_error("moz_oterm != 0", __LINE__);
    const OMZ_INSTANCE_NAME* iname = atom->get_instance_name();
    if (iname == nullptr) internal_error("iname != 0", __LINE__);
    if (!m_env->get_atom_mod_drc()->atom_mod_allowed_for_operation(atom->get_id(), kAtomModDelayChain, nullptr))
      continue;
    for (YOS_UINT_DATA_ENUM type : m_user_types) {
      const unsigned def = get_default_setting(atom, type);
      const int variable = ZEL_ATOM_IO::get_delay_chain_moz_variable(type);
      const int value_type = moz_get_value_type(variable);
      const OMZ_OPTION* option = nullptr;
      if (value_type == 1 || value_type == 4) option = OMZ_DERIVED_OPTION::get_single_option(iname, variable, true);
      if (option != nullptr) {
        const unsigned value = value_type == 1 ? (option->get_bool_value() ? 1u : 0u)
                                               : static_cast<unsigned>(option->get_value());
        if (validate_single_delay_chain_assignment(atom, type, value, true, false, issue_messages))
          option->get_assignment()->set_flag(kAssignmentConsumed, nullptr);
      } else if (is_delay_chain_used(type, atom)) {
        set_delay_chain(atom, type, static_cast<int>(def));
      }
    }
    m_env->indicate_that_atom_netlist_is_modified(atom->get_id(), false, false);
  }
  return true;
}

bool VELMO_DELAY_CHAIN_OP::validate_chain_to_itself(bool error_mode) {
  WEXAN_DESIGN* design = m_env->get_design();
  if (design == nullptr) internal_error("design != NULL", __LINE__);
  bool ok = true;
  const int max_id = design->get_max_atom_id(false);
  for (int id = 0; id <= max_id; ++id) {
    VOK_ATOM_NODE* atom = design->get_atom_node(id);
    if (atom == nullptr) continue;
    for (YOS_UINT_DATA_ENUM type : m_all_types) {
      if (!is_valid_atom_delay_chain_pair(atom, type) || static_cast<int>(type) == 418) continue;
      if (!validate_single_delay_chain_assignment(atom, type, get_delay_chain_setting(atom, type), false, error_mode,
                                                  true))
        ok = false;
    }
  }
  return ok;
}

bool VELMO_DELAY_CHAIN_OP::validate_chain_to_others(bool error_mode) {
  WEXAN_DESIGN* design = m_env->get_design();
  if (design == nullptr) internal_error("design != NULL", __LINE__);
  const int max_id = design->get_max_atom_id(false);
  bool ok = true;
  for (int id = 0; id <= max_id && ok; ++id) {
    VOK_ATOM_NODE* atom = design->get_atom_node(id);
    if (atom == nullptr) continue;
    if (!m_env->get_atom_mod_drc()->atom_mod_allowed_for_operation(id, kAtomModDelayChain, nullptr)) continue;
    for (YOS_UINT_DATA_ENUM type : m_all_types) {
      if (!is_valid_atom_delay_chain_pair(atom, type) || get_delay_chain_setting(atom, type) == 0 ||
          is_delay_chain_used(type, atom))
        continue;
      if (error_mode) {
        issue_delay_type_error_message(type, atom);
        ok = false;
      } else {
        issue_delay_type_warning_message(type, atom);
        set_chain_flag(atom, type, false);
        set_delay_chain(atom, type, 0);
      }
    }
  }
  return ok;
}

bool VELMO_DELAY_CHAIN_OP::do_netlist_flow_legality_check() {
  if (!validate_chain_to_itself(true)) return false;
  return validate_chain_to_others(true);
}

unsigned VELMO_DELAY_CHAIN_OP::get_dmf_value(YOS_UINT_DATA_ENUM type, unsigned setting,
                                             const VOK_ATOM_NODE* atom) const {
  if (!atom->is_input() && !atom->is_output()) internal_error("atom->is_input() || atom->is_output()", __LINE__);
  const DELAY_CHAIN_INFO_VEC_ELEMENT* info = get_delay_chain_info(type);
  if (info == nullptr) return 0;
  for (const DELAY_CHAIN_VALUE_VEC_ELEMENT* v : info->values)
    if (v->setting == setting) return is_horizontal_pad(atom) ? v->horizontal_delay : v->other_delay;
  return 0;
}

bool VELMO_DELAY_CHAIN_OP::set_best_delay_chain_setting(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type,
                                                        unsigned setting) {
  const bool fine = m_util->has_fine_delay_chain(type) &&
                    static_cast<unsigned>(m_util->get_fine_delay_chain(type)) != kNoFineChain;
  const YOS_UINT_DATA_ENUM fine_type = fine ? m_util->get_fine_delay_chain(type) : type;
  unsigned coarse = setting;
  unsigned fine_part = 0;
  if (fine) {
    const unsigned fine_max = m_body->get_max_setting(fine_type);
    if (fine_max > 0) {
      coarse = setting / (fine_max + 1);
      fine_part = setting % (fine_max + 1);
    }
  }
  const int t = static_cast<int>(type);
  if (t == 12 || t == 13) {
    m_yos->set_uint_data(atom, type, coarse);
    return true;
  }
  const bool ok = set_delay_chain(atom, type, static_cast<int>(coarse));
  if (ok && fine) return set_delay_chain(atom, fine_type, static_cast<int>(fine_part));
  return ok;
}

void VELMO_DELAY_CHAIN_OP::remove_invalid_atom(VOK_ATOM_NODE* atom) {
  for (auto it = m_pll_delay_chain_edges.begin(); it != m_pll_delay_chain_edges.end();) {
    PLL_AFFECTED_KEM_EDGE& e = it->second;
    if (e.atoms.size() != e.relationships.size()) internal_error("atom_vec->size() == rel_vec->size()", __LINE__);
    std::size_t keep = 0;
    for (std::size_t i = 0; i < e.atoms.size(); ++i) {
      if (e.atoms[i] == atom) continue;
      e.atoms[keep] = e.atoms[i];
      e.relationships[keep] = e.relationships[i];
      ++keep;
    }
    e.atoms.resize(keep);
    e.relationships.resize(keep);
    it = e.atoms.empty() ? m_pll_delay_chain_edges.erase(it) : std::next(it);
  }
}

void VELMO_DELAY_CHAIN_OP::issue_delay_type_error_message(YOS_UINT_DATA_ENUM type, const VOK_ATOM_NODE* atom) {
  m_msgr->add_msg(MSG_VELMO::E::VELMO_DELAY_CHAIN_NOT_USED(velmo_get_delay_chain_string(type),
                                                           static_cast<int>(get_delay_chain_setting(atom, type)),
                                                           pin_name(atom)),
                  nullptr, nullptr);
}

void VELMO_DELAY_CHAIN_OP::issue_delay_type_warning_message(YOS_UINT_DATA_ENUM type, const VOK_ATOM_NODE* atom) {
  if (!has_user_option(atom, type)) return;
  m_msgr->add_msg(MSG_VELMO::W::VELMO_DELAY_CHAIN_NOT_USED_SET_TO_ZERO(
                      velmo_get_delay_chain_string(type), static_cast<int>(get_delay_chain_setting(atom, type)),
                      pin_name(atom), 0),
                  nullptr, nullptr);
}

void VELMO_DELAY_CHAIN_OP::issue_delay_value_error_message(YOS_UINT_DATA_ENUM type, unsigned value,
                                                           const VOK_ATOM_NODE* atom) {
  m_msgr->add_msg(MSG_VELMO::E::VELMO_INVALID_DELAY_CHAIN_VALUE(velmo_get_delay_chain_string(type), pin_name(atom),
                                                                static_cast<int>(value), 0,
                                                                static_cast<int>(m_body->get_max_setting(type))),
                  nullptr, nullptr);
}

void VELMO_DELAY_CHAIN_OP::issue_delay_value_warning_message(YOS_UINT_DATA_ENUM type, unsigned value,
                                                             const VOK_ATOM_NODE* atom) {
  if (!has_user_option(atom, type)) return;
  m_msgr->add_msg(MSG_VELMO::W::VELMO_CHANGED_INVALID_DELAY_CHAIN_VALUE_TO_DEFAULT(
                      velmo_get_delay_chain_string(type), pin_name(atom), static_cast<int>(value), 0,
                      static_cast<int>(m_body->get_max_setting(type)),
                      static_cast<int>(get_default_setting(atom, type))),
                  nullptr, nullptr);
}

// ---- timing edges the chains act on

namespace {

using TYPE = YOS_UINT_DATA_ENUM;

bool is_reg_of_kind(const VOK_ATOM_NODE* a, int kind) { return a && a->is_ff() && a->get_register_kind() == kind; }

VOK_ATOM_NODE* iterm_atom(const KEM_NODE* n) { return n && n->get_iterm() ? n->get_iterm()->get_my_node() : nullptr; }
VOK_ATOM_NODE* oterm_atom(const KEM_NODE* n) { return n && n->get_oterm() ? n->get_oterm()->get_my_node() : nullptr; }

bool is_ipin(const KEM_NODE* n) { return n->is_sta_type(KEM_NODE_INPUT_PIN); }
bool is_opin(const KEM_NODE* n) { return n->is_sta_type(KEM_NODE_OUTPUT_PIN); }
bool is_dpin(const KEM_NODE* n) { return n->is_sta_type(KEM_NODE_DEVICE_PIN); }

// An input reached through a pad-to-core chain: an ordinary state code and a
// connection to a chain of kind 8.
bool chain_eligible(const VOK_ATOM_ITERM* t) {
  if (t == nullptr) return false;
  const int code = t->get_connection_code();
  return (code == 0 || code == 1 || code == 3 || code == 4) && t->is_connected_to_delay_chain(8);
}

const KEM_NETLIST_CELL* cell_of(const KEM_NODE* n) {
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  return kem ? kem->get_cell_from_kem_node(n) : nullptr;
}

bool is_type(TYPE t, int v) { return static_cast<int>(t) == v; }

// Both nodes of an edge; an edge without one is an internal error.
std::pair<const KEM_NODE*, const KEM_NODE*> both_nodes(const KEM_EDGE* edge) {
  const KEM_NODE* s = edge->get_src_node();
  const KEM_NODE* d = edge->get_dst_node();
  if (s == nullptr || d == nullptr) internal_error("src_node != 0 && dst_node != 0", __LINE__);
  return {s, d};
}

// The destination atom of an edge from an input buffer's output into an
// input pin; null for any other edge.
const VOK_ATOM_NODE* ibuf_destination(const KEM_NODE* s, const KEM_NODE* d) {
  if (!is_opin(s) || !oterm_atom(s) || !oterm_atom(s)->is_io_ibuf() || !is_ipin(d)) return nullptr;
  return iterm_atom(d);
}

}  // namespace

// A keeper's clock edges end its fan-in list.
bool VELMO_DELAY_CHAIN_OP::is_clock_edge(const KEM_EDGE* edge) const {
  const KEM_NODE* dst = edge->get_dst_node();
  const KEM_NETLIST* kem = dst->get_netlist();
  for (int id = dst->begin_clock_edges(); id >= 0;) {
    if (id == edge->get_id()) return true;
    const KEM_EDGE* e = kem->get_edge(id);
    id = e ? e->get_next_fanin() : -1;
  }
  return false;
}

bool VELMO_DELAY_CHAIN_OP::is_clock_source(const KEM_NODE* node) const {
  const HOV_CLOCK_UTIL* clocks = hov_get_clock_util();
  const KEM_NETLIST* kem = node->get_netlist();
  for (int id = node->begin_fanin(); id >= 0;) {
    const KEM_EDGE* e = kem->get_edge(id);
    if (e == nullptr) break;
    if (e->get_src_node() && clocks->is_clock(e->get_src_node(), false)) return true;
    id = e->get_next_fanin();
  }
  return false;
}

bool VELMO_DELAY_CHAIN_OP::is_pin_to_core(const KEM_EDGE* edge) const {
  const auto [s, d] = both_nodes(edge);
  if (get_flag(0)) {
    return ibuf_destination(s, d) != nullptr;
  }
  const KEM_NETLIST_CELL* cs = cell_of(s);
  const KEM_NETLIST_CELL* cd = cell_of(d);
  if (is_dpin(s)) {
    if (d->is_buried_io_register()) return true;
  } else if (d->is_buried_io_register() && cs == cd && is_ipin(s) && iterm_atom(s) && iterm_atom(s)->is_pin() &&
             s->get_iterm()->is_used_as(380)) {
    return true;
  }
  return is_opin(s) && oterm_atom(s) && oterm_atom(s)->is_pin() && s->get_oterm()->is_used_as(9);
}

bool VELMO_DELAY_CHAIN_OP::is_pin_to_core_new(const KEM_EDGE* edge) const {
  if (!get_flag(0)) return is_pin_to_core(edge);
  const auto [s, d] = both_nodes(edge);
  const VOK_ATOM_NODE* a = ibuf_destination(s, d);
  if (a == nullptr) return false;
  if (is_reg_of_kind(a, 396) || a->is_ddio_in() || a->is_delay_chain() || a->is_io_12_lane()) return true;
  if (a->is_jtag_ela()) return false;
  msg_vdebug_impl(2, "dst_atom_type = %s", TWY_TRANSLATOR::get_debug_string_name(a->get_atom_type()).c_str());
  return true;
}

bool VELMO_DELAY_CHAIN_OP::is_core_to_pin(const KEM_EDGE* edge) const {
  const auto [s, d] = both_nodes(edge);
  if (get_flag(0)) {
    if (!is_opin(s) || !is_ipin(d) || !iterm_atom(d) || !iterm_atom(d)->is_io_obuf()) return false;
    const VOK_ATOM_NODE* a = oterm_atom(s);
    if (a == nullptr) return false;
    if (is_reg_of_kind(a, 397) || is_reg_of_kind(a, 398) || a->is_ddio_oe() || a->is_ddio_out() ||
        a->is_delay_chain())
      return true;
    if (a->is_jtag_ela()) return false;
    msg_vdebug_impl(2, "src_atom_type = %s", TWY_TRANSLATOR::get_debug_string_name(a->get_atom_type()).c_str());
    return true;
  }
  const KEM_NETLIST_CELL* cs = cell_of(s);
  const KEM_NETLIST_CELL* cd = cell_of(d);
  if (s->is_buried_io_register() && is_dpin(d)) return true;
  if (cs == cd || (cd == nullptr && is_dpin(d))) return is_ipin(s) && iterm_atom(s) && iterm_atom(s)->is_pin();
  return false;
}

VOK_ATOM_NODE* VELMO_DELAY_CHAIN_OP::get_io_atom(const KEM_EDGE* edge, YOS_UINT_DATA_ENUM type) const {
  const KEM_NODE* s = edge->get_src_node();
  const KEM_NODE* d = edge->get_dst_node();
  const int t = static_cast<int>(type);
  if (!get_flag(0)) {
    if (s == nullptr) internal_error("src_node != 0", __LINE__);
    if (t < 12 || t > 16) return nullptr;
    return is_ipin(s) ? iterm_atom(s) : oterm_atom(s);
  }
  VOK_ATOM_NODE* start = nullptr;
  switch (t) {
    case 12: case 13: case 15: case 19: case 144: case 145: case 146: case 147: case 149: case 300:
    case 446: case 447: case 448: case 449:
      if (s == nullptr) internal_error("src_node != 0", __LINE__);
      start = oterm_atom(s);
      break;
    case 14: case 16: case 148: case 150: case 151: case 152: case 153: case 154: case 155: case 156:
    case 298: case 299: case 301: case 305: case 430: case 431:
      if (d == nullptr) internal_error("dst_node != 0", __LINE__);
      start = iterm_atom(d);
      break;
    case 294: case 296:
      if (s == nullptr) return nullptr;
      if (is_ipin(s)) start = iterm_atom(s);
      else if (is_opin(s)) start = oterm_atom(s);
      else return nullptr;
      break;
    default:
      return nullptr;
  }
  return m_body->get_atom_with_delay_chain_property(start, type);
}

// A chosen single type stands only when its atom uses it and the device has it.
void VELMO_DELAY_CHAIN_OP::accept_single_type(const KEM_EDGE* edge, YOS_UINT_DATA_ENUM* type) const {
  if (*type == VELMO_NO_DELAY_CHAIN) return;
  const VOK_ATOM_NODE* atom = get_io_atom(edge, *type);
  if (atom == nullptr) internal_error("atom != 0", __LINE__);
  if (!is_delay_chain_used(*type, atom, false) ||
      std::find(m_all_types.begin(), m_all_types.end(), *type) == m_all_types.end())
    *type = VELMO_NO_DELAY_CHAIN;
}

YOS_UINT_DATA_ENUM VELMO_DELAY_CHAIN_OP::get_pin_to_core_delay_chain_type(const KEM_EDGE* edge) const {
  const auto [s, d] = both_nodes(edge);
  auto pad_to_core = [](const VOK_ATOM_ITERM* t) -> TYPE {
    if (!chain_eligible(t)) return VELMO_NO_DELAY_CHAIN;
    const int index = t->get_delay_chain_index(8);
    if (index == 0) return static_cast<TYPE>(12);
    if (index == 1) return static_cast<TYPE>(13);
    internal_error("Illegal PAD-TO-CORE delay chain index", __LINE__);
  };
  TYPE result = VELMO_NO_DELAY_CHAIN;
  if (get_flag(0)) {
    if (is_opin(s) && oterm_atom(s) && oterm_atom(s)->is_io_ibuf()) {
      const VOK_ATOM_NODE* a = is_ipin(d) ? iterm_atom(d) : nullptr;
      if (a != nullptr) {
        if (get_flag(4) && (is_reg_of_kind(a, 396) || (static_cast<int>(m_family) == 52 && a->is_ddio_in())))
          result = static_cast<TYPE>(294);
        else if (!get_flag(4) && (is_reg_of_kind(a, 396) || a->is_ddio_in() || a->is_delay_chain()))
          result = static_cast<TYPE>(15);
        else
          result = pad_to_core(d->get_iterm());
      }
    } else if (get_flag(4) && is_ipin(s) && s->get_iterm()->is_used_as(20) && iterm_atom(s)->is_ddio_in() &&
               d->is_buried_io_register()) {
      const VOK_ATOM_OTERM* o = d->get_oterm();
      if (o && o->is_used_as(511))
        result = static_cast<TYPE>(296);
      else if (o && o->is_used_as(510))
        result = static_cast<TYPE>(294);
    }
  } else {
    const KEM_NETLIST_CELL* cs = cell_of(s);
    const KEM_NETLIST_CELL* cd = cell_of(d);
    bool done = false;
    if (is_dpin(s)) {
      if (d->is_buried_io_register()) {
        result = static_cast<TYPE>(15);
        done = true;
      }
    } else if (d->is_buried_io_register() && cs == cd && is_ipin(s) && iterm_atom(s) && iterm_atom(s)->is_pin() &&
               s->get_iterm()->is_used_as(380)) {
      result = static_cast<TYPE>(15);
      done = true;
    }
    if (!done) {
      if (!is_opin(s) || !oterm_atom(s) || !oterm_atom(s)->is_pin() || !s->get_oterm()->is_used_as(9)) return result;
      if (d->get_iterm() == nullptr)
        internal_error("Found edge with source node of IO opin type but the dest node is not ipin type", __LINE__);
      result = pad_to_core(d->get_iterm());
    }
  }
  accept_single_type(edge, &result);
  return result;
}

YOS_UINT_DATA_ENUM VELMO_DELAY_CHAIN_OP::get_core_to_pin_delay_chain_type(const KEM_EDGE* edge) const {
  const auto [s, d] = both_nodes(edge);
  TYPE result = VELMO_NO_DELAY_CHAIN;
  if (get_flag(0)) {
    const VOK_ATOM_NODE* a = oterm_atom(s);
    const VOK_ATOM_ITERM* t = d->get_iterm();
    if (a && t && t->is_used_as(22) && (is_reg_of_kind(a, 398) || a->is_ddio_oe() || a->is_delay_chain()))
      result = static_cast<TYPE>(16);
    else if (a && t && t->is_used_as(9) && (is_reg_of_kind(a, 397) || a->is_ddio_out() || a->is_delay_chain()))
      result = static_cast<TYPE>(14);
  } else {
    const KEM_NETLIST_CELL* cd = cell_of(d);
    if (s->is_buried_io_register() && is_dpin(d)) {
      const VOK_ATOM_OTERM* o = s->get_oterm();
      if (o == nullptr)
        internal_error("Found buried IO register KEM NODE without an associated observable oterm", __LINE__);
      if (o->is_used_as(254))
        result = static_cast<TYPE>(16);
      else if (o->is_used_as(253))
        result = static_cast<TYPE>(14);
    } else if (is_ipin(s) && s->get_iterm()->is_used_as(22)) {
      result = static_cast<TYPE>(16);
    } else if (cd == nullptr && is_dpin(d) && is_ipin(s) && iterm_atom(s) && iterm_atom(s)->is_pin() &&
               s->get_iterm()->is_used_as(68)) {
      result = static_cast<TYPE>(14);
    }
  }
  accept_single_type(edge, &result);
  return result;
}

void VELMO_DELAY_CHAIN_OP::get_pin_to_core_delay_chain_type_vec(const KEM_EDGE* edge, TYPE_VEC& types) const {
  const int f = static_cast<int>(m_family);
  const bool no_d2 = f == 8 || f == 12 || f == 19;
  if (!get_flag(3)) {
    const TYPE t = get_pin_to_core_delay_chain_type(edge);
    if (t == VELMO_NO_DELAY_CHAIN) return;
    types.push_back(t);
    if (f == 52 && is_type(t, 294)) types.push_back(static_cast<TYPE>(296));
    return;
  }
  const auto [s, d] = both_nodes(edge);
  const VOK_ATOM_NODE* a = ibuf_destination(s, d);
  if (a == nullptr) return;
  if (is_reg_of_kind(a, 396) || a->is_ddio_in()) {
    types.push_back(static_cast<TYPE>(144));
    if (!no_d2) types.push_back(static_cast<TYPE>(145));
    types.push_back(static_cast<TYPE>(146));
  } else if (a->is_delay_chain()) {
    if (!no_d2) types.push_back(static_cast<TYPE>(145));
    types.push_back(static_cast<TYPE>(146));
  } else if (chain_eligible(d->get_iterm())) {
    const int index = d->get_iterm()->get_delay_chain_index(8);
    if (index != 0 && index != 1) internal_error("Illegal T3 delay chain index", __LINE__);
    if (!no_d2) types.push_back(static_cast<TYPE>(145));
    types.push_back(static_cast<TYPE>(index == 0 ? 146 : 147));
  }
}

void VELMO_DELAY_CHAIN_OP::get_pin_to_core_delay_chain_type_vec_new(const KEM_EDGE* edge, TYPE_VEC& types) const {
  if (!get_flag(3)) {
    const TYPE t = get_pin_to_core_delay_chain_type(edge);
    if (t != VELMO_NO_DELAY_CHAIN) types.push_back(t);
    return;
  }
  const auto [s, d] = both_nodes(edge);
  const VOK_ATOM_NODE* a = ibuf_destination(s, d);
  if (a == nullptr) return;
  const int f = static_cast<int>(m_family);
  if (is_reg_of_kind(a, 396) || a->is_ddio_in()) {
    types.push_back(static_cast<TYPE>(446));
  } else if (a->is_io_12_lane()) {
    types.push_back(static_cast<TYPE>(448));
  } else if (a->is_delay_chain()) {
    types.push_back(static_cast<TYPE>(f == 8 || f == 12 || f == 19 ? 144 : 145));
    types.push_back(static_cast<TYPE>(146));
  } else if (chain_eligible(d->get_iterm())) {
    types.push_back(static_cast<TYPE>(446));
  }
}

void VELMO_DELAY_CHAIN_OP::get_core_to_pin_delay_chain_type_vec(const KEM_EDGE* edge, TYPE_VEC& types,
                                                                bool* need_oe_offset, bool* is_oe_edge) const {
  if (!get_flag(3)) {
    const TYPE t = get_core_to_pin_delay_chain_type(edge);
    if (t != VELMO_NO_DELAY_CHAIN) types.push_back(t);
  } else {
    const auto [s, d] = both_nodes(edge);
    const VOK_ATOM_ITERM* t = is_ipin(d) ? d->get_iterm() : nullptr;
    if (t && t->is_used_as(22))
      types.push_back(static_cast<TYPE>(431));
    else if (t && t->is_used_as(9))
      types.push_back(static_cast<TYPE>(430));
  }
  if (need_oe_offset) *need_oe_offset = false;
  if (is_oe_edge) *is_oe_edge = false;
}

// Only the first chain of the list decides: its pin (and the pin paired
// with it) may be part of a DQ/DQS interface, whose chains stay as they are.
void VELMO_DELAY_CHAIN_OP::filter_dq_dqs(const KEM_EDGE* edge, TYPE_VEC& types, bool filter_b) const {
  if (types.empty()) return;
  const VOK_ATOM_NODE* p = get_io_atom(edge, types.front());
  if (p == nullptr) return;
  const VOK_ATOM_NODE* q = m_zel_atom_io_util ? m_zel_atom_io_util->get_paired_io_atom(p) : nullptr;
  const OMZ_INSTANCE_NAME* iname = p->get_instance_name();
  if (iname == nullptr) internal_error("iname != NULL", __LINE__);
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(iname, 1032, true);
  const int v = option ? option->get_value() : 282;
  const bool dqs_related = is_dqs(p) || (q != nullptr && is_dqs(q));
  const int f = static_cast<int>(m_family);
  bool drop = false;
  if (get_flag(2)) {
    drop = is_dq(p) || dqs_related;
  } else if (!filter_b) {
    if (f == 7 || f == 52 || f == 62) drop = (v == 282 && is_dq(p)) || dqs_related;
  } else if (f == 7 || f == 36 || f == 37 || f == 52 || f == 62) {
    drop = (v == 282 && (is_dq(p) || dqs_related)) || m_util->is_dqsn(p);
  } else {
    drop = m_util->is_dqsn(p);
  }
  if (drop) types.clear();
}

void VELMO_DELAY_CHAIN_OP::get_delay_chain_type_vec(const KEM_EDGE* edge, TYPE_VEC& types,
                                                    VELMO_OPT_ELEMENT_GROUP_TYPE group) const {
  types.clear();
  if (group == VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN)
    get_core_to_pin_delay_chain_type_vec(edge, types, nullptr, nullptr);
  else if (group == VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN)
    get_pll_delay_chain_type_vec(edge, types);
  else if (group == VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN)
    get_pin_to_core_delay_chain_type_vec(edge, types);
  filter_dq_dqs(edge, types, false);
}

void VELMO_DELAY_CHAIN_OP::get_delay_chain_type_vec_new(const KEM_EDGE* edge, TYPE_VEC& types,
                                                        VELMO_OPT_ELEMENT_GROUP_TYPE group, bool* need_oe_offset,
                                                        bool* is_oe_edge) const {
  types.clear();
  switch (group) {
    case VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN: get_pin_to_core_delay_chain_type_vec_new(edge, types); break;
    case VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN:
      if (need_oe_offset == nullptr) internal_error("need_oe_offset != NULL", __LINE__);
      if (is_oe_edge == nullptr) internal_error("is_oe_edge != NULL", __LINE__);
      get_core_to_pin_delay_chain_type_vec(edge, types, need_oe_offset, is_oe_edge);
      break;
    case VELMO_OPT_ELEMENT_PLL_DELAY_CHAIN: get_pll_delay_chain_type_vec(edge, types); break;
    case VELMO_OPT_ELEMENT_PLL_PHASE_DELAY_CHAIN: get_pll_phase_shift_type_vec(edge, types); break;
    default: internal_error("Unsupported element group type.", __LINE__);
  }
  filter_dq_dqs(edge, types, true);
}

void VELMO_DELAY_CHAIN_OP::set_filter(HOV_ACCESSORIES* accessories) const {
  if (m_edges_to_analyse.empty()) return;
  if (accessories->has_sta_edge_filter()) accessories->clear_sta_edge_filter();
  accessories->set_sta_edge_filter(m_edges_to_analyse);
}

void VELMO_DELAY_CHAIN_OP::collect_edges(HOV_ACCESSORIES* accessories, bool use_filter, bool newer) {
  KEM_NETLIST* kem = accessories->get_kem_netlist();
  m_edges_to_analyse.clear();
  m_pin_to_core_edges.clear();
  m_core_to_pin_edges.clear();
  m_pin_to_core_edge_ids.clear();
  m_core_to_pin_edge_ids.clear();
  const int count = kem ? kem->get_edge_count() : 0;
  for (int id = 0; id < count; ++id) {
    KEM_EDGE* e = kem->get_edge(id);
    if (e == nullptr || e->get_id() == -1 || e->get_src_node() == nullptr) continue;
    if (newer && e->get_slack() == KEM_QUICK_NO_SLACK) continue;
    if (newer ? is_pin_to_core_new(e) : is_pin_to_core(e)) {
      m_pin_to_core_edges.push_back(e);
      m_pin_to_core_edge_ids.push_back(id);
    } else if (is_core_to_pin(e)) {
      m_core_to_pin_edges.push_back(e);
      m_core_to_pin_edge_ids.push_back(id);
    } else {
      continue;
    }
    if (use_filter) m_edges_to_analyse.push_back(e);
  }
  set_filter(accessories);
}

void VELMO_DELAY_CHAIN_OP::init_kem_edges_for_processing(HOV_ACCESSORIES* accessories, bool use_filter) {
  collect_edges(accessories, use_filter, false);
}

void VELMO_DELAY_CHAIN_OP::init_kem_edges_for_processing_new(HOV_ACCESSORIES* accessories, bool use_filter) {
  collect_edges(accessories, use_filter, true);
}

// ---- PLL edges

void VELMO_DELAY_CHAIN_OP::get_pll_delay_chain_type_vec(const KEM_EDGE*, TYPE_VEC& types) const {
  for (int t = 414; t <= 417; ++t) types.push_back(static_cast<TYPE>(t));
}

void VELMO_DELAY_CHAIN_OP::get_pll_phase_shift_type_vec(const KEM_EDGE*, TYPE_VEC& types) const {
  types.push_back(static_cast<TYPE>(418));
}

void VELMO_DELAY_CHAIN_OP::remove_invalid_relationships(bool phase_shift) {
  auto& edges = phase_shift ? m_pll_phase_shift_edges : m_pll_delay_chain_edges;
  for (auto it = edges.begin(); it != edges.end();) {
    PLL_AFFECTED_KEM_EDGE& e = it->second;
    if (e.atoms.size() != e.relationships.size()) internal_error("atom_vec->size() == rel_vec->size()", __LINE__);
    std::size_t keep = 0;
    for (std::size_t i = 0; i < e.atoms.size(); ++i) {
      if (e.relationships[i] == -1) continue;
      e.atoms[keep] = e.atoms[i];
      e.relationships[keep] = e.relationships[i];
      ++keep;
    }
    e.atoms.resize(keep);
    e.relationships.resize(keep);
    it = e.atoms.empty() ? edges.erase(it) : std::next(it);
  }
}

void VELMO_DELAY_CHAIN_OP::init_pll_kem_edges_for_processing(HOV_ACCESSORIES* accessories, bool use_filter) {
  remove_invalid_relationships(false);
  remove_invalid_relationships(true);
  if (!use_filter) return;
  for (const auto& [id, record] : m_pll_delay_chain_edges) m_edges_to_analyse.push_back(record.edge);
  for (const auto& [id, record] : m_pll_phase_shift_edges) m_edges_to_analyse.push_back(record.edge);
  set_filter(accessories);
}

// After the host rebuilt the timing netlist: the same ids name new edges.
void VELMO_DELAY_CHAIN_OP::rebuild_kem_edges_for_processing() {
  KEM_NETLIST* kem = hov_get_accessories()->get_kem_netlist();
  auto edge_of = [kem](int id) -> KEM_EDGE* {
    if (kem == nullptr || id < 0 || id >= kem->get_edge_count()) return nullptr;
    KEM_EDGE* e = kem->get_edge(id);
    return e && e->get_id() == id ? e : nullptr;
  };
  m_pin_to_core_edges.clear();
  for (int id : m_pin_to_core_edge_ids) m_pin_to_core_edges.push_back(edge_of(id));
  m_core_to_pin_edges.clear();
  for (int id : m_core_to_pin_edge_ids) m_core_to_pin_edges.push_back(edge_of(id));
  for (auto* edges : {&m_pll_delay_chain_edges, &m_pll_phase_shift_edges}) {
    for (auto& [id, record] : *edges) {
      record.edge = edge_of(id);
      if (record.edge == nullptr) internal_error("edge", __LINE__);
    }
  }
  if (m_edges_to_analyse.empty()) return;
  m_edges_to_analyse.clear();
  for (const auto* list : {&m_pin_to_core_edges, &m_core_to_pin_edges})
    for (KEM_EDGE* e : *list)
      if (e != nullptr) m_edges_to_analyse.push_back(e);
  for (const auto& [id, record] : m_pll_delay_chain_edges) m_edges_to_analyse.push_back(record.edge);
  for (const auto& [id, record] : m_pll_phase_shift_edges) m_edges_to_analyse.push_back(record.edge);
}

// ---- the single-corner chooser

namespace {
constexpr std::int32_t kNoValue = static_cast<std::int32_t>(0x80000001u);
constexpr int kWantedSlack = 2500;

const char* rule() { return "______________________________________________________"; }

// Removes the edge filter the chooser set, whichever way it ends.
struct FILTER_GUARD {
  ~FILTER_GUARD() {
    if (accessories && accessories->has_sta_edge_filter()) accessories->clear_sta_edge_filter();
  }
  HOV_ACCESSORIES* accessories = nullptr;
};
}  // namespace

// The user's switch: project option 904 of the default section.
bool VELMO_DELAY_CHAIN_OP::auto_delay_chain_switch() const {
  const OMZ_NAMESPACE* section = OMZ_SECTION::find_section(12, "");
  if (section == nullptr) internal_error("default_section != 0", __LINE__);
  const OMZ_OPTION* option = OMZ_DERIVED_OPTION::get_single_option(section, 904, true);
  return option != nullptr && option->get_bool_value();
}

// The two passes, core-to-pin then pin-to-core, each on fresh analyses; with
// a watch, each analysis is timed on it.
bool VELMO_DELAY_CHAIN_OP::run_chooser_passes(WEXAN_HOV_UTILITY* hov, bool use_filter, GEN_STOPWATCH* analysis) {
  FILTER_GUARD guard;
  guard.accessories = hov_get_accessories();
  init_kem_edges_for_processing(guard.accessories, use_filter);
  static const char* const kOrdinal[] = {"1st", "2nd", "3rd", "4th"};
  int call = 0;
  auto analyse = [&](bool hold, const char* kind) {
    const long long before = analysis ? static_cast<long long>(analysis->get_elapsed_seconds()) : 0;
    if (analysis) analysis->start();
    if (hold)
      hov->perform_quick_min_timing_analysis();
    else
      hov->perform_quick_timing_analysis(false);
    if (analysis) {
      analysis->stop();
      msg_vdebug_impl(2, "**** Seconds spent in %s call to hov timing analysis for %s slack: %d", kOrdinal[call], kind,
                      static_cast<int>(static_cast<long long>(analysis->get_elapsed_seconds()) - before));
    }
    ++call;
  };
  bool th_found = false, written = true;
  for (VELMO_OPT_ELEMENT_GROUP_TYPE group :
       {VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN, VELMO_OPT_ELEMENT_PIN_TO_CORE_DELAY_CHAIN}) {
    const bool core_to_pin = group == VELMO_OPT_ELEMENT_CORE_TO_PIN_DELAY_CHAIN;
    const std::vector<KEM_EDGE*>* edges = core_to_pin ? &m_core_to_pin_edges : &m_pin_to_core_edges;
    msg_vdebug_impl(2, "%s", core_to_pin ? "********  Collect and process core to pin edges  **********"
                                         : "********  Collect and process pin to core edges  **********");
    analyse(false, "TSU");
    const bool found = collect_tsu_slack(edges, group);
    analyse(true, "TH");
    th_found = collect_th_slack(edges, group, found);
    written = process_delay_chain_setting();
    delete_slack_info_map();
    m_slack_map.clear();
  }
  return th_found ? written : true;
}

bool VELMO_DELAY_CHAIN_OP::resolve_using_estimate_timing() {
  GEN_STOPWATCH watch;
  watch.start();
  const bool use_filter = cfg_is_on("velmo_auto_delay_chain_uses_ir5v_and_sta_filter", true);
  const bool on = auto_delay_chain_switch();
  bool result;
  if (on && m_env->hov_is_on()) {
    build_auto_delay_chain_vec();
    WEXAN_HOV_UTILITY* hov =
        m_env->get_hov_utility_or_create_if_necessary(0, 2, 5, true, false, false, false, nullptr, false, false);
    if (hov == nullptr) internal_error("hov_utility != NULL", __LINE__);
    result = run_chooser_passes(hov, use_filter, nullptr);
  } else {
    result = m_env->hov_is_on();
    if (result) msg_vdebug_impl(2, "AUTO DELAY CHAIN turned OFF by user");
  }
  if (cfg_is_on("velmo_delay_chain_atom_dump", false)) dump_atoms();
  watch.stop();
  msg_vdebug_impl(2, "Seconds spent in (fitter) AUTO DELAY CHAIN: %s", watch.get_elapsed_time_str().c_str());
  return result;
}

bool VELMO_DELAY_CHAIN_OP::resolve_using_timing_req() {
  const bool use_filter = cfg_is_on("velmo_auto_delay_chain_uses_ir5v_and_sta_filter", true);
  const bool on = auto_delay_chain_switch();
  GEN_STOPWATCH total, annotation, analysis, processing;
  total.start();
  bool result;
  if (on && m_env->hov_is_on()) {
    msg_vdebug_impl(2, "* START TIMING KELD *");
    processing.start();
    build_auto_delay_chain_vec();
    processing.stop();
    CMP_FACADE* cmp = m_env->get_cmp();
    int invoke_mode = 2;
    bool request_flag = true;
    if (DEV_FAMILY_MANAGER().test_trait_of(static_cast<int>(cmp->get_family()), 158)) {
      if (cmp->get_timing_mode_flag()) {
        request_flag = false;
      } else {
        invoke_mode = 3;
        request_flag = cmp->query_timing();
      }
    } else if (!cmp->get_timing_mode_flag()) {
      annotation.start();
      wexan_re_annotate_delay_with_full_routing_information(m_env, true);
      annotation.stop();
    }
    GEN_STOPWATCH request;
    request.start();
    analysis.start();
    if (!use_filter) m_env->indicate_that_atom_netlist_is_modified();
    WEXAN_HOV_UTILITY* hov = m_env->get_hov_utility_or_create_if_necessary(0, invoke_mode, 5, request_flag, false,
                                                                           true, false, nullptr, false, false);
    if (hov == nullptr) internal_error("hov_utility != NULL", __LINE__);
    if (use_filter) hov_get_accessories()->update();
    analysis.stop();
    request.stop();
    msg_vdebug_impl(2, "**** Seconds spent creating HOV UTILITY: %s", request.get_elapsed_time_str().c_str());
    processing.start();
    result = run_chooser_passes(hov, use_filter, &analysis);
    processing.stop();
    cmp->update_timing(true);
  } else {
    result = m_env->hov_is_on();
    if (result) msg_vdebug_impl(2, "AUTO DELAY CHAIN turned OFF by user");
  }
  total.stop();
  if (cfg_is_on("velmo_write_auto_delay_chain_time_file", false)) {
    if (std::FILE* f = std::fopen("auto_delay_time", "a")) {
      std::fprintf(f, "Time spent in AUTO DELAY CHAIN: %g", total.get_elapsed_seconds());
      std::fclose(f);
    }
  }
  msg_vdebug_impl(2, "AUTO DELAY CHAIN: finishes in %s (single-corner optimization)", total.get_elapsed_time_str().c_str());
  msg_vdebug_impl(2, "AUTO DELAY CHAIN: Seconds spent in delay chain processing: %s",
                  processing.get_elapsed_time_str().c_str());
  msg_vdebug_impl(2, "AUTO DELAY CHAIN: Seconds spent in delay annotation: %s", annotation.get_elapsed_time_str().c_str());
  msg_vdebug_impl(2, "AUTO DELAY CHAIN: Seconds spent in timing analysis: %s", analysis.get_elapsed_time_str().c_str());
  if (cfg_is_on("velmo_delay_chain_atom_dump", false)) dump_atoms();
  return result;
}

bool VELMO_DELAY_CHAIN_OP::collect_tsu_slack(const std::vector<KEM_EDGE*>* edges, VELMO_OPT_ELEMENT_GROUP_TYPE group) {
  msg_vdebug_impl(2, "*** Collecting TSU slack info ***");
  bool created = false;
  TYPE_VEC types;
  for (KEM_EDGE* e : *edges) {
    if (e == nullptr || e->get_src_node() == nullptr || e->get_slack() == KEM_QUICK_NO_SLACK) continue;
    const bool from_clock = is_clock_source(e->get_src_node());
    get_delay_chain_type_vec(e, types, group);
    for (TYPE t : types) {
      const int v = static_cast<int>(t);
      if (t == VELMO_NO_DELAY_CHAIN) continue;
      VOK_ATOM_NODE* atom = get_io_atom(e, t);
      if (from_clock && (v == 12 || v == 13 || (v >= 144 && v <= 147))) {
        if (get_flag(1)) {
          msg_vdebug_impl(2, "%s", rule());
          msg_vdebug_impl(2, "**** Edge:       %d ", e->get_id());
          msg_vdebug_impl(2, "**** pin:        %s  is used as a clk.", pin_name(atom).c_str());
          msg_vdebug_impl(2, "****             skipping the pad-to-core path delay chain processing");
          msg_vdebug_impl(2, "%s", rule());
        }
        continue;
      }
      if (atom == nullptr) continue;  // no I/O atom carries this chain here
      if (!atom->is_pin()) continue;
      auto it = m_slack_map.find({atom, t});
      if (it == m_slack_map.end()) {
        auto* info = new VELMO_SLACK_INFO{e, nullptr, t, e->get_slack(), kNoValue};
        m_slack_map[{atom, t}] = info;
        created = true;
        if (get_flag(1)) {
          msg_vdebug_impl(2, "Adding edge:       %d : %s", e->get_id(), pin_name(atom).c_str());
          msg_vdebug_impl(2, "       delay type: %s", velmo_get_delay_chain_string(t));
          msg_vdebug_impl(2, "       tsu slack:  %d", e->get_slack());
        }
      } else {
        VELMO_SLACK_INFO* info = it->second;
        if (info->tsu_slack == kNoValue || info->tsu_slack > e->get_slack()) {
          if (get_flag(1) && info->tsu_edge) {
            msg_vdebug_impl(2, "Found edge %d in map", info->tsu_edge->get_id());
            msg_vdebug_impl(2, "    update tsu slack: from %d to %d", info->tsu_slack, e->get_slack());
          }
          info->tsu_edge = e;
          info->tsu_slack = e->get_slack();
        }
      }
    }
  }
  if (!created) msg_vdebug_impl(2, "*******  NO TSU EDGES!!! ********");
  return created;
}

bool VELMO_DELAY_CHAIN_OP::collect_th_slack(const std::vector<KEM_EDGE*>* edges, VELMO_OPT_ELEMENT_GROUP_TYPE group,
                                            bool tsu_found) {
  msg_vdebug_impl(2, "*** Collecting TH slack info ***");
  bool result = false;
  TYPE_VEC types;
  auto update = [&](VELMO_SLACK_INFO* info, const KEM_EDGE* e, bool trace) {
    if (info->th_slack == kNoValue || info->th_slack > e->get_slack()) {
      if (trace && get_flag(1) && info->th_edge) {
        msg_vdebug_impl(2, "Found edge %d in map", info->th_edge->get_id());
        msg_vdebug_impl(2, "    update th slack: from %d to %d", info->th_slack, e->get_slack());
      }
      info->th_edge = const_cast<KEM_EDGE*>(e);
      info->th_slack = e->get_slack();
    }
  };
  for (KEM_EDGE* e : *edges) {
    if (e == nullptr || e->get_src_node() == nullptr || e->get_slack() == KEM_QUICK_NO_SLACK) continue;
    get_delay_chain_type_vec(e, types, group);
    for (TYPE t : types) {
      if (t == VELMO_NO_DELAY_CHAIN) continue;
      VOK_ATOM_NODE* atom = get_io_atom(e, t);
      if (atom == nullptr) continue;  // no I/O atom carries this chain here
      auto it = m_slack_map.find({atom, t});
      if (tsu_found && it != m_slack_map.end()) {
        update(it->second, e, true);
        result = true;
        continue;
      }
      const int v = static_cast<int>(t);
      if ((v == 12 || v == 13) && is_clock_source(e->get_src_node())) {
        if (get_flag(1)) {
          msg_vdebug_impl(2, "%s", rule());
          msg_vdebug_impl(2, "**** Edge:       %d ", e->get_id());
          msg_vdebug_impl(2, "**** pin:        %s  is used as a clk.", pin_name(atom).c_str());
          msg_vdebug_impl(2, "****             skipping the pad-to-core delay chain processing");
          msg_vdebug_impl(2, "%s", rule());
        }
        continue;
      }
      if (!atom->is_pin()) continue;
      if (it != m_slack_map.end()) {
        update(it->second, e, false);
        continue;
      }
      m_slack_map[{atom, t}] = new VELMO_SLACK_INFO{nullptr, e, t, kNoValue, e->get_slack()};
      result = true;
      if (get_flag(1)) {
        msg_vdebug_impl(2, "Adding edge:       %d", e->get_id());
        msg_vdebug_impl(2, "       delay type: %s", velmo_get_delay_chain_string(t));
        msg_vdebug_impl(2, "       th slack:  %d", e->get_slack());
      }
    }
  }
  if (!result) msg_vdebug_impl(2, "*******  NO TH EDGES!!! ********");
  return result;
}

// A record's atom: the I/O atom of its setup edge, else of its hold edge.
namespace {
const KEM_EDGE* record_edge(const VELMO_SLACK_INFO* info) { return info->tsu_edge ? info->tsu_edge : info->th_edge; }
}  // namespace

// Every write counts: one that fails fails the whole setting pass.
void VELMO_DELAY_CHAIN_OP::add_pll_compensated_pin_msg(WEXAN_MSGR* msgr, const std::string& pin, bool failing) {
  if (failing)
    msgr->add_msg(MSG_VELMO::W::VELMO_AUTO_DELAY_CHAIN_FIND_CONFLICT_REQUIREMENTS_ON_PLL_COMPENSATED_PIN(pin), nullptr,
                  nullptr);
  else
    msgr->add_msg(MSG_VELMO::I::VELMO_AUTO_DELAY_CHAIN_CANT_OPTIMIZE_IO_TIMING_ON_PLL_COMPENSATED_PIN(pin), nullptr,
                  nullptr);
}

bool VELMO_DELAY_CHAIN_OP::process_delay_chain_setting() {
  bool result = true;
  for (auto& [key, info] : m_slack_map) {
    VOK_ATOM_NODE* atom = get_io_atom(record_edge(info), info->delay_type);
    if (atom == nullptr) continue;
    // A chain the device does not have (the older list form names chains
    // of the earlier I/O atoms on every family) is left alone.
    if (get_delay_chain_info(info->delay_type) == nullptr) continue;
    if (!m_env->get_atom_mod_drc()->atom_mod_allowed_for_operation(atom->get_id(), kAtomModDelayChain, nullptr) ||
        has_user_option(atom, info->delay_type) || is_dq(atom))
      continue;
    const unsigned cur = get_delay_chain_setting(atom, info->delay_type);
    const int d_cur = static_cast<int>(get_dmf_value(info->delay_type, cur, atom));
    const unsigned best = get_best_delay_chain_setting(info);
    const int d_best = static_cast<int>(get_dmf_value(info->delay_type, best, atom));
    bool compensated = false;
    if (static_cast<int>(info->delay_type) == 15 && m_zel_atom_io_util != nullptr) {
      const VOK_ATOM_NODE* paired = m_zel_atom_io_util->get_paired_io_atom(atom);
      compensated = m_zel_atom_io_util->is_pll_compensated_io(atom) ||
                    (paired != nullptr && m_zel_atom_io_util->is_pll_compensated_io(paired));
    }
    if (compensated) {
      if (best == cur) continue;
      const bool failing = (info->tsu_slack != kNoValue && info->tsu_slack < 0) ||
                           (info->th_slack != kNoValue && info->th_slack < 0);
      add_pll_compensated_pin_msg(m_msgr, pin_name(atom), failing);
      continue;
    }
    if (!set_best_delay_chain_setting(atom, info->delay_type, best)) result = false;
    update_slack_info(atom, info, d_cur - d_best);
  }
  return result;
}

unsigned VELMO_DELAY_CHAIN_OP::get_best_delay_chain_setting(VELMO_SLACK_INFO* info) {
  VOK_ATOM_NODE* atom = get_io_atom(record_edge(info), info->delay_type);
  const unsigned cur = get_delay_chain_setting(atom, info->delay_type);
  const std::int64_t d_cur = get_dmf_value(info->delay_type, cur, atom);
  const DELAY_CHAIN_INFO_VEC_ELEMENT* table = get_delay_chain_info(info->delay_type);
  const bool horizontal = is_horizontal_pad(atom);
  if (!horizontal && !is_vertical_pad(atom)) internal_error("is_vrt_pad", __LINE__);
  const bool trace = get_flag(1);
  if (trace) {
    msg_vdebug_impl(2, "________________________________________");
    msg_vdebug_impl(2, "  pin:         %s", pin_name(atom).c_str());
    if (info->th_edge) msg_vdebug_impl(2, "  Th edge:        %d", info->th_edge->get_id());
    if (info->tsu_edge) msg_vdebug_impl(2, "  Tsu edge:        %d", info->tsu_edge->get_id());
    msg_vdebug_impl(2, "  delay_type:  %s", velmo_get_delay_chain_string(info->delay_type));
  }
  unsigned choice = cur;
  auto finish = [&](unsigned s) {
    if (trace) {
      msg_vdebug_impl(2, "  ====> Best Setting:   %d", static_cast<int>(s));
      msg_vdebug_impl(2, "______________________________________________________________");
    }
    return s;
  };
  const bool has_tsu = info->tsu_slack != kNoValue;
  const bool has_th = info->th_slack != kNoValue;
  if (!has_tsu && !has_th) return finish(cur);
  std::vector<const DELAY_CHAIN_VALUE_VEC_ELEMENT*> values;
  if (table) values.assign(table->values.begin(), table->values.end());
  auto delay_of = [&](const DELAY_CHAIN_VALUE_VEC_ELEMENT* v) -> std::int64_t {
    return horizontal ? v->horizontal_delay : v->other_delay;
  };
  if (!has_tsu || !has_th) {
    // One requirement: the smallest slack of at least 2500 ps, else the largest.
    if (trace) {
      msg_vdebug_impl(2, "%s", has_tsu ? "* No Th requirement *" : "* No Tsu requirement *");
      msg_vdebug_impl(2, "%s", has_tsu ? "* search for largest positive slack for Tsu *"
                                       : "* search for largest positive slack for Th *");
      msg_vdebug_impl(2, "    tsu slack:  %d", info->tsu_slack);
      msg_vdebug_impl(2, "    th slack:   %d", info->th_slack);
    }
    std::int64_t best = has_tsu ? info->tsu_slack : info->th_slack;
    for (const DELAY_CHAIN_VALUE_VEC_ELEMENT* v : values) {
      const std::int64_t n = has_tsu ? info->tsu_slack + d_cur - delay_of(v) : info->th_slack - d_cur + delay_of(v);
      if (trace) msg_vdebug_impl(2, "            %d      ==> %lld", static_cast<int>(v->setting), static_cast<long long>(n));
      if ((best < kWantedSlack && n > best) || (n >= kWantedSlack && n < best)) {
        best = n;
        choice = v->setting;
      }
    }
    return finish(choice);
  }
  if (trace) {
    msg_vdebug_impl(2, "* Got Tsu and Th requirement *");
    msg_vdebug_impl(2, "    tsu slack:  %d", info->tsu_slack);
    msg_vdebug_impl(2, "    th slack:   %d", info->th_slack);
  }
  // Both: the most balanced pair (largest product); the TCOE chain prefers
  // meeting setup.
  std::int64_t best_score = static_cast<std::int64_t>(info->tsu_slack) * info->th_slack;
  std::int64_t best_tsu = info->tsu_slack;
  for (const DELAY_CHAIN_VALUE_VEC_ELEMENT* v : values) {
    const std::int64_t tsu = info->tsu_slack + d_cur - delay_of(v);
    const std::int64_t th = info->th_slack - d_cur + delay_of(v);
    if (trace) {
      msg_vdebug_impl(2, "         %d", static_cast<int>(v->setting));
      msg_vdebug_impl(2, "            new tsu slack: %lld", static_cast<long long>(tsu));
      msg_vdebug_impl(2, "            new th slack: %lld", static_cast<long long>(th));
    }
    const std::int64_t p = tsu * th;
    std::int64_t bonus = 0;
    if (static_cast<int>(info->delay_type) == 16) {
      if (best_tsu < 0 && tsu >= 0) bonus = 1000;
      if (best_tsu >= 0 && tsu < 0) bonus = -1000;
    }
    if (p + bonus > best_score) {
      best_score = p;
      best_tsu = tsu;
      choice = v->setting;
    }
  }
  return finish(choice);
}

namespace {
struct RELATED {
  int type;
  bool shift;
};
// The chains of the same atom whose recorded slacks move with a change.
std::vector<RELATED> related_chains(int type) {
  switch (type) {
    case 144: return {{146, false}, {145, false}};
    case 145: return {{146, true}, {147, true}, {144, true}};
    case 146: return {{144, true}, {145, false}};
    case 147: return {{145, false}};
    case 148: return {{152, false}, {153, false}};
    case 152: return {{148, true}, {153, true}};
    case 153: return {{148, true}, {152, true}};
    case 154: return {{155, true}};
    case 155: return {{154, true}};
    default: return {};
  }
}
void shift_slacks(VELMO_SLACK_INFO* info, int delta) {
  if (info->tsu_slack != kNoValue) info->tsu_slack += delta;
  if (info->th_slack != kNoValue) info->th_slack -= delta;
}
}  // namespace

void VELMO_DELAY_CHAIN_OP::update_slack_info(VOK_ATOM_NODE* atom, VELMO_SLACK_INFO* info, int delta) {
  shift_slacks(info, delta);
  const int t = static_cast<int>(info->delay_type);
  if (!get_flag(3) || t < 144 || t > 155) return;
  for (const RELATED& r : related_chains(t))
    update_slack_info_on_edge(atom, static_cast<TYPE>(r.type), info, delta, r.shift);
}

void VELMO_DELAY_CHAIN_OP::update_slack_info_on_edge(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM other_type,
                                                     VELMO_SLACK_INFO* info, int delta, bool shift) {
  auto it = m_slack_map.find({atom, other_type});
  if (it == m_slack_map.end()) return;
  VELMO_SLACK_INFO* other = it->second;
  if (shift) {
    shift_slacks(other, delta);
    return;
  }
  if (info->tsu_slack != kNoValue && info->tsu_slack < other->tsu_slack) {
    other->tsu_slack = info->tsu_slack;
    other->tsu_edge = info->tsu_edge;
  } else if (info->tsu_edge != nullptr && info->tsu_edge == other->tsu_edge) {
    other->tsu_slack = info->tsu_slack;
  }
  if (info->th_slack != kNoValue && info->th_slack < other->th_slack) {
    other->th_slack = info->th_slack;
    other->th_edge = info->th_edge;
  } else if (info->th_edge != nullptr && info->th_edge == other->th_edge) {
    other->th_slack = info->th_slack;
  }
}
