#pragma once
// data: which families a compiler option (variable) applies to.
#include "common/host_api.h"

// True unless a test excluded the family (host::moz::exclude_family).
HOST_API bool moz_variable_includes_family(int variable, int family);

namespace host::moz {
HOST_API void exclude_family(int variable, int family);
}
