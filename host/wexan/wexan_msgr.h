#pragma once
// The environment's messenger: queues user messages and posts them together.
#include <utility>
#include <vector>
#include "common/host_api.h"

class MSG_BASE;
class VOK_ATOM_NODE;
class WEXAN_ENV;

class HOST_API WEXAN_MSGR {
public:
  explicit WEXAN_MSGR(WEXAN_ENV* env);
  virtual ~WEXAN_MSGR();
  WEXAN_MSGR(const WEXAN_MSGR&) = delete;
  WEXAN_MSGR& operator=(const WEXAN_MSGR&) = delete;

  // data: queues the message (the messenger owns it), attached to up to two
  // atoms; a null message is ignored.
  void add_msg(MSG_BASE* message, const VOK_ATOM_NODE* atom1, const VOK_ATOM_NODE* atom2);
  // algorithm: posts the queued messages in order, deletes them and empties
  // the queue.
  void post();
  // data: messages waiting to be posted.
  std::size_t size() const { return m_queue.size(); }

private:
  std::vector<MSG_BASE*> m_queue;
};
