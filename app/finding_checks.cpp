// The table of checks, and the checks of the products and of the run: the
// products' services and drivers, other security products, two generations
// of a line, the products' recent errors, administrator rights. Each reads
// the run's journal where the run collected the fact, and the system directly
// (service control manager, Security Center) where it did not.
#include "app/finding_checks.h"

#include "app/app_state.h"
#include "app/security_center.h"
#include "info/external_programs.h"
#include "info/registry.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/system_helpers.h"
#include "products/product_facts.h"
#include "system/windows_stuff.h"

#include <cstring>
#include <winsvc.h>

namespace finding_checks {

std::string Text(unsigned id)
{
    char text[kPathSize] = "";
    LoadResourceText(id, text);
    return text;
}

FindingOutcome Found(const std::string& evidence, const std::string& page)
{
    return FindingOutcome{FindingState::Found, evidence, page};
}
FindingOutcome NotFound() { return FindingOutcome{FindingState::NotFound, "", ""}; }
FindingOutcome NotAvailable(const std::string& why) { return FindingOutcome{FindingState::NotAvailable, why, ""}; }

void Join(std::string& list, const std::string& item, const char* separator)
{
    if (!list.empty()) list += separator;
    list += item;
}

bool StartsWithNoCase(const std::string& text, const std::string& start)
{
    return !start.empty() && _strnicmp(text.c_str(), start.c_str(), start.size()) == 0;
}

std::string WindowsFolder()
{
    char folder[MAX_PATH] = "";
    const UINT length = GetSystemWindowsDirectoryA(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? folder : "";
}

}  // namespace finding_checks

namespace {

using namespace finding_checks;

constexpr DWORD kLargestServiceConfig = 64 * 1024;
// The maker's products register in Security Center under its name.
const char kMakerName[] = "Wardex";

struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle NullHandle() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CloseServiceHandle(h); }
};
using ScopedServiceHandle = ScopedHandle<ServiceHandleTraits>;

bool ContainsText(const std::string& text, const std::string& part)
{
    return !part.empty() && ContainsNoCase(text.c_str(), part.c_str());
}

// ---- product-service-stopped ----------------------------------------------------

std::vector<std::string> ProductServices(const RunJournal& journal)
{
    std::vector<std::string> services;
    for (const JournalProduct& product : journal.products) {
        for (const std::string& service : product.services) {
            bool known = false;
            for (const std::string& listed : services) known = known || _stricmp(listed.c_str(), service.c_str()) == 0;
            if (!known) services.push_back(service);
        }
    }
    return services;
}

bool QueryStartType(SC_HANDLE service, DWORD* startType)
{
    DWORD needed = 0;
    QueryServiceConfigA(service, nullptr, 0, &needed);
    if (needed == 0 || needed > kLargestServiceConfig) return false;
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(service, config, needed, &needed)) return false;
    *startType = config->dwStartType;
    return true;
}

enum class ServiceFact { Absent, Running, NotRunning, Disabled, Unreadable };

ServiceFact AskService(SC_HANDLE manager, const std::string& name)
{
    ScopedServiceHandle service(OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceFact::Absent : ServiceFact::Unreadable;
    SERVICE_STATUS status;
    DWORD startType = 0;
    if (!QueryServiceStatus(service.Get(), &status) || !QueryStartType(service.Get(), &startType)) {
        return ServiceFact::Unreadable;
    }
    if (startType == SERVICE_DISABLED) return ServiceFact::Disabled;
    return status.dwCurrentState == SERVICE_RUNNING ? ServiceFact::Running : ServiceFact::NotRunning;
}

FindingOutcome CheckProductServices(const FindingContext& context)
{
    const std::vector<std::string> services = ProductServices(context.journal);
    if (services.empty()) return NotFound();
    ScopedServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return NotAvailable(Text(IDS_FINDING_NO_SERVICE_MANAGER));
    std::string evidence;
    std::string unreadable;
    for (const std::string& name : services) {
        switch (AskService(manager.Get(), name)) {
        case ServiceFact::NotRunning: Join(evidence, name + ": " + Text(IDS_FINDING_STATE_NOT_RUNNING)); break;
        case ServiceFact::Disabled: Join(evidence, name + ": " + Text(IDS_FINDING_STATE_DISABLED)); break;
        case ServiceFact::Unreadable: Join(unreadable, name); break;
        default: break;
        }
    }
    if (!evidence.empty()) return Found(evidence);
    if (!unreadable.empty()) return NotAvailable(Formatted(IDS_FMT_FINDING_SERVICE_UNREADABLE, unreadable.c_str()));
    return NotFound();
}

// ---- other-security-product -----------------------------------------------------

// A product of the maker, or of a line this run found, is none of the others.
bool IsOwnProduct(const SecurityProduct& product, const RunJournal& journal)
{
    if (ContainsText(product.name, kMakerName)) return true;
    for (const JournalProduct& line : journal.products) {
        if (ContainsText(product.name, line.displayName) || StartsWithNoCase(product.programPath, line.installFolder)) {
            return true;
        }
    }
    return false;
}

FindingOutcome CheckOtherSecurityProducts(const FindingContext& context)
{
    std::vector<SecurityProduct> products;
    if (!context.sources.securityCenter(&products)) return NotAvailable(Text(IDS_FINDING_NO_SECURITY_CENTER));
    std::string evidence;
    for (const SecurityProduct& product : products) {
        if (!product.enabled || IsOwnProduct(product, context.journal)) continue;
        const unsigned kind = product.firewall ? IDS_FINDING_KIND_FIREWALL : IDS_FINDING_KIND_ANTIVIRUS;
        Join(evidence, product.name + " (" + Text(kind) + ")");
    }
    return evidence.empty() ? NotFound() : Found(evidence);
}

// ---- product-generations ---------------------------------------------------------

FindingOutcome CheckProductGenerations(const FindingContext& context)
{
    std::string evidence;
    std::string page;
    for (const JournalProduct& older : context.journal.products) {
        if (!older.olderGeneration) continue;
        for (const JournalProduct& current : context.journal.products) {
            if (current.olderGeneration || _stricmp(current.displayName.c_str(), older.displayName.c_str()) != 0) {
                continue;
            }
            Join(evidence,
                 Formatted(IDS_FMT_FINDING_GENERATIONS, older.displayName.c_str(), older.catalogEntry.c_str(),
                           current.catalogEntry.c_str()),
                 "; ");
            if (page.empty()) page = !older.registryPage.empty() ? older.registryPage : current.registryPage;
            break;
        }
    }
    return evidence.empty() ? NotFound() : Found(evidence, page);
}

// ---- product-errors ----------------------------------------------------------------

const char* const kProductLogs[] = {"System", "Application"};

bool WasRead(const RunJournal& journal, const char* log)
{
    for (const std::string& read : journal.eventLogsRead) {
        if (read == log) return true;
    }
    return false;
}

FindingOutcome CheckProductErrors(const FindingContext& context)
{
    const std::vector<std::string> sources = ProductEventSources();
    std::string evidence;
    std::string page;
    for (const JournalErrorSource& errors : context.journal.recentErrors) {
        bool ours = false;
        for (const std::string& source : sources) ours = ours || _stricmp(source.c_str(), errors.source.c_str()) == 0;
        if (!ours) continue;
        Join(evidence, Formatted(IDS_FMT_FINDING_ERROR_EVENTS, errors.source.c_str(), errors.count));
        if (page.empty()) page = "LOGs/EventLog" + errors.log + ".html";
    }
    if (!evidence.empty()) return Found(evidence, page);
    for (const char* log : kProductLogs) {
        if (!WasRead(context.journal, log)) return NotAvailable(Formatted(IDS_FMT_FINDING_LOG_NOT_READ, log));
    }
    return NotFound();
}

// ---- not-elevated --------------------------------------------------------------------

FindingOutcome CheckElevation(const FindingContext& context)
{
    return context.sources.isAdministrator() ? NotFound() : Found(Text(IDS_FINDING_PAGES_INCOMPLETE));
}

}  // namespace

// id, severity, title, decision, page with the evidence
const std::vector<FindingCheck> kFindingChecks = {
    {"product-service-stopped", FindingSeverity::Problem, IDS_FINDING_SERVICE_STOPPED, CheckProductServices,
     "LOGs/scqueryex.txt"},
    {"other-security-product", FindingSeverity::Warning, IDS_FINDING_OTHER_SECURITY, CheckOtherSecurityProducts,
     "Findings.html"},
    {"product-generations", FindingSeverity::Warning, IDS_FINDING_GENERATIONS, CheckProductGenerations,
     "Findings.html"},
    {"disk-space", FindingSeverity::Problem, IDS_FINDING_DISK_SPACE, CheckDiskSpace, "SYSInfo/DriveInfo.html"},
    {"recent-crash", FindingSeverity::Warning, IDS_FINDING_RECENT_CRASH, CheckRecentCrashes, "Findings.html"},
    {"reboot-pending", FindingSeverity::Note, IDS_FINDING_REBOOT_PENDING, CheckRebootPending, "Findings.html"},
    {"layered-providers", FindingSeverity::Warning, IDS_FINDING_LAYERED_PROVIDERS, CheckLayeredProviders,
     "LOGs/lsplist.txt"},
    {"product-errors", FindingSeverity::Warning, IDS_FINDING_PRODUCT_ERRORS, CheckProductErrors,
     "LOGs/EventLogApplication.html"},
    {"not-elevated", FindingSeverity::Note, IDS_FINDING_NOT_ELEVATED, CheckElevation, "Findings.html"},
};

FindingSources SystemFindingSources()
{
    return FindingSources{QuerySecurityCenter, IsUserAdministrator, CWindowsStuff::QueryDiskSpace, kProgramWaitMs};
}
