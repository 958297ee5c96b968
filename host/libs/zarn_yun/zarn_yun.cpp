// The retiming-engine library the component loads by name.
#include "common/host_call_log.h"
#include "yun/yun_utility.h"

extern "C" __attribute__((visibility("default"))) YUN_UTILITY* yun_utility_factory(YUN_ENV* env) {
  host::log_call("yun_utility_factory", env);
  return new YUN_UTILITY();
}
