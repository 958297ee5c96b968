#pragma once
// data: the clock type of a clock buffer (7 = low-power periphery clock,
// LPCLK), held per atom; 0 for an atom nobody set.
#include "common/host_api.h"

class VOK_ATOM_NODE;

class HOST_API ZEL_CLKBUF_UTIL {
public:
  static constexpr int LPCLK = 7;
  static int get_clock_type(const VOK_ATOM_NODE* atom);
  static void set_clock_type(VOK_ATOM_NODE* atom, int type);
};
