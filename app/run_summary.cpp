#include "app/run_summary.h"

#include "app/app_state.h"
#include "app/findings.h"
#include "app/harvin_dlg.h"
#include "app/output_tree.h"
#include "app/run_journal.h"
#include "info/redaction_run.h"
#include "info/sha256.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"
#include "system/windows_stuff.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace {

using Json = nlohmann::ordered_json;

const char kSummaryName[] = "summary.json";

// Text of the ANSI code page as UTF-8 (names, paths and page texts).
std::string Utf8(const std::string& ansi)
{
    if (ansi.empty()) return ansi;
    int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (wideLength <= 0) return std::string();
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], wideLength);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

// A text, or null for an empty one (nothing written, no status text).
Json TextOrNull(const std::string& ansi) { return ansi.empty() ? Json(nullptr) : Json(Utf8(ansi)); }

std::string IsoTime(const FILETIME& time)
{
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&time, &utc)) return std::string();
    char text[32];
    FormatText(text, "%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute,
               utc.wSecond);
    return text;
}

// ---- files ----------------------------------------------------------------------

// Every file below `folder`, in the order the archive walk meets them: a
// folder's files and subfolders in listing order, a subfolder's contents
// right where the subfolder is met.
void ListTreeFiles(const char* folder, const Sha256Files& sha256, Json& files)
{
    char pattern[kPathSize];
    if (!JoinPath(pattern, folder, "*")) return;
    WIN32_FIND_DATAA entry;
    ScopedFindHandle find(FindFirstFileA(pattern, &entry));
    if (!find) return;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
        char path[kPathSize];
        if (!JoinPath(path, folder, entry.cFileName)) continue;
        const TreeEntryKind kind = ClassifyTreeEntry(entry.dwFileAttributes);
        if (kind == TreeEntryKind::Link) continue;
        if (kind == TreeEntryKind::Folder) {
            ListTreeFiles(path, sha256, files);
            continue;
        }
        ULARGE_INTEGER size;
        size.LowPart = entry.nFileSizeLow;
        size.HighPart = entry.nFileSizeHigh;
        char hex[65];
        Json file;
        file["path"] = Utf8(TreeRelativePath(path));
        file["size"] = size.QuadPart;
        file["lastWrite"] = IsoTime(entry.ftLastWriteTime);
        file["sha256"] = sha256.HashFile(path, hex) ? Json(hex) : Json(nullptr);
        files.push_back(std::move(file));
    } while (FindNextFileA(find.Get(), &entry));
}

// ---- problems --------------------------------------------------------------------

// The status lines that reported a failure, then the failure texts the
// program wrote into pages, each with how often.
Json Problems()
{
    Json problems = Json::array();
    for (bool pages : {false, true}) {
        for (const JournalProblem& problem : Journal().problems) {
            if (problem.page.empty() == pages) continue;
            problems.push_back(Json{{"page", TextOrNull(problem.page)},
                                    {"text", Utf8(problem.text)},
                                    {"count", problem.count}});
        }
    }
    return problems;
}

// ---- the other parts ---------------------------------------------------------------

Json Collection()
{
    return Json{{"start", Journal().startedUtc},
                {"end", UtcTimestamp()},
                {"mode", ExtendedCollection == 1 ? "extended" : "standard"},
                {"name", Utf8(UserInfo.name)},
                {"company", Utf8(UserInfo.company)},
                {"ticket", Utf8(UserInfo.third)},
                {"cancelled", IsCancelRequested()},
                {"unattended", UnattendedRun},
                {"redacted", ActiveRedaction() != nullptr},
                {"redactedKinds", Json::array()}};
}

// The kinds of data the run replaced (never the words).
Json RedactedKinds()
{
    Json kinds = Json::array();
    if (const RedactionMap* map = ActiveRedaction()) {
        for (unsigned kind = 0; kind < kRedactionKindCount; ++kind) {
            if (map->KindsReplaced() & (1u << kind)) kinds.push_back(RedactionKindName(static_cast<RedactionKind>(kind)));
        }
    }
    return kinds;
}

// The machine's words replaced in every text below `value` (UTF-8).
void RedactTexts(Json& value, RedactionMap& map)
{
    if (value.is_string()) {
        value = RedactText(map, value.get<std::string>(), RedactedText::Plain);
    } else if (value.is_structured()) {
        for (Json& item : value) RedactTexts(item, map);
    }
}

// The machine's words replaced in the named fields of each item of `items`.
void RedactFields(Json& items, std::initializer_list<const char*> fields, RedactionMap& map)
{
    for (Json& item : items) {
        for (const char* field : fields) {
            if (item.contains(field)) RedactTexts(item[field], map);
        }
    }
}

Json RegistryIdentification()
{
    RegistryVersionValues values;
    CWindowsStuff::ReadRegistryVersionValues(&values);
    if (values.productName[0] == '\0') return Json(nullptr);
    const char* release = values.displayVersion[0] != '\0' ? values.displayVersion : values.releaseId;
    return Json{{"productName", Utf8(values.productName)},
                {"displayVersion", TextOrNull(release)},
                {"build", TextOrNull(values.currentBuild)},
                {"ubr", values.hasUbr ? Json(values.ubr) : Json(nullptr)},
                {"edition", TextOrNull(values.editionId)}};
}

Json SystemPart()
{
    CWindowsStuff windows;
    char platform[kPathSize], version[kPathSize], enhanced[kPathSize], registryVersion[kPathSize];
    windows.QueryOsTexts(platform, version, enhanced, registryVersion, nullptr);
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof computer;
    if (!GetComputerNameA(computer, &size)) computer[0] = '\0';
    return Json{{"windowsName", Utf8(platform)},
                {"windowsVersion", Utf8(version)},
                {"registry", RegistryIdentification()},
                {"architecture", IsWindows64Bit() ? "x64" : "x86"},
                {"computerName", Utf8(computer)}};
}

Json Products()
{
    Json products = Json::array();
    for (const JournalProduct& product : Journal().products) {
        products.push_back(Json{{"displayName", Utf8(product.displayName)},
                                {"catalogEntry", Utf8(product.catalogEntry)},
                                {"installFolder", Utf8(product.installFolder)},
                                {"mainFileVersion", TextOrNull(product.mainFileVersion)}});
    }
    return products;
}

// Each entry the autostart pages listed, with its file and the file's SHA-256.
Json Autostart(const Sha256Files& sha256)
{
    Json entries = Json::array();
    std::map<std::string, Json> digests;  // a file many entries name is read once
    FsRedirectionOff redirectionOff;      // the files are named as the 64-bit system names them
    for (const JournalAutostart& entry : Journal().autostart) {
        Json file = nullptr;
        if (!entry.file.empty()) {
            auto digest = digests.find(entry.file);
            if (digest == digests.end()) {
                char hex[65];
                Json value = sha256.HashFile(entry.file.c_str(), hex) ? Json(hex) : Json(nullptr);
                digest = digests.emplace(entry.file, std::move(value)).first;
            }
            file = Json{{"path", Utf8(entry.file)}, {"sha256", digest->second}};
        }
        entries.push_back(Json{{"kind", entry.kind},
                               {"location", Utf8(entry.location)},
                               {"name", Utf8(entry.name)},
                               {"command", Utf8(entry.command)},
                               {"file", std::move(file)}});
    }
    return entries;
}

Json Steps()
{
    Json steps = Json::array();
    for (const JournalStep& step : Journal().steps) {
        steps.push_back(Json{{"output", TextOrNull(step.output)},
                             {"status", TextOrNull(step.status)},
                             {"milliseconds", step.milliseconds}});
    }
    return steps;
}

// The checks that found something, in table order.
Json Findings()
{
    Json findings = Json::array();
    for (const FindingResult& result : RunFindingResults()) {
        if (result.outcome.state != FindingState::Found) continue;
        findings.push_back(Json{{"id", result.check->id},
                                {"severity", FindingSeverityName(result.check->severity)},
                                {"title", Utf8(FindingTitle(*result.check))},
                                {"evidence", Utf8(result.outcome.text)},
                                {"page", Utf8(result.outcome.page)}});
    }
    return findings;
}

// Each file whose signature an entry showed, with what it showed.
Json FileSignatures()
{
    Json files = Json::array();
    for (const JournalSignature& checked : Journal().signatures) {
        char code[16];
        FormatText(code, "0x%08lX", checked.code);
        files.push_back(Json{{"path", Utf8(checked.path)},
                             {"signature", Json{{"status", checked.status},
                                                {"signer", checked.signer.empty() ? Json(nullptr) : Json(Utf8(checked.signer))},
                                                {"catalog", checked.catalog},
                                                {"code", code}}}});
    }
    return files;
}

bool WriteText(const char* path, const std::string& text)
{
    FILE* file = fopen(path, "wb");
    if (file == nullptr) return false;
    bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}

}  // namespace

void WriteRunSummary()
{
    char path[kPathSize];
    bool written = false;
    if (JoinPath(path, OutputRoot, kSummaryName)) {
        Sha256Files sha256;
        Json files = Json::array();
        ListTreeFiles(OutputRoot, sha256, files);

        Json summary;
        summary["format"] = "harvin-summary";
        summary["version"] = 1;
        summary["program"] = Json{{"name", "Wardex Harvin"}, {"version", Utf8(ProgramVersion)}};
        summary["collection"] = Collection();
        summary["system"] = SystemPart();
        summary["products"] = Products();
        summary["autostart"] = Autostart(sha256);
        summary["steps"] = Steps();
        summary["problems"] = Problems();
        summary["findings"] = Findings();
        summary["files"] = std::move(files);
        summary["fileSignatures"] = FileSignatures();
        // The format's names and the person's own entries stay as they are.
        if (RedactionMap* map = ActiveRedaction()) {
            for (const char* part : {"system", "products", "steps", "problems", "files"}) RedactTexts(summary[part], *map);
            // Ids, kinds and verdicts are the format's own names.
            RedactFields(summary["findings"], {"evidence", "page"}, *map);
            RedactFields(summary["autostart"], {"location", "name", "command", "file"}, *map);
            RedactFields(summary["fileSignatures"], {"path"}, *map);
            for (Json& checked : summary["fileSignatures"]) RedactTexts(checked["signature"]["signer"], *map);
        }
        summary["collection"]["redactedKinds"] = RedactedKinds();
        written = WriteText(path, summary.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
        if (!written) DeleteFileA(path);
    }
    if (!written) CHarvinDlg::AddStatusLineFromId(IDS_FMT_SUMMARY_FAILED, kSummaryName);
}
