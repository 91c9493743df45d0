#include "archive/build_progress.h"

#include <atomic>
#include <map>

namespace lm {
namespace {

std::map<int, BuildStepListener>& Listeners() {
  static std::map<int, BuildStepListener> listeners;
  return listeners;
}
std::map<int, BuildBytesListener>& BytesListeners() {
  static std::map<int, BuildBytesListener> listeners;
  return listeners;
}
int g_nextListener = 1;
std::atomic<bool> g_cancel{false};
std::atomic<int> g_done{0};
std::atomic<int> g_total{0};

}  // namespace

int AddBuildStepListener(BuildStepListener listener) {
  const int id = g_nextListener++;
  Listeners()[id] = std::move(listener);
  return id;
}

void RemoveBuildStepListener(int id) { Listeners().erase(id); }

void BeginBuildSteps(int total) {
  g_cancel = false;
  g_done = 0;
  g_total = total;
}

void ExpectMoreBuildSteps(int more) { g_total = g_done + more; }

void EndBuildSteps() { g_cancel = false; }

void ReportBuildStep(const QString& text) {
  const int done = ++g_done;
  if (done > g_total) g_total = done;
  for (const auto& [id, listener] : Listeners()) listener(text, done, g_total);
}

int AddBuildBytesListener(BuildBytesListener listener) {
  const int id = g_nextListener++;
  BytesListeners()[id] = std::move(listener);
  return id;
}

void RemoveBuildBytesListener(int id) { BytesListeners().erase(id); }

bool ReportBuildBytes(const BuildBytes& bytes) {
  for (const auto& [id, listener] : BytesListeners()) listener(bytes);
  return !g_cancel;
}

void RequestBuildCancel() { g_cancel = true; }

bool BuildCancelled() { return g_cancel; }

QString ArchiverStepText(const QString& libraryFile, const QString& command) {
  const QString verb = command.section(QLatin1Char(' '), 0, 0);
  QString what;
  if (libraryFile.startsWith(QLatin1String("Cab"), Qt::CaseInsensitive)) {
    what = QStringLiteral("スクリプトパッケージに圧縮しています");
  } else if (verb == QLatin1String("a")) {
    what = QStringLiteral("LZHアーカイブに追加しています");
  } else if (verb == QLatin1String("d")) {
    what = QStringLiteral("LZHアーカイブから削除しています");
  } else if (verb == QLatin1String("s")) {
    what = QStringLiteral("自己解凍ファイルを作成しています");
  } else if (verb == QLatin1String("e")) {
    what = QStringLiteral("一時ディレクトリに展開しています");
  } else {
    what = QStringLiteral("アーカイブを処理しています");
  }
  return what + QStringLiteral("（") + libraryFile + QStringLiteral("）\n") + command;
}

QString ArchiverStepWords(const QString& stepText) {
  QString words = stepText.section(QLatin1Char('\n'), 0, 0);
  const qsizetype paren = words.indexOf(QStringLiteral("（"));
  return paren > 0 ? words.left(paren) : words;
}

QString IndexStepText() { return QStringLiteral("更新定義ファイルを作成しています"); }

}  // namespace lm
