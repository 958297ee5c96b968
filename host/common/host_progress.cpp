#include "common/host_progress.h"

#include <chrono>
#include <utility>

#include "common/host_clock.h"
#include "common/host_world.h"

namespace host::progress {
namespace {
struct PROGRESS_STATE {
  void (*listener)(const STATUS&) = nullptr;
  double every = 0.0;
  bool open = false;
  host::clock::time_point began{};
  host::clock::time_point next{};
  std::vector<OPERATION_STATUS> running;
};
PROGRESS_STATE& l_state() { return host_world_slot<PROGRESS_STATE>(); }

std::chrono::steady_clock::duration l_interval(double seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}
}  // namespace

void set_listener(void (*listener)(const STATUS&), double every_seconds) {
  PROGRESS_STATE& s = l_state();
  s.listener = listener;
  s.every = every_seconds;
}

void begin_stage() {
  PROGRESS_STATE& s = l_state();
  s.open = true;
  s.began = host::clock::now();
  s.next = s.began + l_interval(s.every);
  s.running.clear();
}

void end_stage() { l_state().open = false; }

void poll() {
  PROGRESS_STATE& s = l_state();
  if (!s.open || s.listener == nullptr || s.every <= 0 || s.running.empty()) return;
  const host::clock::time_point now = host::clock::now();
  if (now < s.next) return;
  STATUS status;
  status.running = s.running;
  status.seconds = std::chrono::duration<double>(now - s.began).count();
  s.next = now + l_interval(s.every);
  s.listener(status);
}

OPERATION::OPERATION(std::string name, std::string unit, long long total) : m_index(l_state().running.size()) {
  l_state().running.push_back({std::move(name), 0, total, std::move(unit)});
  poll();
}

OPERATION::~OPERATION() {
  PROGRESS_STATE& s = l_state();
  if (s.running.size() > m_index) s.running.resize(m_index);
}

void OPERATION::set(long long done, long long total) {
  PROGRESS_STATE& s = l_state();
  if (s.running.size() <= m_index) return;
  s.running[m_index].done = done;
  s.running[m_index].total = total;
  poll();
}

void OPERATION::set_done(long long done) {
  PROGRESS_STATE& s = l_state();
  if (s.running.size() <= m_index) return;
  set(done, s.running[m_index].total);
}

}  // namespace host::progress
