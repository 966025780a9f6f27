#include "OThreadState.h"

#include "OProcess.h"

#include <atomic>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace reporter {

namespace {

// Initial-exec: no lazy allocation of the storage, so a signal handler may touch it.
__attribute__((tls_model("initial-exec"))) thread_local TOstrelThreadState tState{};

} // namespace

void ContextFromSignal(const void* userContext, TOstrelContext& context) {
    const auto* uc = static_cast<const ucontext_t*>(userContext);
    const greg_t* r = uc->uc_mcontext.gregs;
    context.ContextFlags = TOstrelContext::FullContext;
    context.Rip = uintptr_t(r[REG_RIP]);
    context.Rsp = uintptr_t(r[REG_RSP]);
    context.Rbp = uintptr_t(r[REG_RBP]);
    context.EFlags = uintptr_t(r[REG_EFL]);
    context.Rax = uintptr_t(r[REG_RAX]);
    context.Rbx = uintptr_t(r[REG_RBX]);
    context.Rcx = uintptr_t(r[REG_RCX]);
    context.Rdx = uintptr_t(r[REG_RDX]);
    context.Rsi = uintptr_t(r[REG_RSI]);
    context.Rdi = uintptr_t(r[REG_RDI]);
    context.R8 = uintptr_t(r[REG_R8]);
    context.R9 = uintptr_t(r[REG_R9]);
    context.R10 = uintptr_t(r[REG_R10]);
    context.R11 = uintptr_t(r[REG_R11]);
    context.R12 = uintptr_t(r[REG_R12]);
    context.R13 = uintptr_t(r[REG_R13]);
    context.R14 = uintptr_t(r[REG_R14]);
    context.R15 = uintptr_t(r[REG_R15]);
}

TOstrelThreadState& CurrentThreadState() {
    return tState;
}

pid_t CurrentThreadId() {
    return pid_t(::syscall(SYS_gettid));
}

uintptr_t CurrentStackTop() {
    if (tState.StackTop == 0)
        tState.StackTop = GetStackTop();
    return tState.StackTop;
}

bool GuardEnter(uint8_t& guard) {
    uint8_t expected = 0;
    return std::atomic_ref<uint8_t>(guard).compare_exchange_strong(expected, 1);
}

void GuardLeave(uint8_t& guard) {
    std::atomic_ref<uint8_t>(guard).store(0);
}

} // namespace reporter
