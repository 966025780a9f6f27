#include "OOptions.h"

#include "OErrors.h"
#include "OModules.h"

#include <utility>

namespace reporter {

int OptionsDataVersion = CurrentOptionsDataVersion;

const char* const DefaultSMTPSender = "reporter@localhost";

const char* const DefaultHTMLPageTemplate = "<html>\r\n"
                                            "  <head>\r\n"
                                            "  </head>\r\n"
                                            "  <body TopMargin=10 LeftMargin=10>\r\n"
                                            "    <table width=\"100%\" border=\"0\">\r\n"
                                            "      <tr>\r\n"
                                            "        <td nowrap>\r\n"
                                            "          <font face=\"Lucida Console, Courier\" size=\"2\">\r\n"
                                            "            <%HTML_TAG%>\r\n"
                                            "          </font>\r\n"
                                            "        </td>\r\n"
                                            "      </tr>\r\n"
                                            "    </table>\r\n"
                                            "  </body>\r\n"
                                            "</html>";

void TOstrelStringList::Change() const {
    if (OnChange)
        OnChange();
}

void TOstrelStringList::Add(std::string item) {
    m_items.push_back(std::move(item));
    Change();
}

void TOstrelStringList::Clear() {
    m_items.clear();
    Change();
}

void TOstrelStringList::Assign(const TOstrelStringList& source) {
    if (&source == this)
        return;
    m_items = source.m_items;
    Change();
}

TOstrelModuleOptions::TOstrelModuleOptions(std::string moduleName, bool notifyChanges)
    : m_notifyChanges(notifyChanges), m_moduleName(std::move(moduleName)) {
    m_filterClasses.OnChange = [this] { DoChanged(); };
    m_filterMessages.OnChange = [this] { DoChanged(); };
    // Virtual calls from a constructor reach this class's own SetDefaults, as intended: the derived
    // object does not exist yet and must not publish half-built options.
    TOstrelModuleOptions::SetDefaults();
    m_updateCount = 0;
}

void TOstrelModuleOptions::DoChanged() {
    if (m_updateCount < 1 && m_notifyChanges && GetModuleHandle(m_moduleName) == OwnModuleHandle())
        Changed();
}

TFreezeSettings TOstrelModuleOptions::FreezeSettings() const {
    std::lock_guard guard(m_freezeLock);
    return {m_freezeSeconds, m_freezeText};
}

void TOstrelModuleOptions::SetFreezeSeconds(int32_t v) {
    {
        std::lock_guard guard(m_freezeLock);
        m_freezeSeconds = v;
    }
    DoChanged();
}

void TOstrelModuleOptions::SetFreezeText(std::string v) {
    std::string old;
    {
        std::lock_guard guard(m_freezeLock);
        old = std::exchange(m_freezeText, std::move(v)); // freed outside the lock
    }
    DoChanged();
}

bool TOstrelModuleOptions::GeneralField(int bit) const {
    if (bit < 0 || bit >= 40)
        return false;
    return (m_generalFields[size_t(bit / 8)] >> (bit % 8)) & 1;
}

void TOstrelModuleOptions::SetText(int index, std::string text) {
    m_reportTexts.at(size_t(index)) = std::move(text);
    DoChanged();
}

void TOstrelModuleOptions::SetActive(bool value) {
    StoreActive(value);
}

void TOstrelModuleOptions::SetFreezeActive(bool value) {
    StoreFreezeActive(value);
}

void TOstrelModuleOptions::SetDefaults() {
    BeginUpdate();
    for (int i = 0; i < ReportTextCount; ++i)
        m_reportTexts[size_t(i)] = DefaultReportTexts[size_t(i)];
    SetSMTPSender(DefaultSMTPSender);
    SetSMTPServer("");
    SetSMTPUser("");
    SetSMTPPassword("");
    SetSMTPPort(25);
    SetTerminateAction(1);
    StoreFreezeActive(false);
    SetFreezeSeconds(60);
    SetFreezeText("The application seems to be frozen.");
    SetGeneralFields({0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    m_filterClasses.Clear();
    m_filterMessages.Clear();
    SetSpareFlag(0);
    SetFilterActive(true);
    SetAppendReportToMessage(false);
    SetDialogCountCheck(true);
    SetLogToFile(true);
    SetLogFlags(0x30);
    SetSendFlags(0x0051);
    SetDialogTabSetting(0);
    SetMaxLogReports(32);
    SetDialogCountLimit(3);
    SetLogFileLocation("");
    SetMailRecipient("");
    SetMailSubject("");
    SetMailBody("");
    SetMailSendMode(0);
    SetUploadMode(0);
    SetExtraAttachments("");
    SetDialogFlags(0x1F);
    SetDialogAutoCloseSeconds(0);
    SetSupportPageURL("");
    SetHTMLPageTemplate(DefaultHTMLPageTemplate);
    SetErrorRateAction(1);
    SetErrorRateCount(10);
    SetErrorRateMinutes(1);
    SetCallStackFlags(0x0F);
    SetProcessingFlags(0x30);
    SetUploadURL("");
    SetUploadPort(0);
    SetUploadPassword("");
    SetUploadUser("");
    StoreActive(true);
    EndUpdate();
    DoChanged();
}

void TOstrelModuleOptions::Assign(const TOstrelModuleOptions* source) {
    if (source == nullptr)
        throw EConvertError("Impossible to assign nil as TOstrelModuleOptions.");
    if (source == this)
        return;
    const TOstrelModuleOptions& s = *source;
    BeginUpdate();
    m_filterClasses.Assign(s.m_filterClasses);
    m_filterMessages.Assign(s.m_filterMessages);
    m_reportTexts = s.m_reportTexts;
    SetSMTPSender(s.m_smtpSender);
    SetSMTPServer(s.m_smtpServer);
    SetSMTPUser(s.m_smtpUser);
    SetSMTPPassword(s.m_smtpPassword);
    SetSMTPPort(s.m_smtpPort);
    SetTerminateAction(s.m_terminateAction);
    SetFreezeActive(s.m_freezeWatch);
    TFreezeSettings freeze = s.FreezeSettings();
    SetFreezeSeconds(freeze.Seconds);
    SetFreezeText(std::move(freeze.Text));
    SetGeneralFields(s.m_generalFields);
    SetSpareFlag(s.m_spareFlag);
    SetFilterActive(s.m_filterActive);
    SetAppendReportToMessage(s.m_appendReportToMessage);
    SetDialogCountCheck(s.m_dialogCountCheck);
    SetLogToFile(s.m_logToFile);
    SetLogFlags(s.m_logFlags);
    SetSendFlags(s.m_sendFlags);
    SetDialogTabSetting(s.m_dialogTabSetting);
    SetMaxLogReports(s.m_maxLogReports);
    SetDialogCountLimit(s.m_dialogCountLimit);
    SetLogFileLocation(s.m_logFileLocation);
    SetMailRecipient(s.m_mailRecipient);
    SetMailSubject(s.m_mailSubject);
    SetMailBody(s.m_mailBody);
    SetMailSendMode(s.m_mailSendMode);
    SetUploadMode(s.m_uploadMode);
    SetExtraAttachments(s.m_extraAttachments);
    SetDialogFlags(s.m_dialogFlags);
    SetDialogAutoCloseSeconds(s.m_dialogAutoCloseSeconds);
    SetSupportPageURL(s.m_supportPageURL);
    SetHTMLPageTemplate(s.m_htmlPageTemplate);
    SetErrorRateAction(s.m_errorRateAction);
    SetErrorRateCount(s.m_errorRateCount);
    SetErrorRateMinutes(s.m_errorRateMinutes);
    SetCallStackFlags(s.m_callStackFlags);
    SetProcessingFlags(s.m_processingFlags);
    SetUploadURL(s.m_uploadURL);
    SetUploadPort(s.m_uploadPort);
    SetUploadPassword(s.m_uploadPassword);
    SetUploadUser(s.m_uploadUser);
    EndUpdate();
    DoChanged();
}

} // namespace reporter
