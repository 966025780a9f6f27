#pragma once
// What the exception reporter's thread headers say of the program's threads: the system's facts and,
// for the program's own worker threads, their class.
#include "OThreadHeader.h"

#include <cstdint>

reporter::TThreadHeaderFacts ProgramThreadFacts(uint32_t threadId);
// Installs ProgramThreadFacts as the reporter's lookup (nullptr restores the system's facts alone).
void InstallProgramThreadFacts(bool install);
