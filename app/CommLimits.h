#pragma once
// The reply timeout and retry count Setup takes. The master waits up to Retries + 1 attempts, each for
// at most two timeouts, and counts in 32-bit milliseconds: within these bounds no sum it forms
// overflows.
#include <climits>

namespace CommLimits {
constexpr int MinTimeoutMs = 1;
constexpr int MinRetries = 0;
constexpr int MaxRetries = 100;
constexpr int MaxTimeoutMs = INT_MAX / (2 * (MaxRetries + 1));
} // namespace CommLimits
