#include "zel/zel_delay_chain_util.h"

#include <cstdint>

#include "common/host_script.h"
#include "common/host_world.h"
#include "dev/dev_spec.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "zel/zel_dc_table.h"

namespace {
constexpr int kPllCompensationParam = 9000;

const host::dc::CHAIN* chain_of(int family, int type) {
  const auto& chains = host::dc::table(family).chains;
  auto it = chains.find(type);
  return it == chains.end() ? nullptr : &it->second;
}

bool drives_logic(const VOK_ATOM_NODE* pin) {
  for (std::size_t k = 0; k < pin->get_oterm_slot_count(); ++k) {
    VOK_ATOM_OTERM* o = pin->get_oterm_slot(k);
    if (o != nullptr && o->get_first_fanout(VOK_TRAVERSE_AS_STORED) != nullptr) return true;
  }
  return false;
}
bool driven_by_logic(const VOK_ATOM_NODE* pin) {
  for (std::size_t k = 0; k < pin->get_iterm_slot_count(); ++k) {
    VOK_ATOM_ITERM* i = pin->get_iterm_slot(k);
    if (i != nullptr && i->get_source(VOK_TRAVERSE_AS_STORED) != nullptr) return true;
  }
  return false;
}
}  // namespace

// ---- ZEL_ATOM_IO

bool ZEL_ATOM_IO::is_available(DEV_FAMILY_ENUM base_family) {
  const int f = static_cast<int>(base_family);
  return f != 48 && f != 15;
}

ZEL_ATOM_IO* ZEL_ATOM_IO::create_util(MEM_SEGMENT*, DEV_FAMILY_ENUM base_family, bool) {
  if (!is_available(base_family)) return nullptr;
  if (!host::script::next<bool>("ZEL_ATOM_IO::create_util", true)) return nullptr;
  return new ZEL_ATOM_IO(static_cast<int>(base_family));
}

ZEL_ATOM_IO::~ZEL_ATOM_IO() = default;

int ZEL_ATOM_IO::get_delay_chain_dev_bool_enum(YOS_UINT_DATA_ENUM type) { return host::dc::dev_item_of(type); }
YOS_BOOL_DATA_ENUM ZEL_ATOM_IO::get_delay_chain_yos_bool_enum(YOS_UINT_DATA_ENUM type) {
  return static_cast<YOS_BOOL_DATA_ENUM>(host::dc::yos_bool_param_of(type));
}
int ZEL_ATOM_IO::get_delay_chain_moz_variable(YOS_UINT_DATA_ENUM type) { return host::dc::moz_variable_of(type); }
int ZEL_ATOM_IO::get_max_pad_to_core_delay_chains(DEV_FAMILY_ENUM family) {
  return host::dc::table(static_cast<int>(family)).pad_to_core_chains;
}

bool ZEL_ATOM_IO::is_delay_chain_used_on_atom(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type, bool) const {
  if (atom == nullptr || !atom->is_pin()) return false;
  const host::dc::CHAIN* c = chain_of(host::device::spec().family, type);
  if (c == nullptr) return false;
  switch (c->side) {
    case host::dc::SIDE::INPUT: return drives_logic(atom);
    case host::dc::SIDE::OUTPUT: return driven_by_logic(atom);
    case host::dc::SIDE::OUTPUT_ENABLE: return atom->is_bidir() && driven_by_logic(atom);
    case host::dc::SIDE::NONE: return false;
  }
  return false;
}

bool ZEL_ATOM_IO::is_pll_compensated_io(const VOK_ATOM_NODE* atom) const {
  if (atom == nullptr || !atom->is_pin()) return false;
  for (std::size_t a = 0; a < atom->get_oterm_slot_count(); ++a) {
    VOK_ATOM_OTERM* o = atom->get_oterm_slot(a);
    if (o == nullptr) continue;
    for (VOK_ATOM_ITERM* i = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); i; i = i->get_next_fanout(VOK_TRAVERSE_AS_STORED)) {
      const VOK_ATOM_NODE* buf = i->get_my_node();
      if (!buf->is_io_ibuf()) continue;
      for (std::size_t b = 0; b < buf->get_oterm_slot_count(); ++b) {
        VOK_ATOM_OTERM* bo = buf->get_oterm_slot(b);
        if (bo == nullptr) continue;
        for (VOK_ATOM_ITERM* j = bo->get_first_fanout(VOK_TRAVERSE_AS_STORED); j;
             j = j->get_next_fanout(VOK_TRAVERSE_AS_STORED)) {
          const VOK_ATOM_NODE* pll = j->get_my_node();
          std::int64_t mode = 0;
          if (pll->is_pll() && j->get_port_type() == DB_INPUT_PORT_PLL_REFCLK &&
              pll->get_parameter(VOK_PARAMETER_TYPE::UINT, kPllCompensationParam, &mode) && (mode == 1 || mode == 2))
            return true;
        }
      }
    }
  }
  return false;
}

VOK_ATOM_NODE* ZEL_ATOM_IO::get_paired_io_atom(const VOK_ATOM_NODE* atom) const {
  if (atom == nullptr) return nullptr;
  const int other = host::dc::paired_with(atom->get_id());
  if (other < 0 || atom->get_parent_netlist() == nullptr) return nullptr;
  return atom->get_parent_netlist()->get_atom_by_id(other);
}

// ---- ZEL_DELAY_CHAIN_UTIL

ZEL_DELAY_CHAIN_UTIL::ZEL_DELAY_CHAIN_UTIL(int family) : m_family(family) {
  const host::dc::FAMILY_TABLE& t = host::dc::table(family);
  for (int type : t.user_types) m_user.push_back(static_cast<YOS_UINT_DATA_ENUM>(type));
  for (int type : t.auto_types) m_auto.push_back(static_cast<YOS_UINT_DATA_ENUM>(type));
  for (const DeviceCorner& c : host::device::spec().corners)
    m_models.push_back(static_cast<ZEL_TIMING_MODEL>(host::dc::model_code_of_corner_kind(c.kind)));
}

ZEL_DELAY_CHAIN_UTIL* ZEL_DELAY_CHAIN_UTIL::create_util(MEM_SEGMENT*, DEV_FAMILY_ENUM family) {
  return new ZEL_DELAY_CHAIN_UTIL(static_cast<int>(family));
}

ZEL_DELAY_CHAIN_UTIL::~ZEL_DELAY_CHAIN_UTIL() = default;

bool ZEL_DELAY_CHAIN_UTIL::has_fine_delay_chain(YOS_UINT_DATA_ENUM type) const {
  return host::dc::table(m_family).fine.count(type) != 0;
}

YOS_UINT_DATA_ENUM ZEL_DELAY_CHAIN_UTIL::get_fine_delay_chain(YOS_UINT_DATA_ENUM type) const {
  const auto& fine = host::dc::table(m_family).fine;
  auto it = fine.find(type);
  return static_cast<YOS_UINT_DATA_ENUM>(it == fine.end() ? static_cast<int>(0xFFFFFFFFu) : it->second);
}

bool ZEL_DELAY_CHAIN_UTIL::is_fine_delay_chain(YOS_UINT_DATA_ENUM type) const {
  for (const auto& [coarse, fine] : host::dc::table(m_family).fine)
    if (fine == type) return true;
  return false;
}

unsigned ZEL_DELAY_CHAIN_UTIL::get_default_delay_chain_setting(const VOK_ATOM_NODE*, YOS_UINT_DATA_ENUM type, int,
                                                               int, const DEV_PAD*, int, int, bool horizontal) const {
  const host::dc::CHAIN* c = chain_of(m_family, type);
  if (c == nullptr) return 0;
  return horizontal ? c->default_horizontal : c->default_vertical;
}

bool ZEL_DELAY_CHAIN_UTIL::is_dqs(const VOK_ATOM_NODE* atom) const { return atom && host::dc::is_dqs(atom->get_id()); }
bool ZEL_DELAY_CHAIN_UTIL::is_dqsn(const VOK_ATOM_NODE* atom) const {
  return atom && host::dc::is_dqsn(atom->get_id());
}

const char* ZEL_DELAY_CHAIN_UTIL::get_timing_mondel_type_string(ZEL_TIMING_MODEL model) {
  switch (model) {
    case ZEL_TIMING_MODEL_SLOW: return "slow";
    case ZEL_TIMING_MODEL_SLOW_LOW_TEMP: return "slow_low_temp";
    case ZEL_TIMING_MODEL_FAST: return "fast";
    default: return "other";
  }
}

int ZEL_DELAY_CHAIN_UTIL::get_hep_timing_model(ZEL_TIMING_MODEL model) { return model == ZEL_TIMING_MODEL_FAST ? 1 : 0; }
