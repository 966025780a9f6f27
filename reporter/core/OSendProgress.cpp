#include "OSendProgress.h"

#include "OOptions.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace reporter {

namespace {

std::atomic<IOstrelSendProgress*> gProgress{nullptr};

// Sending runs in one thread at a time (under the report lock); the lock only keeps a late caller from
// reading a half-written state.
struct TSendProgressState {
    std::mutex Lock;
    bool Shown = false;
    int Current = 0;
    int Count = 0;
    std::string MessageText;              // text 76
    std::array<std::string, 4> StepTexts; // texts 77 to 80
};

TSendProgressState& State() {
    static TSendProgressState state;
    return state;
}

} // namespace

void SetOstrelSendProgress(IOstrelSendProgress* progress) {
    gProgress.store(progress);
}

void StartSendDialog(const TOstrelModuleOptions& options) {
    TSendProgressState& state = State();
    {
        std::lock_guard guard(state.Lock);
        state.Shown = false;
        state.Current = 0;
        state.Count = 0;
        state.MessageText = options.GetText(76);
        for (int i = 0; i < 4; ++i)
            state.StepTexts[size_t(i)] = options.GetText(77 + i);
    }
    IOstrelSendProgress* progress = gProgress.load();
    if (progress == nullptr || (options.SendFlags() & 0x0001) == 0 ||
        (options.MailSendMode() == 0 && options.UploadMode() == 0))
        return;
    const bool shown = progress->Show(options.GetText(75), options.DialogFlags());
    std::lock_guard guard(state.Lock);
    state.Shown = shown;
}

void SetSendMessageNumber(int current, int count) {
    TSendProgressState& state = State();
    std::lock_guard guard(state.Lock);
    state.Current = current;
    state.Count = count;
}

void SendDialogStep(int textIndex) {
    TSendProgressState& state = State();
    std::string line;
    {
        std::lock_guard guard(state.Lock);
        if (!state.Shown)
            return;
        char numbers[48];
        std::snprintf(numbers, sizeof numbers, " %d/%d: ", state.Current, state.Count);
        line = state.MessageText + numbers;
        if (textIndex >= 77 && textIndex <= 80)
            line += state.StepTexts[size_t(textIndex - 77)];
    }
    if (IOstrelSendProgress* progress = gProgress.load())
        progress->SetText(line);
}

void SendDialogPosition(int percent) {
    if (!SendDialogShown())
        return;
    if (IOstrelSendProgress* progress = gProgress.load())
        progress->SetPosition(percent);
}

void CloseSendDialog() {
    TSendProgressState& state = State();
    {
        std::lock_guard guard(state.Lock);
        if (!state.Shown)
            return;
        state.Shown = false;
    }
    if (IOstrelSendProgress* progress = gProgress.load())
        progress->Close();
}

bool SendDialogShown() {
    TSendProgressState& state = State();
    std::lock_guard guard(state.Lock);
    return state.Shown;
}

} // namespace reporter
