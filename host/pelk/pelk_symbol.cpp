#include "pelk/pelk_symbol.h"

#include "dev/dev_spec.h"

#include <deque>
#include <string>
#include <map>
#include <mutex>
#include <utility>

namespace {
// The intern table lives for the process (symbols outlive resets, as their
// texts are handed out as plain pointers).
struct TABLE {
  std::mutex mutex;
  std::deque<std::pair<int, std::string>> entries;
  std::map<std::pair<int, std::string>, int> index;
};
TABLE& table() {
  static TABLE* t = new TABLE();
  return *t;
}

const char* element_name(int e) {
  switch (e) {
    case 3: return "BLACK_BOX";
    case 162: return "SITE";
    case 279: return "LAB_FEEDBACK";
    case 282: return "LAB_PORT_MUX";
    case 283: return "BLOCK_OUTPUT";
    case 284: return "PERIPHERY_OUTPUT";
    case 318: return "GLOBAL_CLOCK";
    case 557: return "ARITH_CELL";
    case 581: return "PLL";
    case 643: return "REGISTER";
    case 644: return "LUT";
    case 659: return "ICD_PORT";
    case 700: return "H_WIRE";
    case 701: return "V_WIRE";
    case 703: return "PERIPHERY_INTERFACE";
    case 1339: return "PIN_CLOCK_INPUT";
    case 1336: return "DSP";
    case 1337: return "RAM";
    case 1929: return "PMUX";
    default: return nullptr;
  }
}
}  // namespace

PELK PELK::intern(int name_space, const std::string& name) {
  auto& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto key = std::make_pair(name_space, name);
  auto it = t.index.find(key);
  if (it != t.index.end()) return PELK(it->second);
  int idx = static_cast<int>(t.entries.size());
  t.entries.push_back(key);
  t.index.emplace(key, idx);
  return PELK(idx);
}

const char* PELK::cname() const {
  if (m_index < 0) return "";
  auto& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  return t.entries[static_cast<size_t>(m_index)].second.c_str();
}

int PELK::get_namespace() const {
  if (m_index < 0) return -1;
  auto& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  return t.entries[static_cast<size_t>(m_index)].first;
}

DEV_ELEMENT_ENUM puve_get_generic_dev_element_enum() { return static_cast<DEV_ELEMENT_ENUM>(2000); }

PELK puve_enum_to_symbol(DEV_ELEMENT_ENUM element) {
  const char* n = element_name(element);
  return PELK::intern(1, n ? n : "ELEMENT_" + std::to_string(static_cast<int>(element)));
}

const char* pral_get_part_user_string(int device_enum) {
  static thread_local std::string s;
  s = std::string(pral_get_user_string(host::device::spec().family)) + "-P" + std::to_string(device_enum);
  return s.c_str();
}

const char* pral_get_user_string(int family_code) {
  switch (family_code) {
    case 48: return "KX-48";
    case 15: return "KX-15";
    case 46: return "KY-46";
    case 26: return "KZ-26";
    case 19: return "IO-19";
    default: {
      static thread_local std::string s;
      s = "FAMILY-" + std::to_string(family_code);
      return s.c_str();
    }
  }
}

const char* pelk_get_debug_string(int name_space) {
  static const char* const kNames[] = {"PELK_NAMESPACE_0", "DEV_ELEMENT",      "PELK_NAMESPACE_2", "PELK_NAMESPACE_3",
                                       "PELK_NAMESPACE_4", "PELK_NAMESPACE_5", "PELK_NAMESPACE_6", "YOS_PARAM"};
  if (name_space >= 0 && name_space < 8) return kNames[name_space];
  return "PELK_NAMESPACE";
}

int PELK::use_namespace(const char* name) {
  if (name == nullptr) return -1;
  for (int n = 0; n < 8; ++n)
    if (std::string(pelk_get_debug_string(n)) == name) return n;
  return -1;
}
