// Plain HTML tables for the column pages (processes, drives).
#include "report/table_writer.h"

#include <string>

void WriteTableTag(int open, int border, int cellSpacing, int cellPadding, Page page)
{
    if (open != 0) {
        AppendToPage(page, "<TABLE BORDER=%d CELLSPACING=%d CELLPADDING=%d>\n", border, cellSpacing, cellPadding);
    } else {
        AppendToPage(page, "</TABLE>\n");
    }
}

void WriteTableRow(const char* rowText, int header, Page page, const char* extraLabel, const char* extraText,
                   int columnSpan)
{
    const char* cell = header ? "TH" : "TD";
    // Rows are built without a fixed limit, so a long row is neither cut nor lost.
    std::string markup = "<TR>\n<";
    markup += cell;
    markup += '>';
    for (const char* p = rowText != nullptr ? rowText : ""; *p != '\0'; ++p) {
        if (*p == '\t') {
            markup += "</";
            markup += cell;
            markup += ">\n<";
            markup += cell;
            markup += '>';
        } else {
            markup += *p;
        }
    }
    markup += "</";
    markup += cell;
    markup += "></TR>\n";

    if (extraLabel != nullptr && extraText != nullptr) {
        markup += "<TR>\n<";
        markup += cell;
        markup += '>';
        markup += extraLabel;
        markup += "</";
        markup += cell;
        markup += ">\n<";
        markup += cell;
        markup += " align=\"left\" rowspan=\"1\" colspan=\"" + std::to_string(columnSpan) + "\">";
        markup += extraText;
        markup += "</";
        markup += cell;
        markup += ">\n</TR>";  // no line end: the next row continues this line
    }
    // The row is data: only doubled percent signs collapse, nothing is a conversion.
    AppendPercentText(page, markup.c_str());
}
