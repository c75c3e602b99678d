#include "report/page_writer.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "app/run_journal.h"
#include "platform/bounded_text.h"

#include <cstdarg>
#include <cstring>
#include <map>
#include <share.h>
#include <string>

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

void WriteCollapsingPercent(FILE* stream, const char* text)
{
    for (const char* p = text; *p != '\0'; ++p) {
        fputc(*p, stream);
        if (p[0] == '%' && p[1] == '%') ++p;
    }
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
    fputs(kTransitionalDoctype, page);
    fputs("<html>\n<head>\n", page);
    WriteCharsetMeta(page);
    fprintf(page, "<title>%s</title>\n", title);
    fputs("</head>\n<body>\n<tt>\n", page);
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
    va_list args;
    va_start(args, format);
    vfprintf(page, format, args);
    va_end(args);
}

void AppendPercentText(Page page, const char* text)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("Couldn't add content to html file!");
        return;
    }
    WriteCollapsingPercent(page, text != nullptr ? text : "");
}

void AppendLiteral(Page page, const char* text)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("Couldn't add content to html file!");
        return;
    }
    fputs(text != nullptr ? text : "", page);
}

void WriteHtmlText(Page page, const char* text)
{
    if (page == nullptr) {
        CHarvinDlg::AddStatusLine("Couldn't add content to html file!");
        return;
    }
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        if (const char* entity = HtmlEntityFor(*p)) {
            fputs(entity, page);
        } else {
            fputc(*p, page);
        }
    }
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
    fputs("\n</font></tt>\n</body>\n</html>\n", page);
    OpenPagePaths().erase(page);
    fclose(page);
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
    WriteCollapsingPercent(navi, line);
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
