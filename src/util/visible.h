// Texts from outside (server replies and listings, names from archives and
// index files) made safe to show in a window: control characters become
// visible escapes such as "\x1B" (see util/text/visible_text.h).
#pragma once

#include <QString>

namespace lm {

// Every control character escaped, line breaks included: for one name or
// one line.
QString Visible(const QString& text);

// The same, but the line breaks (CR LF, or a lone LF) of a text of several
// lines are kept as line breaks.
QString VisibleLines(const QString& text);

}  // namespace lm
