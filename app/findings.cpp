#include "app/findings.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "report/findings_page.h"
#include "report/report_frame.h"

namespace {

constexpr DWORD kCancelPollMs = 100;

std::vector<FindingResult> g_results;

// One check on its own thread. The thread and the evaluation each hold a
// reference; an evaluation that stops waiting leaves the record to the thread.
struct CheckRun {
    volatile LONG references = 2;
    const FindingCheck* check = nullptr;
    FindingContext context;
    FindingOutcome outcome;
};

void Release(CheckRun* run)
{
    if (InterlockedDecrement(&run->references) == 0) delete run;
}

DWORD WINAPI DecideOnThread(void* parameter)
{
    auto* run = static_cast<CheckRun*>(parameter);
    run->outcome = run->check->decide(run->context);
    Release(run);
    return 0;
}

std::string ResourceText(unsigned id)
{
    char text[kPathSize] = "";
    LoadResourceText(id, text);
    return text;
}

FindingOutcome NoAnswerInTime(DWORD limitMs)
{
    char format[kPathSize] = "";
    char text[kPathSize] = "";
    LoadResourceText(IDS_FMT_FINDING_NO_ANSWER, format);
    FormatText(text, format, static_cast<int>((limitMs + 999) / 1000));
    return FindingOutcome{FindingState::NotAvailable, text, ""};
}

// False when the run was cancelled while the check was under way.
bool DecideWithinLimit(const FindingCheck& check, const FindingContext& context, FindingOutcome* outcome)
{
    auto* run = new CheckRun;
    run->check = &check;
    run->context = context;
    ScopedKernelHandle thread(CreateThread(nullptr, 0, &DecideOnThread, run, 0, nullptr));
    if (!thread) {
        // Without a thread of its own the check runs here, unbounded.
        run->references = 1;
        *outcome = check.decide(run->context);
        Release(run);
        return true;
    }
    const DWORD start = GetTickCount();
    bool finished = false;
    while (!finished && !IsCancelRequested() && GetTickCount() - start < context.sources.checkTimeoutMs) {
        finished = WaitForSingleObject(thread.Get(), kCancelPollMs) == WAIT_OBJECT_0;
    }
    if (finished) *outcome = run->outcome;
    const bool cancelled = !finished && IsCancelRequested();
    if (!finished && !cancelled) *outcome = NoAnswerInTime(context.sources.checkTimeoutMs);
    Release(run);
    return !cancelled;
}

const char* SeverityColour(FindingSeverity severity)
{
    switch (severity) {
    case FindingSeverity::Problem: return "#ff0000";
    case FindingSeverity::Warning: return "#ff8000";
    default: return nullptr;
    }
}

unsigned SeverityTextId(FindingSeverity severity)
{
    switch (severity) {
    case FindingSeverity::Problem: return IDS_SEVERITY_PROBLEM;
    case FindingSeverity::Warning: return IDS_SEVERITY_WARNING;
    default: return IDS_SEVERITY_NOTE;
    }
}

unsigned StateTextId(FindingState state)
{
    switch (state) {
    case FindingState::Found: return IDS_FINDING_FOUND;
    case FindingState::NotFound: return IDS_FINDING_NOT_FOUND;
    default: return IDS_FINDING_NOT_AVAILABLE;
    }
}

FindingRow RowOf(const FindingResult& result)
{
    FindingRow row;
    row.id = result.check->id;
    row.severity = ResourceText(SeverityTextId(result.check->severity));
    row.colour = SeverityColour(result.check->severity);
    row.title = FindingTitle(*result.check);
    row.result = ResourceText(StateTextId(result.outcome.state));
    row.found = result.outcome.state == FindingState::Found;
    row.detail = result.outcome.text;
    row.page = result.outcome.page;
    return row;
}

}  // namespace

FindingSources RunFindingSources = SystemFindingSources();

std::vector<FindingResult> EvaluateFindings(const FindingContext& context)
{
    std::vector<FindingResult> results;
    for (const FindingCheck& check : kFindingChecks) {
        if (IsCancelRequested()) break;
        FindingOutcome outcome;
        if (!DecideWithinLimit(check, context, &outcome)) break;
        if (outcome.state != FindingState::Found) outcome.page.clear();
        if (outcome.state == FindingState::Found && outcome.page.empty()) outcome.page = check.page;
        results.push_back(FindingResult{&check, outcome});
    }
    return results;
}

void RunFindings()
{
    g_results.clear();
    if (IsCancelRequested()) return;
    CHarvinDlg::AnnounceStatus(IDS_STATUS_FINDINGS);
    const FindingContext context{Journal(), OutputRoot, RunFindingSources};
    std::vector<FindingResult> results = EvaluateFindings(context);
    if (IsCancelRequested()) return;
    g_results = std::move(results);

    std::vector<FindingRow> rows;
    std::vector<FindingRow> found;
    for (const FindingResult& result : g_results) {
        rows.push_back(RowOf(result));
        if (rows.back().found) found.push_back(rows.back());
    }
    WriteFindingsPage(rows);
    if (!AddStartPageFindings(found)) JournalNoteProblem("START.html", "the findings could not be added");
}

const std::vector<FindingResult>& RunFindingResults() { return g_results; }

int ProblemsFound(const std::vector<FindingResult>& results)
{
    int problems = 0;
    for (const FindingResult& result : results) {
        if (result.outcome.state == FindingState::Found && result.check->severity == FindingSeverity::Problem) {
            ++problems;
        }
    }
    return problems;
}

std::string FindingTitle(const FindingCheck& check) { return ResourceText(check.titleId); }

const char* FindingSeverityName(FindingSeverity severity)
{
    switch (severity) {
    case FindingSeverity::Problem: return "problem";
    case FindingSeverity::Warning: return "warning";
    default: return "note";
    }
}
