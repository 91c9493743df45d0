// Puts the profile table back to its start-up state for a test: every
// profile empty, profile 0 the only one in use and current, nothing being added.
#pragma once

#include "profiles/profile_store.h"

namespace lmtest {

inline void ResetProfiles() {
  for (auto& p : lm::profileTable) p.Clear();
  lm::lastProfile = 0;
  lm::currentProfile = 0;
  lm::addingProfile = 0;
}

}  // namespace lmtest
