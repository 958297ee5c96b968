#include "omz/omz_option.h"

#include "common/host_call_log.h"

#include <map>
#include <memory>
#include <mutex>

#include "cfg/cfg.h"
#include "common/host_world.h"
#include "dev/dev_spec.h"
#include "omz/omz_instance_name.h"
#include "pelk/pelk_symbol.h"

namespace {
constexpr int FAMILY_NAME_OPTION = 381;

struct OPTION_STATE {
  std::mutex mutex;
  std::map<std::pair<std::string, int>, std::unique_ptr<OMZ_OPTION>> options;
  std::map<int, int> value_types;
};
OPTION_STATE& state() { return host_world_slot<OPTION_STATE>(); }
}  // namespace

bool OMZ_OPTION::get_bool_value() const {
  bool b = false;
  return host::cfg::parse_bool(m_text, &b) && b;
}

int OMZ_OPTION::get_value() const {
  int v = 0;
  if (m_type == 1) return get_bool_value() ? 1 : 0;
  if (!host::cfg::parse_int(m_text, &v)) return 0;
  return m_type == 6 ? static_cast<int>(static_cast<unsigned short>(v)) : v;
}

BIG_TIME OMZ_OPTION::get_time_value() const {
  BIG_TIME t;
  return BIG_TIME::parse(m_text, t) ? t : BIG_TIME();
}

OMZ_NAMESPACE* OMZ_NAMESPACE::get_default() {
  static OMZ_NAMESPACE* ns = new OMZ_NAMESPACE("");
  return ns;
}

const OMZ_OPTION* OMZ_DERIVED_OPTION::get_single_option(const OMZ_NAMESPACE* src, int id, bool use_default) {
  return get_single_option(src ? src->get_section() : std::string(), id, use_default);
}

const OMZ_OPTION* OMZ_DERIVED_OPTION::get_single_option(const std::string& section, int id, bool use_default) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  auto it = st.options.find({section, id});
  if (it != st.options.end()) return it->second.get();
  // An instance without its own value inherits the project's when asked to.
  if (use_default && !section.empty()) {
    it = st.options.find({std::string(), id});
    if (it != st.options.end()) return it->second.get();
  }
  // The device family's name, unless a test or the settings gave one.
  if (id == FAMILY_NAME_OPTION) {
    auto& made = st.options[{std::string(), id}];
    made = std::make_unique<OMZ_OPTION>(6, pral_get_user_string(host::device::spec().family));
    return made.get();
  }
  return nullptr;
}

const OMZ_OPTION* OMZ_DERIVED_OPTION::get_single_option(const OMZ_INSTANCE_NAME* src, int id, bool use_default) {
  return get_single_option(src ? src->path() : std::string(), id, use_default);
}

const OMZ_NAMESPACE* OMZ_SECTION::find_section(int type, const std::string& name) {
  return type == 12 && name.empty() ? OMZ_NAMESPACE::get_default() : nullptr;
}

void OMZ_ASSIGNMENT::set_flag(int flag, const OMZ_NAMESPACE*) {
  if (flag >= 0 && flag < 32) m_flags |= 1u << flag;
}

int moz_get_value_type(int variable) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  auto t = st.value_types.find(variable);
  if (t != st.value_types.end()) return t->second;
  for (const auto& [key, option] : st.options)
    if (key.second == variable) return option->get_type();
  return 0;
}

namespace host::options {
void set_value_type(int id, int type) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.value_types[id] = type;
}
void set(int id, int type, const std::string& text, const std::string& section) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.options[{section, id}] = std::make_unique<OMZ_OPTION>(type, text);
}
void unset(int id, const std::string& section) {
  auto& st = state();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.options.erase({section, id});
}
}  // namespace host::options

void OMZ_NAMESPACE::post_process_wildcard(OMZ_NAMESPACE*, int flag) {
  host::log_call("OMZ_NAMESPACE::post_process_wildcard", flag);
}
