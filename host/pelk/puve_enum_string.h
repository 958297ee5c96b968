#pragma once
// data: the user-facing names of host enumerators (representation 1: the
// short port name, e.g. "DATAIN"; any other representation: the number).
#include <string>

#include "common/host_api.h"
#include "vok/vok_atom_term.h"

template <class E> std::string puve_enum_to_string(E value, int representation);
template <> HOST_API std::string puve_enum_to_string<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_TYPE value, int representation);
// data: the end marker of the port enumerations ("no particular port").
inline int puve_get_max_enum() { return 0x7FFF; }
