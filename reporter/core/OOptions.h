#pragma once
// The option record of one module: every switch, limit, address and text of the exception reporter,
// its defaults, its change notification, its copy and its stream form.
#include "OTexts.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace reporter {

class TOstrelStream;

// A list of strings that announces every change, like the filter lists of the options.
class TOstrelStringList {
public:
    std::function<void()> OnChange;

    int Count() const { return int(m_items.size()); }
    const std::string& Strings(int index) const { return m_items.at(size_t(index)); }
    const std::vector<std::string>& Items() const { return m_items; }
    void Add(std::string item);
    void Clear();
    void Assign(const TOstrelStringList& source);

private:
    void Change() const;
    std::vector<std::string> m_items;
};

// What the freeze watchdog reads of the options, taken together as one copy: another thread (a library
// user) may change the options while the watchdog runs.
struct TFreezeSettings {
    int32_t Seconds = 0;
    std::string Text;
};

// The 40-bit set of General-section fields, bit 0 in the least significant bit of byte 0.
using TGeneralFields = std::array<uint8_t, 5>;

// The stream version this build writes and reads by default.
inline constexpr int CurrentOptionsDataVersion = 502;
// Version of the stored options being loaded; the reader of the stored data sets it from its header.
extern int OptionsDataVersion;

class TOstrelModuleOptions {
public:
    TOstrelModuleOptions(std::string moduleName, bool notifyChanges);
    virtual ~TOstrelModuleOptions() = default;
    TOstrelModuleOptions(const TOstrelModuleOptions&) = delete;
    TOstrelModuleOptions& operator=(const TOstrelModuleOptions&) = delete;

    // Virtual operations in the order of the original record.
    virtual void Changed() {}
    virtual void SetActive(bool value);
    virtual void SetFreezeActive(bool value);
    virtual void Assign(const TOstrelModuleOptions* source);
    virtual void SetDefaults();
    virtual void SaveToStream(TOstrelStream& stream) const;
    virtual void LoadFromStream(TOstrelStream& stream);

    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate() { --m_updateCount; }
    void DoChanged();

    const std::string& GetText(int index) const { return m_reportTexts.at(size_t(index)); }
    void SetText(int index, std::string text);

    bool NotifyChanges() const { return m_notifyChanges; }
    int32_t UpdateCount() const { return m_updateCount; }
    const std::string& SMTPSender() const { return m_smtpSender; }
    const std::string& SMTPServer() const { return m_smtpServer; }
    const std::string& SMTPUser() const { return m_smtpUser; }
    const std::string& SMTPPassword() const { return m_smtpPassword; }
    uint16_t SMTPPort() const { return m_smtpPort; }
    uint8_t TerminateAction() const { return m_terminateAction; }
    bool FreezeWatch() const { return m_freezeWatch; }
    int32_t FreezeSeconds() const { return FreezeSettings().Seconds; }
    std::string FreezeText() const { return FreezeSettings().Text; }
    TFreezeSettings FreezeSettings() const;
    const std::string& ModuleName() const { return m_moduleName; }
    const TGeneralFields& GeneralFields() const { return m_generalFields; }
    bool GeneralField(int bit) const;
    TOstrelStringList& FilterClasses() { return m_filterClasses; }
    const TOstrelStringList& FilterClasses() const { return m_filterClasses; }
    TOstrelStringList& FilterMessages() { return m_filterMessages; }
    const TOstrelStringList& FilterMessages() const { return m_filterMessages; }
    uint8_t SpareFlag() const { return m_spareFlag; }
    bool FilterActive() const { return m_filterActive; }
    bool AppendReportToMessage() const { return m_appendReportToMessage; }
    bool DialogCountCheck() const { return m_dialogCountCheck; }
    bool LogToFile() const { return m_logToFile; }
    uint8_t LogFlags() const { return m_logFlags; }
    uint16_t SendFlags() const { return m_sendFlags; }
    uint8_t DialogTabSetting() const { return m_dialogTabSetting; }
    int32_t MaxLogReports() const { return m_maxLogReports; }
    int32_t DialogCountLimit() const { return m_dialogCountLimit; }
    const std::string& LogFileLocation() const { return m_logFileLocation; }
    const std::string& MailRecipient() const { return m_mailRecipient; }
    const std::string& MailSubject() const { return m_mailSubject; }
    const std::string& MailBody() const { return m_mailBody; }
    uint8_t MailSendMode() const { return m_mailSendMode; }
    uint8_t UploadMode() const { return m_uploadMode; }
    const std::string& ExtraAttachments() const { return m_extraAttachments; }
    uint8_t DialogFlags() const { return m_dialogFlags; }
    int32_t DialogAutoCloseSeconds() const { return m_dialogAutoCloseSeconds; }
    const std::string& SupportPageURL() const { return m_supportPageURL; }
    const std::string& HTMLPageTemplate() const { return m_htmlPageTemplate; }
    uint8_t ErrorRateAction() const { return m_errorRateAction; }
    int32_t ErrorRateCount() const { return m_errorRateCount; }
    int32_t ErrorRateMinutes() const { return m_errorRateMinutes; }
    uint8_t CallStackFlags() const { return m_callStackFlags; }
    uint8_t ProcessingFlags() const { return m_processingFlags; }
    const std::string& UploadURL() const { return m_uploadURL; }
    uint32_t UploadPort() const { return m_uploadPort; }
    const std::string& UploadPassword() const { return m_uploadPassword; }
    const std::string& UploadUser() const { return m_uploadUser; }
    bool ReporterActive() const { return m_reporterActive; }

    void SetSMTPSender(std::string v) { Set(m_smtpSender, std::move(v)); }
    void SetSMTPServer(std::string v) { Set(m_smtpServer, std::move(v)); }
    void SetSMTPUser(std::string v) { Set(m_smtpUser, std::move(v)); }
    void SetSMTPPassword(std::string v) { Set(m_smtpPassword, std::move(v)); }
    void SetSMTPPort(uint16_t v) { Set(m_smtpPort, v); }
    void SetTerminateAction(uint8_t v) { Set(m_terminateAction, v); }
    void SetFreezeSeconds(int32_t v);
    void SetFreezeText(std::string v);
    void SetModuleName(std::string v) { Set(m_moduleName, std::move(v)); }
    void SetGeneralFields(const TGeneralFields& v) { Set(m_generalFields, v); }
    void SetSpareFlag(uint8_t v) { Set(m_spareFlag, v); }
    void SetFilterActive(bool v) { Set(m_filterActive, v); }
    void SetAppendReportToMessage(bool v) { Set(m_appendReportToMessage, v); }
    void SetDialogCountCheck(bool v) { Set(m_dialogCountCheck, v); }
    void SetLogToFile(bool v) { Set(m_logToFile, v); }
    void SetLogFlags(uint8_t v) { Set(m_logFlags, v); }
    void SetSendFlags(uint16_t v) { Set(m_sendFlags, v); }
    void SetDialogTabSetting(uint8_t v) { Set(m_dialogTabSetting, v); }
    // A log that keeps no report at all would make every report vanish: 0 stores 1.
    void SetMaxLogReports(int32_t v) { Set(m_maxLogReports, v == 0 ? 1 : v); }
    void SetDialogCountLimit(int32_t v) { Set(m_dialogCountLimit, v); }
    void SetLogFileLocation(std::string v) { Set(m_logFileLocation, std::move(v)); }
    void SetMailRecipient(std::string v) { Set(m_mailRecipient, std::move(v)); }
    void SetMailSubject(std::string v) { Set(m_mailSubject, std::move(v)); }
    void SetMailBody(std::string v) { Set(m_mailBody, std::move(v)); }
    void SetMailSendMode(uint8_t v) { Set(m_mailSendMode, v); }
    void SetUploadMode(uint8_t v) { Set(m_uploadMode, v); }
    void SetExtraAttachments(std::string v) { Set(m_extraAttachments, std::move(v)); }
    void SetDialogFlags(uint8_t v) { Set(m_dialogFlags, v); }
    void SetDialogAutoCloseSeconds(int32_t v) { Set(m_dialogAutoCloseSeconds, v); }
    void SetSupportPageURL(std::string v) { Set(m_supportPageURL, std::move(v)); }
    void SetHTMLPageTemplate(std::string v) { Set(m_htmlPageTemplate, std::move(v)); }
    void SetErrorRateAction(uint8_t v) { Set(m_errorRateAction, v); }
    void SetErrorRateCount(int32_t v) { Set(m_errorRateCount, v); }
    void SetErrorRateMinutes(int32_t v) { Set(m_errorRateMinutes, v); }
    void SetCallStackFlags(uint8_t v) { Set(m_callStackFlags, v); }
    void SetProcessingFlags(uint8_t v) { Set(m_processingFlags, v); }
    void SetUploadURL(std::string v) { Set(m_uploadURL, std::move(v)); }
    void SetUploadPort(uint32_t v) { Set(m_uploadPort, v); }
    void SetUploadPassword(std::string v) { Set(m_uploadPassword, std::move(v)); }
    void SetUploadUser(std::string v) { Set(m_uploadUser, std::move(v)); }

protected:
    // The plain stores behind the virtual setters; overrides call them for "inherited".
    void StoreActive(bool value) { Set(m_reporterActive, value); }
    void StoreFreezeActive(bool value) { Set(m_freezeWatch, value); }

private:
    template <typename T, typename V> void Set(T& field, V&& value) {
        field = std::forward<V>(value);
        DoChanged();
    }
    void ReadFromStream(TOstrelStream& stream, int version);

    bool m_notifyChanges;
    int32_t m_updateCount = 0;
    std::string m_smtpSender;
    std::string m_smtpServer;
    std::string m_smtpUser;
    std::string m_smtpPassword;
    uint16_t m_smtpPort = 0;
    uint8_t m_terminateAction = 0;
    bool m_freezeWatch = false;
    mutable std::mutex m_freezeLock; // guards the two below against the watchdog's reads
    int32_t m_freezeSeconds = 0;
    std::string m_freezeText;
    std::string m_moduleName;
    TGeneralFields m_generalFields{};
    TOstrelStringList m_filterClasses;
    TOstrelStringList m_filterMessages;
    std::array<std::string, ReportTextCount> m_reportTexts;
    uint8_t m_spareFlag = 0;
    bool m_filterActive = false;
    bool m_appendReportToMessage = false;
    bool m_dialogCountCheck = false;
    bool m_logToFile = false;
    uint8_t m_logFlags = 0;
    uint16_t m_sendFlags = 0;
    uint8_t m_dialogTabSetting = 0;
    int32_t m_maxLogReports = 0;
    int32_t m_dialogCountLimit = 0;
    std::string m_logFileLocation;
    std::string m_mailRecipient;
    std::string m_mailSubject;
    std::string m_mailBody;
    uint8_t m_mailSendMode = 0;
    uint8_t m_uploadMode = 0;
    std::string m_extraAttachments;
    uint8_t m_dialogFlags = 0;
    int32_t m_dialogAutoCloseSeconds = 0;
    std::string m_supportPageURL;
    std::string m_htmlPageTemplate;
    uint8_t m_errorRateAction = 0;
    int32_t m_errorRateCount = 0;
    int32_t m_errorRateMinutes = 0;
    uint8_t m_callStackFlags = 0;
    uint8_t m_processingFlags = 0;
    std::string m_uploadURL;
    uint32_t m_uploadPort = 0;
    std::string m_uploadPassword;
    std::string m_uploadUser;
    bool m_reporterActive = true;
};

// The options object that publishes itself for the other modules of the process and drives the freeze
// watchdog when it is the current one.
class TOstrelModuleOptionsEx : public TOstrelModuleOptions {
public:
    using TOstrelModuleOptions::TOstrelModuleOptions;
    ~TOstrelModuleOptionsEx() override;

    void Changed() override;
    void SetActive(bool value) override;
    void SetFreezeActive(bool value) override;
};

// The options of the program's own module (none before the reporter starts).
TOstrelModuleOptionsEx* CurrentOptions();
void SetCurrentOptions(TOstrelModuleOptionsEx* options);

// Starts (true) or stops (false) the freeze watchdog; installed by the watchdog's unit.
using TFreezeWatchdogControl = void (*)(bool start);
void SetFreezeWatchdogControl(TFreezeWatchdogControl control);

// Default page template of web applications; the report goes in place of "<%HTML_TAG%>".
extern const char* const DefaultHTMLPageTemplate;
// Default SMTP sender address.
extern const char* const DefaultSMTPSender;
// Byte that every string of the options stream is combined with.
inline constexpr uint8_t OptionsStringScramble = 0xA7;

} // namespace reporter
