// A typing limit for a text box: the user cannot type or paste the box past
// `maxLength` characters, while a longer text set by the program (a value read
// from lfup.ini, for instance) is shown and kept whole. QLineEdit's own
// maxLength would cut such a text on setText and lose the rest on store.
#pragma once

#include <QString>

class QLineEdit;

namespace lm {

void SetTypingLimit(QLineEdit* box, int maxLength);
// The limit set on `box`, 0 when none.
int TypingLimit(const QLineEdit* box);

// Refuses typed or pasted text that Shift-JIS cannot hold: the edit is taken
// back and a message names the first such character. A text set by the
// program is not checked (a value read from lfup.ini keeps what it holds).
void RefuseNonShiftJisTyping(QLineEdit* box);
// The message shown for the character `c`.
QString NonShiftJisTypingMessage(const QString& c);

}  // namespace lm
