#include "app/run_journal.h"

#include "app/app_state.h"
#include "platform/bounded_text.h"

#include <cstring>
#include <set>
#include <map>
#include <utility>

namespace {

// Distinct texts kept: a machine that fails the same way everywhere gives
// counts, but data in a failure text could make each one new.
constexpr size_t kMostProblems = 10000;

RunJournal g_journal;
// Where each page's text is in the problem list.
std::map<std::pair<std::string, std::string>, size_t> g_pageProblemIndex;
DWORD g_journalThread = 0;
bool g_stepOpen = false;
std::set<std::string> g_signedPaths;
DWORD g_stepStartTick = 0;

bool OnJournalThread() { return g_journalThread != 0 && GetCurrentThreadId() == g_journalThread; }

}  // namespace

std::string UtcTimestamp()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    FormatText(text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
               now.wSecond);
    return text;
}

std::string TreeRelativePath(const char* path)
{
    if (path == nullptr) return "";
    size_t rootLength = strlen(OutputRoot);
    std::string relative = path;
    if (rootLength > 0 && _strnicmp(path, OutputRoot, rootLength) == 0 && path[rootLength] == '\\') {
        relative = path + rootLength + 1;
    }
    for (char& c : relative) {
        if (c == '\\') c = '/';
    }
    return relative;
}

void JournalBeginRun()
{
    g_journal = RunJournal();
    g_journal.startedUtc = UtcTimestamp();
    g_pageProblemIndex.clear();
    g_journalThread = GetCurrentThreadId();
    g_stepOpen = false;
    g_signedPaths.clear();
}

void JournalBeginStep()
{
    if (!OnJournalThread()) return;
    g_journal.steps.push_back(JournalStep{"", "", 0});
    g_stepOpen = true;
    g_stepStartTick = GetTickCount();
}

void JournalEndStep()
{
    if (!OnJournalThread() || !g_stepOpen) return;
    g_journal.steps.back().milliseconds = GetTickCount() - g_stepStartTick;
    g_stepOpen = false;
}

void JournalNoteOutput(const char* relativePath)
{
    if (!OnJournalThread() || !g_stepOpen || relativePath == nullptr) return;
    if (g_journal.steps.back().output.empty()) g_journal.steps.back().output = relativePath;
}

void JournalNoteStatus(const char* text, bool failure)
{
    if (!OnJournalThread() || text == nullptr) return;
    if (g_stepOpen && g_journal.steps.back().status.empty()) g_journal.steps.back().status = text;
    if (failure && g_journal.problems.size() < kMostProblems) g_journal.problems.push_back(JournalProblem{"", text, 1});
}

void JournalNoteProblem(const char* path, const char* text)
{
    if (!OnJournalThread() || text == nullptr) return;
    auto key = std::make_pair(TreeRelativePath(path), std::string(text));
    auto found = g_pageProblemIndex.find(key);
    if (found != g_pageProblemIndex.end()) {
        ++g_journal.problems[found->second].count;
        return;
    }
    if (g_journal.problems.size() >= kMostProblems) return;
    g_pageProblemIndex.emplace(key, g_journal.problems.size());
    g_journal.problems.push_back(JournalProblem{key.first, key.second, 1});
}

void JournalNoteProduct(const JournalProduct& product)
{
    if (!OnJournalThread()) return;
    g_journal.products.push_back(product);
}

void JournalNoteAutostart(const JournalAutostart& entry)
{
    if (!OnJournalThread()) return;
    g_journal.autostart.push_back(entry);
}

void JournalNoteEventLogRead(const char* log)
{
    if (!OnJournalThread() || log == nullptr) return;
    g_journal.eventLogsRead.push_back(log);
}

void JournalNoteRecentError(const char* log, const char* source)
{
    if (!OnJournalThread() || log == nullptr || source == nullptr) return;
    for (JournalErrorSource& known : g_journal.recentErrors) {
        if (known.log == log && known.source == source) {
            ++known.count;
            return;
        }
    }
    g_journal.recentErrors.push_back(JournalErrorSource{log, source, 1});
}

void JournalNoteSignature(const JournalSignature& signature)
{
    if (!OnJournalThread()) return;
    // Names compare without case, as the file system does.
    std::string key = signature.path;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (!g_signedPaths.insert(key).second) return;
    g_journal.signatures.push_back(signature);
}

const RunJournal& Journal() { return g_journal; }
