#include "pelk/puve_enum_string.h"

template <> std::string puve_enum_to_string<DB_INPUT_PORT_TYPE>(DB_INPUT_PORT_TYPE value, int representation) {
  if (representation == 1) {
    switch (value) {
      case DB_INPUT_PORT_BOX: return "BOXIN";
      case DB_INPUT_PORT_CARRY_IN: return "CIN";
      case DB_INPUT_PORT_ACLR: return "ACLR";
      case DB_INPUT_PORT_CLK: return "CLK";
      case DB_INPUT_PORT_ENA: return "ENA";
      case DB_INPUT_PORT_DATA_IN: return "DATAIN";
      case DB_INPUT_PORT_SCLR: return "SCLR";
      case DB_INPUT_PORT_LUTRAM_DATA_A: return "PORTADATAIN";
      default: break;
    }
    const int v = static_cast<int>(value);
    if (v >= DB_INPUT_PORT_LUT_DATA && v < DB_INPUT_PORT_LUT_DATA + 8)
      return "DATA" + std::string(1, static_cast<char>('A' + v - DB_INPUT_PORT_LUT_DATA));
  }
  return std::to_string(static_cast<int>(value));
}
