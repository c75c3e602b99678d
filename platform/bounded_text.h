// Bounded text helpers: every result is terminated, nothing is written past
// the destination, and each call says whether the whole text fit. The array
// forms take the capacity from the array itself so no caller passes a size.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cwchar>

bool CopyText(char* dst, size_t capacity, const char* src);
bool AppendText(char* dst, size_t capacity, const char* src);
bool FormatTextV(char* dst, size_t capacity, const char* format, va_list args);
bool FormatText(char* dst, size_t capacity, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));
bool AppendFormat(char* dst, size_t capacity, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));

bool CopyText(wchar_t* dst, size_t capacity, const wchar_t* src);
bool AppendText(wchar_t* dst, size_t capacity, const wchar_t* src);
bool FormatTextV(wchar_t* dst, size_t capacity, const wchar_t* format, va_list args);
bool FormatText(wchar_t* dst, size_t capacity, const wchar_t* format, ...);

template <size_t N> bool CopyText(char (&dst)[N], const char* src) { return CopyText(dst, N, src); }
template <size_t N> bool AppendText(char (&dst)[N], const char* src) { return AppendText(dst, N, src); }
template <size_t N> bool CopyText(wchar_t (&dst)[N], const wchar_t* src) { return CopyText(dst, N, src); }
template <size_t N> bool AppendText(wchar_t (&dst)[N], const wchar_t* src) { return AppendText(dst, N, src); }

template <size_t N>
__attribute__((format(gnu_printf, 2, 3)))
bool FormatText(char (&dst)[N], const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool fit = FormatTextV(dst, N, format, args);
    va_end(args);
    return fit;
}

template <size_t N>
__attribute__((format(gnu_printf, 2, 3)))
bool AppendFormat(char (&dst)[N], const char* format, ...)
{
    size_t used = 0;
    while (used < N && dst[used] != '\0') ++used;
    if (used >= N) return false;
    va_list args;
    va_start(args, format);
    bool fit = FormatTextV(dst + used, N - used, format, args);
    va_end(args);
    return fit;
}

template <size_t N>
bool FormatText(wchar_t (&dst)[N], const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool fit = FormatTextV(dst, N, format, args);
    va_end(args);
    return fit;
}

// A wide text in the ANSI code page, cut to fit. True when it fit whole.
// A character the code page lacks becomes one '?', never a look-alike (a
// full-width '<' would turn into markup); *lossy (may be null) tells whether
// that happened, for such a name no longer names its file: its '?' is a
// wildcard to a file search.
bool WideToAnsiText(const wchar_t* text, char* out, size_t capacity, bool* lossy = nullptr);

// Ensures a folder text ends in a backslash (an empty text stays empty).
bool EnsureTrailingBackslash(char* dst, size_t capacity);
template <size_t N> bool EnsureTrailingBackslash(char (&dst)[N]) { return EnsureTrailingBackslash(dst, N); }

// True when text ends with a backslash.
bool EndsWithBackslash(const char* text);

// Copies the drive and folder of a path, through its last backslash or slash,
// as _splitpath splits them: "C:\\dir\\" of "C:\\dir\\file.exe", "C:" of
// "C:file", empty for a bare name. A trail byte of a double-byte character is
// no separator. True when the part fit (cut and terminated otherwise).
bool CopyPathFolder(char* dst, size_t capacity, const char* path);
template <size_t N> bool CopyPathFolder(char (&dst)[N], const char* path) { return CopyPathFolder(dst, N, path); }

// Joins folder and name with one backslash (added only when the folder does
// not already end in one).
bool JoinPath(char* dst, size_t capacity, const char* folder, const char* name);
template <size_t N> bool JoinPath(char (&dst)[N], const char* folder, const char* name)
{
    return JoinPath(dst, N, folder, name);
}

// ---- HTML text -------------------------------------------------------------
// Names, paths and values from the machine or the user are text in a page,
// never markup: '<', '>', '&' and '"' become entities (the quote too, so one
// copy serves in text and inside attribute values). A text that does not fit
// is cut between whole characters and entities, never inside an entity.

// The entity that stands for `c` in a page, or null when `c` stands for itself.
const char* HtmlEntityFor(char c);

// Room for the HTML form of a text held in `textSize` bytes: each byte takes
// at most six ("&quot;").
constexpr size_t HtmlTextSize(size_t textSize) { return textSize == 0 ? 1 : 6 * (textSize - 1) + 1; }

bool CopyHtmlText(char* dst, size_t capacity, const char* src);
bool AppendHtmlText(char* dst, size_t capacity, const char* src);
template <size_t N> bool CopyHtmlText(char (&dst)[N], const char* src) { return CopyHtmlText(dst, N, src); }
template <size_t N> bool AppendHtmlText(char (&dst)[N], const char* src) { return AppendHtmlText(dst, N, src); }

// The page head's line that names the character set of the page's texts,
// the ANSI code page `codePage`, by the name browsers know it by
// ("windows-1252", "shift_jis"); an empty text for a code page without one.
bool FormatCharsetMeta(char* dst, size_t capacity, unsigned codePage);
template <size_t N> bool FormatCharsetMeta(char (&dst)[N], unsigned codePage)
{
    return FormatCharsetMeta(dst, N, codePage);
}

// The HTML form of a text of up to TextSize - 1 bytes, held for one write:
//   AppendToPage(page, "Path: %s<br>\n", HtmlText<kPathSize>(path).c_str());
template <size_t TextSize>
class HtmlText {
public:
    explicit HtmlText(const char* text) { CopyHtmlText(text_, text); }
    const char* c_str() const { return text_; }

private:
    char text_[HtmlTextSize(TextSize)];
};
