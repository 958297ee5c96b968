#include "yos/yos_interface.h"

#include <cstdint>

#include "common/host_call_log.h"
#include "msg/msg_internal_error.h"
#include "vok/vok_atom_netlist.h"

namespace {
void require_atom(const VOK_ATOM_NODE* atom, int line) {
  if (atom == nullptr) MSG_INTERNAL_ERROR::report("atom", "YOS", "yos_interface", line);
}
// The pulse-width level (parameter 72) is one value per atom, whichever
// typed accessor reads or writes it.
VOK_PARAMETER_TYPE slot_type(VOK_PARAMETER_TYPE type, int id) {
  return id == YOS_PULSE_WIDTH_LEVEL ? VOK_PARAMETER_TYPE::ENUM : type;
}
bool read(const VOK_ATOM_NODE* atom, VOK_PARAMETER_TYPE type, int id, std::int64_t* value) {
  require_atom(atom, __LINE__);
  return atom->get_parameter(slot_type(type, id), id, value);
}
void write(VOK_ATOM_NODE* atom, VOK_PARAMETER_TYPE type, int id, std::int64_t value) {
  require_atom(atom, __LINE__);
  atom->set_parameter(slot_type(type, id), id, value);
}
}  // namespace

YOS_INTERFACE::~YOS_INTERFACE() = default;

bool YOS_INTERFACE::get_uint_data(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM id, unsigned* value) const {
  std::int64_t v = 0;
  if (!read(atom, VOK_PARAMETER_TYPE::UINT, id, &v)) return false;
  if (value) *value = static_cast<unsigned>(v);
  return true;
}
void YOS_INTERFACE::set_uint_data(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM id, unsigned value) {
  write(atom, VOK_PARAMETER_TYPE::UINT, id, value);
}
bool YOS_INTERFACE::get_bool_data(const VOK_ATOM_NODE* atom, YOS_BOOL_DATA_ENUM id, bool* value) const {
  std::int64_t v = 0;
  if (!read(atom, VOK_PARAMETER_TYPE::BOOL, id, &v)) return false;
  if (value) *value = v != 0;
  return true;
}
void YOS_INTERFACE::set_bool_data(VOK_ATOM_NODE* atom, YOS_BOOL_DATA_ENUM id, bool value) {
  write(atom, VOK_PARAMETER_TYPE::BOOL, id, value ? 1 : 0);
}
bool YOS_INTERFACE::get_int_data(const VOK_ATOM_NODE* atom, YOS_INT_DATA_ENUM id, int* value) const {
  std::int64_t v = 0;
  if (!read(atom, VOK_PARAMETER_TYPE::INT, id, &v)) return false;
  if (value) *value = static_cast<int>(v);
  return true;
}
void YOS_INTERFACE::set_int_data(VOK_ATOM_NODE* atom, YOS_INT_DATA_ENUM id, int value) {
  write(atom, VOK_PARAMETER_TYPE::INT, id, value);
}
bool YOS_INTERFACE::get_enum_data(const VOK_ATOM_NODE* atom, YOS_ENUM_DATA_ENUM id, int* value) const {
  if (value) *value = -1;
  std::int64_t v = 0;
  if (!read(atom, VOK_PARAMETER_TYPE::ENUM, id, &v)) return false;
  if (value) *value = static_cast<int>(v);
  return true;
}
void YOS_INTERFACE::set_enum_data(VOK_ATOM_NODE* atom, YOS_ENUM_DATA_ENUM id, int value) {
  write(atom, VOK_PARAMETER_TYPE::ENUM, id, value);
}

YOS_INTERFACE* yos_current_interface() {
  // Stateless: the values live in the atoms.
  static YOS_INTERFACE* interface = new YOS_INTERFACE();
  return interface;
}

bool YOS_INTERFACE::get_time_data(const VOK_ATOM_NODE* atom, YOS_TIME_DATA_ENUM id, long long* value) const {
  std::int64_t v = 0;
  if (!read(atom, VOK_PARAMETER_TYPE::TIME, id, &v)) return false;
  if (value) *value = v;
  return true;
}
void YOS_INTERFACE::set_time_data(VOK_ATOM_NODE* atom, YOS_TIME_DATA_ENUM id, long long value) {
  write(atom, VOK_PARAMETER_TYPE::TIME, id, value);
}

void yos_init_for(int family) { host::log_call("yos_init_for", family); }
