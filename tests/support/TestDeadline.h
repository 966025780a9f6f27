#pragma once
// A deadline for every test of a GoogleTest program: a test that spins or waits forever ends the
// program with its name at the deadline instead of sitting until the test runner's timeout.
#include <chrono>

namespace testtools {

// Call after InitGoogleTest; the deadline is generous, since a busy machine may slow any test down.
void InstallTestDeadline(std::chrono::seconds limit = std::chrono::seconds(60));

} // namespace testtools
