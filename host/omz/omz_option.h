#pragma once
// data: project options keyed by (section, id). The default section is the
// project's option namespace (type 12, name ""); other sections are instance
// paths. Each value has a type code (1 bool, 4 int, 6 enumerated, 7 time) and
// text.
#include <string>
#include "big_time/big_time.h"
#include "common/host_api.h"

class OMZ_NAMESPACE;
class OMZ_INSTANCE_NAME;

// data: the assignment behind an option value; carries flag bits that the
// compiler sets on assignments it has consumed.
class HOST_API OMZ_ASSIGNMENT {
public:
  void set_flag(int flag, const OMZ_NAMESPACE* ns);
  bool test_flag(int flag) const { return flag >= 0 && flag < 32 && ((m_flags >> flag) & 1u) != 0; }

private:
  unsigned m_flags = 0;
};

class HOST_API OMZ_OPTION {
public:
  OMZ_OPTION(int type, std::string text) : m_type(type), m_text(std::move(text)) {}
  int get_type() const { return m_type; }
  bool get_bool_value() const;
  // The value as an integer (bools read as 0/1; enumerations compare as 16-bit).
  int get_value() const;
  const std::string& get_value_str() const { return m_text; }
  // data: the option's assignment (owned by the option).
  OMZ_ASSIGNMENT* get_assignment() const { return &m_assignment; }
  // A time option's value (type 7, text such as "1000 ps"); 0 ps when the
  // text is not a time.
  BIG_TIME get_time_value() const;

private:
  int m_type;
  std::string m_text;
  mutable OMZ_ASSIGNMENT m_assignment;
};

class HOST_API OMZ_NAMESPACE {
public:
  explicit OMZ_NAMESPACE(std::string section) : m_section(std::move(section)) {}
  // The project's default section.
  static OMZ_NAMESPACE* get_default();
  const std::string& get_section() const { return m_section; }
  int get_type() const { return m_section.empty() ? 12 : 0; }
  // recorded: resolves the wildcard assignments of the namespace.
  static void post_process_wildcard(OMZ_NAMESPACE* ns, int flag);

private:
  std::string m_section;
};

class HOST_API OMZ_DERIVED_OPTION {
public:
  // The option, or null when it is absent. The returned object belongs to the
  // world.
  static const OMZ_OPTION* get_single_option(const OMZ_NAMESPACE* src, int id, bool use_default);
  static const OMZ_OPTION* get_single_option(const std::string& section, int id, bool use_default);
  // The option of an instance (its path is the section).
  static const OMZ_OPTION* get_single_option(const OMZ_INSTANCE_NAME* src, int id, bool use_default);
};

// data: assignment sections; the default section (type 12, name "") is the
// project's namespace, no other section is known.
class HOST_API OMZ_SECTION {
public:
  static const OMZ_NAMESPACE* find_section(int type, const std::string& name);
};

// data: the value type of an option variable (1 bool, 4 int, 6 enumerated):
// the type a test declared with host::options::set_value_type, else the type
// of any value stored for it, else 0.
HOST_API int moz_get_value_type(int variable);

namespace host::options {
HOST_API void set(int id, int type, const std::string& text, const std::string& section = "");
HOST_API void unset(int id, const std::string& section = "");
HOST_API void set_value_type(int id, int type);
}  // namespace host::options
