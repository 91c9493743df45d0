// Points programDir at a test directory and makes one profile current for
// the life of the object, restoring all three afterwards.
#pragma once

#include <cstdint>

#include <QString>

#include "profiles/profile_store.h"
#include "util/app_globals.h"

namespace lmtest {

class CurrentProfileScope {
 public:
  CurrentProfileScope(const QString& dir, int16_t index)
      : index_(index), savedDir_(lm::programDir), savedProfile_(lm::profileTable[index]),
        savedCurrent_(lm::currentProfile) {
    lm::programDir = dir;
    lm::currentProfile = index;
  }
  ~CurrentProfileScope() {
    lm::programDir = savedDir_;
    lm::profileTable[index_] = savedProfile_;
    lm::currentProfile = savedCurrent_;
  }
  lm::Profile& Current() { return lm::profileTable[index_]; }

 private:
  int16_t index_;
  QString savedDir_;
  lm::Profile savedProfile_;
  int16_t savedCurrent_;
};

}  // namespace lmtest
