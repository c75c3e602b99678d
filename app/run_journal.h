// What a run did, kept for its machine-readable summary: when it ran, the
// chain steps with their output, first status text and duration, the
// products found, and the failures the status functions and the page writer
// reported. Only the thread that began the run writes here.
#pragma once
#include <string>
#include <vector>

struct JournalStep {
    std::string output;  // the step's page or file, below SupportData
    std::string status;  // its first status text
    unsigned long milliseconds;
};

struct JournalProblem {
    std::string page;  // below SupportData; empty for a status line
    std::string text;
    int count;  // how often a page holds the text; 1 for a status line
};

struct JournalProduct {
    std::string displayName;
    std::string catalogEntry;  // the entry's registry key
    std::string installFolder;
    std::string mainFileVersion;
};

struct RunJournal {
    std::string startedUtc;  // ISO 8601
    std::vector<JournalStep> steps;
    std::vector<JournalProblem> problems;  // in the order they first occurred
    std::vector<JournalProduct> products;
};

// Starts an empty journal on the calling thread.
void JournalBeginRun();
// A chain step begins; the next JournalEndStep closes it with its duration.
void JournalBeginStep();
void JournalEndStep();
// The first page or file an open step links (below SupportData, "/"
// separators) is its output.
void JournalNoteOutput(const char* relativePath);
// Status texts: the first of an open step is its status text; `failure`
// marks a text that reports a failure.
void JournalNoteStatus(const char* text, bool failure);
// A failure met while writing `path` (a page or file of the tree); the same
// text of the same page is counted in one entry.
void JournalNoteProblem(const char* path, const char* text);
void JournalNoteProduct(const JournalProduct& product);
const RunJournal& Journal();

// The current time, UTC, as ISO 8601 ("2026-12-07T16:22:32Z").
std::string UtcTimestamp();
// `path` relative to OutputRoot with "/" separators; as it is when outside.
std::string TreeRelativePath(const char* path);
