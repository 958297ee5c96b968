#pragma once
// I/O timing of the stand-in analysis.
//
// Constraints: a design pin (pad atom) may carry an input or output delay
// (max and min, ps) relative to a declared clock. A constrained input pin
// launches in that clock's domain at its delay; a constrained output pin is
// an endpoint whose setup requirement is period - max delay and whose hold
// requirement is -min delay. Unconstrained pins stay unclocked.
//
// Chain delays: the delay chains of a pin add their delay at the pin's current
// setting (host::dc::delay_ps at the corner's model code and speed grade) to
// the interconnect edges they act on: from the pin's input buffer into
// I/O input registers and DDIO inputs (446, or 15 on older chains), 12-lane
// cells (448) and inputs connected through a pad-to-core chain (446, or 12/13
// by the chain index), and into the output buffer's data (430, or 14) and
// output-enable (usage 22: 431, or 16) inputs. A pin's taint re-annotates
// its buffers' edges.
#include <set>
#include <string>

#include "common/host_api.h"

class KEM_EDGE;
class KEM_TIMING_MODEL;
class VOK_ATOM_NETLIST;
class VOK_ATOM_NODE;

namespace host::timing {
struct IO_DELAY {
  std::string clock;
  int max_ps = 0;
  int min_ps = 0;
};
// data: the delay of a pin (by atom id); null when it has none.
HOST_API void set_io_delay(int pin_atom_id, const IO_DELAY& delay);
HOST_API const IO_DELAY* io_delay(int pin_atom_id);
// Whether an edge can carry a chain: an interconnect edge out of a pin or an
// input buffer, or into an output buffer (tested once, when the edge is made).
HOST_API bool may_carry_chain(const KEM_EDGE& edge);
// algorithm: the chain delay the pins' settings add to an edge at a corner.
HOST_API int chain_delay_ps(const KEM_EDGE& edge, const KEM_TIMING_MODEL& corner);
// algorithm: adds to a set of tainted atom ids the I/O buffers of the pins in
// it, whose edges carry the pins' chain delays.
HOST_API void add_pin_buffers(VOK_ATOM_NETLIST* top, std::set<int>* ids);
// On devices whose item 77 is clear a pin is in the older form: a timing cell
// between its device-pin node and the core, whose own output carries the
// input chains' delays (in place of the input buffer's).
HOST_API bool older_pin_form();
// The pin whose chains act on an I/O buffer (null for other atoms).
HOST_API VOK_ATOM_NODE* pin_of_buffer(const VOK_ATOM_NODE* buffer);
}  // namespace host::timing
