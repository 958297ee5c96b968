#pragma once
// String helpers of the general utilities.
#include <string>

#include "common/host_api.h"

// algorithm: strcmp (content comparison of two NUL-terminated strings).
HOST_API int gen_strcmp(const char* a, const char* b);
// algorithm: the text of a value in a base (2-36), "-" before negative
// values, no leading zeros.
HOST_API std::string gen_itoa(long long value, int base);
