#pragma once
// data: the one process-wide world of the stand-in host. Every host family
// keeps its state in a slot of the world; host_reset() destroys all slots, so
// each test starts from a clean host. The component never includes this.
#include <atomic>
#include <cstdint>
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
  // Each thread remembers the instance it found for the world's current
  // generation, so repeated reads (parallel timing queries) take no lock.
  template <class T> T& slot() {
    struct CACHED {
      std::uint64_t generation = 0;
      T* instance = nullptr;
    };
    thread_local CACHED cached;
    const std::uint64_t generation = m_generation.load(std::memory_order_acquire);
    if (cached.instance != nullptr && cached.generation == generation) return *cached.instance;
    T& found = locked_slot<T>();
    cached = CACHED{generation, &found};
    return found;
  }

  void clear_slots();

private:
  template <class T> T& locked_slot() {
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_slots.find(std::type_index(typeid(T)));
    if (it == m_slots.end()) {
      auto holder = std::shared_ptr<void>(new T(), [](void* p) { delete static_cast<T*>(p); });
      it = m_slots.emplace(std::type_index(typeid(T)), std::move(holder)).first;
    }
    return *static_cast<T*>(it->second.get());
  }

  std::recursive_mutex m_mutex;
  // Bumped (under the lock) whenever the slots are dropped, before any is
  // destroyed, so no thread keeps using a cached instance of an old world.
  std::atomic<std::uint64_t> m_generation{1};
  std::map<std::type_index, std::shared_ptr<void>> m_slots;
};

template <class T> T& host_world_slot() { return HOST_WORLD::get().slot<T>(); }
