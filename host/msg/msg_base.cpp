#include "msg/msg_base.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>

#include "common/host_call_log.h"
#include "common/host_world.h"
#include "msg/msg_internal_error.h"

bool msg_initialized = true;

namespace {

struct MESSAGE_STATE {
  std::mutex mutex;
  std::vector<POSTED_MESSAGE> posted;
  std::set<unsigned int> suppressed;
  int error_count = 0;
  std::vector<DEBUG_LINE> debug_lines;
  std::map<std::string, MSG_D_LEVEL> debug_levels;
  // The highest level of any module (0 when none is higher), read without the
  // lock so that a debug call above every module's level costs no locking.
  std::atomic<MSG_D_LEVEL> top_level{0};
  bool echo = false;
  void (*listener)(const POSTED_MESSAGE&) = nullptr;
};

MESSAGE_STATE& state() { return host_world_slot<MESSAGE_STATE>(); }

// The registrar's table outlives resets: it is filled once when the component
// is loaded.
std::mutex& registry_mutex() {
  static std::mutex m;
  return m;
}
std::vector<host::messages::REGISTERED>& registry() {
  static auto* r = new std::vector<host::messages::REGISTERED>();
  return *r;
}

POSTED_MESSAGE snapshot(const MSG_BASE& m);

std::string vformat_printf(const char* format, va_list args) {
  if (!format) return {};
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n < 0) return format;
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}

void add_posted(POSTED_MESSAGE pm) {
  void (*listener)(const POSTED_MESSAGE&) = nullptr;
  {
    auto& st = state();
    std::lock_guard<std::mutex> lock(st.mutex);
    if (pm.kind == MSG_KIND::ERROR) ++st.error_count;
    st.posted.push_back(pm);
    listener = st.listener;
  }
  if (listener) listener(pm);
}

void add_debug_line(const std::string& module, MSG_D_LEVEL level, std::string text) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  if (st.echo) std::printf("%s\n", text.c_str());
  st.debug_lines.push_back(DEBUG_LINE{module, level, std::move(text), host::thread_number()});
}

MSG_D_LEVEL level_of(const std::string& module) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  auto it = st.debug_levels.find(module);
  return it == st.debug_levels.end() ? 0 : it->second;
}

bool debug_shown(const char* module, MSG_D_LEVEL level) {
  if (level > state().top_level.load(std::memory_order_relaxed)) return false;
  return level <= level_of(module ? module : "");
}

}  // namespace

// ---- MSG_REPORT ----------------------------------------------------------

MSG_REPORT::~MSG_REPORT() = default;

int MSG_REPORT::get_error_count() const {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  return st.error_count;
}

MSG_REPORT* msg_get_default_report() {
  static MSG_REPORT* report = new MSG_REPORT();
  return report;
}

MSG_POST::~MSG_POST() = default;

// ---- MSG_BASE ------------------------------------------------------------

MSG_BASE::MSG_BASE(MSG_KIND kind, MSG_REPORT* report) : m_kind(kind), m_report(report) {}
MSG_BASE::~MSG_BASE() = default;

void MSG_BASE::fill_args_(const char* literal, va_list args) {
  std::string lit = literal ? literal : "";
  auto slash = lit.rfind('/');
  if (slash == std::string::npos || slash + 1 >= lit.size())
    MSG_INTERNAL_ERROR::report(("message literal: " + lit).c_str(), "MSG", "msg_base", __LINE__);
  const char kind_letter = lit[slash + 1];
  m_key = lit.substr(slash + 2);
  const std::string text = lit.substr(0, slash);
  const std::string bad = "message literal: " + m_key;
  if (kind_letter != static_cast<char>(m_kind))
    MSG_INTERNAL_ERROR::report(bad.c_str(), "MSG", "msg_base", __LINE__);

  // First pass: the placeholders' indices and types.
  std::map<int, char> types;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 < text.size() && text[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    int index = 0;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])))
      index = index * 10 + (text[j++] - '0');
    if (j == i + 1 || j + 2 >= text.size() || text[j] != '!' || text[j + 2] != '!' ||
        (text[j + 1] != 's' && text[j + 1] != 'd' && text[j + 1] != 'u'))
      MSG_INTERNAL_ERROR::report(bad.c_str(), "MSG", "msg_base", __LINE__);
    auto [it, inserted] = types.emplace(index, text[j + 1]);
    if (!inserted && it->second != text[j + 1])
      MSG_INTERNAL_ERROR::report(bad.c_str(), "MSG", "msg_base", __LINE__);
    i = j + 2;
  }
  int max_index = types.empty() ? 0 : types.rbegin()->first;
  if (static_cast<int>(types.size()) != max_index || (!types.empty() && types.begin()->first != 1))
    MSG_INTERNAL_ERROR::report(bad.c_str(), "MSG", "msg_base", __LINE__);

  // Read the arguments in index order.
  m_args.clear();
  for (auto& [index, type] : types) {
    MSG_ARG a;
    a.type = type;
    if (type == 's') {
      const char* s = va_arg(args, const char*);
      a.text = s ? s : "";
    } else if (type == 'd') {
      int v = va_arg(args, int);
      a.value = v;
      a.text = std::to_string(v);
    } else {
      unsigned v = va_arg(args, unsigned);
      a.value = v;
      a.text = std::to_string(v);
    }
    m_args.push_back(std::move(a));
  }

  // Second pass: substitute.
  m_text.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      m_text += text[i];
      continue;
    }
    if (text[i + 1] == '%') {
      m_text += '%';
      ++i;
      continue;
    }
    size_t j = i + 1;
    int index = 0;
    while (std::isdigit(static_cast<unsigned char>(text[j]))) index = index * 10 + (text[j++] - '0');
    m_text += m_args[static_cast<size_t>(index - 1)].text;
    i = j + 2;
  }
}

int MSG_BASE::post() {
  host::log_call("MSG_BASE::post", m_id);
  add_posted(snapshot(*this));
  return 0;
}

void MSG_BASE::add_sub_message(MSG_BASE* sub) {
  if (sub) m_subs.emplace_back(sub);
}

namespace {
POSTED_MESSAGE snapshot(const MSG_BASE& m) {
  POSTED_MESSAGE pm{m.get_kind(), m.get_id(), m.get_key(), m.get_text(), m.get_args(),
                    m.get_severity_level(), {}, {}};
  for (const auto& sub : m.get_sub_messages()) pm.subs.push_back(snapshot(*sub));
  pm.locations = m.get_locations();
  return pm;
}
}  // namespace

MSG_E::MSG_E(MSG_REPORT* r) : MSG_BASE(MSG_KIND::ERROR, r) {}
MSG_E::~MSG_E() = default;
MSG_I::MSG_I(MSG_REPORT* r) : MSG_BASE(MSG_KIND::INFO, r) {}
MSG_I::~MSG_I() = default;
MSG_W::MSG_W(MSG_REPORT* r) : MSG_BASE(MSG_KIND::WARNING, r) {}
MSG_W::~MSG_W() = default;
MSG_I_NULL::MSG_I_NULL() : MSG_I(nullptr) {}
MSG_I_NULL::~MSG_I_NULL() = default;
int MSG_I_NULL::post() { return 0; }
MSG_W_NULL::MSG_W_NULL() : MSG_W(nullptr) {}
MSG_W_NULL::~MSG_W_NULL() = default;
int MSG_W_NULL::post() { return 0; }

// ---- MSG_D ---------------------------------------------------------------

MSG_D::MSG_D(MSG_REPORT* r) : MSG_BASE(MSG_KIND::DEBUG, r) {}
MSG_D::~MSG_D() = default;

bool MSG_D::debug_messages_enabled(MSG_REPORT*) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  return std::any_of(st.debug_levels.begin(), st.debug_levels.end(),
                     [](const auto& kv) { return kv.second > 0; });
}

bool MSG_D::set_enabled(const char* module, MSG_D_LEVEL level) {
  m_module = module ? module : "";
  m_level = level;
  return debug_shown(m_module.c_str(), level);
}

void MSG_D::vformat(const char* format, va_list args) { m_text = vformat_printf(format, args); }

int MSG_D::post() {
  if (debug_shown(m_module.c_str(), m_level)) add_debug_line(m_module, m_level, m_text);
  return 0;
}

// ---- suppression, registrar, debug capture ----------------------------------

MSG_INDEX* MSG_INDEX::get_default_index() {
  static MSG_INDEX* index = new MSG_INDEX();
  return index;
}

bool MSG_INDEX::is_suppressed(unsigned int id) const {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  return st.suppressed.count(id) != 0;
}

MSG_ID_REGISTRAR::MSG_ID_REGISTRAR(const unsigned int* ids, const int* kinds, int count) {
  std::lock_guard<std::mutex> lock(registry_mutex());
  for (int i = 0; i < count; ++i) registry().push_back({ids[i], kinds[i]});
}

void msg_local_vdebug(const char* module, MSG_D_LEVEL level, const char* format, va_list args) {
  if (!debug_shown(module, level)) return;
  add_debug_line(module ? module : "", level, vformat_printf(format, args));
}

namespace host::messages {

std::vector<POSTED_MESSAGE> posted() {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  return st.posted;
}

void suppress(unsigned int id) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.suppressed.insert(id);
}

std::string format(const POSTED_MESSAGE& m) {
  const char* label = m.kind == MSG_KIND::ERROR     ? "Error"
                      : m.kind == MSG_KIND::WARNING ? "Warning"
                      : m.kind == MSG_KIND::INFO    ? "Info"
                                                    : "Debug";
  char id[16];
  std::snprintf(id, sizeof id, "%06u", m.id);
  std::string out = std::string(label) + " (" + id + "): " + m.text;
  for (const auto& s : m.subs) out += "\n    " + format(s);
  return out;
}

void set_listener(void (*fn)(const POSTED_MESSAGE&)) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.listener = fn;
}

std::vector<REGISTERED> registered() {
  std::lock_guard<std::mutex> lock(registry_mutex());
  return registry();
}

}  // namespace host::messages

namespace host::debug {

void set_level(const std::string& module, MSG_D_LEVEL lvl) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.debug_levels[module] = lvl;
  MSG_D_LEVEL top = 0;
  for (const auto& kv : st.debug_levels) top = std::max(top, kv.second);
  st.top_level.store(top, std::memory_order_relaxed);
}

MSG_D_LEVEL level(const std::string& module) { return level_of(module); }

std::vector<DEBUG_LINE> lines() {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  return st.debug_lines;
}

std::vector<std::string> texts() {
  std::vector<std::string> out;
  for (auto& l : lines()) out.push_back(l.text);
  return out;
}

std::vector<std::string> sorted() {
  auto out = texts();
  std::sort(out.begin(), out.end());
  return out;
}

void set_echo(bool on) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.echo = on;
}

}  // namespace host::debug
