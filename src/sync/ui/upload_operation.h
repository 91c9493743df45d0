// The main window's Option3 operation ("修正されたファイルをサーバーにアップロード"):
// fetch the server's index.fet, compare it with the current profile's,
// show the result window with the totals and, when the author says
// アップロード, publish the changes with a progress dialog.
#pragma once

class QWidget;

namespace lm {

struct Profile;

// True when the profile names a server to upload to.
bool ProfileHasServer(const Profile& profile);

// Runs the whole operation for the current profile; every outcome is told in
// a message box. Returns after the last message.
void RunUploadOperation(QWidget* parent);

}  // namespace lm
