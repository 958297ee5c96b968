#include "ewt/ewt_table_timing_model.h"

#include "common/host_call_log.h"

namespace {
// Atom types of the stand-in: 247 comb/arithmetic cells, 392/401/393 registers.
int class_delay(int type) {
  if (type == 247) return 150;
  if (type == 392 || type == 401 || type == 393) return 250;
  return 400;
}
}  // namespace

bool EWT_TABLE_TIMING_MODEL::initialize(int family, const char* device, bool f1, bool f2, bool f3) {
  host::log_call("EWT_TABLE_TIMING_MODEL::initialize", family, device ? device : "", f1, f2, f3);
  m_ready = true;
  return true;
}

EWT_IC_DELAY_RECORD EWT_TABLE_TIMING_MODEL::get_ic_delay(int src_type, int, int dst_type, int dst_usage) const {
  EWT_IC_DELAY_RECORD r;
  const int a = class_delay(src_type), b = class_delay(dst_type);
  r.values[5] = (a > b ? a : b) + 10 * (dst_usage > 0 ? dst_usage : 0);
  return r;
}
