#pragma once
// data: an axis-aligned box of tiles; -1 marks an unset coordinate.
#include <string>
#include "common/host_api.h"

class HOST_API LUJ_BBOX {
public:
  LUJ_BBOX() = default;
  LUJ_BBOX(int x0, int y0, int x1, int y1) : m_x0(x0), m_y0(y0), m_x1(x1), m_y1(y1) {}
  int x0() const { return m_x0; }
  int y0() const { return m_y0; }
  int x1() const { return m_x1; }
  int y1() const { return m_y1; }
  // "(x0, y0) - (x1, y1)".
  std::string describe() const;

private:
  int m_x0 = -1;
  int m_y0 = -1;
  int m_x1 = -1;
  int m_y1 = -1;
};
