// Points programDir at a test directory and makes one profile current (and
// in use: lastProfile reaches it) for the life of the object, restoring all
// four afterwards.
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
        savedCurrent_(lm::currentProfile), savedLast_(lm::lastProfile) {
    lm::programDir = dir;
    lm::currentProfile = index;
    if (lm::lastProfile < index) lm::lastProfile = index;
  }
  ~CurrentProfileScope() {
    lm::programDir = savedDir_;
    lm::profileTable[index_] = savedProfile_;
    lm::currentProfile = savedCurrent_;
    lm::lastProfile = savedLast_;
  }
  lm::Profile& Current() { return lm::profileTable[index_]; }

 private:
  int16_t index_;
  QString savedDir_;
  lm::Profile savedProfile_;
  int16_t savedCurrent_;
  int16_t savedLast_;
};

}  // namespace lmtest
