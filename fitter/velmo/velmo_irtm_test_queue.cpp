// The registers whose timing changed, and the queue of failing registers of a
// clock domain, most critical first.
#include <algorithm>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_sort.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

#include "msg/msg_internal_error.h"
#include "oxu/oxu_job.h"
#include "velmo_debug.h"
#include "velmo_irtm_test.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_env.h"

namespace {

[[noreturn]] void ie(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "VELMO", "velmo_irtm_test_queue", line);
}

constexpr unsigned STOP_FLAGS = 0x1c000;
constexpr unsigned TYPED_FLAGS = 0x18000;

}  // namespace

// ---------------------------------------------------------------- changed registers

void FF_CHANGE_MANAGER::reset() {
  m_found_ffs.clear();
  m_visited_nodes.clear();
  m_fanin_node_ids.clear();
  m_changed_flops.clear();
}

const std::vector<VOK_ATOM_NODE*>* FF_CHANGE_MANAGER::get_changed_flops(bool include_changed, bool include_fanin) {
  m_changed_flops.clear();
  if (const std::map<int, VOK_ATOM_NODE*>* record = sta_incr_get_changed_flops())
    for (const auto& [key, atom] : *record)
      if (atom) m_changed_flops.push_back(atom);
  if (!include_fanin) {
    if (!include_changed) m_changed_flops.clear();
    return &m_changed_flops;
  }
  m_fanin_node_ids.clear();
  for (const VOK_ATOM_NODE* atom : m_changed_flops) {
    const KEM_NETLIST_CELL* cell = m_kem_netlist->get_cell_from_atom_id(atom->get_id());
    if (!cell) continue;
    for (int id : cell->keeper_range()) {
      const KEM_NODE* keeper = m_kem_netlist->get_node(id);
      if (!keeper) continue;
      const bool typed = keeper->has_any_flag(TYPED_FLAGS);
      int e = keeper->begin_fanin();
      if (typed)
        while (e >= 0 && m_kem_netlist->get_edge(e) && m_kem_netlist->get_edge(e)->get_kind() != 1)
          e = m_kem_netlist->get_edge(e)->get_next_fanin();
      while (e >= 0) {
        const KEM_EDGE* edge = m_kem_netlist->get_edge(e);
        if (!edge) break;
        m_fanin_node_ids.push_back(edge->get_src_node()->get_id());
        e = typed ? edge->get_next_fanin_of_kind(1) : edge->get_next_fanin();
      }
    }
  }
  if (!include_changed) m_changed_flops.clear();
  m_visited_nodes.clear();
  m_found_ffs.clear();
  for (int id : m_fanin_node_ids)
    if (const KEM_NODE* node = m_kem_netlist->get_node(id)) find_changed_req_flops_recur(node);
  for (const auto& [id, atom] : m_found_ffs) m_changed_flops.push_back(atom);
  return &m_changed_flops;
}

void FF_CHANGE_MANAGER::find_changed_req_flops_recur(const KEM_NODE* start) {
  // Depth first in edge-chain order, with an explicit stack: each node's
  // fan-in sources are pushed in reverse so the first edge is walked first.
  std::vector<const KEM_NODE*> stack{start};
  std::vector<const KEM_NODE*> sources;
  while (!stack.empty()) {
    const KEM_NODE* node = stack.back();
    stack.pop_back();
    if (!node || node->has_any_flag(STOP_FLAGS)) continue;
    if (!m_visited_nodes.insert(node->get_id()).second) continue;
    const VOK_ATOM_OTERM* o = node->get_oterm();
    VOK_ATOM_NODE* atom = o ? o->get_my_node() : nullptr;
    if (atom && atom->is_ff() && !ZEL_ZOTA_UTIL::is_ff_bypassed(atom)) {
      m_found_ffs.emplace(atom->get_id(), atom);
      continue;
    }
    sources.clear();
    for (int e = node->begin_fanin(); e >= 0;) {
      const KEM_EDGE* edge = m_kem_netlist->get_edge(e);
      if (!edge) break;
      sources.push_back(edge->get_src_node());
      e = edge->get_next_fanin();
    }
    for (auto it = sources.rbegin(); it != sources.rend(); ++it) stack.push_back(*it);
  }
}

// ---------------------------------------------------------------- queue

IRTM_FF_QUEUE::IRTM_FF_QUEUE() { m_domain = HOV_INCR_WNS_DOMAIN{-1, -1, 0, 0}; }

IRTM_FF_QUEUE::~IRTM_FF_QUEUE() = default;

bool IRTM_FF_QUEUE::in_domain(const IRTM_FF* ff, const HOV_INCR_WNS_DOMAIN& domain) const {
  const VOK_ATOM_NODE* atom = ff->get_atom();
  if (!atom || !atom->is_ff()) return false;
  const VOK_ATOM_OTERM* q = atom->get_output_term_by_type(DB_OUTPUT_PORT_REG, 0);
  if (!q) return false;
  const KEM_NETLIST* kem = IRTM_UTIL::s_instance->get_kem_netlist();
  const KEM_NODE* node = kem->get_kem_node_from_oterm(q);
  if (!node) return false;
  if (sta_kem_node_has_domain(node, domain, false)) return true;
  const KEM_NETLIST_CELL* cell = kem->get_cell_from_atom_id(atom->get_id());
  if (!cell) return false;
  for (int id : cell->get_node_ids()) {
    const KEM_NODE* n = kem->get_node(id);
    const VOK_ATOM_ITERM* t = n ? n->get_iterm() : nullptr;
    if (t && t->get_any_usage_as() != DB_INPUT_PORT_CLK && sta_kem_node_has_domain(n, domain, false)) return true;
  }
  return false;
}

void IRTM_FF_QUEUE::keep_in_domain(std::vector<IRTM_FF*>& ffs, const HOV_INCR_WNS_DOMAIN& domain) const {
  if (ffs.empty()) return;
  // Each index is written by its own task only.
  tbb::task_arena arena(OXU_PROCESSOR_MANAGER::get_max_threads(0x7fffffff));
  arena.execute([&] {
    tbb::parallel_for(
        tbb::blocked_range<unsigned>(0, static_cast<unsigned>(ffs.size()), 1),
        [&](const tbb::blocked_range<unsigned>& r) {
          for (unsigned i = r.begin(); i != r.end(); ++i)
            if (ffs[i] && !in_domain(ffs[i], domain)) ffs[i] = nullptr;
        },
        tbb::auto_partitioner());
  });
}

bool IRTM_FF_QUEUE::is_candidate(const IRTM_FF* ff) {
  return ff->min_output_slack() != IRTM_NO_SLACK && ff->m_data_slack != IRTM_NO_SLACK && ff->min_slack() < 0 &&
         !ff->is_bypassed();
}

void IRTM_FF_QUEUE::initialize(const HOV_INCR_WNS_DOMAIN* domain) {
  m_ff_list.clear();
  m_ff_to_iter.clear();
  m_init_ffs.clear();
  m_changed_ffs.clear();
  m_domain = *domain;
  std::vector<IRTM_FF*> all;
  all.reserve(static_cast<std::size_t>(std::max(VOK_ATOM_NODE::s_next_id, 0)));
  for (VOK_ATOM_NODE* atom : WEXAN_ENV::get_env()->get_atom_netlist()->nodes(VOK_TRAVERSE_HIERARCHICAL))
    if (atom->is_ff()) all.push_back(m_create_ff(atom));
  keep_in_domain(all, *domain);
  for (IRTM_FF* ff : all) {
    if (!ff) continue;
    ff->update_slack(true);
    ff->m_move_type = IRTM_MOVE::None;
    ff->m_hold = 0;
    ff->m_last_move = 0;
    if (!ff->is_deleted() && is_candidate(ff)) m_init_ffs.push_back(ff);
  }
  m_ff_list.clear();
  m_ff_to_iter.clear();
  tbb::parallel_sort(m_init_ffs.begin(), m_init_ffs.end(), CMP_IRTM_FF_LT());
  for (IRTM_FF* ff : m_init_ffs) insert_ff(m_ff_list.end(), ff);
  m_init_ffs.clear();
  if (!m_ff_list.empty())
    msg_vdebug_impl(2, "QUEUE size: %d min: %d  max: %d", static_cast<int>(m_ff_list.size()),
                    m_ff_list.front()->min_slack(), m_ff_list.back()->min_slack());
}

std::list<IRTM_FF*>::iterator IRTM_FF_QUEUE::insert_ff(const std::list<IRTM_FF*>::iterator& pos, IRTM_FF* ff) {
  auto it = m_ff_list.insert(pos, ff);
  if (ff->is_deleted()) ie("!ff->is_deleted()", __LINE__);
  if (static_cast<int>(ff->m_atom_id) != ff->get_atom()->get_id()) ie("id == ff->get_atom()->get_id()", __LINE__);
  auto found = m_ff_to_iter.find(ff->m_atom_id);
  if (found != m_ff_to_iter.end()) {
    m_ff_list.erase(found->second);
    found->second = it;
  } else {
    m_ff_to_iter.emplace(ff->m_atom_id, it);
  }
  return it;
}

std::list<IRTM_FF*>::iterator IRTM_FF_QUEUE::remove_ff(const std::list<IRTM_FF*>::iterator& pos) {
  if (pos == m_ff_list.end()) ie("iter != m_ff_list.end()", __LINE__);
  const IRTM_FF* ff = *pos;
  if (!ff->is_deleted() && static_cast<int>(ff->m_atom_id) != ff->get_atom()->get_id()) ie("0", __LINE__);
  auto fi = m_ff_to_iter.find(ff->m_atom_id);
  if (fi == m_ff_to_iter.end()) ie("fi != m_ff_to_iter.end()", __LINE__);
  if (fi->second != pos) ie("old_iter == iter", __LINE__);
  // `pos` may be the map entry's own value: keep a copy before erasing it.
  const std::list<IRTM_FF*>::iterator where = pos;
  m_ff_to_iter.erase(fi);
  return m_ff_list.erase(where);
}

bool IRTM_FF_QUEUE::update(const std::vector<VOK_ATOM_NODE*>* changed, bool requeue) {
  m_changed_ffs.clear();
  int changed_count = 0;
  if (changed)
    for (VOK_ATOM_NODE* atom : *changed) {
      if (!atom || !atom->is_ff()) continue;
      IRTM_FF* ff = m_create_ff(atom);
      if (!ff) continue;
      if (requeue) {
        auto it = m_ff_to_iter.find(static_cast<std::uint32_t>(atom->get_id()));
        if (it != m_ff_to_iter.end()) remove_ff(it->second);
      }
      if (ff->is_deleted() || ff->is_bypassed()) continue;
      ff->update_slack(true);
      ++changed_count;
      if (!is_candidate(ff) || !in_domain(ff, m_domain)) continue;
      if (requeue) m_changed_ffs.push_back(ff);
    }
  if (m_changed_ffs.size() > 1) std::sort(m_changed_ffs.begin(), m_changed_ffs.end(), CMP_IRTM_FF_LT());
  int compared = 0;
  auto p = m_ff_list.begin();
  for (std::size_t i = 0; i < m_changed_ffs.size();) {
    if (p == m_ff_list.end()) {
      for (; i < m_changed_ffs.size(); ++i) insert_ff(m_ff_list.end(), m_changed_ffs[i]);
      break;
    }
    if ((*p)->is_deleted() || (*p)->is_bypassed()) {
      p = remove_ff(p);
      continue;
    }
    if (m_changed_ffs[i]->min_slack() < (*p)->min_slack()) {
      p = insert_ff(p, m_changed_ffs[i]);
      ++i;
    }
    ++compared;
    ++p;
  }
  msg_vdebug_impl(2, "QUEUE changed: %d compared: %d/%d", changed_count, compared, static_cast<int>(m_ff_list.size()));
  m_changed_ffs.clear();
  return true;
}
