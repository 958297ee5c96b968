#pragma once
// data: the configurable-atom parameter interface. Parameters are typed
// values stored per atom (unsigned, bool, int and enumeration values); a read
// reports whether the atom has the parameter.
#include "common/host_api.h"

class VOK_ATOM_NODE;

// Parameter ids (host enumerations; any value is a valid id).
enum YOS_UINT_DATA_ENUM : int {};
enum YOS_BOOL_DATA_ENUM : int {};
enum YOS_INT_DATA_ENUM : int {};
// Time-valued parameters (picoseconds).
enum YOS_TIME_DATA_ENUM : int {};
enum YOS_ENUM_DATA_ENUM : int {
  YOS_ENUM_OPERAND_SOURCE_MAX = 175,
};

// The pulse-width level of a pipeline register (0, 1, 2): one stored value
// whichever typed accessor reads or writes it.
inline constexpr int YOS_PULSE_WIDTH_LEVEL = 72;

class HOST_API YOS_INTERFACE {
public:
  virtual ~YOS_INTERFACE();

  bool get_uint_data(const VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM id, unsigned* value) const;
  void set_uint_data(VOK_ATOM_NODE* atom, YOS_UINT_DATA_ENUM id, unsigned value);
  bool get_bool_data(const VOK_ATOM_NODE* atom, YOS_BOOL_DATA_ENUM id, bool* value) const;
  void set_bool_data(VOK_ATOM_NODE* atom, YOS_BOOL_DATA_ENUM id, bool value);
  bool get_int_data(const VOK_ATOM_NODE* atom, YOS_INT_DATA_ENUM id, int* value) const;
  void set_int_data(VOK_ATOM_NODE* atom, YOS_INT_DATA_ENUM id, int value);
  // *value is -1 unless the atom has the parameter.
  bool get_enum_data(const VOK_ATOM_NODE* atom, YOS_ENUM_DATA_ENUM id, int* value) const;
  void set_enum_data(VOK_ATOM_NODE* atom, YOS_ENUM_DATA_ENUM id, int value);
  // Time-valued parameters, in picoseconds.
  bool get_time_data(const VOK_ATOM_NODE* atom, YOS_TIME_DATA_ENUM id, long long* value) const;
  void set_time_data(VOK_ATOM_NODE* atom, YOS_TIME_DATA_ENUM id, long long value);
};

// The process-wide interface (not owned by the caller).
HOST_API YOS_INTERFACE* yos_current_interface();
// data: makes the family's parameter interface current (recorded); the
// stand-in has one interface for every family.
HOST_API void yos_init_for(int family);
