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
bool WideToAnsiText(const wchar_t* text, char* out, size_t capacity);

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
