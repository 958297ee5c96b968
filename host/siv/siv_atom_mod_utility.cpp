#include "siv/siv_atom_mod_utility.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "common/host_call_log.h"
#include "hov/hov_utility.h"
#include "kem/kem_manager.h"
#include "kem/kem_netlist.h"
#include "vok/vok_atom_netlist.h"
#include "wexan/wexan_atom_mod_drc.h"
#include "wexan/wexan_utilities.h"

namespace {
std::atomic<int> l_live{0};

// Whether the timing netlist has a cell standing for this very atom (atom
// ids of scratch netlists may repeat those of the design).
bool l_has_timing_cell(const KEM_NETLIST* kem, const VOK_ATOM_NODE* atom) {
  const KEM_NETLIST_CELL* cell = kem != nullptr ? kem->get_cell_from_atom_id(atom->get_id()) : nullptr;
  if (cell == nullptr) return false;
  for (int id : cell->get_node_ids())
    if (const KEM_NODE* n = kem->get_node(id); n != nullptr && n->get_atom() == atom) return true;
  return false;
}

// A deleted atom leaves no node behind in the timing netlists: its cell goes
// at once (a later rebuild would otherwise follow the nets it drove into the
// freed atom), and the atoms whose nodes lost an edge are tainted, so that
// the next timing update recomputes them.
void l_drop_timing_cells(int atom_id, KEM_NETLIST* current, KEM_NETLIST* set_aside) {
  for (KEM_NETLIST* kem : {current, set_aside}) {
    if (kem == nullptr) continue;
    KEM_DIRTY dirty;
    kem->rebuild_atoms(host::vok::top_netlist(), {atom_id}, &dirty);
    if (kem != current) continue;
    HOV_ATOM_NETLIST_TAINT_MANAGER* taints = hov_get_atom_netlist_taint_manager();
    for (const std::vector<int>* nodes : {&dirty.arrival, &dirty.required})
      for (int id : *nodes)
        if (const KEM_NODE* n = kem->get_node(id); n != nullptr && n->get_atom_id() >= 0)
          taints->taint_atom(static_cast<unsigned>(n->get_atom_id()));
  }
}
}  // namespace

SIV_ATOM_MOD_UTILITY::SIV_ATOM_MOD_UTILITY(int algorithm, WEXAN_PIZ_TABLE* table)
    : m_algorithm(algorithm), m_table(table) {
  ++l_live;
}
SIV_ATOM_MOD_UTILITY::~SIV_ATOM_MOD_UTILITY() {
  host::log_call("SIV_ATOM_MOD_UTILITY::~SIV_ATOM_MOD_UTILITY");
  // Queued removals are not lost with the utility.
  if (!m_pending.empty()) flush();
  --l_live;
}

void SIV_ATOM_MOD_UTILITY::set_options(int a, int b) { host::log_call("SIV_ATOM_MOD_UTILITY::set_options", a, b); }

void SIV_ATOM_MOD_UTILITY::remove_node(VOK_ATOM_NODE* atom, bool flag) {
  host::log_call("SIV_ATOM_MOD_UTILITY::remove_node", host::vok::arg(atom), flag);
  if (atom == nullptr || atom->get_parent_netlist() == nullptr) return;
  if (m_batch) {
    if (std::find(m_pending.begin(), m_pending.end(), atom) == m_pending.end()) m_pending.push_back(atom);
    return;
  }
  remove_now(atom);
}

void SIV_ATOM_MOD_UTILITY::remove_now(VOK_ATOM_NODE* atom) {
  const int id = atom->get_id();
  add_row("remove_node", id);
  KEM_MANAGER* mgr = KEM_MANAGER::get();
  KEM_NETLIST* current = l_has_timing_cell(mgr->get_kem_netlist(), atom) ? mgr->get_kem_netlist() : nullptr;
  KEM_NETLIST* set_aside = l_has_timing_cell(mgr->get_set_aside(), atom) ? mgr->get_set_aside() : nullptr;
  atom->get_parent_netlist()->remove(atom);
  if (current != nullptr || set_aside != nullptr) l_drop_timing_cells(id, current, set_aside);
}

namespace host::siv {
int live_utilities() { return l_live.load(); }
}  // namespace host::siv

void SIV_ATOM_MOD_UTILITY::add_row(const char* what, int atom_id) {
  if (m_table != nullptr) m_table->add_row({std::to_string(m_algorithm), what, std::to_string(atom_id)});
}

namespace {
VOK_ATOM_ITERM* input_of(VOK_ATOM_NODE* atom, DB_INPUT_PORT_TYPE port, int index) {
  VOK_ATOM_ITERM* t = atom->get_input_term_by_type(port, index);
  return t != nullptr ? t : atom->add_input_term(port, index);
}
void drive_like(const VOK_ATOM_ITERM* source, VOK_ATOM_ITERM* target) {
  if (source == nullptr) {
    target->disconnect_from_source(VOK_NET_ITERM::OPEN);
    target->set_inverted(false);
    return;
  }
  VOK_ATOM_OTERM* src = source->get_source(VOK_TRAVERSE_AS_STORED);
  if (src != nullptr)
    vok_connect(src, target);
  else if (source->is_connected())
    target->tie(source->is_tie_low());
  else
    target->disconnect_from_source(VOK_NET_ITERM::OPEN);
  target->set_inverted(source->is_inverted());
}
}  // namespace

void SIV_ATOM_MOD_UTILITY::copy_input_connection(const VOK_ATOM_ITERM* source, VOK_ATOM_NODE* target,
                                                 DB_INPUT_PORT_TYPE port, int index) {
  host::log_call("SIV_ATOM_MOD_UTILITY::copy_input_connection", host::vok::arg(source), host::vok::arg(target),
                 static_cast<int>(port), index);
  drive_like(source, input_of(target, port, index));
  add_row("copy input", target->get_id());
}

void SIV_ATOM_MOD_UTILITY::connect_output_to_input(VOK_ATOM_NODE* src, DB_OUTPUT_PORT_TYPE oport, int obit,
                                                   VOK_ATOM_NODE* dst, DB_INPUT_PORT_TYPE iport, int ibit) {
  host::log_call("SIV_ATOM_MOD_UTILITY::connect_output_to_input", host::vok::arg(src), static_cast<int>(oport),
                 obit, host::vok::arg(dst), static_cast<int>(iport), ibit);
  VOK_ATOM_OTERM* o = src->get_output_term_by_type(oport, obit);
  if (o == nullptr) o = src->add_output_term(oport, obit);
  vok_connect(o, input_of(dst, iport, ibit));
  add_row("connect", dst->get_id());
}

void SIV_ATOM_MOD_UTILITY::move_input_connection(VOK_ATOM_NODE* from, DB_INPUT_PORT_TYPE fport, int fbit,
                                                 VOK_ATOM_NODE* to, DB_INPUT_PORT_TYPE tport, int tbit) {
  host::log_call("SIV_ATOM_MOD_UTILITY::move_input_connection", host::vok::arg(from), static_cast<int>(fport), fbit,
                 host::vok::arg(to), static_cast<int>(tport), tbit);
  VOK_ATOM_ITERM* source = from->get_input_term_by_type(fport, fbit);
  if (source == nullptr) return;
  drive_like(source, input_of(to, tport, tbit));
  source->disconnect_from_source(VOK_NET_ITERM::OPEN);
  add_row("move input", to->get_id());
}

void SIV_ATOM_MOD_UTILITY::move_output_fanout(VOK_ATOM_NODE* from, DB_OUTPUT_PORT_TYPE fport, int fbit,
                                              VOK_ATOM_NODE* to, DB_OUTPUT_PORT_TYPE tport, int tbit, bool flag) {
  host::log_call("SIV_ATOM_MOD_UTILITY::move_output_fanout", host::vok::arg(from), static_cast<int>(fport), fbit,
                 host::vok::arg(to), static_cast<int>(tport), tbit, flag);
  VOK_ATOM_OTERM* source = from->get_output_term_by_type(fport, fbit);
  if (source == nullptr) return;
  VOK_ATOM_OTERM* target = to->get_output_term_by_type(tport, tbit);
  if (target == nullptr) target = to->add_output_term(tport, tbit);
  while (VOK_ATOM_ITERM* f = source->get_first_fanout(VOK_TRAVERSE_AS_STORED)) vok_connect(target, f);
  add_row("move fanout", to->get_id());
}

void SIV_ATOM_MOD_UTILITY::disconnect_input(VOK_ATOM_ITERM* iterm, bool flag) {
  host::log_call("SIV_ATOM_MOD_UTILITY::disconnect_input", host::vok::arg(iterm), flag);
  if (iterm == nullptr) return;
  iterm->disconnect_from_source(VOK_NET_ITERM::OPEN);
  add_row("disconnect input", iterm->get_my_node()->get_id());
}

void SIV_ATOM_MOD_UTILITY::connect_iterm_to_gnd(VOK_ATOM_ITERM* iterm) {
  host::log_call("SIV_ATOM_MOD_UTILITY::connect_iterm_to_gnd", m_algorithm, host::vok::arg(iterm));
  vok_connect(iterm->get_my_node()->get_parent_netlist()->get_ground_oterm(), iterm);
  add_row("ground input", iterm->get_my_node()->get_id());
}

void SIV_ATOM_MOD_UTILITY::set_iterm_in_use(VOK_ATOM_ITERM* iterm, bool in_use) {
  host::log_call("SIV_ATOM_MOD_UTILITY::set_iterm_in_use", m_algorithm, host::vok::arg(iterm), in_use);
  if (!in_use) iterm->disconnect_from_source(VOK_NET_ITERM::OPEN);
  iterm->set_used(in_use);
  add_row(in_use ? "input in use" : "input unused", iterm->get_my_node()->get_id());
}
