#include "OGeneralSection.h"

#include "ODesktop.h"
#include "OFiles.h"
#include "OLogItem.h"
#include "OModuleInfo.h"
#include "OModules.h"
#include "ONetworkInfo.h"
#include "OOptions.h"
#include "OSystemInfo.h"
#include "OTextUtils.h"
#include "OVersionNote.h"
#include "OWebApplication.h"

namespace reporter {

const char* const OstrelLogVersionText = "5.0.2";

namespace {

// The groups in report order: the report text of the header (its fields' labels are the texts that
// follow it) and the number of fields.
struct TGeneralGroup {
    int HeaderText;
    int FieldCount;
};
constexpr std::array<TGeneralGroup, 6> GeneralGroups = {{
    {22, 5}, // Application
    {28, 5}, // Exception
    {34, 4}, // Active Controls
    {39, 9}, // Computer
    {49, 4}, // Operating System
    {54, 6}, // Network
}};
constexpr int ActiveControlsGroup = 2;

std::string MailDateOrEmpty(time_t time) {
    return time != 0 ? GetMailDate(time) : std::string();
}

bool AnyShown(const TOstrelModuleOptions& options, int first, int last) {
    for (int bit = first; bit <= last; ++bit)
        if (options.GeneralField(bit))
            return true;
    return false;
}

} // namespace

TMainModuleFacts GetMainModuleFacts() {
    TMainModuleFacts facts;
    // A damaged module record or an unreadable program file leaves the values empty: the report goes on.
    try {
        if (TOstrelModulesList* list = ModulesList()) {
            if (const TOstrelModuleInfoPtr info = list->FindModuleInfo(GetModuleHandle(std::string()))) {
                facts.HasRecord = true;
                facts.FileName = info->FileName;
                facts.Description = info->Description;
                facts.Version = info->Version;
                facts.CompilationTime = info->CompilationTime;
                return facts;
            }
        }
        facts.FileName = ProgramFileName();
        GetModuleVersion(ProgramFileToOpen(), facts.Description, facts.Version);
    } catch (const std::exception&) {
        facts = TMainModuleFacts{};
    }
    return facts;
}

std::string GetMainModuleVersion() {
    std::string description;
    std::string version;
    try {
        GetModuleVersion(ProgramFileToOpen(), description, version);
    } catch (const std::exception&) {
        version.clear();
    }
    return version;
}

int GeneralGroupTextIndex(TGeneralField field) {
    int first = 0;
    for (const TGeneralGroup& group : GeneralGroups) {
        if (field < first + group.FieldCount)
            return group.HeaderText;
        first += group.FieldCount;
    }
    return -1;
}

int GeneralFieldTextIndex(TGeneralField field) {
    int first = 0;
    for (const TGeneralGroup& group : GeneralGroups) {
        if (field < first + group.FieldCount)
            return group.HeaderText + 1 + (field - first);
        first += group.FieldCount;
    }
    return -1;
}

TGeneralValues CollectGeneralValues(const TOstrelModuleOptions& options,
                                    const TGeneralSectionParams& params) {
    TGeneralValues v;
    auto shown = [&](TGeneralField field) { return options.GeneralField(field); };
    const TMainModuleFacts main = params.MainModule ? *params.MainModule : GetMainModuleFacts();
    const std::string programFile = main.FileName.empty() ? ProgramFileName() : main.FileName;

    if (shown(gfStartDate))
        v[gfStartDate] = MailDateOrEmpty(params.StartTime != 0 ? params.StartTime : GetProcessStartTime());
    if (shown(gfNameDescription))
        v[gfNameDescription] = !main.Description.empty() ? main.Description : ExtractFileName(programFile);
    if (shown(gfVersionNumber))
        v[gfVersionNumber] = main.Version;
    if (shown(gfParameters))
        v[gfParameters] = FormatParameters(GetProgramParameters());
    if (shown(gfCompilationDate) && main.HasRecord)
        v[gfCompilationDate] = MailDateOrEmpty(main.CompilationTime);

    if (shown(gfExceptionDate))
        v[gfExceptionDate] = GetMailDate(params.ExceptionTime != 0 ? params.ExceptionTime : time(nullptr));
    if (params.ExceptionAddress != 0)
        v[gfExceptionAddress] = FormatAddress(params.ExceptionAddress);
    v[gfExceptionModule] = GetAddressModuleName(params.ExceptionAddress);
    v[gfExceptionType] = GetExceptionClassName(params.ExceptionObject);
    v[gfExceptionMessage] = GetExceptionMessage(params.ExceptionObject, params.AccessFault);

    if (shown(gfFormClass) || shown(gfFormText))
        GetForegroundWindowInfo(v[gfFormClass], v[gfFormText]);
    v[gfControlClass] = params.ControlClass;
    v[gfControlText] = CollapseControlChars(params.ControlText);

    if (shown(gfComputerName))
        v[gfComputerName] = GetComputerName();
    if (shown(gfUser))
        v[gfUser] = KeptSystemFacts().UserName;
    if (shown(gfTotalMemory))
        if (const auto total = GetTotalMemory())
            v[gfTotalMemory] = FormatMegabytes(*total);
    if (shown(gfFreeMemory))
        if (const auto free = GetFreeMemory())
            v[gfFreeMemory] = FormatMegabytes(*free);
    if (shown(gfTotalDisk) || shown(gfFreeDisk)) {
        if (const auto disk = GetDiskSpace(ExtractFilePath(programFile))) {
            v[gfTotalDisk] = FormatGigabytes(disk->Total);
            v[gfFreeDisk] = FormatGigabytes(disk->FreeToCaller);
        }
    }
    if (shown(gfSystemUpTime))
        if (const auto upTime = GetUpTimeMilliseconds())
            v[gfSystemUpTime] = FormatUpTime(*upTime);
    if (shown(gfProcessor))
        v[gfProcessor] = KeptSystemFacts().ProcessorName;
    if (shown(gfDisplayMode))
        v[gfDisplayMode] = GetDisplayModeText();

    if (shown(gfSystemType))
        v[gfSystemType] = KeptSystemFacts().SystemName;
    if (shown(gfBuildNumber))
        v[gfBuildNumber] = GetSystemBuildNumber();
    if (shown(gfUpdate))
        v[gfUpdate] = GetSystemUpdateText();
    if (shown(gfLanguage))
        v[gfLanguage] = KeptSystemFacts().Language;

    if (AnyShown(options, gfIPAddress, gfDHCP)) {
        const TNetworkInfo network = GetNetworkInfo();
        v[gfIPAddress] = network.IPAddress;
        v[gfSubmask] = network.Submask;
        v[gfGateway] = network.Gateway;
        v[gfDNS1] = network.DNS1;
        v[gfDNS2] = network.DNS2;
        v[gfDHCP] = network.DHCP;
    }
    return v;
}

std::string FormatGeneralFields(const TOstrelModuleOptions& options, const TGeneralValues& values,
                                bool showActiveControls) {
    TLogItem item(0);
    int field = 0;
    for (size_t g = 0; g < GeneralGroups.size(); ++g) {
        const TGeneralGroup& group = GeneralGroups[g];
        item.AddGroup(options.GetText(group.HeaderText));
        for (int i = 0; i < group.FieldCount; ++i, ++field) {
            const bool visible =
                options.GeneralField(field) && (g != ActiveControlsGroup || showActiveControls);
            item.AddField(options.GetText(group.HeaderText + 1 + i), values[size_t(field)], visible);
        }
    }
    return item.GetText();
}

TGeneralSection BuildGeneralSection(const TOstrelModuleOptions& options,
                                    const TGeneralSectionParams& params) {
    const TGeneralValues values = CollectGeneralValues(options, params);
    TGeneralSection section;
    section.Text = std::string("OstrelLog ") + OstrelLogVersionText + "\r\n\r\n" +
                   FormatGeneralFields(options, values, !IsWebApplication() && !IsConsoleProgram());
    section.ExceptionModule = values[gfExceptionModule];
    section.ExceptionAddress = values[gfExceptionAddress];
    section.ExceptionType = values[gfExceptionType];
    section.ExceptionMessage = values[gfExceptionMessage];
    return section;
}

} // namespace reporter
