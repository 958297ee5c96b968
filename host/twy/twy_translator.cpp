#include "twy/twy_translator.h"

std::string TWY_TRANSLATOR::get_debug_name(TABLE table, int value) {
  const char* prefix = table == INPUT_PORT_TYPE ? "IPORT_" : table == OUTPUT_PORT_TYPE ? "OPORT_" : "ATOM_";
  return prefix + std::to_string(value);
}
