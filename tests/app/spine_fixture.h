// What the spine tests share: the English language library as resource
// module, a hidden main dialog whose status list and status line receive
// the status functions' output, and page reading helpers.
#pragma once
#include "platform/win.h"

#include <functional>
#include <string>
#include <vector>

namespace spine {

// Loads en-us\harvinr.dll and creates the hidden status dialog (once per
// test program; registered as a global test environment).
void EnsureEnvironment();
std::vector<std::string> StatusLines();
std::string StatusLineText();
void ClearStatusLines();

// A file's text with CR LF turned into LF (pages are text-mode streams).
std::string ReadText(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);

// Runs the collection worker on its own thread and serves its status
// messages until it has ended.
void RunWorker();
// Runs `action` on this thread when the next status line comes (the first of
// a run comes once the tree is made); the worker waits for it meanwhile.
void OnNextStatusLine(std::function<void()> action);

// Points the run's output tree at `root` (OutputRoot and its subfolders).
void UseOutputRoot(const std::string& root);

}  // namespace spine
