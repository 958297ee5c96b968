#pragma once
// How often a global taint rebuilt the whole timing netlist, and how often
// it kept the netlist in memory because nothing a build reads had changed
// since that netlist was built (see host::kem::build_inputs_digest).
#include "common/host_api.h"

namespace host::hov {
// data: the counts since the world was made.
HOST_API int whole_builds();
HOST_API int kept_builds();
}  // namespace host::hov
