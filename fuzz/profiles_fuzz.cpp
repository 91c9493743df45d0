// lfup.ini of any content: loaded, saved, loaded again. The second load
// must give the same table as the first (what was saved is read back as it
// was meant), and the file written must read back to the same lines.
#include <cstdint>
#include <string>

#include <QStringList>

#include "fuzz_support.h"
#include "profiles/profile_store.h"
#include "util/app_globals.h"
#include "util/message_box.h"

namespace {

class QuietSink final : public lm::MessageBoxSink {
 public:
  int Show(const QString&, int, const QString&) override {
    ++shown;
    return lm::button::OK;
  }
  int shown = 0;
};

// The lines of the profile table without the "default" marks: a mark records
// which profile was current when the file was written and is not read back,
// so a profile that was left out (no script) before the current one moves
// the mark between the two loads without any field changing.
QStringList FieldLines() {
  QStringList lines = lm::ProfileFileLines();
  lines.removeIf([](const QString& line) { return line.startsWith(QLatin1String("default(")); });
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    lm::SetExecutableDirForTesting(QString::fromStdString(fuzzsupport::Scratch()));
    return true;
  }();
  (void)ready;
  QuietSink sink;
  lm::SetMessageBoxSink(&sink);
  const std::string ini = fuzzsupport::Scratch() + "/lfup.ini";
  fuzzsupport::WriteBytes(ini, data, size);

  lm::LoadProfiles();
  const QStringList first = FieldLines();
  lm::SaveProfiles();
  if (sink.shown == 0) {
    lm::LoadProfiles();
    const QStringList second = FieldLines();
    if (first != second) {
      fuzzsupport::Fail("lfup.ini did not read back as saved",
                        (first.join(QLatin1Char('|')) + " <> " + second.join(QLatin1Char('|'))).toStdString());
    }
  }
  lm::SetMessageBoxSink(nullptr);
  return 0;
}
