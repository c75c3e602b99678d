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
    bool olderGeneration = false;       // found by the former vendor's key
    std::string registryPage;           // below SupportData; empty when the line wrote none
    std::vector<std::string> services;  // its services and drivers; none for a recovery tool
};

// Error events of one source in the last 7 days, as an event log page showed them.
struct JournalErrorSource {
    std::string log;
    std::string source;
    int count;
};

// One program or library that starts by itself, as an autostart page lists it.
struct JournalAutostart {
    std::string kind;      // what starts it: "run-key", "startup-folder", "scheduled-task", ...
    std::string location;  // where it is kept: a registry key, a folder, a task path
    std::string name;      // the entry's name there
    std::string command;   // the command or data as stored
    std::string file;      // the program or library the command names, expanded; empty if none
};

// The signature of one file a page's entry named, as that entry showed it.
struct JournalSignature {
    std::string path;    // the file, as the entry named it
    std::string status;  // "valid", "not-signed", "not-trusted", "invalid", "expired", "not-available"
    std::string signer;  // UTF-8; empty when none
    bool catalog;
    unsigned long code;
};

struct RunJournal {
    std::string startedUtc;  // ISO 8601
    std::vector<JournalStep> steps;
    std::vector<JournalProblem> problems;  // in the order they first occurred
    std::vector<JournalProduct> products;
    std::vector<JournalAutostart> autostart;
    std::vector<std::string> eventLogsRead;  // the logs whose pages hold their events
    std::vector<JournalErrorSource> recentErrors;
    std::vector<JournalSignature> signatures;  // one per file, in the order first met
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
void JournalNoteAutostart(const JournalAutostart& entry);
// An event log was read to its end (or to the age or size limit of its page).
void JournalNoteEventLogRead(const char* log);
// One error event of `source`, younger than kRecentErrorDays, shown on the page of `log`.
void JournalNoteRecentError(const char* log, const char* source);
constexpr int kRecentErrorDays = 7;
// Kept once per path (letters A-Z in either case): the first entry that
// named the file tells.
void JournalNoteSignature(const JournalSignature& signature);
const RunJournal& Journal();

// The current time, UTC, as ISO 8601 ("2026-12-07T16:22:32Z").
std::string UtcTimestamp();
// `path` relative to OutputRoot with "/" separators; as it is when outside.
std::string TreeRelativePath(const char* path);
