#pragma once
// String helpers of the general utilities.
#include "common/host_api.h"

// algorithm: strcmp (content comparison of two NUL-terminated strings).
HOST_API int gen_strcmp(const char* a, const char* b);
