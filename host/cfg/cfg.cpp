#include "cfg/cfg.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string_view>

#include "common/host_call_log.h"
#include "common/host_input.h"

namespace {

std::string trim(std::string s) {
  auto sp = [](unsigned char c) { return std::isspace(c); };
  s.erase(s.begin(), std::find_if_not(s.begin(), s.end(), sp));
  s.erase(std::find_if_not(s.rbegin(), s.rend(), sp).base(), s.end());
  return s;
}

bool split_assignment(const std::string& item, std::string* name, std::string* value) {
  auto eq = item.find('=');
  if (eq == std::string::npos) return false;
  *name = trim(item.substr(0, eq));
  *value = trim(item.substr(eq + 1));
  return !name->empty();
}

struct STORE {
  std::shared_mutex mutex;
  std::map<std::string, std::string> values;
  // Values that could not be read, reported once each.
  std::set<std::pair<std::string, std::string>> reported;
  void (*bad_value_listener)(const std::string&, const std::string&, const char*) = nullptr;
  // The names the user set, with where and in which order, and whether a
  // reading has asked for them since: a reading holds the lock shared, so
  // the flag is atomic.
  struct USER_NAME {
    std::string origin;
    long order = 0;
    std::atomic<bool> read{false};
  };
  std::map<std::string, USER_NAME, std::less<>> user_names;
  long user_names_set = 0;

  STORE() { import_preload(); }

  // Called with the lock held or before the store is shared.
  void import_preload() {
    if (const char* file = std::getenv("VELMO_CFG_FILE"); file && *file) {
      std::ifstream in(file);
      std::string line;
      while (std::getline(in, line)) {
        auto hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::string n, v;
        if (split_assignment(line, &n, &v)) values[n] = v;
      }
    }
    if (const char* list = std::getenv("VELMO_CFG"); list && *list) {
      std::string all = list;
      size_t start = 0;
      while (start <= all.size()) {
        size_t end = all.find(';', start);
        if (end == std::string::npos) end = all.size();
        std::string n, v;
        if (split_assignment(all.substr(start, end - start), &n, &v)) values[n] = v;
        start = end + 1;
      }
    }
  }
};

// A function-local static so the store works during static initialisation of
// libraries that read configuration when they are loaded.
STORE& store() {
  static STORE* s = new STORE();
  return *s;
}

// Readings of this thread are not counted (UNCOUNTED_READS).
thread_local bool t_uncounted = false;

bool lookup(const char* name, std::string* out) {
  auto& st = store();
  std::shared_lock<std::shared_mutex> lock(st.mutex);
  if (!t_uncounted && !st.user_names.empty())
    if (auto user = st.user_names.find(std::string_view(name)); user != st.user_names.end())
      user->second.read.store(true, std::memory_order_relaxed);
  auto it = st.values.find(name);
  if (it == st.values.end() || it->second.empty()) return false;
  *out = it->second;
  return true;
}

// A value that cannot be read as `kind`: recorded, and reported once to the
// listener.
void bad_value(const char* name, const std::string& value, const char* kind) {
  host::log_call("cfg: bad value", name, value);
  auto& st = store();
  void (*listener)(const std::string&, const std::string&, const char*) = nullptr;
  {
    std::unique_lock<std::shared_mutex> lock(st.mutex);
    if (st.reported.emplace(name, value).second) listener = st.bad_value_listener;
  }
  if (listener) listener(name, value, kind);
}

}  // namespace

namespace host::cfg {

bool parse_int(const std::string& text, int* out) {
  std::string t = trim(text);
  if (t.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v;
  const bool negative = t[0] == '-';
  const std::size_t digits = negative ? 1 : 0;
  if (t.size() > digits + 2 && t[digits] == '0' && (t[digits + 1] == 'x' || t[digits + 1] == 'X')) {
    // Hexadecimal: the sign, if any, goes before the prefix; strtoll would
    // take one after it too ("0x-5"), so only digits may follow it. The
    // magnitude is negated only once it is known to fit in int.
    const char* first = t.c_str() + digits + 2;
    if (!std::isxdigit(static_cast<unsigned char>(*first))) return false;
    const unsigned long long magnitude = std::strtoull(first, &end, 16);
    if (errno != 0 || magnitude > static_cast<unsigned long long>(INT_MAX) + 1) return false;
    v = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  } else {
    v = std::strtoll(t.c_str(), &end, 10);
  }
  if (errno != 0 || end == nullptr || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

bool parse_bool(const std::string& text, bool* out) {
  std::string t = trim(text);
  std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
  if (t == "on" || t == "true" || t == "yes") return *out = true, true;
  if (t == "off" || t == "false" || t == "no") return *out = false, true;
  int v;
  if (parse_int(t, &v)) return *out = v != 0, true;
  return false;
}

void set(const std::string& name, const std::string& value) {
  auto& st = store();
  std::unique_lock<std::shared_mutex> lock(st.mutex);
  st.values[name] = value;
}

void unset(const std::string& name) {
  auto& st = store();
  std::unique_lock<std::shared_mutex> lock(st.mutex);
  st.values.erase(name);
}

bool is_set(const std::string& name) {
  std::string v;
  return lookup(name.c_str(), &v);
}

void set_by_user(const std::string& name, const std::string& value, const std::string& origin) {
  auto& st = store();
  std::unique_lock<std::shared_mutex> lock(st.mutex);
  st.values[name] = value;
  STORE::USER_NAME& user = st.user_names[name];
  user.origin = origin;
  user.order = st.user_names_set++;
  user.read.store(false, std::memory_order_relaxed);
}

bool set_from_assignment(const std::string& item, std::string* error) {
  std::string n, v;
  if (!split_assignment(item, &n, &v)) {
    if (error) *error = "expected name=value, got '" + item + "'";
    return false;
  }
  set_by_user(n, v, "--cfg");
  return true;
}

bool load_file(const std::string& path, std::string* error) {
  host::input::LIMITED_FILE in(path);
  if (!in.is_open()) {
    if (error) *error = "cannot read configuration file '" + path + "'";
    return false;
  }
  std::string line;
  int number = 0;
  std::map<std::string, std::pair<std::string, int>> read;  // value, line
  // The last line of an input cut at the limit is no fault of its own.
  while (std::getline(in, line) && !in.too_large()) {
    ++number;
    // A byte-order mark at the start of the file is not part of the first name.
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    auto hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    if (trim(line).empty()) continue;
    std::string n, v;
    if (!split_assignment(line, &n, &v)) {
      if (error) *error = path + ":" + std::to_string(number) + ": expected name=value";
      return false;
    }
    read[n] = {v, number};
  }
  if (in.too_large()) {
    if (error) *error = path + ": " + host::input::too_large_text();
    return false;
  }
  // Nothing is applied from a file with a bad line.
  std::vector<std::pair<int, std::string>> by_line;
  for (auto& [n, v] : read) by_line.emplace_back(v.second, n);
  std::sort(by_line.begin(), by_line.end());
  for (const auto& [number, n] : by_line) set_by_user(n, read[n].first, path + ":" + std::to_string(number));
  return true;
}

std::map<std::string, std::string> snapshot() {
  auto& st = store();
  std::shared_lock<std::shared_mutex> lock(st.mutex);
  return st.values;
}

void reset_to_preload() {
  auto& st = store();
  std::unique_lock<std::shared_mutex> lock(st.mutex);
  st.values.clear();
  st.reported.clear();
  st.user_names.clear();
  st.import_preload();
}

std::vector<std::pair<std::string, std::string>> unread_user_names() {
  auto& st = store();
  std::shared_lock<std::shared_mutex> lock(st.mutex);
  std::vector<std::pair<long, std::pair<std::string, std::string>>> unread;
  for (const auto& [name, user] : st.user_names)
    if (!user.read.load(std::memory_order_relaxed)) unread.push_back({user.order, {name, user.origin}});
  std::sort(unread.begin(), unread.end());
  std::vector<std::pair<std::string, std::string>> out;
  for (auto& u : unread) out.push_back(std::move(u.second));
  return out;
}

UNCOUNTED_READS::UNCOUNTED_READS() : m_outer(t_uncounted) { t_uncounted = true; }
UNCOUNTED_READS::~UNCOUNTED_READS() { t_uncounted = m_outer; }

void mark_read(const std::string& name) {
  auto& st = store();
  std::shared_lock<std::shared_mutex> lock(st.mutex);
  if (auto user = st.user_names.find(name); user != st.user_names.end())
    user->second.read.store(true, std::memory_order_relaxed);
}

void set_bad_value_listener(void (*fn)(const std::string& name, const std::string& value, const char* kind)) {
  auto& st = store();
  std::unique_lock<std::shared_mutex> lock(st.mutex);
  st.bad_value_listener = fn;
}

}  // namespace host::cfg

bool cfg_is_on(const char* name, bool default_value) {
  std::string v;
  if (!lookup(name, &v)) return default_value;
  bool b;
  if (!host::cfg::parse_bool(v, &b)) {
    bad_value(name, v, "boolean");
    return default_value;
  }
  return b;
}

int cfg_get_int_value(const char* name, int default_value) {
  std::string v;
  if (!lookup(name, &v)) return default_value;
  int i;
  if (!host::cfg::parse_int(v, &i)) {
    bad_value(name, v, "integer");
    return default_value;
  }
  return i;
}

std::string cfg_get_value(const char* name) {
  std::string v;
  return lookup(name, &v) ? v : std::string();
}

std::string cfg_get_value(const char* name, const char* default_value) {
  std::string v;
  return lookup(name, &v) ? v : std::string(default_value ? default_value : "");
}

void cfg_set_on(const char* name) { host::cfg::set(name, "on"); }
void cfg_set_off(const char* name) { host::cfg::set(name, "off"); }
void cfg_set_value(const char* name, const char* value) { host::cfg::set(name, value ? value : ""); }
void cfg_set_int_value(const char* name, int value) { host::cfg::set(name, std::to_string(value)); }
