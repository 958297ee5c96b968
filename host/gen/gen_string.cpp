#include "gen/gen_string.h"

#include <cstring>

int gen_strcmp(const char* a, const char* b) { return std::strcmp(a, b); }
