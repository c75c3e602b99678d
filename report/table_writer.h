// Plain HTML tables: a row is one text whose cells are separated by tabs.
#pragma once
#include "report/page_writer.h"

// open != 0: "<TABLE BORDER=.. CELLSPACING=.. CELLPADDING=..>"; else "</TABLE>".
void WriteTableTag(int open, int border, int cellSpacing, int cellPadding, Page page);
// One row (TH cells for a header row), and a second row with a label cell and
// one wide cell when both extra texts are given.
void WriteTableRow(const char* rowText, int header, Page page, const char* extraLabel, const char* extraText,
                   int columnSpan);
