#pragma once
// The eight points at which other code may look at a report, change it or stop it. Handlers live in this
// module's handler list (the event components register there) or in one global procedure per event;
// each event is also offered to the module that contains the exception address when that is another
// module with a reporter of its own (through its exports, OExports.h).
#include "OLastError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace reporter {

class TOstrelModulesList;
class TOstrelStackList;
class TOstrelModuleOptionsEx;

// The values handed to every event and copied in and out by the exports.
struct TOstrelExceptionRecord {
    void* ExceptionObject = nullptr;
    uintptr_t ExceptionAddress = 0;
    uint32_t ThreadID = 0;
    std::string ReportText;
    TOstrelModulesList* ModulesList = nullptr;
    TOstrelStackList* CallStack = nullptr;
    TOstrelModuleOptionsEx* Options = nullptr;
};

// The record of the report being processed (process-wide; the processing sequence fills it).
TOstrelExceptionRecord& CurrentExceptionRecord();

using TStrings = std::vector<std::string>;

// One registered handler: an empty member is an event it does not handle.
struct TOstrelLogHandler {
    std::function<void(const TOstrelExceptionRecord&, bool& continueProcessing)> OnExceptionNotify;
    std::function<void(const TOstrelExceptionRecord&, int action, bool& execute)> OnExceptionActionNotify;
    std::function<void(const TOstrelExceptionRecord&, TOstrelLogErrorCode code, bool& retry)>
        OnExceptionErrorNotify;
    std::function<void(const TOstrelExceptionRecord&, std::string& password)> OnPasswordRequest;
    std::function<void(const TOstrelExceptionRecord&, std::string& text)> OnCustomDataRequest;
    std::function<void(const TOstrelExceptionRecord&, TStrings& files)> OnAttachedFilesRequest;
    std::function<void(const TOstrelExceptionRecord&, TStrings& names, TStrings& values)>
        OnCustomFieldsRequest;
};

// The handler list; handlers are called from the last registered to the first.
class TOstrelLogList {
public:
    void Add(std::shared_ptr<TOstrelLogHandler> handler);
    void Remove(const std::shared_ptr<TOstrelLogHandler>& handler);
    int Count();
    std::vector<std::shared_ptr<TOstrelLogHandler>> Snapshot();

private:
    std::mutex m_lock;
    std::vector<std::shared_ptr<TOstrelLogHandler>> m_items;
};
// The module's list while the reporter runs, nullptr otherwise.
TOstrelLogList* HandlerList();
void CreateHandlerList();
void FreeHandlerList();

// The global procedures, one per event (nullptr: none).
struct TOstrelGlobalEvents {
    void (*ExceptionNotify)(const TOstrelExceptionRecord&, bool&) = nullptr;
    void (*ExceptionActionNotify)(const TOstrelExceptionRecord&, int, bool&) = nullptr;
    void (*ExceptionErrorNotify)(const TOstrelExceptionRecord&, TOstrelLogErrorCode, bool&) = nullptr;
    void (*PasswordRequest)(const TOstrelExceptionRecord&, std::string&) = nullptr;
    void (*CustomDataRequest)(const TOstrelExceptionRecord&, std::string&) = nullptr;
    void (*AttachedFilesRequest)(const TOstrelExceptionRecord&, TStrings&) = nullptr;
    void (*CustomFieldsRequest)(const TOstrelExceptionRecord&, TStrings&, TStrings&) = nullptr;
};
TOstrelGlobalEvents& GlobalEvents();
void ClearGlobalEvents();

// The local dispatchers: every handler of the list that handles the event, last to first, then the
// global procedure.
void DoExceptionNotify(bool& continueProcessing);
void DoExceptionActionNotify(int action, bool& execute);
void DoExceptionErrorNotify(TOstrelLogErrorCode code, bool& retry);
void DoPasswordRequest(std::string& password);
void DoCustomDataRequest(std::string& text);
void DoAttachedFilesRequest(TStrings& files);
void DoCustomFieldsRequest(TStrings& names, TStrings& values);

// Whether any handler may run for an event of the current record: a registered one, a global procedure,
// or another module's reporter (the module of the exception address). Without one, an event need not be
// handed to the waiting thread.
bool AnyEventHandler();

// What the processing sequence calls: the export of the module that holds the exception address, when
// that is another module's reporter, first; then the local dispatcher.
void ExceptionNotify(bool& continueProcessing);
void ExceptionActionNotify(int action, bool& execute);
void ExceptionErrorNotify(TOstrelLogErrorCode code, bool& retry);
void CustomDataRequest(std::string& text);
void AttachedFilesRequest(TStrings& files);
void CustomFieldsRequest(TStrings& names, TStrings& values);

// The password of protected debug data: asked of the module (its Ex export, else the plain one) and kept
// as the current password.
std::string CallPasswordRequest(uintptr_t module);
std::string CurrentPassword();

// Saves the current record, makes the caller's the current one, and puts the saved one back at the end.
class TEnteredRecord {
public:
    explicit TEnteredRecord(const TOstrelExceptionRecord* caller);
    ~TEnteredRecord();
    TEnteredRecord(const TEnteredRecord&) = delete;
    TEnteredRecord& operator=(const TEnteredRecord&) = delete;

private:
    TOstrelExceptionRecord m_saved;
    bool m_entered;
};

} // namespace reporter
