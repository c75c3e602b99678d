#include "report/page_writer.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "app/run_journal.h"
#include "info/redaction_run.h"
#include "platform/bounded_text.h"

#include <cstdarg>
#include <cstring>
#include <map>
#include <memory>
#include <share.h>
#include <string>
#include <vector>

namespace {

// The path of each page CreateReportPage opened, until it is finalized.
std::map<Page, std::string>& OpenPagePaths()
{
    static std::map<Page, std::string> paths;
    return paths;
}

const char kTransitionalDoctype[] =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
    "\"http://www.w3.org/TR/html4/loose.dtd\">\n";
const char kNaviRule[] = "<hr noshade size=\"1\" align=\"left\">";
constexpr size_t kCharsetMetaSize = 100;

std::string CollapsedPercent(const char* text)
{
    std::string collapsed;
    for (const char* p = text; *p != '\0'; ++p) {
        collapsed += *p;
        if (p[0] == '%' && p[1] == '%') ++p;
    }
    return collapsed;
}

// In a redacted run every text reaches a page through the page's filter,
// which carries what it has seen (an open tag, the start of a word) from one
// write to the next.
struct PageFilter {
    Page page;
    RedactionStream<char> stream;
};
std::vector<std::unique_ptr<PageFilter>> g_pageFilters;

PageFilter& FilterOf(Page page, RedactionMap& map)
{
    for (auto& filter : g_pageFilters) {
        if (filter->page == page) return *filter;
    }
    g_pageFilters.push_back(std::unique_ptr<PageFilter>(new PageFilter{page, RedactionStream<char>(map, RedactedText::Html)}));
    return *g_pageFilters.back();
}

// A stream of that address from before belonged to a page that is gone.
void ForgetFilter(Page page)
{
    for (size_t i = 0; i < g_pageFilters.size(); ++i) {
        if (g_pageFilters[i]->page == page) {
            g_pageFilters.erase(g_pageFilters.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

void PutPageText(Page page, const char* text, size_t length)
{
    RedactionMap* map = ActiveRedaction();
    if (map == nullptr) {
        fwrite(text, 1, length, page);
        return;
    }
    std::string filtered;
    FilterOf(page, *map).stream.Write(text, length, filtered);
    fwrite(filtered.data(), 1, filtered.size(), page);
}

void PutPageText(Page page, const std::string& text) { PutPageText(page, text.data(), text.size()); }

void FinishPageText(Page page)
{
    for (auto& filter : g_pageFilters) {
        if (filter->page != page) continue;
        std::string rest;
        filter->stream.Finish(rest);
        fwrite(rest.data(), 1, rest.size(), page);
        break;
    }
    ForgetFilter(page);
}

}  // namespace

void CollapseDoubledPercent(char* text)
{
    if (text == nullptr) return;
    char* out = text;
    for (const char* p = text; *p != '\0'; ++p) {
        *out++ = *p;
        if (p[0] == '%' && p[1] == '%') ++p;
    }
    *out = '\0';
}

Page CreateReportPage(const char* folder, const char* fileName, unsigned statusTextId, const char* caption,
                      const char* title, int announce)
{
    char path[kPathSize];
    if (!JoinPath(path, folder, fileName)) return nullptr;  // a cut path would name another file
    Page page = _fsopen(path, "w", _SH_DENYNO);
    if (page == nullptr) {
        JournalNoteProblem(path, "the page could not be created");
        return nullptr;
    }
    OpenPagePaths()[page] = path;
    ForgetFilter(page);
    NoteRedactedFile(path);
    if (announce == 1) CHarvinDlg::AnnounceStatus(statusTextId);
    AddNaviLink(caption, path, nullptr);
    WritePageHeader(page, title);
    AppendToPage(page, "<h2>%s</h2>\n", title);
    return page;
}

FILE* CHarvinDlg::CreateReportPage(const char* folder, const char* fileName, UINT statusTextId,
                                   const char* caption, const char* title, int announce)
{
    return ::CreateReportPage(folder, fileName, statusTextId, caption, title, announce);
}

void WritePageHeader(Page page, const char* title)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("couldn't create html file");
        return;
    }
    char meta[kCharsetMetaSize];
    FormatCharsetMeta(meta, GetACP());
    PutPageText(page, std::string(kTransitionalDoctype) + "<html>\n<head>\n" + meta + "<title>" +
                          (title != nullptr ? title : "") + "</title>\n</head>\n<body>\n<tt>\n");
}

void WriteCharsetMeta(Page page)
{
    char meta[kCharsetMetaSize];
    FormatCharsetMeta(meta, GetACP());
    fputs(meta, page);
}

void AppendToPage(Page page, const char* format, ...)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("Couldn't add content to html file!");
        return;
    }
    // Formatted into a buffer and written at once: printing straight to the
    // stream puts out a character at a time, and event logs write millions.
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[1024];
    const int length = vsnprintf(small, sizeof small, format, args);
    if (length >= 0 && static_cast<size_t>(length) < sizeof small) {
        PutPageText(page, small, static_cast<size_t>(length));
    } else if (length > 0) {
        std::string large(static_cast<size_t>(length) + 1, '\0');
        vsnprintf(&large[0], large.size(), format, again);
        PutPageText(page, large.data(), static_cast<size_t>(length));
    }
    va_end(again);
    va_end(args);
}

void AppendPercentText(Page page, const char* text)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("Couldn't add content to html file!");
        return;
    }
    PutPageText(page, CollapsedPercent(text != nullptr ? text : ""));
}

void AppendLiteral(Page page, const char* text)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("Couldn't add content to html file!");
        return;
    }
    if (text != nullptr) PutPageText(page, text, strlen(text));
}

void WriteHtmlText(Page page, const char* text)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("Couldn't add content to html file!");
        return;
    }
    std::string html;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        if (const char* entity = HtmlEntityFor(*p)) {
            html += entity;
        } else {
            html += *p;
        }
    }
    PutPageText(page, html);
}

void WriteHeading(Page page, const char* text) { AppendToPage(page, "<h2>%s</h2>\n", text); }

void WriteIndentedBlock(Page page, const char* text)
{
    AppendToPage(page, "\n<div style=\"margin-left: 40px;\">\n%s\n</div>\n", text);
}

void FinalizePage(Page page)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("couldn't finalize html file");
        return;
    }
    // The closing font tag has no opening tag in the page head: that is the page format.
    PutPageText(page, std::string("\n</font></tt>\n</body>\n</html>\n"));
    FinishPageText(page);
    OpenPagePaths().erase(page);
    fclose(page);
}

void PageSizeWatch::WillWrite(unsigned long long bytes)
{
    // A redacted run's placeholders may be longer than the words they replace.
    const unsigned long long most = ActiveRedaction() != nullptr ? 2 * bytes + 64 : bytes;
    upper_ = most > ~0ULL - upper_ ? ~0ULL : upper_ + most;
}

bool PageSizeWatch::Over()
{
    if (known_ && upper_ <= static_cast<unsigned long long>(limit_)) return false;
    const long bytes = page_ != nullptr ? ftell(page_) : 0;
    known_ = true;
    upper_ = bytes < 0 ? 0 : static_cast<unsigned long long>(bytes);
    return bytes > limit_;
}

void NotePageFailure(Page page, const char* text)
{
    if (page == nullptr || text == nullptr) return;
    auto found = OpenPagePaths().find(page);
    JournalNoteProblem(found != OpenPagePaths().end() ? found->second.c_str() : nullptr, text);
}

void AppendFailureText(Page page, const char* text)
{
    AppendLiteral(page, text);
    NotePageFailure(page, text);
}

void AddNaviLine(const char* text, unsigned flags, int level)
{
    char line[kNaviLineSize];
    line[0] = '\0';
    int size = (flags & NaviLarge) ? 4 : 2;
    if (size != NaviFontSize) {
        NaviFontSize = size;
        AppendFormat(line, "</FONT><FONT face=\"Arial\" size=%d>", size);
    }
    if (flags & NaviBreakBefore) AppendText(line, "<BR>");
    if ((flags & NaviRule) && level >= 2) AppendText(line, kNaviRule);
    AppendText(line, text != nullptr ? text : "");
    if (flags & NaviRule) AppendText(line, kNaviRule);
    if (!(flags & NaviNoBreakAfter)) AppendText(line, "<BR>");
    AppendText(line, "\n");

    char naviPath[kPathSize];
    if (!JoinPath(naviPath, OutputRoot, "NAVI.html")) return;
    FILE* navi = _fsopen(naviPath, "a", _SH_DENYNO);
    if (navi == nullptr) return;
    // The line is data, never a format: only the doubled percent signs collapse.
    std::string written = CollapsedPercent(line);
    if (RedactionMap* map = ActiveRedaction()) written = RedactText(*map, written, RedactedText::Html);
    fputs(written.c_str(), navi);
    fclose(navi);
}

bool MakeNaviRelativePath(const char* pagePath, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (pagePath == nullptr) return false;
    // The part below the output root; a page outside it keeps its whole path.
    const char* rest = pagePath;
    size_t rootLength = strlen(OutputRoot);
    if (rootLength > 0 && _strnicmp(pagePath, OutputRoot, rootLength) == 0) {
        rest = pagePath + rootLength;
        if (*rest == '\\' || *rest == '/') ++rest;
    } else if (const char* marker = strstr(pagePath, "SupportData")) {
        rest = marker + strlen("SupportData");
        if (*rest != '\0') ++rest;
    }
    bool fit = CopyText(out, capacity, "./");
    fit = AppendText(out, capacity, rest) && fit;
    for (char* p = out; *p != '\0'; ++p) {
        if (*p == '\\') *p = '/';
    }
    return fit;
}

// What a step links is what it wrote: the first link of a step names its
// output in the run's journal.
static void NoteStepOutput(const char* relative)
{
    char output[kNaviLinkSize];
    CopyText(output, relative);
    CollapseDoubledPercent(output);
    JournalNoteOutput(strncmp(output, "./", 2) == 0 ? output + 2 : output);
}

void AddNaviLink(const char* caption, const char* pagePath, const char* suffix)
{
    char relative[kNaviLinkSize];
    MakeNaviRelativePath(pagePath, relative, sizeof relative);
    NoteStepOutput(relative);
    char link[kNaviLinkSize];
    // A '"' or '&' of a file name must not end or bend the address, nor a '<'
    // of a caption open an element.
    CopyText(link, "<LI><A HREF=\"");
    AppendHtmlText(link, relative);
    if (suffix != nullptr) {
        AppendHtmlText(link, caption);
        AppendHtmlText(link, suffix);
    }
    AppendText(link, "\" target=\"Inhalt\">");
    AppendHtmlText(link, caption);
    AppendText(link, "</A>\n");
    AddNaviLine(link, 0, 2);
}

void AddNaviHeading(const char* text) { AddNaviLine(text, NaviRule | NaviNoBreakAfter, 2); }

void AddNaviGroupHeading(const char* text) { AddNaviLine(text, NaviLarge | NaviRule | NaviNoBreakAfter, 2); }

void AddNaviLabel(const char* text) { AddNaviLine(text, NaviBreakBefore | NaviNoBreakAfter, 2); }
