#include "dev/dev_element_desc.h"

#include <atomic>
#include <mutex>

#include "common/host_world.h"
#include "dev/dev_grid.h"

namespace {

struct DESCS {
  std::map<int, DEV_ELEMENT_DESC> by_kind;
  std::vector<const DEV_ELEMENT_DESC*> list;
};

const DESCS& descs() {
  static const DESCS* d = [] {
    auto* r = new DESCS();
    auto add = [&](int kind, std::map<int, int> data) {
      r->by_kind.emplace(kind, DEV_ELEMENT_DESC(static_cast<DEV_ELEMENT_ENUM>(kind), std::move(data)));
    };
    add(dev_kind::H_WIRE, {{20, 4}, {21, 6}});
    add(dev_kind::V_WIRE, {{20, 5}, {21, 6}});
    add(dev_kind::LAB_RE, {{20, 1}});
    add(dev_kind::BLOCK_INPUT, {{20, 1}});
    add(dev_kind::LAB_FEEDBACK, {{20, 6}, {21, 10}});
    add(dev_kind::BLOCK_OUTPUT, {{20, 7}});
    add(dev_kind::PERIPHERY_OUTPUT, {{20, 7}});
    add(dev_kind::ICD_PORT, {{20, 11}});
    add(dev_kind::GLOBAL_CLOCK, {});
    add(dev_kind::PMUX, {});
    add(dev_kind::PIN_CLOCK_INPUT, {});
    for (const auto& [kind, desc] : r->by_kind) r->list.push_back(&desc);
    return r;
  }();
  return *d;
}

// Descriptions a test changed; dropped at host reset.
struct OVERRIDES {
  std::mutex mutex;
  std::atomic<bool> any{false};
  std::map<int, DEV_ELEMENT_DESC> by_kind;
};
OVERRIDES& overrides() { return host_world_slot<OVERRIDES>(); }

}  // namespace

const DEV_ELEMENT_DESC& dev_element_desc(int kind) {
  static const DEV_ELEMENT_DESC* none = new DEV_ELEMENT_DESC();
  if (OVERRIDES& o = overrides(); o.any.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(o.mutex);
    if (auto it = o.by_kind.find(kind); it != o.by_kind.end()) return it->second;
  }
  auto it = descs().by_kind.find(kind);
  if (it != descs().by_kind.end()) return it->second;
  // Kinds without data still report their kind.
  static std::mutex mutex;
  static std::map<int, DEV_ELEMENT_DESC>* plain = new std::map<int, DEV_ELEMENT_DESC>();
  std::lock_guard<std::mutex> lock(mutex);
  if (kind == 0) return *none;
  return plain->try_emplace(kind, static_cast<DEV_ELEMENT_ENUM>(kind), std::map<int, int>{}).first->second;
}

const std::vector<const DEV_ELEMENT_DESC*>& dev_element_descs() { return descs().list; }

void dev_set_element_int_datum(int kind, int item, int value) {
  const DEV_ELEMENT_DESC base = dev_element_desc(kind);
  OVERRIDES& o = overrides();
  std::lock_guard<std::mutex> lock(o.mutex);
  DEV_ELEMENT_DESC& desc = o.by_kind.try_emplace(kind, base).first->second;
  desc.set_int_data(item, value);
  o.any.store(true, std::memory_order_release);
}
