#pragma once
// data: interned symbols (namespace and name), used as metadata keys,
// parameter names and element-kind names. A symbol's text stays valid for the
// life of the process.
#include <string>
#include "common/host_api.h"
#include "dev/dev_element_enum.h"

class HOST_API PELK {
public:
  PELK() = default;
  static PELK intern(int name_space, const std::string& name);
  // The namespace value of a namespace's name (pelk_get_debug_string); -1
  // for an unknown name.
  static int use_namespace(const char* name);
  // The symbol of a name in a namespace (as intern).
  static PELK use(int name_space, const std::string& name) { return intern(name_space, name); }
  const char* cname() const;
  int get_namespace() const;
  bool is_null() const { return m_index < 0; }
  bool operator==(const PELK& o) const { return m_index == o.m_index; }
  bool operator!=(const PELK& o) const { return m_index != o.m_index; }
  int index() const { return m_index; }

private:
  explicit PELK(int index) : m_index(index) {}
  int m_index = -1;
};

// The name of a namespace value: 1 "DEV_ELEMENT", 7 "YOS_PARAM", others
// "PELK_NAMESPACE_<n>".
HOST_API const char* pelk_get_debug_string(int name_space);
// The first value past the real element kinds.
HOST_API DEV_ELEMENT_ENUM puve_get_generic_dev_element_enum();
// The symbol naming an element kind.
HOST_API PELK puve_enum_to_symbol(DEV_ELEMENT_ENUM element);
// The user-facing text of a family ("KY-46").
HOST_API const char* pral_get_user_string(int family_code);
// data: the user-facing name of a device part: the configured device's family
// text and the part's device enum ("KY-46-P1").
HOST_API const char* pral_get_part_user_string(int device_enum);
