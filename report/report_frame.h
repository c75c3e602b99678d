// The report's frame: INDEX.html (the frameset), the head and foot of
// NAVI.html, and START.html with the run's summary.
#pragma once
#include "report/findings_page.h"

#include <ctime>
#include <vector>

// Where the frame files read the current time from (time() in the program).
extern time_t (*ReportClock)();

// Deletes and recreates NAVI.html with its head; the navigation font size
// becomes -1 so the next line carries a font tag.
void CreateNaviFile();
// Writes INDEX.html. Ends the program (exit code 1) when it cannot be created.
void WriteIndexPage();
// Writes START.html up to the run summary. Ends the program (exit code 1)
// when it cannot be created.
void WriteStartPage();
// Two label rows for a detected product.
void AddStartPageProductRows(const char* productName, const char* installFolder);
// Creates ProductBaseFolder\subfolder (into `folder`, 260 bytes), announces
// the product and adds its navigation heading.
void BeginProductSection(const char* subfolder, char* folder, unsigned statusTextId, const char* caption);
void FinishNaviFile();
// Puts the findings block (the found checks, or "No findings.") above the
// user's details of START.html. False, the page unchanged, when it cannot.
bool AddStartPageFindings(const std::vector<FindingRow>& found);
void FinishStartPage();
