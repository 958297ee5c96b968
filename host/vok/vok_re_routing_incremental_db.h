#pragma once
// The incremental routing change record: the output terms whose routing an
// editor is changing, for the incremental port-model update.
#include <vector>

#include "common/host_api.h"

class VOK_RE_ROUTING;
class VOK_ATOM_OTERM;

class HOST_API VOK_RE_ROUTING_INCREMENTAL_DB {
public:
  // data: a record over the routing (not owned).
  explicit VOK_RE_ROUTING_INCREMENTAL_DB(VOK_RE_ROUTING* routing) : m_routing(routing) {}
  // data: notes an output term whose routing changes (each once, in order of
  // first mark).
  void mark_oterm_with_changing_routing(const VOK_ATOM_OTERM* oterm);
  // recorded + data: closes the record; the marked output terms.
  const std::vector<const VOK_ATOM_OTERM*>& perform_diff();
  const std::vector<const VOK_ATOM_OTERM*>& get_marked_oterms() const { return m_marked; }
  VOK_RE_ROUTING* get_routing() const { return m_routing; }

private:
  VOK_RE_ROUTING* m_routing;
  std::vector<const VOK_ATOM_OTERM*> m_marked;
};
