// A scheduled task's definition read from its XML: who registered it, when
// it starts and what it runs. The XML is the task store's or the
// scheduler's text and is untrusted: sizes, counts and nesting are bounded
// and nothing recurses.
#pragma once
#include <string>
#include <vector>

struct TaskAction {
    enum class Kind { Exec, ComHandler, Other };
    Kind kind = Kind::Other;
    std::string command;    // Exec: the program; ComHandler: the class id; Other: the action's element name
    std::string arguments;  // Exec: the arguments; ComHandler: the data
};

struct TaskDefinition {
    std::string author;
    std::string description;
    bool enabled = true;
    bool hidden = false;
    std::string triggers;  // all triggers in one line ("at logon; daily from 2024-01-02T03:04:05")
    std::vector<TaskAction> actions;
};

// The largest definition read, in characters (task files are a few KiB).
constexpr size_t kMaxTaskDefinitionChars = 512 * 1024;

// False when the text is not a readable task definition: not well formed,
// nested too deeply, too long, or without a Task element. Texts are in the
// ANSI code page; each is cut to a few KiB.
bool ParseTaskDefinition(const std::wstring& xml, TaskDefinition* definition);
// The text of a task file: UTF-16 (with or without a byte order mark) or
// UTF-8. False when it does not decode.
bool DecodeTaskFile(const std::vector<char>& bytes, std::wstring& xml);
