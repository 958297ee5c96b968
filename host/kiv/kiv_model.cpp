#include "kiv/kiv_model.h"

#include <algorithm>

#include "common/host_world.h"

namespace {
struct KIV_WORLD {
  int live_models = 0;
};
KIV_WORLD& world() { return host_world_slot<KIV_WORLD>(); }
}  // namespace

KIV_PATH KIV_PATH::from_string(const std::string& text) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : text) {
    if (c == '/') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return KIV_PATH(std::move(parts));
}

KIV_MODEL::KIV_MODEL() { ++world().live_models; }
KIV_MODEL::~KIV_MODEL() { --world().live_models; }

KIV_BASIC_STATE::KIV_BASIC_STATE() = default;
KIV_BASIC_STATE::~KIV_BASIC_STATE() { clear(); }

KIV_MODEL* KIV_BASIC_STATE::find_model(const KIV_PATH& path) const {
  for (KIV_MODEL* m : m_models)
    if (m->get_path() == path) return m;
  return nullptr;
}

void KIV_BASIC_STATE::add_model(KIV_MODEL* model) {
  if (model == nullptr || std::find(m_models.begin(), m_models.end(), model) != m_models.end()) return;
  m_models.push_back(model);
  ++model->m_holders;
}

void KIV_BASIC_STATE::release(KIV_MODEL* model) {
  // The last holder deletes the model, whatever its flag: a state that does
  // not own its models only ever shares them with one that does.
  if (--model->m_holders == 0) delete model;
}

void KIV_BASIC_STATE::remove_model(KIV_MODEL* model) {
  auto it = std::find(m_models.begin(), m_models.end(), model);
  if (it == m_models.end()) return;
  m_models.erase(it);
  release(model);
}

void KIV_BASIC_STATE::clear() {
  MODEL_LIST models;
  models.swap(m_models);
  for (KIV_MODEL* m : models) release(m);
}

KIV_STATE::KIV_STATE() = default;
KIV_STATE::~KIV_STATE() = default;

namespace host::kiv {
int live_models() { return world().live_models; }
}  // namespace host::kiv
