#include "zel/zel_clkbuf_util.h"

#include <cstdint>

#include "vok/vok_atom_netlist.h"

namespace {
constexpr int CLOCK_TYPE_PARAMETER = 7000;  // the stand-in's parameter id of the clock type
}

int ZEL_CLKBUF_UTIL::get_clock_type(const VOK_ATOM_NODE* atom) {
  std::int64_t v = 0;
  if (atom == nullptr || !atom->get_parameter(VOK_PARAMETER_TYPE::INT, CLOCK_TYPE_PARAMETER, &v)) return 0;
  return static_cast<int>(v);
}

void ZEL_CLKBUF_UTIL::set_clock_type(VOK_ATOM_NODE* atom, int type) {
  atom->set_parameter(VOK_PARAMETER_TYPE::INT, CLOCK_TYPE_PARAMETER, type);
}
