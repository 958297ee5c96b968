#include "luj/luj_bbox.h"

std::string LUJ_BBOX::describe() const {
  return "(" + std::to_string(m_x0) + ", " + std::to_string(m_y0) + ") - (" + std::to_string(m_x1) + ", " +
         std::to_string(m_y1) + ")";
}
