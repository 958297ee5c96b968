// The message catalogue: the factories of every row and the registration of
// the ids and kinds when the component is loaded.
#include "velmo_msgs.h"

#include <cstdarg>

#include "mem/mem_initializer.h"

namespace {
const MEM_INITIALIZER l_mem_initializer("VELMO");

// Text parameters reach the formatter as NUL-terminated strings, numbers as
// they are.
inline const char* l_arg(const std::string& s) { return s.c_str(); }
inline int l_arg(int v) { return v; }
inline unsigned int l_arg(unsigned int v) { return v; }

template <class... A> MSG_E* l_make_E(unsigned int id, int, const char* literal, const A&... args) {
  MSG_E* m = new MSG_E(nullptr);
  m->fill_args(literal, l_arg(args)...);
  m->set_id(id);
  return m;
}

template <class... A> MSG_I* l_make_I(unsigned int id, int, const char* literal, const A&... args) {
  if (MSG_INDEX::get_default_index()->is_suppressed(id)) return new MSG_I_NULL();
  MSG_I* m = new MSG_I(nullptr);
  m->fill_args(literal, l_arg(args)...);
  m->set_id(id);
  return m;
}

template <class... A> MSG_W* l_make_W(unsigned int id, int level, const char* literal, const A&... args) {
  if (MSG_INDEX::get_default_index()->is_suppressed(id)) return new MSG_W_NULL();
  MSG_W* m = new MSG_W(nullptr);
  m->fill_args(literal, l_arg(args)...);
  if (level >= 0) m->set_severity_level(level);
  m->set_id(id);
  return m;
}

#define VELMO_MSG_ARGS(...) __VA_OPT__(, ) __VA_ARGS__

constexpr int l_kind_code_E = 0;
constexpr int l_kind_code_I = 1;
constexpr int l_kind_code_W = 2;

#define VELMO_MSG_ID_ROW(KIND, NAME, ID, LEVEL, PARAMS, ARGS, TEXT) ID,
#define VELMO_MSG_KIND_ROW(KIND, NAME, ID, LEVEL, PARAMS, ARGS, TEXT) l_kind_code_##KIND,
const unsigned int l_msg_ids[] = {VELMO_MSG_CATALOGUE(VELMO_MSG_ID_ROW)};
const int l_msg_kinds[] = {VELMO_MSG_CATALOGUE(VELMO_MSG_KIND_ROW)};
#undef VELMO_MSG_ID_ROW
#undef VELMO_MSG_KIND_ROW
static_assert(sizeof(l_msg_ids) / sizeof(l_msg_ids[0]) == 88, "the catalogue has 88 messages");

const MSG_ID_REGISTRAR l_msg_id_registrar(l_msg_ids, l_msg_kinds, static_cast<int>(sizeof(l_msg_ids) /
                                                                                      sizeof(l_msg_ids[0])));

MSG_D* l_make_debug(MSG_D_LEVEL level, const char* format, va_list args) {
  MSG_D* m = new MSG_D(nullptr);
  m->set_enabled("VELMO", level);
  m->vformat(format, args);
  return m;
}
}  // namespace

#define VELMO_MSG_DEFINE_ROW(KIND, NAME, ID, LEVEL, PARAMS, ARGS, TEXT)            \
  MSG_##KIND*(MSG_VELMO::KIND::NAME) PARAMS {                                     \
    return l_make_##KIND(ID, LEVEL, TEXT "/" #KIND "VELMO_" #NAME VELMO_MSG_ARGS ARGS); \
  }
VELMO_MSG_CATALOGUE(VELMO_MSG_DEFINE_ROW)
#undef VELMO_MSG_DEFINE_ROW

MSG_D* MSG_VELMO::DEBUG_MSG(MSG_D_LEVEL level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  MSG_D* m = l_make_debug(level, format, args);
  va_end(args);
  return m;
}

MSG_D* MSG_VELMO::DEBUG_MSG(const char* format, ...) {
  va_list args;
  va_start(args, format);
  MSG_D* m = l_make_debug(2, format, args);
  va_end(args);
  return m;
}

MSG_W* MSG_VELMO::W::VELMO_AUTO_DELAY_CHAIN_HIGH_INPUT_PIN_SEARCHED(const std::string& a1, int a2, int a3) {
  return l_make_W(16165, -1,
                  "Input pin %1!s! has too many fanouts (number of fanouts is %2!d! which is larger than the threshold "
                  "value of %3!d!) -- the delay chains of the input pin are searched like the other pins'"
                  "/WVELMO_VELMO_AUTO_DELAY_CHAIN_DISABLE_HIGH_INPUT_PIN_OPTIMIZATION",
                  a1, a2, a3);
}
