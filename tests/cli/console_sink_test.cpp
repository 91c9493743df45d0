// The command line's message sink: what it answers for each kind of box,
// with and without --yes, and where it prints.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>

#include "shell/cli/console_sink.h"

namespace {

using lm::cli::ConsoleMessageSink;
namespace button = lm::button;
namespace style = lm::style;

// What `flush` prints to standard error or output (a temporary file stands in for it).
QString Printed(bool toStderr, const std::function<void()>& flush) {
  std::FILE* f = std::tmpfile();
  const int fd = ::fileno(toStderr ? stderr : stdout);
  std::fflush(toStderr ? stderr : stdout);
  const int copy = ::dup(fd);
  ::dup2(::fileno(f), fd);
  flush();
  std::fflush(toStderr ? stderr : stdout);
  ::dup2(copy, fd);
  ::close(copy);
  std::rewind(f);
  QByteArray bytes;
  char buf[4096];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, static_cast<qsizetype>(n));
  std::fclose(f);
  return QString::fromUtf8(bytes);
}

TEST(ConsoleSink, AnswersEachKindOfBox) {
  struct Case {
    int style;
    bool yes;
    int answer;
    bool refused;
  } cases[] = {
      {style::OkOnly, false, button::OK, false},         {style::Information, false, button::OK, false},
      {style::Critical, false, button::OK, false},       {style::Exclamation, true, button::OK, false},
      {style::YesNoQuestion, false, button::No, true},   {style::YesNoQuestion, true, button::Yes, false},
      {style::RetryCancel, false, button::Cancel, true}, {style::RetryCancel, true, button::Retry, false},
      {1, false, button::Cancel, true},                  {1, true, button::OK, false},
      {2, false, button::Abort, true},                   {2, true, button::Ignore, false},
      {3, false, button::Cancel, true},                  {3, true, button::Yes, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "style " << c.style << (c.yes ? " --yes" : ""));
    ConsoleMessageSink sink(c.yes);
    EXPECT_EQ(lm::MsgBox(QStringLiteral("q"), c.style), c.answer);
    EXPECT_EQ(sink.QuestionRefused(), c.refused);
    Printed(true, [&] { sink.Flush(false); });
  }
}

TEST(ConsoleSink, RetriesAQuestionAFewTimesThenCancels) {
  ConsoleMessageSink sink(true);
  const QString q = QStringLiteral("一時ディレクトリ内を消去できません。再試行しますか。");
  int retries = 0;
  while (lm::MsgBox(q, style::RetryCancel) == button::Retry) ASSERT_LE(++retries, 3);
  EXPECT_EQ(retries, 3);
  const QString out = Printed(false, [&] { sink.Flush(true); });
  EXPECT_TRUE(out.endsWith(q + QStringLiteral("\n(--yes: 3 回再試行したため中止)\n"))) << out.toStdString();
}

TEST(ConsoleSink, PrintsOnStdoutOnSuccessAndPrefixedOnStderrOnFailure) {
  {
    ConsoleMessageSink sink(false);
    lm::MsgBox(QStringLiteral("一行目") + lm::CR + QStringLiteral("二行目"), style::OkOnly);
    EXPECT_EQ(Printed(false, [&] { sink.Flush(true); }), QStringLiteral("一行目\n二行目\n"));
  }
  {
    ConsoleMessageSink sink(false);
    lm::MsgBox(QStringLiteral("失敗"), style::Exclamation);
    lm::MsgBox(QStringLiteral("続けますか？"), style::YesNoQuestion);
    EXPECT_EQ(Printed(true, [&] { sink.Flush(false); }),
              QStringLiteral("loftmark: 失敗\nloftmark: 続けますか？\nloftmark: ") + lm::cli::NeedsYesMessage() + "\n");
  }
  // The sink before it is back when it ends.
  lm::MessageBoxSink* before = lm::CurrentMessageBoxSink();
  { ConsoleMessageSink sink(true); EXPECT_EQ(lm::CurrentMessageBoxSink(), &sink); }
  EXPECT_EQ(lm::CurrentMessageBoxSink(), before);
}

}  // namespace
