#pragma once
// The message library: message objects, posting into the message report,
// suppression, the id registrar and debug lines.
//
// data: a posted message lands in the report (host::messages::posted()).
// Literals have the form "text with %1!s! placeholders/<kind letter><key>".
#include <cstdarg>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "common/host_api.h"

using MSG_D_LEVEL = int;

enum class MSG_KIND : char { ERROR = 'E', INFO = 'I', WARNING = 'W', DEBUG = 'D', NONE = 0 };

// A typed argument substituted into a literal.
struct MSG_ARG {
  char type = 's';  // 's', 'd' or 'u'
  std::string text;
  long long value = 0;
};

class HOST_API MSG_REPORT {
public:
  virtual ~MSG_REPORT();
  // Errors posted since the last reset.
  int get_error_count() const;
};
HOST_API MSG_REPORT* msg_get_default_report();

// Something that can be posted: give it a report, post it, destroy it.
class HOST_API MSG_POST {
public:
  virtual ~MSG_POST();
  virtual void set_report(MSG_REPORT* report) = 0;
  // Returns 0 when posted.
  virtual int post() = 0;
};

class HOST_API MSG_BASE : public MSG_POST {
public:
  explicit MSG_BASE(MSG_KIND kind, MSG_REPORT* report = nullptr);
  ~MSG_BASE() override;
  MSG_BASE(const MSG_BASE&) = delete;
  MSG_BASE& operator=(const MSG_BASE&) = delete;

  // The component supplies these inline setters (its message catalogue
  // writes them); they live in the base layer.
  inline void set_id(unsigned int id);
  inline void set_severity_level(int level);
  inline void fill_args(const char* format, ...);
  inline void set_report(MSG_REPORT* report) override;

  // Host formatter: splits the literal at its last '/', checks the kind
  // letter, substitutes the numbered placeholders from the va_list.
  void fill_args_(const char* literal, va_list args);

  int post() override;

  // Takes ownership of a sub-message shown under this one.
  void add_sub_message(MSG_BASE* sub);
  // Location objects attached to the message, in their text form (see
  // msg/msg_gen_loc.h).
  void add_location_text(std::string text) { m_locations.push_back(std::move(text)); }
  const std::vector<std::string>& get_locations() const { return m_locations; }

  unsigned int get_id() const { return m_id; }
  int get_severity_level() const { return m_severity_level; }
  MSG_KIND get_kind() const { return m_kind; }
  const std::string& get_text() const { return m_text; }
  const std::string& get_key() const { return m_key; }
  const std::vector<MSG_ARG>& get_args() const { return m_args; }
  MSG_REPORT* get_report() const { return m_report; }
  const std::vector<std::unique_ptr<MSG_BASE>>& get_sub_messages() const { return m_subs; }

protected:
  MSG_KIND m_kind;
  unsigned int m_id = 0;
  int m_severity_level = 0;
  MSG_REPORT* m_report = nullptr;
  std::string m_text;
  std::string m_key;
  std::vector<MSG_ARG> m_args;
  std::vector<std::unique_ptr<MSG_BASE>> m_subs;
  std::vector<std::string> m_locations;
};

class HOST_API MSG_E : public MSG_BASE {
public:
  explicit MSG_E(MSG_REPORT* report = nullptr);
  ~MSG_E() override;
};
class HOST_API MSG_I : public MSG_BASE {
public:
  explicit MSG_I(MSG_REPORT* report = nullptr);
  ~MSG_I() override;
};
class HOST_API MSG_W : public MSG_BASE {
public:
  explicit MSG_W(MSG_REPORT* report = nullptr);
  ~MSG_W() override;
};
// Null messages stand for suppressed information and warnings: posting them
// shows nothing and they are never formatted.
class HOST_API MSG_I_NULL : public MSG_I {
public:
  MSG_I_NULL();
  ~MSG_I_NULL() override;
  int post() override;
};
class HOST_API MSG_W_NULL : public MSG_W {
public:
  MSG_W_NULL();
  ~MSG_W_NULL() override;
  int post() override;
};

// Debug message: posting adds a debug line under its module and level.
class HOST_API MSG_D : public MSG_BASE {
public:
  explicit MSG_D(MSG_REPORT* report = nullptr);
  ~MSG_D() override;
  // True when debug output is enabled for any module at all.
  static bool debug_messages_enabled(MSG_REPORT* report);
  // Tags the message with its module and level; answers whether that module
  // prints at that level.
  bool set_enabled(const char* module, MSG_D_LEVEL level);
  // printf-style formatting of the debug text.
  void vformat(const char* format, va_list args);
  int post() override;
  const std::string& get_module() const { return m_module; }
  MSG_D_LEVEL get_level() const { return m_level; }

private:
  std::string m_module;
  MSG_D_LEVEL m_level = 2;
};

class HOST_API MSG_INDEX {
public:
  static MSG_INDEX* get_default_index();
  bool is_suppressed(unsigned int id) const;
};

// Registers the component's message ids and kinds (0 error, 1 info,
// 2 warning) when it is loaded; kept across resets.
class HOST_API MSG_ID_REGISTRAR {
public:
  MSG_ID_REGISTRAR(const unsigned int* ids, const int* kinds, int count);
};

// Debug lines: formatted and captured when level <= the module's level.
HOST_API void msg_local_vdebug(const char* module, MSG_D_LEVEL level, const char* format, va_list args);
// True while the message system is up (after a reset).
extern HOST_API bool msg_initialized;

// What a posted message left in the report.
struct POSTED_MESSAGE {
  MSG_KIND kind;
  unsigned int id;
  std::string key;
  std::string text;
  std::vector<MSG_ARG> args;
  int severity_level = 0;
  std::vector<POSTED_MESSAGE> subs;
  std::vector<std::string> locations;  // attached location objects, as text
};

struct DEBUG_LINE {
  std::string module;
  MSG_D_LEVEL level;
  std::string text;
  int thread;
};

namespace host::messages {
HOST_API std::vector<POSTED_MESSAGE> posted();
HOST_API void suppress(unsigned int id);
// How velmo-fit prints a message: "Info (016607): text".
HOST_API std::string format(const POSTED_MESSAGE& m);
// Called for each posted message, e.g. to print it as it comes.
HOST_API void set_listener(void (*fn)(const POSTED_MESSAGE&));
struct REGISTERED {
  unsigned int id;
  int kind;
};
HOST_API std::vector<REGISTERED> registered();
}  // namespace host::messages

namespace host::debug {
HOST_API void set_level(const std::string& module, MSG_D_LEVEL level);
HOST_API MSG_D_LEVEL level(const std::string& module);
HOST_API std::vector<DEBUG_LINE> lines();
// Texts only, in capture order; sorted() for lines from parallel workers.
HOST_API std::vector<std::string> texts();
HOST_API std::vector<std::string> sorted();
// Echo each captured line to stdout as it comes (velmo-fit --debug).
HOST_API void set_echo(bool on);
}  // namespace host::debug

#include "msg_base_sys.h"
