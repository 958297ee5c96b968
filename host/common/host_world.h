#pragma once
// data: the one process-wide world of the stand-in host. Every host family
// keeps its state in a slot of the world; host_reset() destroys all slots, so
// each test starts from a clean host. The component never includes this.
#include <functional>
#include <memory>
#include <mutex>
#include <typeindex>
#include <map>
#include "common/host_api.h"

class HOST_API HOST_WORLD {
public:
  static HOST_WORLD& get();

  // The world's instance of T, created on first use and destroyed at reset.
  template <class T> T& slot() {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_slots.find(std::type_index(typeid(T)));
    if (it == m_slots.end()) {
      auto holder = std::shared_ptr<void>(new T(), [](void* p) { delete static_cast<T*>(p); });
      it = m_slots.emplace(std::type_index(typeid(T)), std::move(holder)).first;
    }
    return *static_cast<T*>(it->second.get());
  }

  void clear_slots();

private:
  std::recursive_mutex m_mutex;
  std::map<std::type_index, std::shared_ptr<void>> m_slots;
};

template <class T> T& host_world_slot() { return HOST_WORLD::get().slot<T>(); }
