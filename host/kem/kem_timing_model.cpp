#include "kem/kem_timing_model.h"

#include <algorithm>

#include "msg/msg_internal_error.h"

namespace {
[[noreturn]] void fail(const char* condition, int line) {
  MSG_INTERNAL_ERROR::report(condition, "KEM", "kem_timing_model", line);
}
}  // namespace

KEM_TIMING_MODEL::KEM_TIMING_MODEL(int speed_grade, int kind, int millivolts, int celsius, bool hold_only)
    : m_speed_grade(speed_grade),
      m_condition(kind == FAST ? CONDITION_FAST : CONDITION_SLOW),
      m_kind(kind),
      m_millivolts(millivolts),
      m_celsius(celsius),
      m_hold_only(hold_only ? 1 : 0) {}

KEM_TIMING_MODEL KEM_TIMING_MODEL::from_corner(const DeviceCorner& c) {
  return KEM_TIMING_MODEL(c.speed_grade, c.kind, c.millivolts, c.celsius, c.is_hold_only);
}

KEM_TIMING_MODEL KEM_TIMING_MODEL::create_default_timing_model(const CMP_FACADE*, int kind) {
  if (kind == SLOW) return from_corner(DeviceCorner::slow());
  if (kind == FAST) return from_corner(DeviceCorner::fast());
  fail("kind == 0 || kind == 1", __LINE__);
}

std::vector<KEM_TIMING_MODEL> KEM_TIMING_MODEL::get_list_of_timing_models(int) {
  std::vector<KEM_TIMING_MODEL> res;
  for (const DeviceCorner& c : host::device::spec().corners) res.push_back(from_corner(c));
  return res;
}

std::string KEM_TIMING_MODEL::get_name() const {
  static const char* const kNames[] = {"slow", "fast", "fastest_slow", "typical"};
  const std::string kind = m_kind >= 0 && m_kind < 4 ? kNames[m_kind] : "kind" + std::to_string(m_kind);
  return std::to_string(m_speed_grade) + "_" + kind + "_" + std::to_string(m_millivolts) + "mv_" +
         std::to_string(m_celsius) + "c";
}

double KEM_TIMING_MODEL::get_delay_scale() const {
  DeviceCorner c;
  c.kind = m_kind;
  c.millivolts = m_millivolts;
  return c.delay_scale();
}

bool KEM_TIMING_MODEL::operator==(const KEM_TIMING_MODEL& o) const {
  return m_speed_grade == o.m_speed_grade && m_condition == o.m_condition && m_reserved == o.m_reserved &&
         m_kind == o.m_kind && m_millivolts == o.m_millivolts && m_celsius == o.m_celsius;
}

// ---------------------------------------------------------------- KEM_CORNER_MANAGER

const KEM_TIMING_MODEL& KEM_CORNER_MANAGER::get_current_corner() const {
  if (m_current < 0) fail("a current corner", __LINE__);
  if (m_ie_on_current) fail("!enable_ie_on_current_corner()", __LINE__);
  return m_corners[static_cast<std::size_t>(m_current)];
}

int KEM_CORNER_MANAGER::get_corner_id(const KEM_TIMING_MODEL& model) const {
  for (std::size_t i = 0; i < m_corners.size(); ++i)
    if (m_corners[i] == model) return static_cast<int>(i);
  return -1;
}

KEM_CORNER* KEM_CORNER_MANAGER::get_internal_corner(const KEM_TIMING_MODEL& model) const {
  return get_corner_by_id(get_corner_id(model));
}

KEM_CORNER* KEM_CORNER_MANAGER::get_corner_by_id(int id) const {
  if (id < 0 || static_cast<std::size_t>(id) >= m_objects.size()) return nullptr;
  return m_objects[static_cast<std::size_t>(id)].get();
}

KEM_BORROW_DB& KEM_CORNER_MANAGER::get_current_borrow_db(KEM_CORNER* corner) const {
  if (corner == nullptr) fail("corner", __LINE__);
  return corner->borrow_db();
}

KEM_CORNER_MANAGER::KEM_CORNER_MANAGER(const KEM_CORNER_MANAGER& o) { *this = o; }

KEM_CORNER_MANAGER& KEM_CORNER_MANAGER::operator=(const KEM_CORNER_MANAGER& o) {
  if (this == &o) return *this;
  m_corners = o.m_corners;
  m_current = o.m_current;
  m_ie_on_current = o.m_ie_on_current;
  m_objects.clear();
  for (const std::unique_ptr<KEM_CORNER>& c : o.m_objects) m_objects.push_back(std::make_unique<KEM_CORNER>(*c));
  return *this;
}

// Keeps one corner object per loaded model, in list order; an object whose
// model stays loaded keeps its address (and its borrow database).
void KEM_CORNER_MANAGER::sync_objects() {
  std::vector<std::unique_ptr<KEM_CORNER>> next;
  next.reserve(m_corners.size());
  for (const KEM_TIMING_MODEL& m : m_corners) {
    std::unique_ptr<KEM_CORNER> found;
    for (std::unique_ptr<KEM_CORNER>& o : m_objects)
      if (o && o->get_timing_model() == m) {
        found = std::move(o);
        break;
      }
    next.push_back(found ? std::move(found) : std::make_unique<KEM_CORNER>(m));
  }
  m_objects = std::move(next);
}

void KEM_CORNER_MANAGER::change_corner(const KEM_TIMING_MODEL& model) {
  int id = get_corner_id(model);
  if (id < 0) {
    m_corners.push_back(model);
    sync_objects();
    id = static_cast<int>(m_corners.size()) - 1;
  }
  m_current = id;
}

void KEM_CORNER_MANAGER::erase_corner(const KEM_TIMING_MODEL& model) {
  const int id = get_corner_id(model);
  if (id < 0) return;
  const bool was_current = id == m_current;
  m_corners.erase(m_corners.begin() + id);
  sync_objects();
  if (m_corners.empty())
    m_current = -1;
  else if (was_current)
    m_current = 0;
  else if (m_current > id)
    --m_current;
}

void KEM_CORNER_MANAGER::set_corners(const std::vector<KEM_TIMING_MODEL>& models) {
  m_corners.clear();
  for (const KEM_TIMING_MODEL& m : models)
    if (get_corner_id(m) < 0) m_corners.push_back(m);
  sync_objects();
  m_current = m_corners.empty() ? -1 : 0;
}

void KEM_CORNER_MANAGER::clear() {
  m_corners.clear();
  m_objects.clear();
  m_current = -1;
}
