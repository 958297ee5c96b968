#pragma once
// data: the regression-test mode and its status keys (section, key) -> value.
#include <string>
#include "common/host_api.h"

HOST_API bool tst_is_regtest_mode();
// "" for a key that is not set.
HOST_API std::string tst_get_value(const char* section, const char* key);
HOST_API void tst_set_value(const char* section, const char* key, const char* value);

namespace host::tst {
HOST_API void set_regtest_mode(bool on);
}
