#include "msg/msg_base.h"

#include "common/host_call_log.h"
#include "testing/host_test.h"

using host::testing::expect_internal_error;
using host::testing::HostTest;

class MessagesTest : public HostTest {};

namespace {
template <class M, class... A> M* make(const char* literal, A... args) {
  auto* m = new M(nullptr);
  m->fill_args(literal, args...);
  return m;
}
}  // namespace

TEST_F(MessagesTest, PlaceholdersAreNumberedTypedAndMayRepeat) {
  std::unique_ptr<MSG_W> w(make<MSG_W>("%1!s! at %2!d! (%1!s!) %3!u!%% done/WVELMO_X", "pin", -3, 7u));
  EXPECT_EQ(w->get_text(), "pin at -3 (pin) 7% done");
  EXPECT_EQ(w->get_key(), "VELMO_X");
  ASSERT_EQ(w->get_args().size(), 3u);
  EXPECT_EQ(w->get_args()[1].type, 'd');
  EXPECT_EQ(w->get_args()[1].value, -3);

  // Arguments are read in index order even when the text shows %2 first.
  std::unique_ptr<MSG_I> i(make<MSG_I>("%2!d! then %1!s!/IK", "a", 5));
  EXPECT_EQ(i->get_text(), "5 then a");

  // The literal is split at its last slash; earlier slashes are text.
  std::unique_ptr<MSG_E> e(make<MSG_E>("a/b %1!s!/EVELMO_FAIL", "c"));
  EXPECT_EQ(e->get_text(), "a/b c");
  EXPECT_EQ(e->get_key(), "VELMO_FAIL");
}

TEST_F(MessagesTest, MalformedLiteralsAreInternalErrors) {
  for (const char* bad : {"gap %2!d!/IK", "two types %1!d! %1!s!/IK", "wrong kind/EK", "no slash",
                          "bad type %1!x!/IK"}) {
    MSG_I m(nullptr);
    auto err = expect_internal_error([&] { m.fill_args(bad, 1); });
    EXPECT_EQ(err.condition.rfind("message literal", 0), 0u) << bad;
  }
}

TEST_F(MessagesTest, PostingCountsErrorsAndHonoursNullMessages) {
  EXPECT_EQ(msg_get_default_report()->get_error_count(), 0);
  auto* e = make<MSG_E>("boom %1!d!/EK", 1);
  e->set_id(11164);
  EXPECT_EQ(e->post(), 0);
  delete e;
  auto* w = make<MSG_W>("careful/WK");
  w->set_id(5);
  w->set_severity_level(1);
  w->add_sub_message(make<MSG_I>("detail %1!s!/IK", "x"));
  w->post();
  delete w;
  MSG_I_NULL n;
  EXPECT_EQ(n.post(), 0);

  auto posted = host::messages::posted();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(host::messages::format(posted[0]), "Error (011164): boom 1");
  EXPECT_EQ(posted[1].severity_level, 1);
  EXPECT_EQ(host::messages::format(posted[1]), "Warning (000005): careful\n    Info (000000): detail x");
  EXPECT_EQ(msg_get_default_report()->get_error_count(), 1);

  EXPECT_FALSE(MSG_INDEX::get_default_index()->is_suppressed(16607));
  host::messages::suppress(16607);
  EXPECT_TRUE(MSG_INDEX::get_default_index()->is_suppressed(16607));
}

TEST_F(MessagesTest, DebugLinesFollowModuleLevels) {
  auto dbg = [](const char* module, int level, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    msg_local_vdebug(module, level, fmt, ap);
    va_end(ap);
  };
  dbg("VELMO", 2, "shown %d", 1);
  dbg("VELMO", 3, "hidden %d", 2);
  dbg("OTHER", 1, "hidden too");
  host::debug::set_level("OTHER", 1);
  dbg("OTHER", 1, "now shown");
  EXPECT_EQ(host::debug::texts(), (std::vector<std::string>{"shown 1", "now shown"}));

  MSG_D d(nullptr);
  EXPECT_TRUE(d.set_enabled("VELMO", 2));
  EXPECT_FALSE(d.set_enabled("VELMO", 3));
  host::debug::set_level("VELMO", 0);
  host::debug::set_level("OTHER", 0);
  EXPECT_FALSE(MSG_D::debug_messages_enabled(nullptr));
}
