#include "bav/bav_strengths.h"

#include "common/host_call_log.h"
#include "common/host_script.h"

bool BAV::translate_current_strengths(bool flag) {
  host::log_call("BAV::translate_current_strengths", flag);
  return host::script::next<bool>("BAV::translate_current_strengths", true);
}
