#pragma once
// data: the hierarchical name of an atom instance ("top|box|reg"). An atom
// owns its name unless it is a partition's box, whose name the partition
// shares.
#include <string>

#include "common/host_api.h"

// Formats of a hierarchical path. The stand-in keeps short paths only, so
// every format gives the short path.
enum OMZ_HPATH_FORMAT_TYPE : int {
  OMZ_HPATH_FORMAT_SHORT = 0,
};

class HOST_API OMZ_INSTANCE_NAME {
public:
  explicit OMZ_INSTANCE_NAME(std::string path) : m_path(std::move(path)) {}
  // Fills `out` with the path in the given format.
  void get_short_hpath(std::string& out, OMZ_HPATH_FORMAT_TYPE format) const;
  // The path as a returned string (the component's accessor).
  inline std::string get_short_hpath(OMZ_HPATH_FORMAT_TYPE format) const;
  const std::string& path() const { return m_path; }
  void set_path(std::string path) { m_path = std::move(path); }
  // data: the name's flag word (ORed bits).
  unsigned get_flags() const { return m_flags; }
  void set_flag(unsigned bits) { m_flags |= bits; }
  // algorithm: synthesized names are "<origin>~<suffix>" (one or more
  // suffixes). get_synthesized_from fills `out` with the origin and answers
  // true for such a name; false (out untouched) for an original name.
  bool get_synthesized_from(OMZ_INSTANCE_NAME* out) const;
  // "<base path>~<suffix>"; the three flags are recorded only.
  static OMZ_INSTANCE_NAME create_synthesized_name(const OMZ_INSTANCE_NAME& base, const std::string& suffix, bool a,
                                                   bool b, bool c);

private:
  std::string m_path;
  unsigned m_flags = 0;
};

#include "omz_instance_name_sys.h"
