#pragma once
// The report's console output. A thread may fault while it holds a standard stream's lock (inside
// printf): the report never waits for that lock. Its text goes straight to the descriptor, and what the
// program left in the stream's buffer goes first only when the lock is free.
#include <cstdio>
#include <string_view>

namespace reporter {

// Flushes the stream when nobody holds its lock; false when it was held (its buffer stays as it is).
bool FlushStreamIfFree(FILE* stream);
// The stream's buffer (when its lock is free), then the text on the stream's descriptor; false when the
// descriptor did not take all of it.
bool WriteToConsole(FILE* stream, std::string_view text);

} // namespace reporter
