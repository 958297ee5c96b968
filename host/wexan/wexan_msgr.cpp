#include "wexan/wexan_msgr.h"

#include "common/host_call_log.h"
#include "msg/msg_base.h"
#include "vok/vok_atom_netlist.h"

WEXAN_MSGR::WEXAN_MSGR(WEXAN_ENV*) {}

WEXAN_MSGR::~WEXAN_MSGR() {
  for (MSG_BASE* m : m_queue) delete m;
}

void WEXAN_MSGR::add_msg(MSG_BASE* message, const VOK_ATOM_NODE* atom1, const VOK_ATOM_NODE* atom2) {
  if (message == nullptr) return;
  host::log_call("WEXAN_MSGR::add_msg", message->get_id(), host::vok::arg(atom1), host::vok::arg(atom2));
  m_queue.push_back(message);
}

void WEXAN_MSGR::post() {
  std::vector<MSG_BASE*> queue;
  queue.swap(m_queue);
  for (MSG_BASE* m : queue) {
    if (m->get_report() == nullptr) m->set_report(msg_get_default_report());
    m->post();
    delete m;
  }
}
