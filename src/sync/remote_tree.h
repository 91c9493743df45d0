// The server folder as it is: every folder and file below the session's
// current directory, listed level by level, each name checked before it is
// used to build a path.
#pragma once

#include <vector>

#include <QString>

namespace lm {

class McWinFTP;

struct RemoteEntry {
  QString path;      // below the folder, "/" between levels: "img/a.bmp"
  bool dir = false;
  qint64 size = 0;   // bytes; 0 for a folder
};

// At most this many entries are taken from one server folder.
constexpr int kMaxRemoteEntries = 200000;

// Lists the tree below the current directory of `ftp` into `out` (parents
// before their contents). False with `message` when a listing fails, a name
// could leave its folder (".." , "/", "\", ":", control characters) or the
// tree is larger than kMaxRemoteEntries.
bool ListRemoteTree(McWinFTP& ftp, std::vector<RemoteEntry>& out, QString& message);

// Whether a name is the temporary name an upload gives a file before it is
// renamed into place (".name.lmpart").
bool IsUploadTempName(const QString& name);

}  // namespace lm
