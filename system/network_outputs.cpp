// Network and filter tool outputs: connections, routes, adapter
// configuration, the Winsock provider catalog (listed by the embedded
// provscan) and the file-system filter instances, each captured into a text
// file of the LOGs folder.
#include "system/windows_stuff.h"

#include "app/app_state.h"
#include "info/external_programs.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/windows_version_model.h"

namespace {

constexpr int kProvscanResourceId = 135;
const char kProvscanResourceType[] = "DATA_EXE";
const char kProvscanFileName[] = "provscan.exe";

// A system tool with its output captured into `folder`\`fileName`.
void CaptureTool(const char* folder, const char* fileName, const char* caption, const char* commandLine,
                 int utf16Mark = 0)
{
    RunCommandToFile(folder, fileName, caption, nullptr, commandLine, kProgramWaitMs, true, CREATE_NO_WINDOW,
                     utf16Mark);
}

}  // namespace

const char* CWindowsStuff::ConnectionsCommandLine(const VersionFacts& facts)
{
    if (!facts.versionQueryOk) return nullptr;
    // On version 5.2 (Windows Server 2003, XP x64) the owning process ids
    // are listed besides the programs.
    return facts.major == 5 && facts.minor == 2 ? "netstat.exe -anbo" : "netstat.exe -anb";
}

int CWindowsStuff::FilterCaptureMark(const VersionFacts& facts)
{
    return facts.versionQueryOk && facts.platformId == VER_PLATFORM_WIN32_NT && facts.major < 6 ? 1 : 0;
}

void CWindowsStuff::CaptureConnections(const char* folder)
{
    if (Logging == 0) return;
    AnnounceStatus(IDS_STATUS_CONNECTIONS);
    VersionFacts facts;
    GatherVersionFacts(&facts);
    const char* commandLine = ConnectionsCommandLine(facts);
    if (commandLine == nullptr) return;
    CaptureTool(folder, "netstat.txt", commandLine, commandLine);
}

void CWindowsStuff::CaptureRoutes(const char* folder)
{
    if (Logging == 0) return;
    CaptureTool(folder, "netstat_route.txt", "Routingtabelle", "netstat.exe -r");
}

void CWindowsStuff::CaptureAdapters(const char* folder)
{
    if (Logging == 0) return;
    CaptureTool(folder, "ipconfigall.txt", "ipconfig /all", "ipconfig /all");
}

void CWindowsStuff::CaptureProviders(const char* folder)
{
    if (Logging == 0) return;
    // The companion goes into the output folder this run has just made and
    // may write to; the program's own folder may be read-only.
    if (OutputRoot[0] == '\0') return;
    char programPath[kPathSize];
    if (!JoinPath(programPath, OutputRoot, kProvscanFileName)) return;  // a cut path names another file

    if (ExtractResourceToFile(kProvscanResourceId, kProvscanResourceType, programPath)) {
        // Quoted: the output folder may hold blanks.
        char commandLine[kPathSize + 2];
        if (FormatText(commandLine, "\"%s\"", programPath)) {
            // A lister still running when its time is up is ended: it could
            // not be deleted, and would land in the archive.
            RunCommandToFile(folder, "lsplist.txt", "LSP List", nullptr, commandLine, kProgramWaitMs, true,
                             CREATE_NO_WINDOW, 0, LateProgram::End);
        }
    }
    DeleteFileA(programPath);
}

void CWindowsStuff::CaptureFilters(const char* folder)
{
    if (Logging == 0) return;
    VersionFacts facts;
    GatherVersionFacts(&facts);
    CaptureTool(folder, "fltmc.txt", "fltmc instances", "fltmc instances", FilterCaptureMark(facts));
}
