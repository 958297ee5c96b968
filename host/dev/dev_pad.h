#pragma once
// data: an I/O pad of the configured device (one per pin of a pad tile). Its
// bool items describe its edge: a pad on the left edge has item 3 (true), one
// on the right edge item 4 (true), one on the bottom edge item 1 (true) and
// item 4 (false); other items are invalid.
#include "common/host_api.h"

class HOST_API DEV_PAD {
public:
  DEV_PAD(unsigned gid, int x, int y, int sub, int nx);
  // The placement gid of the pad site.
  unsigned get_global_id() const { return m_gid; }
  int get_x() const { return m_x; }
  int get_y() const { return m_y; }
  int get_sub_location() const { return m_sub; }
  bool is_valid_bool_data(int item) const;
  bool get_bool_data(int item) const;

private:
  unsigned m_gid;
  int m_x;
  int m_y;
  int m_sub;
  int m_nx;
};

namespace host::device {
// The pad of pin (x, y, sub) where sub is any site of the pin; null when the
// tile holds no pads.
HOST_API const DEV_PAD* pad_at(int x, int y, int sub);
}  // namespace host::device
