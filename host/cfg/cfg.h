#pragma once
// data: configuration variables, one process-wide store read with the
// caller's default. An absent or empty value reads as the default.
// The store imports, on first touch and at every reset, the preload:
// VELMO_CFG ("a=1;b=off") and the file named by VELMO_CFG_FILE (name=value
// lines, # comments), so libraries loaded later see preset values.
#include <map>
#include <string>
#include <utility>
#include <vector>
#include "common/host_api.h"

HOST_API bool cfg_is_on(const char* name, bool default_value);
HOST_API int cfg_get_int_value(const char* name, int default_value);
// "" when absent or empty.
HOST_API std::string cfg_get_value(const char* name);
HOST_API std::string cfg_get_value(const char* name, const char* default_value);
HOST_API void cfg_set_on(const char* name);
HOST_API void cfg_set_off(const char* name);
HOST_API void cfg_set_value(const char* name, const char* value);
HOST_API void cfg_set_int_value(const char* name, int value);

namespace host::cfg {
HOST_API void set(const std::string& name, const std::string& value);
HOST_API void unset(const std::string& name);
HOST_API bool is_set(const std::string& name);
// Parses "name=value" lines; returns false with a message naming the line.
// Each name set is the user's, from "path:line".
HOST_API bool load_file(const std::string& path, std::string* error);
// `name` set to `value` by the user, from `origin` (a command, a file and
// line): a name the unread list below follows.
HOST_API void set_by_user(const std::string& name, const std::string& value, const std::string& origin);
// Parses one "name=value" item (velmo-fit --cfg); the name is the user's,
// from "--cfg".
HOST_API bool set_from_assignment(const std::string& item, std::string* error);
// The names the user set (load_file, set_from_assignment) that no reading
// (cfg_is_on, cfg_get_*, is_set) asked for since, each with where it was set,
// in the order they were set. A reset forgets them.
HOST_API std::vector<std::pair<std::string, std::string>> unread_user_names();
// While one lives, the readings of its thread leave the unread list alone:
// a command that shows or checks a value is not the fit reading it.
class HOST_API UNCOUNTED_READS {
public:
  UNCOUNTED_READS();
  ~UNCOUNTED_READS();
  UNCOUNTED_READS(const UNCOUNTED_READS&) = delete;
  UNCOUNTED_READS& operator=(const UNCOUNTED_READS&) = delete;

private:
  bool m_outer;
};
// `name` leaves the unread list: a warning of its own already named it.
HOST_API void mark_read(const std::string& name);
HOST_API std::map<std::string, std::string> snapshot();
// Clears the store and re-imports the preload (host_reset).
HOST_API void reset_to_preload();
// Called once per variable and value that a reading could not take as an
// integer or boolean (`kind`), the reading then giving its default; the
// store keeps the listener across resets.
HOST_API void set_bad_value_listener(void (*fn)(const std::string& name, const std::string& value, const char* kind));
// Typed readings, also used by the cfg_ functions: false when the text is
// neither a boolean word nor an integer (decimal or 0x, within int).
HOST_API bool parse_bool(const std::string& text, bool* out);
HOST_API bool parse_int(const std::string& text, int* out);
}  // namespace host::cfg
