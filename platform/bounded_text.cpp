#include "platform/bounded_text.h"

#include "platform/win.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

template <typename Char>
size_t BoundedLength(const Char* text, size_t limit)
{
    size_t n = 0;
    while (n < limit && text[n] != 0) ++n;
    return n;
}

template <typename Char>
bool CopyBounded(Char* dst, size_t capacity, const Char* src)
{
    if (dst == nullptr || capacity == 0) return false;
    static const Char empty[1] = {0};
    if (src == nullptr) src = empty;
    size_t n = BoundedLength(src, capacity);
    bool fit = n < capacity;
    if (!fit) n = capacity - 1;
    memmove(dst, src, n * sizeof(Char));
    dst[n] = 0;
    return fit;
}

template <typename Char>
bool AppendBounded(Char* dst, size_t capacity, const Char* src)
{
    if (dst == nullptr || capacity == 0) return false;
    size_t used = BoundedLength(dst, capacity);
    if (used >= capacity) {  // unterminated input: terminate it, report the cut
        dst[capacity - 1] = 0;
        return false;
    }
    return CopyBounded(dst + used, capacity - used, src);
}

}  // namespace

bool CopyText(char* dst, size_t capacity, const char* src) { return CopyBounded(dst, capacity, src); }
bool AppendText(char* dst, size_t capacity, const char* src) { return AppendBounded(dst, capacity, src); }
bool CopyText(wchar_t* dst, size_t capacity, const wchar_t* src) { return CopyBounded(dst, capacity, src); }
bool AppendText(wchar_t* dst, size_t capacity, const wchar_t* src) { return AppendBounded(dst, capacity, src); }

bool FormatTextV(char* dst, size_t capacity, const char* format, va_list args)
{
    if (dst == nullptr || capacity == 0) return false;
    int n = vsnprintf(dst, capacity, format, args);
    dst[capacity - 1] = '\0';
    return n >= 0 && static_cast<size_t>(n) < capacity;
}

bool FormatText(char* dst, size_t capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool fit = FormatTextV(dst, capacity, format, args);
    va_end(args);
    return fit;
}

bool AppendFormat(char* dst, size_t capacity, const char* format, ...)
{
    if (dst == nullptr || capacity == 0) return false;
    size_t used = BoundedLength(dst, capacity);
    if (used >= capacity) {
        dst[capacity - 1] = '\0';
        return false;
    }
    va_list args;
    va_start(args, format);
    bool fit = FormatTextV(dst + used, capacity - used, format, args);
    va_end(args);
    return fit;
}

bool FormatTextV(wchar_t* dst, size_t capacity, const wchar_t* format, va_list args)
{
    if (dst == nullptr || capacity == 0) return false;
    int n = vswprintf(dst, capacity, format, args);
    dst[capacity - 1] = L'\0';
    if (n < 0) {
        // vswprintf reports a cut as failure; keep what fits, terminated.
        return false;
    }
    return static_cast<size_t>(n) < capacity;
}

bool FormatText(wchar_t* dst, size_t capacity, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool fit = FormatTextV(dst, capacity, format, args);
    va_end(args);
    return fit;
}

bool EndsWithBackslash(const char* text)
{
    size_t n = text ? strlen(text) : 0;
    return n > 0 && text[n - 1] == '\\';
}

bool EnsureTrailingBackslash(char* dst, size_t capacity)
{
    if (dst == nullptr || capacity == 0) return false;
    size_t n = BoundedLength(dst, capacity);
    if (n == 0 || n >= capacity) return n == 0;
    if (dst[n - 1] == '\\') return true;
    return AppendBounded(dst, capacity, "\\");
}

bool CopyPathFolder(char* dst, size_t capacity, const char* path)
{
    if (dst == nullptr || capacity == 0) return false;
    dst[0] = '\0';
    if (path == nullptr) return true;
    size_t end = (path[0] != '\0' && path[1] == ':') ? 2 : 0;
    for (size_t i = end; path[i] != '\0'; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1] != '\0') {
            ++i;
        } else if (path[i] == '\\' || path[i] == '/') {
            end = i + 1;
        }
    }
    const bool fit = end < capacity;
    const size_t n = fit ? end : capacity - 1;
    memcpy(dst, path, n);
    dst[n] = '\0';
    return fit;
}

bool JoinPath(char* dst, size_t capacity, const char* folder, const char* name)
{
    bool fit = CopyBounded(dst, capacity, folder);
    if (!EndsWithBackslash(dst)) fit = AppendBounded(dst, capacity, "\\") && fit;
    return AppendBounded(dst, capacity, name) && fit;
}

bool WideToAnsiText(const wchar_t* text, char* out, size_t capacity, bool* lossy)
{
    if (lossy != nullptr) *lossy = false;
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (text == nullptr) return true;
    // No best fit: a look-alike would pass for the real character.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    const char* defaultChar = "?";
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = &usedDefault;
    int needed = WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, defaultChar, usedDefaultOut);
    if (needed <= 0) {
        DWORD error = GetLastError();
        if (error != ERROR_INVALID_FLAGS && error != ERROR_INVALID_PARAMETER) return false;
        // UTF-8 as the ANSI code page takes neither the flag nor a default
        // character, and holds every character anyway.
        flags = 0;
        defaultChar = nullptr;
        usedDefaultOut = nullptr;
        needed = WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, nullptr);
        if (needed <= 0) return false;
    }
    std::string converted(static_cast<size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, text, -1, &converted[0], needed, defaultChar, usedDefaultOut) == 0) {
        return false;
    }
    if (lossy != nullptr) *lossy = usedDefault != FALSE;
    return CopyBounded(out, capacity, converted.c_str());
}

const char* HtmlEntityFor(char c)
{
    switch (c) {
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '&': return "&amp;";
    case '"': return "&quot;";
    default: return nullptr;
    }
}

bool AppendHtmlText(char* dst, size_t capacity, const char* src)
{
    if (dst == nullptr || capacity == 0) return false;
    size_t used = BoundedLength(dst, capacity);
    if (used >= capacity) {
        dst[capacity - 1] = '\0';
        return false;
    }
    if (src == nullptr) return true;
    for (const char* p = src; *p != '\0'; ++p) {
        const char* entity = HtmlEntityFor(*p);
        const size_t length = entity != nullptr ? strlen(entity) : 1;
        if (used + length >= capacity) {  // an entity is written whole or not at all
            dst[used] = '\0';
            return false;
        }
        if (entity != nullptr) {
            memcpy(dst + used, entity, length);
        } else {
            dst[used] = *p;
        }
        used += length;
    }
    dst[used] = '\0';
    return true;
}

bool CopyHtmlText(char* dst, size_t capacity, const char* src)
{
    if (dst == nullptr || capacity == 0) return false;
    dst[0] = '\0';
    return AppendHtmlText(dst, capacity, src);
}

namespace {

const char* AnsiCharsetName(unsigned codePage)
{
    static const struct {
        unsigned codePage;
        const char* name;
    } kCharsets[] = {
        {874, "windows-874"},   {932, "shift_jis"},     {936, "gbk"},           {949, "euc-kr"},
        {950, "big5"},          {1250, "windows-1250"}, {1251, "windows-1251"}, {1252, "windows-1252"},
        {1253, "windows-1253"}, {1254, "windows-1254"}, {1255, "windows-1255"}, {1256, "windows-1256"},
        {1257, "windows-1257"}, {1258, "windows-1258"},
    };
    for (const auto& charset : kCharsets) {
        if (charset.codePage == codePage) return charset.name;
    }
    return nullptr;
}

}  // namespace

bool FormatCharsetMeta(char* dst, size_t capacity, unsigned codePage)
{
    const char* name = AnsiCharsetName(codePage);
    if (name == nullptr) return CopyText(dst, capacity, "");
    return FormatText(dst, capacity, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=%s\">\n", name);
}
