// The update definition files of any content, read and compared as for the
// server synchronisation. The input holds the local file, then a NUL byte,
// then the server's copy. The lists must be consistent: every path to
// delete is a server path that no local entry has, every path to upload a
// local one, both sorted.
#include <cstdint>
#include <cstring>
#include <string>

#include <QSet>

#include "fuzz_support.h"
#include "sync/check_differ.h"
#include "util/message_box.h"

namespace {

// Answers the questions about newer server copies in turn yes and no.
class AlternatingSink final : public lm::MessageBoxSink {
 public:
  int Show(const QString&, int, const QString&) override { return (++asked % 2) ? lm::button::Yes : lm::button::No; }
  int asked = 0;
};

bool Sorted(const QStringList& list) {
  for (qsizetype i = 1; i < list.size(); ++i) {
    if (QStringView(list[i]).compare(QStringView(list[i - 1])) < 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const uint8_t* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  const std::size_t localSize = split ? static_cast<std::size_t>(split - data) : size;
  const std::string local = fuzzsupport::Scratch() + "/index.fet";
  const std::string server = fuzzsupport::Scratch() + "/indexserver.fet";
  fuzzsupport::WriteBytes(local, data, localSize);
  fuzzsupport::WriteBytes(server, split ? split + 1 : data, split ? size - localSize - 1 : 0);

  AlternatingSink sink;
  lm::SetMessageBoxSink(&sink);
  const int16_t rc = lm::CompareIndexFiles(QString::fromStdString(local), QString::fromStdString(server));
  lm::SetMessageBoxSink(nullptr);
  if (rc != 0) return 0;

  QSet<QString> localPaths, serverPaths;
  for (const lm::IndexEntry& e : lm::localEntries) localPaths.insert(e.path);
  for (const lm::IndexEntry& e : lm::serverEntries) serverPaths.insert(e.path);
  for (const QString& p : lm::deleteList) {
    if (!serverPaths.contains(p) || localPaths.contains(p)) fuzzsupport::Fail("bad path to delete", p.toStdString());
  }
  for (const QString& p : lm::uploadList) {
    if (!localPaths.contains(p)) fuzzsupport::Fail("path to upload that is not local", p.toStdString());
  }
  if (!Sorted(lm::deleteList) || !Sorted(lm::uploadList)) fuzzsupport::Fail("lists not sorted");
  return 0;
}
