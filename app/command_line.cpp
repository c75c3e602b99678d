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

}  // namespace

bool ParseCommandLine(const char* commandLine, CommandLineOptions* options, char* problem, size_t problemCapacity)
{
    if (problem != nullptr && problemCapacity > 0) problem[0] = '\0';
    if (options == nullptr || commandLine == nullptr) return true;
    char word[1024];
    char path[kPathSize];  // only checked here; read where it is used
    bool cut = false;
    for (const char* at = commandLine; NextWord(at, word, &cut);) {
        bool known = true;
        bool emptyPath = false;
        if (strcmp(word, "/UNATTENDED") == 0) options->unattended = true;
        else if (strcmp(word, "/EXTENDED") == 0) options->extended = true;
        else if (strcmp(word, "/NODESKTOP") == 0) options->noDesktop = true;
        else if (strcmp(word, "/REDACT") == 0) options->redact = true;
        else if (strcmp(word, "/?") == 0) options->help = true;
        else if (ReadTextOption(word, "/NAME=", options->name, sizeof options->name, &options->nameGiven)) {}
        else if (ReadTextOption(word, "/COMPANY=", options->company, sizeof options->company,
                                &options->companyGiven)) {}
        else if (ReadTextOption(word, "/TICKET=", options->ticket, sizeof options->ticket, &options->ticketGiven)) {}
        else if (ReadTextOption(word, "/HTMLPATH=", path, sizeof path, nullptr) ||
                 ReadTextOption(word, "/HOMEPATH=", path, sizeof path, nullptr)) {
            emptyPath = path[0] == '\0';
        } else {
            known = false;
        }
        if (!known || emptyPath || cut) {
            if (problem != nullptr) CopyText(problem, problemCapacity, word);
            return false;
        }
    }
    return true;
}
