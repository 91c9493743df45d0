// The archive types the author chooses from (the items of Combo1, in their
// order), written here once for the window and the build.
#pragma once

#include <QString>
#include <QStringList>

namespace lm {

// "Quilletｽｸﾘﾌﾟﾄﾊﾟｯｹｰｼﾞ形式(QSC)", "LHA形式(LZH)", "LHA自己解凍形式(EXE)",
// "全ての種類のﾊﾟｯｹｰｼﾞを作成".
QStringList ArchiveTypeTexts();

extern const QString kArchiveTypeQsc;
extern const QString kArchiveTypeLzh;
extern const QString kArchiveTypeExe;
extern const QString kArchiveTypeAll;

}  // namespace lm
