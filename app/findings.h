// Findings: checks over what the run collected, so that support sees first
// what to look at. Each check is a row of a table (kFindingChecks): its id,
// severity, title text, the function that decides it and the page that shows
// its evidence. Adding a check is adding a row and its function.
#pragma once
#include "app/run_journal.h"
#include "platform/win.h"

#include <string>
#include <vector>

enum class FindingSeverity { Problem, Warning, Note };
enum class FindingState { NotFound, Found, NotAvailable };

struct FindingOutcome {
    FindingState state = FindingState::NotAvailable;
    std::string text;  // found: one line of evidence; not available: why; not found: empty
    std::string page;  // found: the page with the evidence when it is not the check's own
};

// An antivirus or firewall product as Windows Security Center lists it.
struct SecurityProduct {
    std::string name;
    std::string programPath;
    bool firewall = false;  // else an antivirus product
    bool enabled = true;    // its state says it is on; true when it gives none
};

// What the checks ask beyond the run's journal and output tree. The system's
// own answers, or stand-ins where a test machine cannot give them.
struct FindingSources {
    // The products of Windows Security Center; false when it cannot be asked.
    bool (*securityCenter)(std::vector<SecurityProduct>* products);
    bool (*isAdministrator)();
    // Total bytes and bytes free to the caller on the volume of `root` ("C:\").
    bool (*diskSpace)(const char* root, ULONGLONG* totalBytes, ULONGLONG* freeBytes);
    DWORD checkTimeoutMs;  // a check that takes longer is not available
};

// What a check reads: copies, so that a check that overruns its time touches
// nothing the run goes on with.
struct FindingContext {
    RunJournal journal;
    std::string outputRoot;
    FindingSources sources;
};

struct FindingCheck {
    const char* id;
    FindingSeverity severity;
    unsigned titleId;
    FindingOutcome (*decide)(const FindingContext& context);
    const char* page;  // below SupportData, "/" separators
};

struct FindingResult {
    const FindingCheck* check;
    FindingOutcome outcome;  // its page filled in for a found check
};

extern const std::vector<FindingCheck> kFindingChecks;

FindingSources SystemFindingSources();
// The sources the run's checks use (tests put stand-ins here).
extern FindingSources RunFindingSources;

// Every check in table order, each on a thread of its own and given at most
// the sources' time limit. A cancel ends the evaluation: the checks not yet
// decided are left out.
std::vector<FindingResult> EvaluateFindings(const FindingContext& context);

// The run's findings: evaluated from the journal and the output tree, then
// Findings.html and the block at the head of START.html. Nothing after a cancel.
void RunFindings();
// What RunFindings found (empty before it ran).
const std::vector<FindingResult>& RunFindingResults();
// The found checks of severity problem.
int ProblemsFound(const std::vector<FindingResult>& results);

// Texts of the results, in the run's language.
std::string FindingTitle(const FindingCheck& check);
const char* FindingSeverityName(FindingSeverity severity);  // "problem", "warning", "note"
