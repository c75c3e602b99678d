// The page writer and the navigation lines, byte for byte.
#include "app/app_state.h"
#include "report/page_writer.h"
#include "tests/app/spine_fixture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

using testing_support::ScratchFolder;

namespace {

const std::string kPageHead =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" \"http://www.w3.org/TR/html4/loose.dtd\">\n"
    "<html>\n<head>\n" + testing_support::CharsetMeta() +
    "<title>T &amp; <b></title>\n</head>\n<body>\n<tt>\n<h2>T &amp; <b></h2>\n";
const char kPageFoot[] = "\n</font></tt>\n</body>\n</html>\n";
const char kFontTag2[] = "</FONT><FONT face=\"Arial\" size=2>";
const char kFontTag4[] = "</FONT><FONT face=\"Arial\" size=4>";
const char kRule[] = "<hr noshade size=\"1\" align=\"left\">";

class PageWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        spine::ClearStatusLines();
        spine::UseOutputRoot(scratch_.Path());
        NaviFontSize = -1;
    }
    std::string Navi() const { return spine::ReadText(scratch_.Join("NAVI.html")); }

    ScratchFolder scratch_{"page-writer"};
};

TEST_F(PageWriterTest, PageHasExactHeadBodyAndFoot)
{
    Page page = CreateReportPage(scratch_.Path().c_str(), "p.html", 0, "Cap", "T &amp; <b>", 0);
    ASSERT_NE(page, nullptr);
    WriteHeading(page, "Head");
    WriteIndentedBlock(page, "Block");
    AppendToPage(page, "%d-%s", 7, "x");
    FinalizePage(page);

    std::string expected = kPageHead + "<h2>Head</h2>\n" +
                           "\n<div style=\"margin-left: 40px;\">\nBlock\n</div>\n" + "7-x" + kPageFoot;
    EXPECT_EQ(spine::ReadText(scratch_.Join("p.html")), expected);
    EXPECT_TRUE(spine::StatusLines().empty());
}

TEST_F(PageWriterTest, PageIsWrittenInTextModeAndLinkedOnce)
{
    Page page = CreateReportPage((scratch_.Path() + "\\").c_str(), "q.html", 0, "Caption", "Title", 0);
    ASSERT_NE(page, nullptr);
    FinalizePage(page);
    std::string raw;
    ASSERT_TRUE(testing_support::ReadFileBytes(scratch_.Join("q.html"), &raw));
    EXPECT_NE(raw.find("<html>\r\n"), std::string::npos);
    EXPECT_EQ(Navi(), std::string(kFontTag2) +
                          "<LI><A HREF=\"./q.html\" target=\"Inhalt\">Caption</A>\n<BR>\n");
}

TEST_F(PageWriterTest, AnnouncedPageShowsItsStatusText)
{
    Page page = CreateReportPage(scratch_.Path().c_str(), "a.html", 177, "C", "T", 1);
    ASSERT_NE(page, nullptr);
    FinalizePage(page);
    auto lines = spine::StatusLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Collecting the system information...");
    EXPECT_EQ(spine::StatusLineText(), lines[0]);
}

TEST_F(PageWriterTest, PageInMissingFolderGivesNoPageAndNullCallsReport)
{
    Page page = CreateReportPage(scratch_.Join("missing").c_str(), "x.html", 177, "C", "T", 1);
    EXPECT_EQ(page, nullptr);
    EXPECT_FALSE(testing_support::FileExists(scratch_.Join("NAVI.html")));
    EXPECT_TRUE(spine::StatusLines().empty()) << "nothing is announced for a page that did not open";

    WritePageHeader(nullptr, "T");
    AppendToPage(nullptr, "%s", "x");
    AppendPercentText(nullptr, "x");
    FinalizePage(nullptr);
    EXPECT_EQ(spine::StatusLines(),
              (std::vector<std::string>{"couldn't create html file", "Couldn't add content to html file!",
                                        "Couldn't add content to html file!", "couldn't finalize html file"}));
}

TEST_F(PageWriterTest, NavigationFontSizeSwitchesOnlyOnChange)
{
    AddNaviLine("first", 0, 2);
    AddNaviLine("second", NaviNoBreakAfter, 2);
    AddNaviGroupHeading("Windows");
    AddNaviHeading("Autostart");
    AddNaviLabel("Logfiles:");
    AddNaviLabel("");
    AddNaviLine("three", NaviBreakBefore, 3);
    AddNaviLine("ruled one", NaviRule, 1);

    std::string expected;
    expected += std::string(kFontTag2) + "first<BR>\n";
    expected += "second\n";
    expected += std::string(kFontTag4) + kRule + "Windows" + kRule + "\n";
    expected += std::string(kFontTag2) + kRule + "Autostart" + kRule + "\n";
    expected += "<BR>Logfiles:\n";
    expected += "<BR>\n";
    expected += "<BR>three<BR>\n";
    expected += std::string("ruled one") + kRule + "<BR>\n";
    EXPECT_EQ(Navi(), expected);
}

TEST_F(PageWriterTest, NavigationTextPercentSignsAreDataNotFormats)
{
    AddNaviLine("%%SystemRoot%% and %s%n and 100% and %%%", NaviNoBreakAfter, 2);
    EXPECT_EQ(Navi(), std::string(kFontTag2) + "%SystemRoot% and %s%n and 100% and %%\n");
}

TEST_F(PageWriterTest, LinksAreRelativeToTheOutputRoot)
{
    AddNaviLink("netstat.exe -anbo", (scratch_.Path() + "\\LOGs\\netstat.txt").c_str(), nullptr);
    AddNaviLink("file.log", (scratch_.Path() + "\\Wardex\\Ordo\\file.log").c_str(), ".html");
    EXPECT_EQ(Navi(), std::string(kFontTag2) +
                          "<LI><A HREF=\"./LOGs/netstat.txt\" target=\"Inhalt\">netstat.exe -anbo</A>\n<BR>\n"
                          "<LI><A HREF=\"./Wardex/Ordo/file.logfile.log.html\" target=\"Inhalt\">file.log</A>\n"
                          "<BR>\n");
}

// Captions and paths are names of files: text in the link and its address.
TEST_F(PageWriterTest, LinkCaptionsAndAddressesAreText)
{
    AddNaviLink("a&b <c>", (scratch_.Path() + "\\SYSInfo\\R&D.html").c_str(), nullptr);
    AddNaviLink("say \"hi\" & go.log", (scratch_.Path() + "\\LOGs\\").c_str(), ".html");
    EXPECT_EQ(Navi(), std::string(kFontTag2) +
                          "<LI><A HREF=\"./SYSInfo/R&amp;D.html\" target=\"Inhalt\">a&amp;b &lt;c&gt;</A>\n<BR>\n"
                          "<LI><A HREF=\"./LOGs/say &quot;hi&quot; &amp; go.log.html\" target=\"Inhalt\">"
                          "say &quot;hi&quot; &amp; go.log</A>\n<BR>\n");
}

TEST(NaviRelativePath, BaseFolderContainingTheWordSupportData)
{
    ScratchFolder base("SupportDataArchive");
    std::string root = base.Join("SupportData");
    CreateDirectoryA(root.c_str(), nullptr);
    spine::UseOutputRoot(root);
    char relative[kNaviLinkSize];
    ASSERT_TRUE(MakeNaviRelativePath((root + "\\SYSInfo\\SystemInformations.html").c_str(), relative,
                                     sizeof relative));
    EXPECT_STREQ(relative, "./SYSInfo/SystemInformations.html");
}

TEST(NaviRelativePath, PathOutsideTheRootNeverReadsPastTheText)
{
    spine::UseOutputRoot("C:\\elsewhere\\SupportData");
    char relative[64];
    memset(relative, 0xBD, sizeof relative);
    EXPECT_TRUE(MakeNaviRelativePath("D:\\other\\SupportData", relative, sizeof relative));
    EXPECT_STREQ(relative, "./");
    EXPECT_TRUE(MakeNaviRelativePath("D:\\plain\\x.txt", relative, sizeof relative));
    EXPECT_STREQ(relative, "./D:/plain/x.txt");
    char tiny[8];
    memset(tiny, 0xBD, sizeof tiny);
    EXPECT_FALSE(MakeNaviRelativePath("C:\\elsewhere\\SupportData\\LOGs\\long.txt", tiny, 6));
    EXPECT_STREQ(tiny, "./LOG");
    EXPECT_EQ(static_cast<unsigned char>(tiny[6]), 0xBD);
}

TEST_F(PageWriterTest, OverlongNavigationLineIsCutNotOverrun)
{
    std::string huge(5000, 'x');
    AddNaviLine(huge.c_str(), 0, 2);
    std::string navi = Navi();
    EXPECT_LT(navi.size(), kNaviLineSize);
    EXPECT_EQ(navi.substr(0, strlen(kFontTag2)), kFontTag2);
}

TEST(CollapseDoubledPercent, TurnsPairsIntoOneAndKeepsSingles)
{
    char text[] = "%%a%b%%%c%%%%";
    CollapseDoubledPercent(text);
    EXPECT_STREQ(text, "%a%b%%c%%");
}

}  // namespace

// The watch asks the page for its size rarely, yet says "over" at the very
// write the page passes its limit, whatever the sizes written (within what
// was announced) and however long a text formatted through the buffer is.
TEST_F(PageWriterTest, SizeWatchStopsAtTheWriteThatPassesTheLimit)
{
    Page page = CreateReportPage(scratch_.Path().c_str(), "watched.html", 0, "Cap", "T", 0);
    ASSERT_NE(page, nullptr);
    const long long limit = 300000;
    PageSizeWatch watch(page, limit);
    unsigned seed = 12345;
    int writes = 0;
    while (!watch.Over()) {
        ASSERT_LE(ftell(page), limit);
        seed = seed * 1103515245u + 12345u;
        const size_t length = (seed >> 8) % 3000;
        watch.WillWrite(length);
        AppendToPage(page, "%s", std::string(length, 'x').c_str());
        ++writes;
    }
    EXPECT_GT(ftell(page), limit);
    EXPECT_GT(writes, 150);
    FinalizePage(page);
}
