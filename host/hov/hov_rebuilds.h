#pragma once
// How often a global taint rebuilt the whole timing netlist, and how often
// it kept the netlist in memory because nothing a build reads had changed
// since that netlist was built (see host::kem::build_inputs_digest).
#include "common/host_api.h"

namespace host::hov {
// data: the counts since the world was made.
HOST_API int whole_builds();
HOST_API int kept_builds();
// Requests for a whole build met by the netlist in memory, whose structure
// was still that of the last whole build and of whose inputs only the
// routing had changed: its interconnect delays and hops were read again.
HOST_API int refreshed_builds();
}  // namespace host::hov
