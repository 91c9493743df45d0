#include "archive/archiver_wrapper.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include <QFile>
#include <QHash>
#include <QLocale>

#include "archive/build_progress.h"
#include "archive/common/archiver_api.h"
#include "archive/common/result_codes.h"
#include "util/cfile.h"
#include "util/cp932/cp932.h"
#include "util/message_box.h"

namespace lm {

// The library's functions, looked up by the binding's prefix.
struct cArchiver::Api {
  int (*command)(ARC_HWND, const char*, char*, uint32_t);
  uint16_t (*getVersion)();
  int (*getRunning)();
  int (*getBackGroundMode)();
  int (*setBackGroundMode)(int);
  int (*getCursorMode)();
  int (*setCursorMode)(int);
  int (*checkArchive)(const char*, int);
  HARC (*openArchive)(ARC_HWND, const char*, uint32_t);
  int (*findFirst)(HARC, const char*, ArchiveInfo*);
  int (*findNext)(HARC, ArchiveInfo*);
  int (*closeArchive)(HARC);
  int (*configDialog)(ARC_HWND, char*, int);
  int (*setProgressProc)(ARC_PROGRESS_PROC, void*);  // optional: null in a library without it
};

namespace {

const ArchiverBinding kUnLHA{"UnLHA32.DLL", "Unlha"};

// The libraries' progress procedure: hands the report to the build and
// answers its cancel request.
int ForwardProgress(const ArchiverProgress* p, void*) {
  BuildBytes bytes;
  bytes.member = QString::fromStdString(cp932::ToUtf8Lossy(p->memberName ? p->memberName : ""));
  bytes.memberDone = p->memberDone;
  bytes.memberTotal = p->memberTotal;
  bytes.commandDone = p->commandDone;
  bytes.commandTotal = p->commandTotal;
  return ReportBuildBytes(bytes) ? 0 : 1;
}
const ArchiverBinding kCAB{"Cab32.DLL", "Cab"};

// Option buffer of the library's option dialog, in characters.
constexpr int kOptionChars = 257;

QString FromAnsi(const char* bytes, size_t maxLen) {
  size_t n = 0;
  while (n < maxLen && bytes[n] != '\0') ++n;
  return QString::fromStdString(cp932::ToUtf8Lossy(std::string_view(bytes, n)));
}

bool ToAnsi(const QString& text, std::string& out) { return cp932::FromUtf8(text.toStdString(), out); }

// "#,###": digit groups of three, nothing for 0.
QString GroupedNumber(uint32_t value) {
  if (value == 0) return QString();
  QString sep = QLocale::system().groupSeparator();
  if (sep.isEmpty()) sep = QStringLiteral(",");
  const QString digits = QString::number(value);
  QString out;
  for (qsizetype i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += sep;
    out += digits[i];
  }
  return out;
}

QString TwoDigits(int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); }

ArchiveEntry EntryFromInfo(const ArchiveInfo& info) {
  ArchiveEntry e;
  const QString name = FromAnsi(info.fileName, sizeof info.fileName);
  e.FileName = name;
  if (name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('/'))) {
    // Both parts are taken with "\\" between levels, whichever separator the
    // archive used.
    const QString windowsName = QString(name).replace(QLatin1Char('/'), QLatin1Char('\\'));
    const cFile f;
    e.FilePath = f.GetPathName(windowsName) + QLatin1Char('\\');
    e.FileName = f.GetFileName(windowsName);
  } else {
    e.FilePath = QStringLiteral("\\");
  }
  e.FileOriginal = GroupedNumber(info.unpackedSize);
  e.FilePacked = GroupedNumber(info.packedSize);
  QString point = QLocale::system().decimalPoint();
  if (point.isEmpty()) point = QStringLiteral(".");
  e.FileRatio = QString::number(info.ratio / 10) + point + QString::number(info.ratio % 10) + QLatin1Char('%');
  // The packed date counts years from 1980; the year is written in full.
  e.FileDate = QString::number(1980 + (info.date >> 9)) + QLatin1Char('/') + TwoDigits((info.date >> 5) & 0x0F) +
               QLatin1Char('/') + TwoDigits(info.date & 0x1F);
  e.FILETIME = TwoDigits(info.time >> 11) + QLatin1Char(':') + TwoDigits((info.time >> 5) & 0x3F) +
               QLatin1Char(':') + TwoDigits((info.time & 0x1F) * 2);
  e.FileAttr = FromAnsi(info.attribute, sizeof info.attribute).left(4).toLower();
  e.FileType = FromAnsi(info.mode, sizeof info.mode).left(5);
  e.FileCRC = (QStringLiteral("0000") + QString::number(info.crc, 16).toUpper()).right(4);
  return e;
}

}  // namespace

cArchiver::cArchiver(const ArchiverBinding& binding) : binding_(binding) {
  const QString file = LibraryFile();
  const QString path = cFile().FindOnSearchPath(file);
  if (path.isEmpty()) {
    loadError_ = file + QStringLiteral("が見つかりません。");
    return;
  }
  handle_ = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!handle_) {
    const char* why = ::dlerror();
    loadError_ = file + QStringLiteral("を読み込めません。") + CR + QString::fromLocal8Bit(why ? why : "");
    return;
  }
  auto* api = new Api{};
  bool complete = true;
  auto resolve = [&](auto& fn, const char* suffix) {
    const std::string name = std::string(binding_.prefix) + suffix;
    void* sym = ::dlsym(handle_, name.c_str());
    if (!sym) {
      complete = false;
      if (loadError_.isEmpty()) {
        loadError_ = file + QStringLiteral("を読み込めません。") + CR + QString::fromStdString(name);
      }
    }
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(sym);
  };
  resolve(api->command, "");
  resolve(api->getVersion, "GetVersion");
  resolve(api->getRunning, "GetRunning");
  resolve(api->getBackGroundMode, "GetBackGroundMode");
  resolve(api->setBackGroundMode, "SetBackGroundMode");
  resolve(api->getCursorMode, "GetCursorMode");
  resolve(api->setCursorMode, "SetCursorMode");
  resolve(api->checkArchive, "CheckArchive");
  resolve(api->openArchive, "OpenArchive");
  resolve(api->findFirst, "FindFirst");
  resolve(api->findNext, "FindNext");
  resolve(api->closeArchive, "CloseArchive");
  resolve(api->configDialog, "ConfigDialog");
  // Progress is an extension of our own libraries: a library without it
  // still runs its commands, only without progress and mid-command cancel.
  api->setProgressProc = reinterpret_cast<decltype(api->setProgressProc)>(
      ::dlsym(handle_, (std::string(binding_.prefix) + "SetProgressProc").c_str()));
  if (complete) {
    api_ = api;
  } else {
    delete api;
  }
}

cArchiver::~cArchiver() {
  delete api_;
  if (handle_) ::dlclose(handle_);  // stays mapped (RTLD_NODELETE); drops our reference
}

QString cArchiver::LibraryFile() const { return QString::fromLatin1(binding_.libraryFile); }

void cArchiver::Fail(int32_t code, const QString& why) {
  returnCode_ = code;
  ownError_ = why;
}

void cArchiver::SetCommandLine(const QString& command) {
  commandLine_ = command;
  output_.clear();
  ownError_.clear();
  if (!api_) {
    Fail(kLibraryMissing, loadError_);
    return;
  }
  std::string ansi;
  if (!ToAnsi(command, ansi)) {
    Fail(ARC_ERROR_COMMAND_NAME,
         QStringLiteral("ｺﾏﾝﾄﾞﾗｲﾝにShift-JISで表せない文字が含まれています。") + CR + Bracketed(command));
    return;
  }
  // (max file count + 4) * 80 characters; SetMaxFileCount keeps this in
  // 1 .. 32720.
  const int size = (maxFileCount_ + 4) * 80;
  std::string buffer(static_cast<size_t>(size), '\0');
  // The library reports its progress to the build's listeners and stops
  // the command when the build is cancelled.
  if (api_->setProgressProc) api_->setProgressProc(ForwardProgress, nullptr);
  returnCode_ = api_->command(reinterpret_cast<ARC_HWND>(hwnd_), ansi.c_str(), buffer.data(),
                              static_cast<uint32_t>(size));
  if (api_->setProgressProc) api_->setProgressProc(nullptr, nullptr);
  output_ = FromAnsi(buffer.data(), buffer.size());
}

QString cArchiver::ErrString() const {
  if (!ownError_.isEmpty()) return ownError_;
  return ErrStringFor(returnCode_, LibraryFile());
}

QString cArchiver::ErrStringFor(int32_t code, const QString& libraryFile) {
  // %1 stands for the library's file name in the three texts that name it.
  static const QHash<int32_t, QString> texts{
      {ARC_ERROR_DISK_SPACE, QStringLiteral("展開する為のﾃﾞｨｽｸの空きが足りません。")},
      {ARC_ERROR_READ_ONLY, QStringLiteral("展開先のﾌｧｲﾙはﾘｰﾄﾞｵﾝﾘｰです。")},
      {ARC_ERROR_USER_SKIP, QStringLiteral("ﾕｰｻﾞｰによって展開をｽｷｯﾌﾟされました。")},
      {ARC_ERROR_UNKNOWN_TYPE, QStringLiteral("格納ﾌｧｲﾙの種類がMS-DOSで扱える形式(BINARY 及び TEXT)以外です。")},
      {ARC_ERROR_METHOD, QStringLiteral("%1で扱えない格納ﾓｰﾄﾞで格納されています。")},
      {ARC_ERROR_PASSWORD_FILE, QStringLiteral("格納ﾌｧｲﾙにﾊﾟｽﾜｰﾄﾞがかかっています。")},
      {ARC_ERROR_VERSION, QStringLiteral("格納ﾌｧｲﾙが%1が対応していないﾊﾞｰｼﾞｮﾝの形式です。")},
      {ARC_ERROR_FILE_CRC, QStringLiteral("格納ﾌｧｲﾙのﾁｪｯｸｻﾑが合っていません。")},
      {ARC_ERROR_FILE_OPEN, QStringLiteral("展開時にﾌｧｲﾙを開けませんでした。")},
      {ARC_ERROR_MORE_FRESH, QStringLiteral("より新しいﾌｧｲﾙが展開先に存在しています。")},
      {ARC_ERROR_NOT_EXIST, QStringLiteral("ﾌｧｲﾙは解凍先に存在していません。")},
      {ARC_ERROR_ALREADY_EXIST, QStringLiteral("ﾌｧｲﾙが展開先に既に存在しています。")},
      {ARC_ERROR_TOO_MANY_FILES,
       QStringLiteral("格納ﾌｧｲﾙ数が限界を超えている。処理は正常に行われているが、限界を超えた部分については情報は選られない。")},
      {ARC_ERROR_MAKEDIRECTORY, QStringLiteral("ﾃﾞｨﾚｸﾄﾘが作成できません。")},
      {ARC_ERROR_CANNOT_WRITE, QStringLiteral("展開中に書き込みｴﾗｰが生じました。")},
      {ARC_ERROR_HUFFMAN_CODE, QStringLiteral("Lzhﾌｧｲﾙのﾊﾌﾏﾝｺｰﾄﾞが壊れています。")},
      {ARC_ERROR_COMMENT_HEADER, QStringLiteral("Lzhﾌｧｲﾙのｺﾒﾝﾄﾍｯﾀﾞが壊れています。")},
      {ARC_ERROR_HEADER_CRC, QStringLiteral("Lzhﾌｧｲﾙのﾍｯﾀﾞのﾁｪｯｸｻﾑが合っていません。")},
      {ARC_ERROR_HEADER_BROKEN, QStringLiteral("Lzhﾌｧｲﾙのﾍｯﾀﾞが壊れています。")},
      {ARC_ERROR_ARC_FILE_OPEN, QStringLiteral("Lzhﾌｧｲﾙを開く事が出来ません。")},
      {ARC_ERROR_NOT_ARC_FILE, QStringLiteral("Lzhﾌｧｲﾙ名の指定がされていません。")},
      {ARC_ERROR_CANNOT_READ, QStringLiteral("Lzhﾌｧｲﾙの読み込み時に読み込みｴﾗｰが出ました。")},
      {ARC_ERROR_FILE_STYLE, QStringLiteral("指定されたﾌｧｲﾙはLzhﾌｧｲﾙではありません。")},
      {ARC_ERROR_COMMAND_NAME, QStringLiteral("ｺﾏﾝﾄﾞ指定が間違っています。")},
      {ARC_ERROR_MORE_HEAP_MEMORY, QStringLiteral("作業用のためのﾋｰﾌﾟﾒﾓﾘが不足しています。")},
      {ARC_ERROR_ENOUGH_MEMORY, QStringLiteral("ｸﾞﾛｰﾊﾞﾙﾒﾓﾘが不足しています。")},
      {ARC_ERROR_ALREADY_RUNNING, QStringLiteral("既に別のﾌﾟﾛｾｽから%1が呼ばれています。")},
      {ARC_ERROR_USER_CANCEL, QStringLiteral("ﾕｰｻﾞｰによって解凍を中断されました。")},
      {ARC_ERROR_TMP_OPEN, QStringLiteral("作業ﾌｧｲﾙがｵｰﾌﾟﾝできません。")},
  };
  if (code == ARC_OK) return QString();
  const auto it = texts.constFind(code);
  if (it != texts.constEnd()) return it->contains(QLatin1String("%1")) ? it->arg(libraryFile) : *it;
  // Any other code, a negative one as its 32-bit two's complement.
  return QStringLiteral("未知のｴﾗｰです。&H") + QString::number(static_cast<uint32_t>(code), 16).toUpper();
}

int32_t cArchiver::Version() const { return api_ ? static_cast<int16_t>(api_->getVersion()) : 0; }
bool cArchiver::Running() const { return api_ && api_->getRunning() != 0; }
bool cArchiver::BackGroundMode() const { return api_ && api_->getBackGroundMode() != 0; }
void cArchiver::SetBackGroundMode(bool on) {
  if (api_) api_->setBackGroundMode(on ? 1 : 0);
}
bool cArchiver::CursorMode() const { return api_ && api_->getCursorMode() != 0; }
void cArchiver::SetCursorMode(bool on) {
  if (api_) api_->setCursorMode(on ? 1 : 0);
}

bool cArchiver::SetMaxFileCount(int16_t count) {
  if (count > kMaxFileCountLimit || count < -3) return false;
  maxFileCount_ = count;
  return true;
}

bool cArchiver::CheckArchive(const QString& archivePath) {
  std::string ansi;
  if (!api_ || !ToAnsi(archivePath, ansi)) return false;
  return api_->checkArchive(ansi.c_str(), checkMode_) != 0;
}

int16_t cArchiver::SetArcFile(const QString& archivePath) {
  fileList_.assign(1, ArchiveEntry{});
  HARC harc = nullptr;
  std::string ansi;
  if (api_ && ToAnsi(archivePath, ansi)) harc = api_->openArchive(reinterpret_cast<ARC_HWND>(hwnd_), ansi.c_str(), 0);
  if (!harc) {
    MsgBox(QStringLiteral("'") + archivePath + QStringLiteral("' のﾊﾝﾄﾞﾙの取得に失敗したのサ") + CR +
               QStringLiteral("ヽ( ´ー｀)丿ﾌｯ"),
           style::Exclamation, kAppTitle);
    return 0;
  }
  int16_t count = 0;
  ArchiveInfo info{};
  int result = api_->findFirst(harc, "*.*", &info);
  // The count is a signed 16-bit number: listing stops at its largest value.
  while (result == 0 && count < INT16_MAX) {
    if (static_cast<size_t>(count) >= fileList_.size()) fileList_.resize(static_cast<size_t>(count) + 1);
    fileList_[static_cast<size_t>(count)] = EntryFromInfo(info);
    ++count;
    info = ArchiveInfo{};
    result = api_->findNext(harc, &info);
  }
  api_->closeArchive(harc);
  return count;
}

const ArchiveEntry& cArchiver::Entry(int16_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= fileList_.size()) {
    throw std::out_of_range("archive list index out of range");
  }
  return fileList_[static_cast<size_t>(index)];
}

QString cArchiver::ConfigDialog(QString& option, int32_t mode) {
  ownError_.clear();
  option = option.left(kOptionChars) + QString(kOptionChars, QChar(0));
  if (!api_) {
    Fail(kLibraryMissing, loadError_);
    return QString();
  }
  const QString text = option.left(option.indexOf(QChar(0)));
  std::string ansi;
  if (!ToAnsi(text, ansi)) {
    Fail(ARC_ERROR_COMMAND_NAME, QStringLiteral("ｵﾌﾟｼｮﾝにShift-JISで表せない文字が含まれています。"));
    return QString();
  }
  // Room for 257 double-byte characters and the terminating NUL.
  std::string buffer = ansi;
  buffer.resize(2 * kOptionChars + 1, '\0');
  const int result = api_->configDialog(reinterpret_cast<ARC_HWND>(hwnd_), buffer.data(), mode);
  returnCode_ = result;
  const QString chosen = FromAnsi(buffer.data(), buffer.size());
  option = chosen + QString(2 * kOptionChars - std::min<qsizetype>(chosen.size(), 2 * kOptionChars), QChar(0));
  return result != 0 ? chosen : QString();
}

cUnLHA::cUnLHA() : cArchiver(kUnLHA) {}
cCAB::cCAB() : cArchiver(kCAB) {}

}  // namespace lm
