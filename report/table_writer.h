// Plain HTML tables: a row is one text whose cells are separated by tabs.
// Cell texts are written unescaped; a doubled percent sign shows once and
// nothing in a row is ever used as a format.
#pragma once
#include "report/page_writer.h"

// open != 0: "<TABLE BORDER=.. CELLSPACING=.. CELLPADDING=..>\n"; else
// "</TABLE>\n" (the numbers are ignored).
void WriteTableTag(int open, int border, int cellSpacing, int cellPadding, Page page);
// One row (TH cells for a header row), and a second row with a label cell and
// one wide cell spanning `columnSpan` columns when both extra texts are given.
// That second row ends without a line end.
void WriteTableRow(const char* rowText, int header, Page page, const char* extraLabel, const char* extraText,
                   int columnSpan);
