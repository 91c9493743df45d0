#include "archive/archive_types.h"

namespace lm {

// Built from literals only, so that other files' globals may be initialised from it.
QStringList ArchiveTypeTexts() {
  return {QStringLiteral("Quilletｽｸﾘﾌﾟﾄﾊﾟｯｹｰｼﾞ形式(QSC)"), QStringLiteral("LHA形式(LZH)"),
          QStringLiteral("LHA自己解凍形式(EXE)"), QStringLiteral("全ての種類のﾊﾟｯｹｰｼﾞを作成")};
}

const QString kArchiveTypeQsc = ArchiveTypeTexts().at(0);
const QString kArchiveTypeLzh = ArchiveTypeTexts().at(1);
const QString kArchiveTypeExe = ArchiveTypeTexts().at(2);
const QString kArchiveTypeAll = ArchiveTypeTexts().at(3);

}  // namespace lm
