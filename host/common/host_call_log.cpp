#include "common/host_call_log.h"

#include <atomic>
#include <mutex>

#include "common/host_world.h"

namespace {
struct CALL_LOG_STATE {
  std::mutex mutex;
  std::vector<HOST_CALL> calls;
};
thread_local int t_thread_number = 0;
}  // namespace

namespace host {

int thread_number() { return t_thread_number; }
void set_thread_number(int n) { t_thread_number = n; }

std::string log_detail::quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

void log_call_rendered(std::string_view name, std::string args) {
  auto& st = host_world_slot<CALL_LOG_STATE>();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.calls.push_back(HOST_CALL{std::string(name), std::move(args), t_thread_number});
}

std::vector<HOST_CALL> calls() {
  auto& st = host_world_slot<CALL_LOG_STATE>();
  std::lock_guard<std::mutex> lock(st.mutex);
  return st.calls;
}

std::vector<std::string> call_lines() {
  std::vector<std::string> out;
  for (const auto& c : calls()) out.push_back(c.name + "(" + c.args + ")");
  return out;
}

std::vector<std::string> call_names() {
  std::vector<std::string> out;
  for (const auto& c : calls()) out.push_back(c.name);
  return out;
}

int call_count(const std::string& name) {
  auto& st = host_world_slot<CALL_LOG_STATE>();
  std::lock_guard<std::mutex> lock(st.mutex);
  int n = 0;
  for (const auto& c : st.calls) n += c.name == name ? 1 : 0;
  return n;
}

void clear_calls() {
  auto& st = host_world_slot<CALL_LOG_STATE>();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.calls.clear();
}

}  // namespace host
