// Table markup as it lands in a page file.
#include "report/table_writer.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <share.h>

#include <functional>
#include <string>

namespace {

// Runs `write` on a page file and returns its bytes with "\r\n" read back as "\n".
std::string Written(const std::function<void(Page)>& write)
{
    testing_support::ScratchFolder scratch("table-writer");
    std::string path = scratch.Join("table.html");
    Page page = _fsopen(path.c_str(), "w", _SH_DENYNO);
    EXPECT_NE(page, nullptr);
    write(page);
    fclose(page);
    std::string raw;
    testing_support::ReadFileBytes(path, &raw);
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        // A text-mode page writes every line end as CR LF and no lone CR.
        if (raw[i] == '\r') {
            EXPECT_TRUE(i + 1 < raw.size() && raw[i + 1] == '\n');
            continue;
        }
        text += raw[i];
    }
    return text;
}

TEST(TableWriterTest, TableTags)
{
    EXPECT_EQ(Written([](Page p) { WriteTableTag(1, 1, 0, 7, p); }),
              "<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=7>\n");
    EXPECT_EQ(Written([](Page p) { WriteTableTag(0, 9, 8, 7, p); }), "</TABLE>\n");
}

TEST(TableWriterTest, HeaderAndDataRows)
{
    EXPECT_EQ(Written([](Page p) { WriteTableRow("PID\tProcess\tPath", 1, p, nullptr, nullptr, 0); }),
              "<TR>\n<TH>PID</TH>\n<TH>Process</TH>\n<TH>Path</TH></TR>\n");
    EXPECT_EQ(Written([](Page p) { WriteTableRow("a\t\tc", 0, p, nullptr, nullptr, 0); }),
              "<TR>\n<TD>a</TD>\n<TD></TD>\n<TD>c</TD></TR>\n");
    EXPECT_EQ(Written([](Page p) { WriteTableRow("", 0, p, nullptr, nullptr, 0); }), "<TR>\n<TD></TD></TR>\n");
}

TEST(TableWriterTest, ExtraRowEndsWithoutLineEnd)
{
    std::string text = Written([](Page p) {
        WriteTableRow("C:\\\tFixed", 0, p, "Mapped to: ", "\\\\server\\share", 6);
        WriteTableRow("D:\\", 0, p, "Mapped to: ", nullptr, 6);  // one extra text only: no second row
    });
    EXPECT_EQ(text,
              "<TR>\n<TD>C:\\</TD>\n<TD>Fixed</TD></TR>\n"
              "<TR>\n<TD>Mapped to: </TD>\n<TD align=\"left\" rowspan=\"1\" colspan=\"6\">\\\\server\\share</TD>\n</TR>"
              "<TR>\n<TD>D:\\</TD></TR>\n");
    EXPECT_EQ(Written([](Page p) { WriteTableRow("x", 1, p, "L", "T", 2); }),
              "<TR>\n<TH>x</TH></TR>\n<TR>\n<TH>L</TH>\n<TH align=\"left\" rowspan=\"1\" colspan=\"2\">T</TH>\n</TR>");
}

// Rows are data: "%%" shows once, and conversions are never expanded.
TEST(TableWriterTest, PercentSignsAreNeverAFormat)
{
    EXPECT_EQ(Written([](Page p) { WriteTableRow("100%%\t%s%n%d\t%", 0, p, "%%x", "%s", 3); }),
              "<TR>\n<TD>100%</TD>\n<TD>%s%n%d</TD>\n<TD>%</TD></TR>\n"
              "<TR>\n<TD>%x</TD>\n<TD align=\"left\" rowspan=\"1\" colspan=\"3\">%s</TD>\n</TR>");
}

TEST(TableWriterTest, LongRowIsWrittenWhole)
{
    std::string cell(3000, 'z');
    std::string row = cell + "\t" + cell;
    EXPECT_EQ(Written([&](Page p) { WriteTableRow(row.c_str(), 0, p, nullptr, nullptr, 0); }),
              "<TR>\n<TD>" + cell + "</TD>\n<TD>" + cell + "</TD></TR>\n");
}

}  // namespace
