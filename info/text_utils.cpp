// Small text helpers for registry and command texts (blanks are spaces only).
#include "info/registry.h"

#include "platform/bounded_text.h"

#include <cctype>
#include <cstring>
#include <string>

void TrimTrailingBlanks(char* text)
{
    if (text == nullptr) return;
    size_t n = strlen(text);
    while (n > 0 && text[n - 1] == ' ') --n;
    text[n] = '\0';
}

void TrimLeadingBlanks(char* text)
{
    if (text == nullptr) return;
    size_t skip = 0;
    while (text[skip] == ' ') ++skip;
    if (skip > 0) memmove(text, text + skip, strlen(text + skip) + 1);
}

namespace {

char Lower(char c) { return static_cast<char>(tolower(static_cast<unsigned char>(c))); }

// First occurrence of `token` in `text`, or null. An empty token is never found.
const char* FindToken(const char* text, const char* token, bool ignoreCase)
{
    if (text == nullptr || token == nullptr || token[0] == '\0') return nullptr;
    for (const char* start = text; *start != '\0'; ++start) {
        size_t i = 0;
        while (token[i] != '\0' && start[i] != '\0' &&
               (ignoreCase ? Lower(start[i]) == Lower(token[i]) : start[i] == token[i])) {
            ++i;
        }
        if (token[i] == '\0') return start;
        if (start[i] == '\0') return nullptr;  // the rest is shorter than the token
    }
    return nullptr;
}

// Built apart from `out` first, so `out` may be `text` itself.
void ReplaceFirstToken(const char* text, const char* token, const char* replacement, char* out, size_t capacity,
                       bool ignoreCase)
{
    if (out == nullptr || capacity == 0) return;
    if (text == nullptr) text = "";
    std::string result;
    const char* found = FindToken(text, token, ignoreCase);
    if (found == nullptr) {
        result = text;
    } else {
        result.assign(text, found);
        result += replacement != nullptr ? replacement : "";
        result += found + strlen(token);
    }
    CopyText(out, capacity, result.c_str());
}

}  // namespace

bool ContainsNoCase(const char* text, const char* token)
{
    if (token != nullptr && token[0] == '\0') return text != nullptr;
    return FindToken(text, token, true) != nullptr;
}

void ReplaceFirstNoCase(const char* text, const char* token, const char* replacement, char* out, size_t capacity)
{
    ReplaceFirstToken(text, token, replacement, out, capacity, true);
}

void ReplaceFirst(const char* text, const char* token, const char* replacement, char* out, size_t capacity)
{
    ReplaceFirstToken(text, token, replacement, out, capacity, false);
}
