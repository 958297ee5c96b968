#pragma once
// Enumerations of the partition and snapshot database. JOV_SNAPSHOT_BASE
// names the design snapshots; JOV_ENUM_IMPL wraps a value of such an enum
// with its text. The parser set_from_str belongs to the component's base
// layer (jov_enum_sys.h).
#include <string>
#include "common/host_api.h"

class HOST_API JOV_SNAPSHOT_BASE {
public:
  enum ENUM : int {
    NONE = 0,
    SOURCE,
    ELABORATED,
    PARTITIONED,
    WYSIWYG,
    SYNTHESIZED,
    PLANNED,
    EARLY_PLACED,
    PLACED,
    ROUTED,
    RETIMED,
    NIMBREL,
    FINAL,
    ALL,
    LEGACY,
    LIVE,
    INVALID,
  };
  // data: the value names in enum order ("none" ... "invalid") and their
  // number (17).
  static const char* const* get_strings_and_size(int* size);
};

template <class BASE> class JOV_ENUM_IMPL : public BASE {
public:
  using ENUM = typename BASE::ENUM;
  // data: a value of the enumeration (the first by default).
  JOV_ENUM_IMPL() = default;
  JOV_ENUM_IMPL(ENUM value) : m_value(value) {}
  ENUM get_value() const { return m_value; }
  operator ENUM() const { return m_value; }
  // data: the value's name.
  const char* to_str() const {
    int n = 0;
    const char* const* names = BASE::get_strings_and_size(&n);
    int v = static_cast<int>(m_value);
    return v >= 0 && v < n ? names[v] : "";
  }
  // algorithm: takes the value named by the text (the component's base
  // layer); an empty text or one that names no value is an internal error.
  inline bool set_from_str(const std::string& str, bool ok);

private:
  ENUM m_value = static_cast<ENUM>(0);
};

#include "jov_enum_sys.h"
