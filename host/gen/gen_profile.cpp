#include "gen/gen_profile.h"
#include "gen/gen_profile_time.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

#include "cmp/cmp_facade.h"
#include "common/host_call_log.h"
#include "common/host_world.h"

namespace {
struct BIN_STATE {
  std::mutex mutex;
  std::vector<BIN_EVENT> events;
  std::vector<host::clock::time_point> times;  // the host clock at each event
  std::map<int, std::vector<std::string>> stacks;  // by host thread number
  int anomalies = 0;
};
BIN_STATE& state() { return host_world_slot<BIN_STATE>(); }
void record(BIN_STATE& st, BIN_EVENT e) {
  st.events.push_back(std::move(e));
  st.times.push_back(host::clock::now());
}
}  // namespace

namespace {
// Pushes a bin onto the calling thread's stack and records its opening.
GEN_PROFILE_BINS::HANDLE l_open(const char* group, const char* name, const char* tag) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  int t = host::thread_number();
  auto& stack = st.stacks[t];
  const auto h = static_cast<GEN_PROFILE_BINS::HANDLE>(stack.size());
  stack.push_back(name ? name : "");
  record(st, {"open", group ? group : "", name ? name : "", tag ? tag : "", t});
  return h;
}
}  // namespace

GEN_PROFILE_BINS::HANDLE GEN_PROFILE_BINS::open_with_tag(const char* group, const char* name, int limit,
                                                         const char* tag) {
  host::log_call("GEN_PROFILE_BINS::open_with_tag", group, name, limit, tag);
  return l_open(group, name, tag);
}

GEN_PROFILE_BINS::HANDLE GEN_PROFILE_BINS::open_with_tag(const char* module, const char* name, int limit,
                                                         const char* group, const char* tag) {
  host::log_call("GEN_PROFILE_BINS::open_with_tag", module, name, limit, group, tag);
  return l_open(group, name, tag);
}

GEN_PROFILE_BINS::HANDLE GEN_PROFILE_BINS::open(const char* group, const char* name) {
  return open_with_tag(group, name, 0, "");
}

void GEN_PROFILE_BINS::close(const char* name) {
  std::string n = name ? name : "";
  host::log_call("GEN_PROFILE_BINS::close", n);
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  int t = host::thread_number();
  auto& stack = st.stacks[t];
  if (!stack.empty() && stack.back() == n) {
    stack.pop_back();
    record(st, {"close", "", n, "", t});
  } else {
    ++st.anomalies;
    record(st, {"unbalanced close", "", n, "", t});
  }
}

void GEN_PROFILE_BINS::close_recursively(HANDLE handle) {
  host::log_call("GEN_PROFILE_BINS::close_recursively", handle);
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  int t = host::thread_number();
  auto& stack = st.stacks[t];
  if (handle < 0 || handle > static_cast<int>(stack.size())) {
    ++st.anomalies;
    record(st, {"unbalanced close", "", "#" + std::to_string(handle), "", t});
    return;
  }
  while (static_cast<int>(stack.size()) > handle) {
    record(st, {"close", "", stack.back(), "", t});
    stack.pop_back();
  }
}

GEN_STOPWATCH::GEN_STOPWATCH() { start(); }
void GEN_STOPWATCH::start() {
  m_start = host::clock::now();
  m_running = true;
}
void GEN_STOPWATCH::stop() {
  if (!m_running) return;
  m_accumulated += std::chrono::duration<double>(host::clock::now() - m_start).count();
  m_running = false;
}
void GEN_STOPWATCH::reset() {
  m_accumulated = 0.0;
  start();
}
double GEN_STOPWATCH::get_elapsed_seconds() const {
  double s = m_accumulated;
  if (m_running) s += std::chrono::duration<double>(host::clock::now() - m_start).count();
  return s;
}
std::string GEN_STOPWATCH::get_elapsed_time_str() const { return gen_format_elapsed_time(get_elapsed_seconds()); }

std::string gen_format_elapsed_time(double seconds) {
  if (!(seconds > 0)) seconds = 0;
  long long total = static_cast<long long>(std::floor(seconds));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", total / 3600, (total / 60) % 60, total % 60);
  return buf;
}

long long gen_get_current_time_seconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(host::clock::now().time_since_epoch()).count();
}

void gen_log_cookie(const char* name, unsigned long long cookie) { host::log_call("gen_log_cookie", name, cookie); }

std::string gen_get_command_line() {
  CMP_FACADE* cmp = CMP_FACADE::current();
  return cmp ? cmp->get_command_line() : std::string();
}

namespace host::bins {
std::vector<BIN_EVENT> events() {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  return st.events;
}
std::vector<std::string> open_stack() {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  return st.stacks[host::thread_number()];
}
bool balanced(std::string* why) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (st.anomalies) {
    if (why) *why = std::to_string(st.anomalies) + " unbalanced close(s)";
    return false;
  }
  for (auto& [t, stack] : st.stacks) {
    if (!stack.empty()) {
      if (why) *why = "bin '" + stack.back() + "' still open on thread " + std::to_string(t);
      return false;
    }
  }
  return true;
}
double seconds_in(const std::string& name) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  struct OPEN {
    int depth = 0;
    host::clock::time_point since;
  };
  std::map<int, OPEN> open;  // by thread
  double total = 0.0;
  for (std::size_t i = 0; i < st.events.size(); ++i) {
    const BIN_EVENT& e = st.events[i];
    if (e.name != name) continue;
    OPEN& o = open[e.thread];
    if (e.action == "open") {
      if (o.depth++ == 0) o.since = st.times[i];
    } else if (e.action == "close" && o.depth > 0 && --o.depth == 0) {
      total += std::chrono::duration<double>(st.times[i] - o.since).count();
    }
  }
  for (const auto& [t, o] : open)
    if (o.depth > 0) total += std::chrono::duration<double>(host::clock::now() - o.since).count();
  return total;
}
}  // namespace host::bins
