// The delay-chain members of NOLT_DELAY_CHAIN_UTIL_BODY.
#include <cstdint>

#include "nolt/nolt_utilities.h"
#include "omz/omz_option.h"
#include "vok/vok_atom_netlist.h"
#include "vok/vok_atom_term.h"
#include "zel/zel_dc_table.h"

bool NOLT_DELAY_CHAIN_UTIL_BODY::is_fake_pll_enum(YOS_UINT_DATA_ENUM type) const {
  return host::dc::is_pll_pseudo_type(type);
}

YOS_TIME_DATA_ENUM NOLT_DELAY_CHAIN_UTIL_BODY::convert_fake_uint_enum_to_time_enum(YOS_UINT_DATA_ENUM type) const {
  return static_cast<YOS_TIME_DATA_ENUM>(static_cast<int>(type));
}

unsigned NOLT_DELAY_CHAIN_UTIL_BODY::get_delay_chain_setting_for_time_data(const VOK_ATOM_NODE* atom,
                                                                          YOS_TIME_DATA_ENUM id) const {
  long long v = 0;
  if (atom == nullptr || !yos_current_interface()->get_time_data(atom, id, &v)) return 0;
  return static_cast<unsigned>(v);
}

bool NOLT_DELAY_CHAIN_UTIL_BODY::set_delay_chain_time_value_on_atom(VOK_ATOM_NODE* atom, YOS_TIME_DATA_ENUM id,
                                                                   unsigned value) {
  if (atom == nullptr || host::dc::write_fails(atom->get_id(), id)) return false;
  yos_current_interface()->set_time_data(atom, id, value);
  return true;
}

unsigned NOLT_DELAY_CHAIN_UTIL_BODY::get_delay_chain_setting_of_atom(const VOK_ATOM_NODE* atom,
                                                                    YOS_UINT_DATA_ENUM type) const {
  unsigned v = 0;
  if (atom == nullptr ||
      !yos_current_interface()->get_uint_data(atom, static_cast<YOS_UINT_DATA_ENUM>(host::dc::yos_param_of(type)), &v))
    return 0;
  return v;
}

bool NOLT_DELAY_CHAIN_UTIL_BODY::set_delay_chain_setting(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM type,
                                                         unsigned value) {
  if (atom == nullptr || host::dc::write_fails(atom->get_id(), type)) return false;
  yos_current_interface()->set_uint_data(atom, static_cast<YOS_UINT_DATA_ENUM>(host::dc::yos_param_of(type)), value);
  return true;
}

bool NOLT_DELAY_CHAIN_UTIL_BODY::has_user_delay_chain_option(const VOK_ATOM_NODE* atom,
                                                             YOS_UINT_DATA_ENUM type) const {
  if (atom == nullptr || atom->get_instance_name() == nullptr) return false;
  return OMZ_DERIVED_OPTION::get_single_option(atom->get_instance_name(), host::dc::moz_variable_of(type), false) !=
         nullptr;
}

unsigned NOLT_DELAY_CHAIN_UTIL_BODY::get_max_setting(YOS_UINT_DATA_ENUM type) const {
  const int f = static_cast<int>(m_family);
  if (type == 144 && (f == 8 || f == 12 || f == 19)) return 16;
  const auto& chains = host::dc::table(f).chains;
  auto it = chains.find(type);
  return it == chains.end() ? 0 : it->second.max_setting;
}

bool NOLT_DELAY_CHAIN_UTIL_BODY::is_dq_pin(const VOK_ATOM_NODE* atom) const {
  return atom != nullptr && host::dc::is_dq(atom->get_id());
}

VOK_ATOM_NODE* NOLT_DELAY_CHAIN_UTIL_BODY::get_atom_with_delay_chain_property(VOK_ATOM_NODE* atom,
                                                                              YOS_UINT_DATA_ENUM) const {
  if (atom == nullptr) return nullptr;
  if (atom->is_pin()) return atom;
  if (atom->is_io_ibuf()) {
    for (std::size_t k = 0; k < atom->get_iterm_slot_count(); ++k) {
      VOK_ATOM_ITERM* i = atom->get_iterm_slot(k);
      VOK_ATOM_OTERM* src = i ? i->get_source(VOK_TRAVERSE_AS_STORED) : nullptr;
      if (src && src->get_my_node() && src->get_my_node()->is_pin()) return src->get_my_node();
    }
  }
  if (atom->is_io_obuf()) {
    for (std::size_t k = 0; k < atom->get_oterm_slot_count(); ++k) {
      VOK_ATOM_OTERM* o = atom->get_oterm_slot(k);
      if (o == nullptr) continue;
      for (VOK_ATOM_ITERM* i = o->get_first_fanout(VOK_TRAVERSE_AS_STORED); i; i = i->get_next_fanout(VOK_TRAVERSE_AS_STORED))
        if (i->get_my_node()->is_pin()) return i->get_my_node();
    }
  }
  return nullptr;
}

int NOLT_DELAY_CHAIN_UTIL_BODY::translate_delay_chain_from_yos_to_zav(YOS_UINT_DATA_ENUM type) const {
  return static_cast<int>(type);
}

unsigned NOLT_DELAY_CHAIN_UTIL_BODY::translate_delay_value(unsigned value) const { return value; }
