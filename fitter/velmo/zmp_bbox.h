#pragma once
// Two-dimensional integer boxes (corners included).
#include <algorithm>

#include "msg/msg_internal_error.h"
#include "zmp_point.h"

namespace ZMP {

class BBOX_2D {
public:
  using POINT_TYPE = POINT<2, int, DEFAULT_COORDINATE_SPACE>;

  // The empty box: min (1, 1), max (0, 0).
  BBOX_2D() : m_min_point(1, 1), m_max_point(0, 0) {}
  BBOX_2D(int min_x, int min_y, int max_x, int max_y) : m_min_point(min_x, min_y), m_max_point(max_x, max_y) {}
  BBOX_2D(const POINT_TYPE& min_point, const POINT_TYPE& max_point) : m_min_point(min_point), m_max_point(max_point) {}

  const POINT_TYPE& get_min_point() const { return m_min_point; }
  const POINT_TYPE& get_max_point() const { return m_max_point; }
  int get_min(int dim) const { return m_min_point.at(dim); }
  int get_max(int dim) const { return m_max_point.at(dim); }

  // Empty when a min exceeds its max in either dimension.
  bool is_empty() const { return m_min_point.at(0) > m_max_point.at(0) || m_min_point.at(1) > m_max_point.at(1); }

  // Number of integer points along one dimension; internal error for an
  // empty extent.
  int get_width(int dim) const {
    check_extent(dim);
    return m_max_point.at(dim) - m_min_point.at(dim) + 1;
  }

  // (max x - min x + 1) * (max y - min y + 1); internal error for an empty box.
  long long get_num_points() const {
    long long n = 1;
    for (int dim = 0; dim < 2; ++dim) {
      check_extent(dim);
      n *= static_cast<long long>(m_max_point.at(dim)) - m_min_point.at(dim) + 1;
    }
    return n;
  }

  bool contains(int x, int y) const {
    return x >= m_min_point.at(0) && x <= m_max_point.at(0) && y >= m_min_point.at(1) && y <= m_max_point.at(1);
  }

  // The common part of two boxes (empty when they do not meet).
  BBOX_2D intersection(const BBOX_2D& o) const {
    return BBOX_2D(std::max(m_min_point.at(0), o.m_min_point.at(0)), std::max(m_min_point.at(1), o.m_min_point.at(1)),
                   std::min(m_max_point.at(0), o.m_max_point.at(0)), std::min(m_max_point.at(1), o.m_max_point.at(1)));
  }

  // Share of `other` covered by this box: 0 when the two do not meet, else
  // the intersection's extents (max - min in each dimension) multiplied,
  // divided by the same product of `other`. A box of one row or one column
  // has no extent in that dimension; there the ratio counts points instead
  // (intersection points over the other box's points), so it stays in 0..1.
  double overlap_ratio(const BBOX_2D& other) const {
    const BBOX_2D common = intersection(other);
    if (common.is_empty() || other.is_empty()) return 0.0;
    const double ox = static_cast<double>(other.m_max_point.at(0)) - other.m_min_point.at(0);
    const double oy = static_cast<double>(other.m_max_point.at(1)) - other.m_min_point.at(1);
    if (ox == 0.0 || oy == 0.0)
      return static_cast<double>(common.get_num_points()) / static_cast<double>(other.get_num_points());
    const double ix = static_cast<double>(common.m_max_point.at(0)) - common.m_min_point.at(0);
    const double iy = static_cast<double>(common.m_max_point.at(1)) - common.m_min_point.at(1);
    return (iy * ix) / (ox * oy);
  }

  bool operator==(const BBOX_2D& o) const { return m_min_point == o.m_min_point && m_max_point == o.m_max_point; }
  bool operator!=(const BBOX_2D& o) const { return !(*this == o); }

private:
  void check_extent(int idim) const {
    if (!(m_max_point.at(idim) >= m_min_point.at(idim)))
      MSG_INTERNAL_ERROR::report("m_max_point.at(idim) >= m_min_point.at(idim)", "VELMO", "zmp_bbox", __LINE__);
  }

  POINT_TYPE m_min_point;
  POINT_TYPE m_max_point;
};

}  // namespace ZMP
