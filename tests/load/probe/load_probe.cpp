// Reads a configuration value when the library is loaded, as the component
// does with its load-time values.
#include "cfg/cfg.h"

namespace {
const int l_value = cfg_get_int_value("velmo_probe_value", -1);
}

extern "C" __attribute__((visibility("default"))) int velmo_probe_value_at_load() { return l_value; }
