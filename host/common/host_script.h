#pragma once
// Scripted results of recorded host members. A recorded member asks
// host::script::next<T>(name, default): queued values come out in order, then
// the `always` value, then the member's documented default. `on(name, fn)`
// runs a callback each time the member is called (e.g. a scripted edit inside
// an engine call). A queue left unconsumed at the end of a test fails it.
#include <any>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "common/host_api.h"

namespace host::script {

struct ENTRY {
  std::deque<std::any> queued;
  std::optional<std::any> always;
  std::vector<std::function<void()>> callbacks;
};

HOST_API std::recursive_mutex& mutex();
HOST_API ENTRY& entry(const std::string& name);

template <class T> class QUEUE {
public:
  explicit QUEUE(std::string name) : m_name(std::move(name)) {}
  QUEUE& push(T v) {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    entry(m_name).queued.emplace_back(std::move(v));
    return *this;
  }

private:
  std::string m_name;
};

template <class T> QUEUE<T> queue(const std::string& name) { return QUEUE<T>(name); }

template <class T> void always(const std::string& name, T v) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  entry(name).always = std::any(std::move(v));
}

HOST_API void on(const std::string& name, std::function<void()> fn);

// Runs the callbacks of `name`, then returns its next scripted value or `def`.
template <class T> T next(const std::string& name, T def) {
  std::vector<std::function<void()>> callbacks;
  std::optional<T> result;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    ENTRY& e = entry(name);
    callbacks = e.callbacks;
    if (!e.queued.empty()) {
      result = std::any_cast<T>(e.queued.front());
      e.queued.pop_front();
    } else if (e.always) {
      result = std::any_cast<T>(*e.always);
    }
  }
  for (auto& cb : callbacks) cb();
  return result ? *result : def;
}

// Runs the callbacks of `name` only (members without a result).
HOST_API void fire(const std::string& name);

// Names whose queues still hold values.
HOST_API std::vector<std::string> unconsumed();

}  // namespace host::script
