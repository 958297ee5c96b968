#include "velmo_delay_chain_op.h"

#include <algorithm>
#include <string>

#include "cfg/cfg.h"
#include "cmp/cmp_facade.h"
#include "dev/dev_basic_info.h"
#include "dev/dev_family.h"
#include "dev/dev_pad.h"
#include "gen/gen_profile.h"
#include "mem/mem_segment.h"
#include "msg/msg_internal_error.h"
#include "nolt/nolt_utilities.h"
#include "omz/omz_instance_name.h"
#include "omz/omz_option.h"
#include "pexa/pexa_utility.h"
#include "tibex/tibex_location_constraint.h"
#include "velmo_auto_delay_chain_op.h"
#include "velmo_debug.h"
#include "velmo_msgs.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_design.h"
#include "wexan/wexan_device.h"
#include "wexan/wexan_env.h"
#include "wexan/wexan_msgr.h"
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
    if (!s_banner_printed) {
      s_banner_printed = true;
      msg_vdebug_impl(2, "****** HACK WARNING ******");
      msg_vdebug_impl(2, "\tLocation: %s:%d (case 218462)", "velmo_delay_chain_op", __LINE__);
      msg_vdebug_impl(2, "\tDescription: %s.", "Pellam Delay Chain Support");
      msg_vdebug_impl(2, "**** END HACK WARNING ****");
    }
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

bool VELMO_DELAY_CHAIN_OP::resolve_using_estimate_timing() {
  msg_vdebug_impl(2, "VELMO_DELAY_CHAIN_OP::resolve_using_estimate_timing: not built yet");
  return true;
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
