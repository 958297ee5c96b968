#include "yun/yun_utility.h"

#include "common/host_call_log.h"
#include "thr/thr_drl.h"

YUN_ENV::~YUN_ENV() = default;

YUN_UTILITY::YUN_UTILITY() { host::counters::add("yun_utility", 1); }
YUN_UTILITY::~YUN_UTILITY() { host::counters::add("yun_utility", -1); }
