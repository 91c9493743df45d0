// index and build: the main window's first two operations, with the
// next-update boxes filled from --next.
#include <array>

#include <QStringList>

#include "archive/build_driver.h"
#include "index/index_writer.h"
#include "profiles/profile_actions.h"
#include "profiles/profile_store.h"
#include "profiles/script_check.h"
#include "shell/cli/command_line.h"
#include "shell/cli/commands.h"
#include "shell/cli/interrupt_cancel.h"
#include "shell/cli/progress_line.h"
#include "shell/cli/run_wait.h"
#include "util/app_globals.h"

namespace lm::cli {
namespace {

// The five boxes as typed on the command line; checked by the same code
// that checks the window's boxes.
class ArgumentBoxes final : public NextUpdateBoxes, public MainWindowView {
 public:
  QString BoxText(DateBox box) const override { return texts_[static_cast<size_t>(box)]; }
  void FocusBox(DateBox) override {}

  // MainWindowView: only the boxes matter here.
  int SelectedProfileEntry() const override { return currentProfile; }
  void SelectProfileEntry(int) override {}
  void RemoveProfileEntry(int) override {}
  void SetScriptFileText(const QString&) override {}
  void SetNextUpdateText(DateBox box, const QString& text) override { texts_[static_cast<size_t>(box)] = text; }

 private:
  std::array<QString, kNextUpdateBoxCount> texts_;
};

// The index writer's list goes nowhere: the files are the result.
class QuietIndexView final : public IndexRunView {
 public:
  void SetExecuteEnabled(bool) override {}
  void ClearList() override {}
  void AddListLine(const QString&) override {}
};

// The build's view: the type from --type; the folder of --out is made only
// when the archives are about to be written.
class CommandArchiveView final : public ArchiveRunView {
 public:
  CommandArchiveView(QString type, QString outFolder) : type_(std::move(type)), outFolder_(std::move(outFolder)) {}
  QString ArchiveTypeText() const override { return type_; }
  void SetBuildRunning(bool) override {}
  void RunBuild(const std::function<void()>& build) override {
    if (outFolder_.isEmpty() || MakeOutputFolder(outFolder_)) build();
  }
  void ShowArchivesWritten(const QStringList& lines) override { written = lines; }
  QStringList written;

 private:
  QString type_;
  QString outFolder_;
};

// Fills the boxes from --next ("2027 4 1 9 0"), or, without it, from the
// script's own index.fet as the window shows it. kSuccess or an exit status.
int FillBoxes(CommandContext& ctx, ArgumentBoxes& boxes, bool required) {
  if (ctx.args.isSet(QStringLiteral("next"))) {
    const QStringList parts =
        ctx.args.value(QStringLiteral("next")).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != kNextUpdateBoxCount)
      return UsageError(QStringLiteral("--next には次回更新予定日時を \"年 月 日 時 分\" の5つの数で指定してください。"));
    for (int i = 0; i < kNextUpdateBoxCount; ++i) boxes.SetNextUpdateText(DateBoxOfPosition(i), parts[i]);
    return kSuccess;
  }
  Profile none;
  const Profile* current = CurrentProfile();
  const Profile& profile = current ? *current : none;
  QString message;
  QString value;
  int16_t nonRegular = 0;
  if (!required && CheckScriptFile(TrimBlanks(profile.ugu), message, nonRegular) == 0 &&
      ReadIndexNextUpdate(TrimBlanks(profile.ugu), nonRegular, value) == 0) {
    ShowNextUpdate(value, boxes);
    return kSuccess;
  }
  return UsageError(required ? QStringLiteral("--next で次回更新予定日時を指定してください。")
                             : QStringLiteral("スクリプトに更新定義ファイルがないため、--next で次回更新予定日時を指定してください。"));
}

QString ArchiveTypeOf(const QString& option) {
  if (option == QLatin1String("qsc")) return kArchiveTypeQsc;
  if (option == QLatin1String("lzh")) return kArchiveTypeLzh;
  if (option == QLatin1String("exe")) return kArchiveTypeExe;
  if (option == QLatin1String("all")) return kArchiveTypeAll;
  return QString();
}

}  // namespace

int RunIndexCommand(CommandContext& ctx) {
  if (const int rc = ChooseProfile(ctx, true); rc != kSuccess) return rc;
  ArgumentBoxes boxes;
  if (const int rc = FillBoxes(ctx, boxes, true); rc != kSuccess) return rc;
  makeTmpIndex = ctx.args.isSet(QStringLiteral("tmp")) ? 1 : 0;
  QuietIndexView view;
  CommandRunWaiter waiter(!ctx.args.isSet(QStringLiteral("no-wait")));
  const int16_t status = WriteIndexForProfile(0, boxes, view);
  const bool ok = status == 0 && !ctx.sink.QuestionRefused();
  ctx.sink.Flush(ok);
  return ok ? kSuccess : kFailed;
}

int WriteIndexFromArguments(CommandContext& ctx) {
  ArgumentBoxes boxes;
  if (const int rc = FillBoxes(ctx, boxes, true); rc != kSuccess) return rc;
  makeTmpIndex = ctx.args.isSet(QStringLiteral("tmp")) ? 1 : 0;
  QuietIndexView view;
  return WriteIndexForProfile(1, boxes, view) == 0 ? kSuccess : kFailed;
}

int RunBuildCommand(CommandContext& ctx) {
  if (!ctx.args.isSet(QStringLiteral("type")))
    return UsageError(QStringLiteral("--type qsc|lzh|exe|all でアーカイブの種類を指定してください。"));
  const QString type = ArchiveTypeOf(ctx.args.value(QStringLiteral("type")));
  if (type.isEmpty())
    return UsageError(QStringLiteral("--type には qsc、lzh、exe、all のいずれかを指定してください。"));
  if (const int rc = ChooseProfile(ctx, true); rc != kSuccess) return rc;
  ArgumentBoxes boxes;
  if (const int rc = FillBoxes(ctx, boxes, false); rc != kSuccess) return rc;
  makeTmpIndex = ctx.args.isSet(QStringLiteral("tmp")) ? 1 : 0;

  QuietIndexView indexView;
  const BuildOverrides overrides = BuildOverridesOf(ctx.args);
  CommandArchiveView archiveView(type, overrides.folder);
  int16_t status = 0;
  {
    CommandRunWaiter waiter(!ctx.args.isSet(QStringLiteral("no-wait")));
    BuildStepsOnLine progress;
    CancelOnInterrupt interrupt;
    status = RunOption2(boxes, indexView, archiveView, overrides);
  }
  const bool ok = status == 0 && !archiveView.written.isEmpty() && !ctx.sink.QuestionRefused();
  ctx.sink.Flush(ok);
  if (ok)
    for (const QString& line : std::as_const(archiveView.written)) PrintMessage(stdout, line, false);
  return ok ? kSuccess : kFailed;
}

}  // namespace lm::cli
