// The main window's Option3 operation ("修正されたファイルをサーバーにアップロード")
// and its check of the server: the window's answers to the questions of
// the publish run (src/sync/publish.h), the result window with the totals,
// a progress dialog, and the outcome in a message box.
#pragma once

class QWidget;

namespace lm {

struct Profile;
class NextUpdateBoxes;
class IndexRunView;

// True when the profile names a server to upload to.
bool ProfileHasServer(const Profile& profile);

// Runs the whole operation for the current profile; every outcome is told in
// a message box. Returns after the last message. When DAT differs from
// index.fet the author is asked whether to write it first, with the date
// `boxes` as they stand (without boxes the run stops and says so).
void RunUploadOperation(QWidget* parent, NextUpdateBoxes* boxes = nullptr, IndexRunView* view = nullptr);

// Lists the current profile's server folder and checks it against the
// server's index.fet; the result is told in a message box.
void RunServerCheckOperation(QWidget* parent);

}  // namespace lm
