#include "app/command_line.h"

#include "platform/bounded_text.h"

#include <cstring>

namespace {

// The next word: blanks end it unless inside double quotes; the quotes
// themselves are dropped. `at` moves past the word. False at the end.
bool NextWord(const char*& at, char (&word)[1024], bool* cut)
{
    while (*at == ' ' || *at == '\t') ++at;
    if (*at == '\0') return false;
    size_t used = 0;
    bool quoted = false;
    *cut = false;
    for (; *at != '\0' && (quoted || (*at != ' ' && *at != '\t')); ++at) {
        if (*at == '"') {
            quoted = !quoted;
            continue;
        }
        if (used + 1 < sizeof word) {
            word[used++] = *at;
        } else {
            *cut = true;
        }
    }
    word[used] = '\0';
    return true;
}

bool ReadTextOption(const char* word, const char* key, char* text, size_t capacity, bool* given)
{
    size_t keyLength = strlen(key);
    if (strncmp(word, key, keyLength) != 0) return false;
    CopyText(text, capacity, word + keyLength);
    if (given != nullptr) *given = true;
    return true;
}

// "/HTMLPATH=" or "/HOMEPATH=": false when `word` is neither. A value that
// is no absolute path, or does not fit, is refused and never used.
bool ReadPathOption(const char* word, CommandLineOptions* options, bool* refused)
{
    struct PathOption {
        const char* key;
        char* value;
        bool* given;
    };
    const PathOption kinds[] = {{"/HTMLPATH=", options->htmlPath, &options->htmlPathGiven},
                                {"/HOMEPATH=", options->homePath, &options->homePathGiven}};
    for (const PathOption& kind : kinds) {
        const size_t keyLength = strlen(kind.key);
        if (strncmp(word, kind.key, keyLength) != 0) continue;
        const char* value = word + keyLength;
        *refused = !IsAbsolutePathOption(value) || strlen(value) >= kPathSize;
        if (*refused) {
            if (options->refusedPath[0] == '\0') CopyText(options->refusedPath, word);
            return true;
        }
        CopyText(kind.value, kPathSize, value);
        *kind.given = true;
        return true;
    }
    return false;
}

}  // namespace

bool IsAbsolutePathOption(const char* value)
{
    if (value == nullptr || strchr(value, '/') != nullptr) return false;
    const bool letter = (value[0] >= 'A' && value[0] <= 'Z') || (value[0] >= 'a' && value[0] <= 'z');
    if (letter && value[1] == ':' && value[2] == '\\') return true;
    if (value[0] != '\\' || value[1] != '\\' || value[2] == '\0' || value[2] == '\\') return false;
    const bool device = (value[2] == '.' || value[2] == '?') && (value[3] == '\\' || value[3] == '\0');
    return !device;
}

bool ParseCommandLine(const char* commandLine, CommandLineOptions* options, char* problem, size_t problemCapacity)
{
    if (problem != nullptr && problemCapacity > 0) problem[0] = '\0';
    if (options == nullptr || commandLine == nullptr) return true;
    char word[1024];
    bool cut = false;
    bool valid = true;
    for (const char* at = commandLine; NextWord(at, word, &cut);) {
        bool known = true;
        bool refused = false;
        if (strcmp(word, "/UNATTENDED") == 0) options->unattended = true;
        else if (strcmp(word, "/EXTENDED") == 0) options->extended = true;
        else if (strcmp(word, "/NODESKTOP") == 0) options->noDesktop = true;
        else if (strcmp(word, "/REDACT") == 0) options->redact = true;
        else if (strcmp(word, "/?") == 0) options->help = true;
        else if (ReadTextOption(word, "/NAME=", options->name, sizeof options->name, &options->nameGiven)) {}
        else if (ReadTextOption(word, "/COMPANY=", options->company, sizeof options->company,
                                &options->companyGiven)) {}
        else if (ReadTextOption(word, "/TICKET=", options->ticket, sizeof options->ticket, &options->ticketGiven)) {}
        else if (ReadPathOption(word, options, &refused)) {}
        else known = false;
        if ((!known || refused || cut) && valid) {
            if (problem != nullptr) CopyText(problem, problemCapacity, word);
            valid = false;
        }
    }
    return valid;
}
