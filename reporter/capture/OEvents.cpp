#include "OEvents.h"

#include "OExports.h"
#include "OModules.h"

#include <algorithm>
#include <cstring>

namespace reporter {

namespace {

TOstrelExceptionRecord gRecord;
std::mutex gListLock;
std::unique_ptr<TOstrelLogList> gList;
TOstrelGlobalEvents gGlobal;
std::mutex gPasswordLock;
std::string gPassword;

std::vector<std::shared_ptr<TOstrelLogHandler>> Handlers() {
    std::lock_guard guard(gListLock);
    return gList ? gList->Snapshot() : std::vector<std::shared_ptr<TOstrelLogHandler>>{};
}

// The routine the module holding the exception address exports, when that module is another one.
template <typename F> F ExceptionModuleExport(const char* name) {
    const TModuleHandle module = FindModuleOfAddress(gRecord.ExceptionAddress);
    if (module == 0 || module == OwnModuleHandle())
        return nullptr;
    return reinterpret_cast<F>(ModuleExport(module, name));
}

} // namespace

TOstrelExceptionRecord& CurrentExceptionRecord() {
    return gRecord;
}

void TOstrelLogList::Add(std::shared_ptr<TOstrelLogHandler> handler) {
    std::lock_guard guard(m_lock);
    m_items.push_back(std::move(handler));
}

void TOstrelLogList::Remove(const std::shared_ptr<TOstrelLogHandler>& handler) {
    std::lock_guard guard(m_lock);
    std::erase(m_items, handler);
}

int TOstrelLogList::Count() {
    std::lock_guard guard(m_lock);
    return int(m_items.size());
}

std::vector<std::shared_ptr<TOstrelLogHandler>> TOstrelLogList::Snapshot() {
    std::lock_guard guard(m_lock);
    return m_items;
}

TOstrelLogList* HandlerList() {
    std::lock_guard guard(gListLock);
    return gList.get();
}
void CreateHandlerList() {
    std::lock_guard guard(gListLock);
    if (!gList)
        gList = std::make_unique<TOstrelLogList>();
}
void FreeHandlerList() {
    std::lock_guard guard(gListLock);
    gList.reset();
}

TOstrelGlobalEvents& GlobalEvents() {
    return gGlobal;
}
void ClearGlobalEvents() {
    gGlobal = TOstrelGlobalEvents{};
}

// Each dispatcher: the handlers from the last to the first, then the global procedure.
template <typename Member, typename Global, typename... Args>
void Dispatch(Member member, Global global, Args&... args) {
    const auto handlers = Handlers();
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
        if (const auto& call = (**it).*member)
            call(gRecord, args...);
    if (global != nullptr)
        global(gRecord, args...);
}

void DoExceptionNotify(bool& continueProcessing) {
    Dispatch(&TOstrelLogHandler::OnExceptionNotify, gGlobal.ExceptionNotify, continueProcessing);
}
void DoExceptionActionNotify(int action, bool& execute) {
    Dispatch(&TOstrelLogHandler::OnExceptionActionNotify, gGlobal.ExceptionActionNotify, action, execute);
}
void DoExceptionErrorNotify(TOstrelLogErrorCode code, bool& retry) {
    Dispatch(&TOstrelLogHandler::OnExceptionErrorNotify, gGlobal.ExceptionErrorNotify, code, retry);
}
void DoPasswordRequest(std::string& password) {
    Dispatch(&TOstrelLogHandler::OnPasswordRequest, gGlobal.PasswordRequest, password);
}
void DoCustomDataRequest(std::string& text) {
    Dispatch(&TOstrelLogHandler::OnCustomDataRequest, gGlobal.CustomDataRequest, text);
}
void DoAttachedFilesRequest(TStrings& files) {
    Dispatch(&TOstrelLogHandler::OnAttachedFilesRequest, gGlobal.AttachedFilesRequest, files);
}
void DoCustomFieldsRequest(TStrings& names, TStrings& values) {
    Dispatch(&TOstrelLogHandler::OnCustomFieldsRequest, gGlobal.CustomFieldsRequest, names, values);
}

bool AnyEventHandler() {
    {
        std::lock_guard guard(gListLock);
        if (gList && gList->Count() > 0)
            return true;
    }
    const TOstrelGlobalEvents& g = gGlobal;
    if (g.ExceptionNotify || g.ExceptionActionNotify || g.ExceptionErrorNotify || g.PasswordRequest ||
        g.CustomDataRequest || g.AttachedFilesRequest || g.CustomFieldsRequest)
        return true;
    const TModuleHandle module = FindModuleOfAddress(gRecord.ExceptionAddress);
    return module != 0 && module != OwnModuleHandle();
}

void ExceptionNotify(bool& continueProcessing) {
    if (auto other = ExceptionModuleExport<decltype(&OstrelLog_ExceptionNotifyEvent)>(
            "OstrelLog_ExceptionNotifyEvent")) {
        uint8_t flag = continueProcessing;
        other(&gRecord, &flag);
        continueProcessing = flag != 0;
    }
    DoExceptionNotify(continueProcessing);
}

void ExceptionActionNotify(int action, bool& execute) {
    if (auto other = ExceptionModuleExport<decltype(&OstrelLog_ExceptionActionNotifyEvent)>(
            "OstrelLog_ExceptionActionNotifyEvent")) {
        uint8_t flag = execute;
        other(&gRecord, action, &flag);
        execute = flag != 0;
    }
    DoExceptionActionNotify(action, execute);
}

void ExceptionErrorNotify(TOstrelLogErrorCode code, bool& retry) {
    if (auto other = ExceptionModuleExport<decltype(&OstrelLog_ExceptionErrorNotifyEvent)>(
            "OstrelLog_ExceptionErrorNotifyEvent")) {
        uint8_t flag = retry;
        other(&gRecord, int(code), &flag);
        retry = flag != 0;
    }
    DoExceptionErrorNotify(code, retry);
}

void CustomDataRequest(std::string& text) {
    if (auto other = ExceptionModuleExport<decltype(&OstrelLog_CustomDataRequestEvent)>(
            "OstrelLog_CustomDataRequestEvent")) {
        const char* result = nullptr;
        other(&gRecord, &result);
        if (result != nullptr)
            text = result;
    }
    DoCustomDataRequest(text);
}

void AttachedFilesRequest(TStrings& files) {
    if (auto other = ExceptionModuleExport<decltype(&OstrelLog_AttachedFilesRequestEvent)>(
            "OstrelLog_AttachedFilesRequestEvent"))
        other(&gRecord, &files);
    DoAttachedFilesRequest(files);
}

void CustomFieldsRequest(TStrings& names, TStrings& values) {
    if (auto other = ExceptionModuleExport<decltype(&OstrelLog_CustomFieldsRequestEvent)>(
            "OstrelLog_CustomFieldsRequestEvent"))
        other(&gRecord, &names, &values);
    DoCustomFieldsRequest(names, values);
}

std::string CallPasswordRequest(uintptr_t module) {
    char buffer[256] = {};
    if (auto ex = reinterpret_cast<decltype(&OstrelLog_PasswordRequestEventEx)>(
            ModuleExport(module, "OstrelLog_PasswordRequestEventEx"))) {
        ex(&gRecord, buffer, 255);
    } else if (auto plain = reinterpret_cast<decltype(&OstrelLog_PasswordRequestEvent)>(
                   ModuleExport(module, "OstrelLog_PasswordRequestEvent"))) {
        plain(buffer, 255);
    } else {
        std::string password = CurrentPassword();
        DoPasswordRequest(password);
        std::lock_guard guard(gPasswordLock);
        gPassword = password;
        return password;
    }
    buffer[255] = '\0';
    std::lock_guard guard(gPasswordLock);
    gPassword = buffer;
    return gPassword;
}

std::string CurrentPassword() {
    std::lock_guard guard(gPasswordLock);
    return gPassword;
}

TEnteredRecord::TEnteredRecord(const TOstrelExceptionRecord* caller)
    : m_saved(gRecord), m_entered(caller != nullptr) {
    if (m_entered && caller != &gRecord)
        gRecord = *caller; // the report text becomes this module's own copy
}

TEnteredRecord::~TEnteredRecord() {
    if (m_entered)
        gRecord = m_saved;
}

} // namespace reporter
