// Report pages and the lines of the navigation frame (NAVI.html).
// A page is an open text stream; a null page stands for "no page" and every
// operation accepts it.
#pragma once
#include <cstdio>

using Page = FILE*;

// Navigation line flags.
constexpr unsigned NaviLarge = 0x1;         // font size 4 instead of 2
constexpr unsigned NaviRule = 0x2;          // rule after the text (and before it from level 2)
constexpr unsigned NaviBreakBefore = 0x4;   // "<BR>" before the text
constexpr unsigned NaviNoBreakAfter = 0x8;  // no "<BR>" after the text

constexpr size_t kNaviLineSize = 3072;
constexpr size_t kNaviLinkSize = 1536;

// Opens `folder`\`fileName` for writing with shared access. On success
// announces `statusTextId` when announce is 1, links the page in NAVI.html,
// writes the page head and the title heading. Returns null when the file
// cannot be opened (nothing else happens then).
Page CreateReportPage(const char* folder, const char* fileName, unsigned statusTextId,
                      const char* caption, const char* title, int announce);
void WritePageHeader(Page page, const char* title);
// Every page's head names the character set its texts were written in
// (this system's ANSI code page), so a browser set to another one shows
// them as written; nothing for a code page without a name.
void WriteCharsetMeta(Page page);
// Formatted append; `format` is always a literal of the caller.
void AppendToPage(Page page, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
// Appends a text the way a format without values prints: each "%%" becomes
// "%", every other character (a single "%" included) is written unchanged.
void AppendPercentText(Page page, const char* text);
// Appends a text exactly as it is.
void AppendLiteral(Page page, const char* text);
// Appends data (a name, a path, a value) as text: its markup characters are
// written as entities (HtmlEntityFor), everything else as it is.
void WriteHtmlText(Page page, const char* text);
void WriteHeading(Page page, const char* text);
void WriteIndentedBlock(Page page, const char* text);
// Writes the page foot and closes the page.
void FinalizePage(Page page);
// Whether a page has grown past a size limit, asking the stream for its size
// only when what was written since it last asked could have passed the
// limit: under Wine each question is a call to the server, and an event log
// page asks once an event.
class PageSizeWatch {
public:
    PageSizeWatch(Page page, long long limit) : page_(page), limit_(limit) {}
    // What follows writes at most `bytes` before the next Over().
    void WillWrite(unsigned long long bytes);
    bool Over();

private:
    Page page_;
    long long limit_;
    bool known_ = false;
    unsigned long long upper_ = 0;  // the page's size at most, once known_
};

// A failure text of the program ("[Access Error]", "[not available]") is
// counted as a problem of its page in the run's summary: NotePageFailure
// counts one written with other text, AppendFailureText writes and counts.
// Collected data that merely looks like such a text is never counted.
void NotePageFailure(Page page, const char* text);
void AppendFailureText(Page page, const char* text);

// Turns each "%%" of `text` into "%" in place.
void CollapseDoubledPercent(char* text);

void AddNaviLine(const char* text, unsigned flags, int level);
// A list entry that opens `pagePath` (a path inside SupportData) in the
// right-hand frame. With a suffix the link names a placeholder page called
// after the caption. Caption and path are plain text (file names, often):
// they are written as HTML text, in the address and as the link text. Their
// "%" signs are doubled by the caller, as for every navigation line.
void AddNaviLink(const char* caption, const char* pagePath, const char* suffix);
void AddNaviHeading(const char* text);
void AddNaviGroupHeading(const char* text);
void AddNaviLabel(const char* text);

// The relative address ("./LOGs/netstat.txt") of a page inside OutputRoot.
bool MakeNaviRelativePath(const char* pagePath, char* out, size_t capacity);
