// What nearly every test file includes, parsed once per test binary as its precompiled header instead of
// once per file: GoogleTest and the common standard headers (TestPrecompiledQt.h adds Qt's classes).
#pragma once
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
