// The names of the status values that the operations return.
//
// Two tiers are in use, both kept from the original system because stored
// behaviour and tests rely on them:
//   - operations return kOk (0) when they did their work, kFailed (-1) after
//     the message of a failure, and kAborted (1) when they did nothing
//     because the author cancelled or another run was still going on;
//   - the archive builders answer like the Basic functions they replace:
//     kVbTrue (-1) when the archive was made, kVbFalse (0) after the message
//     of a failed step. Their answer is a VbBool, a type of its own: -1 is
//     success there and failure as a status, so the compiler refuses any
//     comparison or assignment between the two.
// Other negative values (-2, -9, ...) keep the meanings their functions
// document.
#pragma once

#include <cstdint>

namespace lm {

constexpr int16_t kOk = 0;
constexpr int16_t kFailed = -1;
constexpr int16_t kAborted = 1;

// A Basic truth value: -1 true, 0 false.
enum class VbBool : int16_t { kFalse = 0, kTrue = -1 };

constexpr VbBool kVbTrue = VbBool::kTrue;
constexpr VbBool kVbFalse = VbBool::kFalse;

// A Basic truth value from a C++ one, and back.
constexpr VbBool ToVbBool(bool value) { return value ? kVbTrue : kVbFalse; }
constexpr bool IsVbTrue(VbBool value) { return value != kVbFalse; }

}  // namespace lm
