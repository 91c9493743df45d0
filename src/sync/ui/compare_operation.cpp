#include "sync/ui/compare_operation.h"

#include "sync/check_differ.h"
#include "sync/ui/frm_test_fet.h"

namespace lm {

void RunCompareOperation(QWidget* parent) {
  if (CompareCurrentProfile() != 0) return;
  FrmTestFet& window = FrmTestFetWindow(parent);
  window.ShowComparison(LastComparison());
  window.exec();
}

}  // namespace lm
