#include "vok/vok_re_routing_incremental_db.h"

#include <algorithm>

#include "common/host_call_log.h"

void VOK_RE_ROUTING_INCREMENTAL_DB::mark_oterm_with_changing_routing(const VOK_ATOM_OTERM* oterm) {
  if (oterm && std::find(m_marked.begin(), m_marked.end(), oterm) == m_marked.end()) m_marked.push_back(oterm);
}

const std::vector<const VOK_ATOM_OTERM*>& VOK_RE_ROUTING_INCREMENTAL_DB::perform_diff() {
  host::log_call("VOK_RE_ROUTING_INCREMENTAL_DB::perform_diff", static_cast<int>(m_marked.size()));
  return m_marked;
}
