// A typing limit for a text box: the user cannot type or paste the box past
// `maxLength` characters, while a longer text set by the program (a value read
// from lfup.ini, for instance) is shown and kept whole. QLineEdit's own
// maxLength would cut such a text on setText and lose the rest on store.
#pragma once

class QLineEdit;

namespace lm {

void SetTypingLimit(QLineEdit* box, int maxLength);
// The limit set on `box`, 0 when none.
int TypingLimit(const QLineEdit* box);

}  // namespace lm
