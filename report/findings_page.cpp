#include "report/findings_page.h"

#include "app/app_state.h"
#include "app/run_journal.h"
#include "lang/resource_ids.h"
#include "platform/bounded_text.h"
#include "report/page_writer.h"

#include <share.h>

namespace {

std::string ResourceText(unsigned id)
{
    char text[kPathSize] = "";
    LoadResourceText(id, text);
    return text;
}

// "<font color=...>text</font>", or the text alone.
std::string Coloured(const char* colour, const std::string& html)
{
    if (colour == nullptr) return html;
    return std::string("<font color=\"") + colour + "\">" + html + "</font>";
}

void WriteHeadRow(Page page)
{
    AppendLiteral(page, "<tr>");
    for (unsigned id : {IDS_FINDINGS_COLUMN_SEVERITY, IDS_FINDINGS_COLUMN_CHECK, IDS_FINDINGS_COLUMN_RESULT,
                        IDS_FINDINGS_COLUMN_DETAILS}) {
        AppendLiteral(page, ("<th align=\"left\">" + HtmlString(ResourceText(id)) + "</th>").c_str());
    }
    AppendLiteral(page, "</tr>\n");
}

// A found check links its evidence page; Findings.html itself is no evidence to link.
std::string EvidenceLink(const FindingRow& row) { return row.found && row.page != kFindingsPageName ? row.page : ""; }

void WriteCheckRow(Page page, const FindingRow& row)
{
    const std::string link = EvidenceLink(row);
    std::string html = "<tr valign=\"top\">";
    html += "<td>" + Coloured(row.colour, "<strong>" + HtmlString(row.severity) + "</strong>") + "</td>";
    html += "<td>" + LinkOpen(link) + HtmlString(row.title) + LinkClose(link) + "<br><font size=\"1\">" +
            HtmlString(row.id) + "</font></td>";
    html += "<td>" + (row.found ? Coloured(row.colour, HtmlString(row.result)) : HtmlString(row.result)) + "</td>";
    html += "<td>" + (row.detail.empty() ? std::string("&nbsp;") : HtmlString(row.detail)) + "</td>";
    html += "</tr>\n";
    AppendLiteral(page, html.c_str());
}

}  // namespace

std::string HtmlString(const std::string& text)
{
    std::string html;
    html.reserve(text.size());
    for (char c : text) {
        if (const char* entity = HtmlEntityFor(c)) {
            html += entity;
        } else {
            html += c;
        }
    }
    return html;
}

std::string LinkOpen(const std::string& page)
{
    return page.empty() ? std::string() : "<a href=\"" + HtmlString(page) + "\">";
}

std::string LinkClose(const std::string& page) { return page.empty() ? std::string() : "</a>"; }

bool WriteFindingsPage(const std::vector<FindingRow>& rows)
{
    char path[kPathSize];
    if (!JoinPath(path, OutputRoot, kFindingsPageName)) return false;
    Page page = _fsopen(path, "w", _SH_DENYNO);
    if (page == nullptr) {
        JournalNoteProblem(path, "the page could not be created");
        return false;
    }
    const std::string title = HtmlString(ResourceText(IDS_FINDINGS_HEADING));
    WritePageHeader(page, title.c_str());
    AppendToPage(page, "<h2>%s</h2>\n", title.c_str());
    AppendLiteral(page, "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">\n");
    WriteHeadRow(page);
    for (const FindingRow& row : rows) WriteCheckRow(page, row);
    AppendLiteral(page, "</table>\n");
    FinalizePage(page);
    return true;
}
