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
  const QStringList first = lm::ProfileFileLines();
  lm::SaveProfiles();
  if (sink.shown == 0) {
    lm::LoadProfiles();
    const QStringList second = lm::ProfileFileLines();
    if (first != second) {
      fuzzsupport::Fail("lfup.ini did not read back as saved",
                        (first.join(QLatin1Char('|')) + " <> " + second.join(QLatin1Char('|'))).toStdString());
    }
  }
  lm::SetMessageBoxSink(nullptr);
  return 0;
}
