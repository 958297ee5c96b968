// The message catalogue: every factory formats its literal with the host's
// formatter (which rejects a malformed literal), stamps its id, kind, key and
// level, and is registered; suppressed information and warnings give null
// messages that are never formatted.
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "msg/msg_base.h"
#include "testing/host_test.h"
#include "velmo_debug.h"
#include "velmo_msgs.h"

using host::testing::HostTest;

namespace {

// Sample arguments by parameter type, and how the formatter shows them.
template <class T> struct SAMPLE;
template <> struct SAMPLE<const std::string&> {
  static std::string make(int i) { return "arg" + std::to_string(i); }
  static std::string show(int i) { return make(i); }
};
template <> struct SAMPLE<int> {
  static int make(int i) { return -7 * i; }
  static std::string show(int i) { return std::to_string(make(i)); }
};
template <> struct SAMPLE<unsigned int> {
  static unsigned int make(int i) { return 4000000000u + static_cast<unsigned>(i); }
  static std::string show(int i) { return std::to_string(make(i)); }
};

template <class R, class... A, size_t... I>
R* call_with_samples(R* (*factory)(A...), std::index_sequence<I...>, std::vector<std::string>* shown) {
  [[maybe_unused]] auto args = std::make_tuple(SAMPLE<A>::make(static_cast<int>(I) + 1)...);
  *shown = {SAMPLE<A>::show(static_cast<int>(I) + 1)...};
  return factory(std::get<I>(args)...);
}
template <class R, class... A> R* call_with_samples(R* (*factory)(A...), std::vector<std::string>* shown) {
  return call_with_samples(factory, std::index_sequence_for<A...>{}, shown);
}

// The text with each "%N!x!" replaced by the N-th shown argument.
std::string substitute(const std::string& text, const std::vector<std::string>& shown) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    size_t bang = text.find('!', i);
    if (text[i] == '%' && i + 1 < text.size() && isdigit(static_cast<unsigned char>(text[i + 1])) &&
        bang != std::string::npos && bang + 2 < text.size() && text[bang + 2] == '!') {
      size_t n = std::stoul(text.substr(i + 1, bang - i - 1));
      out += n >= 1 && n <= shown.size() ? shown[n - 1] : "<missing>";
      i = bang + 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct ROW {
  char kind;
  std::string name;
  unsigned int id;
  int level;
  std::string text;
  MSG_BASE* (*call)(std::vector<std::string>*);
};

#define VELMO_MSG_TEST_ROW(KIND, NAME, ID, LEVEL, PARAMS, ARGS, TEXT)                                 \
  ROW{(#KIND)[0], #NAME, ID, LEVEL, TEXT, [](std::vector<std::string>* shown) -> MSG_BASE* {         \
        return call_with_samples(&MSG_VELMO::KIND::NAME, shown);                                    \
      }},
const std::vector<ROW>& rows() {
  static const std::vector<ROW> table = {VELMO_MSG_CATALOGUE(VELMO_MSG_TEST_ROW)};
  return table;
}
#undef VELMO_MSG_TEST_ROW

class MessageCatalogueTest : public HostTest {};

}  // namespace

TEST_F(MessageCatalogueTest, EveryFactoryFormatsStampsAndPosts) {
  std::map<char, int> per_kind;
  std::set<unsigned int> ids;
  for (const ROW& r : rows()) {
    SCOPED_TRACE(std::string(1, r.kind) + "::" + r.name);
    std::vector<std::string> shown;
    MSG_BASE* m = r.call(&shown);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(static_cast<char>(m->get_kind()), r.kind);
    EXPECT_EQ(m->get_id(), r.id);
    EXPECT_EQ(m->get_key(), "VELMO_" + r.name);
    EXPECT_EQ(m->get_text(), substitute(r.text, shown));
    EXPECT_EQ(m->get_text().find("%"), std::string::npos);
    EXPECT_EQ(m->get_severity_level(), r.level < 0 ? 0 : r.level);
    EXPECT_EQ(m->get_report(), nullptr);
    msg_post(m, nullptr);
    ASSERT_FALSE(host::messages::posted().empty());
    EXPECT_EQ(host::messages::posted().back().id, r.id);
    EXPECT_EQ(host::messages::posted().back().text, substitute(r.text, shown));
    ++per_kind[r.kind];
    EXPECT_TRUE(ids.insert(r.id).second) << "duplicate id " << r.id;
  }
  EXPECT_EQ(rows().size(), 88u);
  EXPECT_EQ(per_kind['E'], 27);
  EXPECT_EQ(per_kind['I'], 29);
  EXPECT_EQ(per_kind['W'], 32);

  // What the component registered when it was loaded matches its factories.
  std::map<unsigned int, int> registered;
  for (const auto& r : host::messages::registered()) registered[r.id] = r.kind;
  EXPECT_EQ(registered.size(), 88u);
  for (const ROW& r : rows()) {
    ASSERT_EQ(registered.count(r.id), 1u) << r.name;
    EXPECT_EQ(registered[r.id], r.kind == 'E' ? 0 : r.kind == 'I' ? 1 : 2) << r.name;
  }
}

// An oracle independent of the catalogue table: id, kind, key, level and
// text written out for a spread of rows, among them the texts that repeat an
// argument, show them out of order or take an empty one.
TEST_F(MessageCatalogueTest, LiteralIdsLevelsAndTextsOfASpreadOfRows) {
  struct EXPECTED {
    MSG_BASE* m;
    unsigned int id;
    char kind;
    const char* key;
    int level;
    const char* text;
  };
  const std::vector<EXPECTED> rows = {
      {(MSG_VELMO::E::FAIL)(), 11164, 'E', "VELMO_FAIL", 0, "Can't fit design in device"},
      {MSG_VELMO::E::VELMO_DELAY_CHAIN_NOT_USED("opt", 3, "pin_a"), 16156, 'E', "VELMO_VELMO_DELAY_CHAIN_NOT_USED", 0,
       "Can't set option opt to 3 -- option is not used on pin pin_a"},
      {MSG_VELMO::E::VELMO_ZENTO_RETIMER_UNSUPPORTED_DEVICE("PART_X"), 18419, 'E',
       "VELMO_VELMO_ZENTO_RETIMER_UNSUPPORTED_DEVICE", 0,
       "The Zento-Retimer is not supported for device PART_X. This feature is only available for device families "
       "with Corvane architectures."},
      {MSG_VELMO::W::VELMO_DELAY_CHAIN_PAD_TO_CORE_CONFLICT("n1", "n2", "p"), 16142, 'W',
       "VELMO_VELMO_DELAY_CHAIN_PAD_TO_CORE_CONFLICT", 1,
       "Ignored Input Delay from Pin to Internal Cells logic option assignment on node n1 because node n1 and node n2 "
       "are fed by the same delay chain from input or bidirectional pin p but have different assignment values"},
      {MSG_VELMO::W::VELMO_DELAY_CHAIN_PAD_TO_CORE_NO_ITERM("p", 2u, 5u), 16145, 'W',
       "VELMO_VELMO_DELAY_CHAIN_PAD_TO_CORE_NO_ITERM", 1,
       "Ignored Input Delay from Pin to Internal Cells logic option assignment (setting = 2) to input or "
       "bidirectional pin p because all of its fan-outs already have assignments of a different delay value "
       "(setting = 5)"},
      {MSG_VELMO::W::VELMO_DELAY_CHAIN_PAD_TO_CORE_IGNORED_ON_GLOBAL_DESTINATION("p", "lc", 4u), 16154, 'W',
       "VELMO_VELMO_DELAY_CHAIN_PAD_TO_CORE_IGNORED_ON_GLOBAL_DESTINATION", 1,
       "Ignored Input Delay from Pin to Internal Cells logic option assignment (setting = 4) from input or "
       "bidirectional pin p to destination logic cell lc because it is a global destination"},
      {MSG_VELMO::W::DWO_MISSING_TIMING_INFO(), 11169, 'W', "VELMO_DWO_MISSING_TIMING_INFO", 0,
       "PLL compensation delay chain reconfiguration operation is skipped - no timing information is available"},
      {MSG_VELMO::W::BBIC_DISABLED_TOP_PARTITION_NOT_PRESERVED(), 21645, 'W',
       "VELMO_BBIC_DISABLED_TOP_PARTITION_NOT_PRESERVED", 0,
       "Vantrel Preservation was not enabled. Vantrel preservation can only be enabled in Partial Reconfiguration "
       "and Reserved Core flows, and only when the top-level partition is preserved."},
      {MSG_VELMO::I::FITTER_ROUTING_END("00:00:03"), 16607, 'I', "VELMO_FITTER_ROUTING_END", 0,
       "Fitter routing operations ending: elapsed time is 00:00:03"},
      {MSG_VELMO::I::VELMO_P2C_START_INFO(""), 16237, 'I', "VELMO_VELMO_P2C_START_INFO", 0,
       "Starting register placement for periphery-core transfers"},
      {MSG_VELMO::I::VELMO_C2P_FINISH_INFO("(retry) ", "00:00:01"), 16246, 'I', "VELMO_VELMO_C2P_FINISH_INFO", 0,
       "Register placement (retry) for core-periphery transfers ending: elapsed time is 00:00:01"},
      // Warning 16165 in the words of a search that still takes the pin.
      {MSG_VELMO::W::VELMO_AUTO_DELAY_CHAIN_HIGH_INPUT_PIN_SEARCHED("pin_b", 9, 8), 16165, 'W',
       "VELMO_VELMO_AUTO_DELAY_CHAIN_DISABLE_HIGH_INPUT_PIN_OPTIMIZATION", 0,
       "Input pin pin_b has too many fanouts (number of fanouts is 9 which is larger than the threshold value of 8) "
       "-- the delay chains of the input pin are searched like the other pins'"},
  };
  for (const EXPECTED& e : rows) {
    SCOPED_TRACE(e.key);
    EXPECT_EQ(e.m->get_id(), e.id);
    EXPECT_EQ(static_cast<char>(e.m->get_kind()), e.kind);
    EXPECT_EQ(e.m->get_key(), e.key);
    EXPECT_EQ(e.m->get_severity_level(), e.level);
    EXPECT_EQ(e.m->get_text(), e.text);
    delete e.m;
  }
}

TEST_F(MessageCatalogueTest, SuppressedInformationAndWarningsAreNullMessages) {
  for (const ROW& r : rows()) host::messages::suppress(r.id);
  for (const ROW& r : rows()) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> shown;
    MSG_BASE* m = r.call(&shown);
    if (r.kind == 'E') {
      // Errors are never suppressed.
      EXPECT_EQ(m->get_id(), r.id);
      EXPECT_FALSE(m->get_text().empty());
      delete m;
      continue;
    }
    if (r.kind == 'I')
      EXPECT_NE(dynamic_cast<MSG_I_NULL*>(m), nullptr);
    else
      EXPECT_NE(dynamic_cast<MSG_W_NULL*>(m), nullptr);
    EXPECT_EQ(m->get_id(), 0u);
    EXPECT_TRUE(m->get_text().empty());
    EXPECT_TRUE(m->get_args().empty());
    size_t before = host::messages::posted().size();
    msg_post(m, nullptr);
    EXPECT_EQ(host::messages::posted().size(), before);
  }
}

TEST_F(MessageCatalogueTest, DebugMessagesCarryTheComponentTag) {
  MSG_D* d = MSG_VELMO::DEBUG_MSG(3, "value %d of %s", 4, "x");
  EXPECT_EQ(d->get_module(), "VELMO");
  EXPECT_EQ(d->get_level(), 3);
  EXPECT_EQ(d->get_text(), "value 4 of x");
  msg_post(d, nullptr);  // level 3 is above the test's level 2: not shown
  d = MSG_VELMO::DEBUG_MSG("plain %u", 7u);
  EXPECT_EQ(d->get_level(), 2);
  msg_post(d, nullptr);
  EXPECT_EQ(host::debug::texts(), std::vector<std::string>{"plain 7"});
}
