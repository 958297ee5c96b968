#include "twy/twy_translator.h"

std::string TWY_TRANSLATOR::get_debug_string_name(int atom_type) {
  switch (atom_type) {
    case 247: return "LCELL_COMB";
    case 260: return "IO_PAD";
    case 261: return "IO_IBUF";
    case 262: return "IO_OBUF";
    case 392: return "FF";
    case 393: return "IO_FF";
    case 401: return "PIPELINE_FF";
    default: return "ATOM_TYPE_" + std::to_string(atom_type);
  }
}
