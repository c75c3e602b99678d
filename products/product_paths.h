// Names and folders that come from the machine (registry values, settings
// files, the environment) made fit to become paths of the report: a value
// must never lead a copy or a folder outside the place meant for it.
#pragma once
#include "app/app_constants.h"
#include "info/registry.h"
#include "platform/bounded_text.h"
#include "products/product_data.h"

#include <cstddef>

// One folder or file name made from `text`: separators, ':' and the other
// characters Windows forbids in names, '%' (navigation lines collapse "%%"),
// control characters and every dot of a run of dots become '_', and so do
// trailing dots and blanks; a device name ("CON", "lpt1.txt") gets a '_' in
// front. Cut to `capacity`; never empty.
void MakeSafeName(const char* text, char* out, size_t capacity);
template <size_t N> void MakeSafeName(const char* text, char (&out)[N]) { MakeSafeName(text, out, N); }

// The folder `text` names, as an absolute path (drive or UNC) with "." and
// ".." resolved and a trailing backslash. False, with `out` empty, for an
// empty or relative text and for one that does not fit.
bool MakeFolderPath(const char* text, char* out, size_t capacity);
template <size_t N> bool MakeFolderPath(const char* text, char (&out)[N]) { return MakeFolderPath(text, out, N); }

// The name a copy of `name` gets. False when it does not fit (out is cut).
bool CopyTargetName(const char* name, TargetName convention, char* out, size_t capacity);
template <size_t N> bool CopyTargetName(const char* name, TargetName convention, char (&out)[N])
{
    return CopyTargetName(name, convention, out, N);
}

// `path` up to the first occurrence of `word` and one character after it
// ("C:\Apps\Cursus\bin\x.cfg", "Cursus" -> "C:\Apps\Cursus\"). Empty when the
// word does not occur: there is then no place to cut.
void CutAfterWord(const char* path, const char* word, char* out, size_t capacity);

// The drive and folder of the program that a command starts: the quoted
// program path, or the command as a whole when it is not quoted.
void CommandFolder(const char* command, char* out, size_t capacity);

// A text from the machine (a name, a folder) as a navigation line shows it:
// HTML text with every "%" doubled, for navigation lines collapse "%%".
class NaviText {
public:
    explicit NaviText(const char* text) { EscapePercent(HtmlText<kPathSize>(text).c_str(), text_, sizeof text_); }
    const char* c_str() const { return text_; }

private:
    char text_[2 * HtmlTextSize(kPathSize)];
};
