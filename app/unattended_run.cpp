#include "app/unattended_run.h"

#include "app/app_state.h"
#include "app/collection_worker.h"
#include "app/findings.h"
#include "app/harvin_dlg.h"
#include "platform/bounded_text.h"

#include <cstdio>
#include <cstring>

namespace {

int ExitCodeOf(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::ArchiveComplete: return kExitArchiveComplete;
    case RunOutcome::ArchiveIncomplete: return kExitArchiveIncomplete;
    case RunOutcome::NoOutputLocation: return kExitNoOutputLocation;
    default: return kExitNoArchive;
    }
}

void ApplyUserDetails(const CommandLineOptions& options)
{
    // Without a person to type them, the defaults are the registered owner
    // and organization: a redacted run does not show them as the person's entries.
    if (options.redact) UserInfo.name[0] = UserInfo.company[0] = '\0';
    if (options.nameGiven) CopyText(UserInfo.name, options.name);
    if (options.companyGiven) CopyText(UserInfo.company, options.company);
    if (options.ticketGiven) CopyText(UserInfo.third, options.ticket);
    UserInfo.removePersonalData = options.redact;
    ExtendedCollection = options.extended ? 1 : 0;
}

// GATHINFO.TXT beside the archive, so a script finds what to fetch: the
// program, the exit code, the number of problems the findings show, and the
// archive's path as the last line. The path stays whole in a redacted run
// too: the note never leaves the machine (it is not in the archive), and a
// path with placeholders would name no file.
void WriteArchiveNote(int exitCode)
{
    char notePath[kPathSize];
    CopyText(notePath, ArchivePath);
    char* name = strrchr(notePath, '\\');
    if (name == nullptr || !CopyText(name + 1, sizeof notePath - static_cast<size_t>(name + 1 - notePath),
                                     "GATHINFO.TXT")) {
        return;
    }
    FILE* note = fopen(notePath, "wb");
    if (note == nullptr) return;
    fprintf(note, "Wardex Harvin %s\r\nexit code %d\r\nproblems found %d\r\n%s\r\n", ProgramVersion, exitCode,
            ProblemsFound(RunFindingResults()), ArchivePath);
    fclose(note);
}

}  // namespace

int RunUnattendedCollection(const CommandLineOptions& options)
{
    UnattendedRun = true;
    NoDesktopCopy = options.noDesktop;
    CHarvinDlg::LoadApplicationDefaults();
    ApplyUserDetails(options);
    CancelRequested = 0;
    CollectionRunning = 1;
    CollectionFinishedEvent = CreateEventA(nullptr, TRUE, FALSE, "WaitUntilCollectionFinished");
    CollectionWorker(nullptr);
    CollectionRunning = 0;
    if (CollectionFinishedEvent != nullptr) CloseHandle(CollectionFinishedEvent);
    CollectionFinishedEvent = nullptr;

    int exitCode = ExitCodeOf(LastRunOutcome);
    if (exitCode == kExitArchiveComplete || exitCode == kExitArchiveIncomplete) WriteArchiveNote(exitCode);
    return exitCode;
}
