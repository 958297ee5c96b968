#pragma once
// The local routing annotator: finds spare routing wires that, attached as
// dangling stubs to the route of a connection, raise the delay into its
// input term, with the delay each adds at one corner.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/host_api.h"
#include "kem/kem_timing_model.h"

class CMP_FACADE;
class VOK_CHIP_DB_ENTRY;
class VOK_ATOM_ITERM;

// A candidate stub.
struct XAB_DANGLING_RE_DELAY {
  // The node of the timing netlist's routing-element forest to attach to
  // (its payload is the parent element's gid).
  std::int32_t node;
  // The spare element (bit 31 set).
  std::uint32_t stub_gid;
  // The stub's own load at the annotator's corner in ps, its hop delay in
  // ps, and a spare field.
  std::int32_t own_load_ps;
  std::int32_t hop_delay_ps;
  std::int32_t reserved;
  // The rise and fall delay (seconds) the input term gains with this stub
  // and every earlier candidate of the list attached.
  float rise;
  float fall;
};
static_assert(sizeof(XAB_DANGLING_RE_DELAY) == 28 && offsetof(XAB_DANGLING_RE_DELAY, node) == 0 &&
                  offsetof(XAB_DANGLING_RE_DELAY, stub_gid) == 4 && offsetof(XAB_DANGLING_RE_DELAY, rise) == 20 &&
                  offsetof(XAB_DANGLING_RE_DELAY, fall) == 24,
              "candidate layout: node, stub gid, 12 bytes, two delay increases");

class HOST_API XAB_LOCAL_ROUTING_ANNOTATOR {
public:
  // algorithm: an annotator for one corner over the entry's routing as it is
  // now (the elements any net uses are noted here). Annotators built on the
  // same routing state share one read-only note of the used elements, so
  // building one per worker is cheap; an edit of the routing makes the next
  // annotator take a fresh note, while those built before keep theirs.
  XAB_LOCAL_ROUTING_ANNOTATOR(VOK_CHIP_DB_ENTRY* entry, const KEM_TIMING_MODEL& corner, CMP_FACADE* cmp);

  // algorithm: walks the route of the input term's connection from its sink
  // node up to the root; at each element node lists up to four of the
  // element's fan-outs (wires, feedback lines, LAB input muxes) that no net
  // uses, the blacklist allows and that hold no pipeline slot, in fan-out
  // order, each element once. Each candidate's
  // delays are the input term's delay increase at the corner with it and
  // all earlier candidates attached. `target` (seconds; below 0: none) ends
  // the list at the first candidate whose increase reaches it. False (an
  // empty list) when the term has no route or no candidate is found. Reads
  // only data that does not change during the call, so several annotators
  // may search at once.
  bool find_dangling_routes_to_increase_iterm_delay(std::vector<XAB_DANGLING_RE_DELAY>& out,
                                                    const VOK_ATOM_ITERM* iterm, double target) const;

  const KEM_TIMING_MODEL& get_corner() const { return m_corner; }

private:
  bool find_candidates(std::vector<XAB_DANGLING_RE_DELAY>& out, const VOK_ATOM_ITERM* iterm, double target) const;
  VOK_CHIP_DB_ENTRY* m_entry;
  KEM_TIMING_MODEL m_corner;
  // Bit i set: element index i is used by a net (shared, never written).
  std::shared_ptr<const std::vector<std::uint64_t>> m_used;
  bool is_used(unsigned index) const {
    const std::size_t word = index / 64;
    return word < m_used->size() && (((*m_used)[word] >> (index % 64)) & 1u) != 0;
  }
};

namespace host::xab {
// Tests: a hook that sees (and may change) every candidate list the
// annotators find, with the term it is for; an empty function removes it.
// Called on the searching thread.
using CANDIDATE_HOOK = std::function<void(std::vector<XAB_DANGLING_RE_DELAY>&, const VOK_ATOM_ITERM*)>;
HOST_API void set_candidate_hook(CANDIDATE_HOOK hook);
}  // namespace host::xab
