#include "app/ReporterThreads.h"

#include "classlib/ThreadClasses.h"

reporter::TThreadHeaderFacts ProgramThreadFacts(uint32_t threadId) {
    reporter::TThreadHeaderFacts facts = reporter::ThreadFactsFromSystem(threadId);
    if (facts.Known)
        facts.ClassName = ThreadClassName(int64_t(threadId));
    return facts;
}

void InstallProgramThreadFacts(bool install) {
    reporter::SetThreadFactsLookup(install ? reporter::TThreadFactsLookup(&ProgramThreadFacts) : nullptr);
}
