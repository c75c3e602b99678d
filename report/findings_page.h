// The findings as the report shows them: Findings.html in OutputRoot, which
// lists every check with its result, and the block of the found ones that
// heads START.html (report_frame.h).
#pragma once
#include <string>
#include <vector>

// One check as a page shows it. The texts are plain text: the writers escape them.
struct FindingRow {
    std::string id;
    std::string severity;          // its text in the run's language
    const char* colour = nullptr;  // of the severity text; null: none
    std::string title;
    std::string result;            // "found", "not found", "not available"
    bool found = false;
    std::string detail;            // the evidence, or why the check could not decide
    std::string page;              // below SupportData, "/" separators; empty: no link
};

constexpr char kFindingsPageName[] = "Findings.html";

// Writes Findings.html. False (the problem noted in the run's journal) when
// it cannot be created.
bool WriteFindingsPage(const std::vector<FindingRow>& rows);
// `text` with every markup character as its entity (HtmlEntityFor).
std::string HtmlString(const std::string& text);
// The opening tag of a link to `page` (a page of the tree; null or empty: no
// link, empty text) and its closing tag.
std::string LinkOpen(const std::string& page);
std::string LinkClose(const std::string& page);
