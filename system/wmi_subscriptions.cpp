// The WMI event subscriptions page: the event filters, the consumers and the
// bindings between them of the root\subscription namespace, where programs
// and scripts are made to start on a system event.
#include "system/wmi_subscriptions.h"

#include "app/app_state.h"
#include "app/run_journal.h"
#include "info/file_info.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_com.h"
#include "system/windows_stuff.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Texts are shown up to these many bytes; a script's text up to 4 KiB.
constexpr size_t kTextShown = 8192;
constexpr size_t kScriptShown = 4096;

const wchar_t* const kFilterProperties[] = {L"Name", L"Query", L"QueryLanguage", L"EventNamespace"};
const wchar_t* const kConsumerProperties[] = {L"Name", L"CommandLineTemplate", L"ExecutablePath",
                                              L"ScriptingEngine", L"ScriptFileName", L"ScriptText"};
const wchar_t* const kBindingProperties[] = {L"Filter", L"Consumer"};

const char kSubscriptionNamespace[] = "root\\subscription";

// `text` in the ANSI code page, cut to `limit` bytes between characters.
std::string AnsiText(const std::wstring& text, size_t limit)
{
    std::vector<char> out(limit + 1, '\0');
    WideToAnsiText(text.c_str(), out.data(), out.size());
    return out.data();
}

std::string PropertyText(const WmiObject& object, const wchar_t* name, size_t limit = kTextShown)
{
    const std::wstring* text = object.Find(name);
    return text != nullptr ? AnsiText(*text, limit) : std::string();
}

// "Label: text<br>" for a property the object holds with some text.
void WriteProperty(Page page, const WmiObject& object, const wchar_t* name, const char* label)
{
    const std::string text = PropertyText(object, name);
    if (text.empty()) return;
    AppendToPage(page, "%s: ", label);
    WriteHtmlText(page, text.c_str());
    AppendLiteral(page, "<br>\n");
}

// A listing that stopped early says so after what it gave.
void WriteListingEnd(Page page, HRESULT result, size_t listed)
{
    if (result == S_FALSE) {
        AppendToPage(page, "[more than %u objects: the rest is left out]<br>\n", static_cast<unsigned>(kWmiObjectLimit));
    } else if (FAILED(result) && result != E_ABORT) {
        AppendToPage(page, "[not available] (error 0x%08lX)<br>\n", static_cast<unsigned long>(result));
    } else if (listed == 0 && result == S_OK) {
        AppendLiteral(page, "[none]<br>\n");
    }
}

// "<strong>Name</strong> (Class)<br>" (the class only when asked for).
void WriteObjectName(Page page, const WmiObject& object, bool withClass)
{
    AppendLiteral(page, "<strong>");
    WriteHtmlText(page, PropertyText(object, L"Name").c_str());
    AppendLiteral(page, "</strong>");
    if (withClass) {
        AppendLiteral(page, " (");
        WriteHtmlText(page, AnsiText(object.className, kTextShown).c_str());
        AppendLiteral(page, ")");
    }
    AppendLiteral(page, "<br>\n");
}

const char kDetailsStart[] = "<div style=\"margin-left: 40px;\">\n";

void WriteFilter(Page page, const WmiObject& filter)
{
    WriteObjectName(page, filter, false);
    AppendLiteral(page, kDetailsStart);
    WriteProperty(page, filter, L"Query", "Query");
    WriteProperty(page, filter, L"QueryLanguage", "Query language");
    WriteProperty(page, filter, L"EventNamespace", "Event namespace");
    AppendLiteral(page, "</div><br>\n");
}

bool IsClass(const WmiObject& object, const wchar_t* name) { return _wcsicmp(object.className.c_str(), name) == 0; }

// What a consumer runs: its command line (or program), or its script engine.
std::string ConsumerCommand(const WmiObject& consumer)
{
    if (IsClass(consumer, L"ActiveScriptEventConsumer")) return PropertyText(consumer, L"ScriptingEngine");
    std::string command = PropertyText(consumer, L"CommandLineTemplate");
    return command.empty() ? PropertyText(consumer, L"ExecutablePath") : command;
}

// The file a consumer starts: its program, else the program its command
// line names, else its script file; empty when none of them exists.
std::string ConsumerFile(const WmiObject& consumer)
{
    for (const wchar_t* name : {L"ExecutablePath", L"CommandLineTemplate", L"ScriptFileName"}) {
        const std::string text = PropertyText(consumer, name, kPathSize - 1);
        char path[kPathSize] = "";
        NormalizeFilePath(text.c_str(), path, sizeof path);
        const DWORD attributes = path[0] != '\0' ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return path;
    }
    return std::string();
}

// A command line or script consumer with what it runs; any other kind by
// its class and name.
void WriteConsumer(Page page, const WmiObject& consumer)
{
    const bool commandLine = IsClass(consumer, L"CommandLineEventConsumer");
    const bool script = IsClass(consumer, L"ActiveScriptEventConsumer");
    WriteObjectName(page, consumer, true);
    if (commandLine || script) {
        AppendLiteral(page, kDetailsStart);
        WriteProperty(page, consumer, L"CommandLineTemplate", "Command line");
        WriteProperty(page, consumer, L"ExecutablePath", "Executable");
        WriteProperty(page, consumer, L"ScriptingEngine", "Script engine");
        WriteProperty(page, consumer, L"ScriptFileName", "Script file");
        std::string text = script ? PropertyText(consumer, L"ScriptText", kScriptShown) : std::string();
        // The page is a text-mode stream: a CR of the script's CR LF would stand as a line of its own.
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        if (!text.empty()) {
            AppendLiteral(page, "Script text (the first 4 KiB):<pre style=\"white-space: pre-wrap;\">");
            WriteHtmlText(page, text.c_str());
            AppendLiteral(page, "</pre>\n");
        }
        AppendLiteral(page, "</div>\n");
        const std::string file = ConsumerFile(consumer);
        if (!file.empty()) WriteFileDetailsForText(file.c_str(), page);
    }
    AppendLiteral(page, "<br>\n");
}

void WriteBinding(Page page, const WmiObject& binding)
{
    WriteProperty(page, binding, L"Filter", "Filter");
    WriteProperty(page, binding, L"Consumer", "Consumer");
    AppendLiteral(page, "<br>\n");
}

// A binding names its consumer by a relative path, or by a full one
// ("\\HOST\root\subscription:Class.Name=...") that ends in it.
bool NamesObject(const std::wstring& reference, const WmiObject& object)
{
    size_t relative = 0;
    if (reference.compare(0, 2, L"\\\\") == 0) {
        const size_t colon = reference.find(L':');
        if (colon != std::wstring::npos) relative = colon + 1;
    }
    return !object.relativePath.empty() && _wcsicmp(reference.c_str() + relative, object.relativePath.c_str()) == 0;
}

// Each consumer that a binding ties to a filter starts something.
void NoteBoundConsumers(const std::vector<WmiObject>& consumers, const std::vector<WmiObject>& bindings)
{
    for (const WmiObject& consumer : consumers) {
        for (const WmiObject& binding : bindings) {
            const std::wstring* reference = binding.Find(L"Consumer");
            if (reference == nullptr || !NamesObject(*reference, consumer)) continue;
            JournalAutostart entry;
            entry.kind = "wmi-subscription";
            entry.location = kSubscriptionNamespace;
            entry.name = PropertyText(consumer, L"Name");
            entry.command = ConsumerCommand(consumer);
            entry.file = ConsumerFile(consumer);
            JournalNoteAutostart(entry);
            break;
        }
    }
}

template <size_t N>
HRESULT ListSection(Page page, WmiSubscriptionSource& source, const char* heading, const wchar_t* className,
                    const wchar_t* const (&properties)[N], void (*write)(Page, const WmiObject&),
                    std::vector<WmiObject>* objects)
{
    if (IsCancelRequested()) return E_ABORT;
    WriteHeading(page, heading);
    const HRESULT result = source.ListObjects(className, properties, N, objects);
    for (const WmiObject& object : *objects) {
        if (IsCancelRequested()) return E_ABORT;
        write(page, object);
    }
    WriteListingEnd(page, result, objects->size());
    return result;
}

void WriteSubscriptions(Page page, WmiSubscriptionSource& source)
{
    const HRESULT opened = source.Open();
    if (FAILED(opened)) {
        AppendToPage(page, "[not available] (error 0x%08lX)<br>\n", static_cast<unsigned long>(opened));
        return;
    }
    std::vector<WmiObject> filters;
    std::vector<WmiObject> consumers;
    std::vector<WmiObject> bindings;
    if (ListSection(page, source, "Event Filters", L"__EventFilter", kFilterProperties, WriteFilter, &filters) ==
        E_ABORT) {
        return;
    }
    if (ListSection(page, source, "Event Consumers", L"__EventConsumer", kConsumerProperties, WriteConsumer,
                    &consumers) == E_ABORT) {
        return;
    }
    if (ListSection(page, source, "Filter To Consumer Bindings", L"__FilterToConsumerBinding", kBindingProperties,
                    WriteBinding, &bindings) == E_ABORT) {
        return;
    }
    NoteBoundConsumers(consumers, bindings);
}

}  // namespace

void CWindowsStuff::CollectWmiSubscriptions(const char* folder, const char* fileName, WmiSubscriptionSource* source)
{
    if (Autostart == 0 || IsCancelRequested()) return;
    Page page = CreateReportPage(folder, fileName, IDS_STATUS_WMI_SUBSCRIPTIONS, "WMI Event Subscriptions",
                                 "WMI Event Subscriptions", 1);
    if (page == nullptr) return;
    if (source != nullptr) {
        WriteSubscriptions(page, *source);
    } else {
        // COM for this thread only while WMI is read; the source goes first.
        ScopedComInit com;
        std::unique_ptr<WmiSubscriptionSource> system = CreateSystemWmiSource();
        WriteSubscriptions(page, *system);
    }
    FinalizePage(page);
}
