// The main window's Option3 operation ("修正されたファイルをサーバーにアップロード"):
// compare the current profile's index.fet with indexserver.fet in the
// program directory and show the result window.
#pragma once

class QWidget;

namespace lm {

// Runs the comparison; on failure its messages have been shown and nothing
// else happens, otherwise FrmTestFet is filled and shown modally over
// `parent`. Returns after the window has been closed.
void RunCompareOperation(QWidget* parent);

}  // namespace lm
