// The frameset, the head and foot of NAVI.html and the start page.
#include "app/app_state.h"
#include "products/product_catalog.h"
#include "report/page_writer.h"
#include "report/report_frame.h"
#include "tests/app/spine_fixture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using testing_support::ScratchFolder;

namespace {

const char kFramesetDoctype[] =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\" \"http://www.w3.org/TR/html4/frameset.dtd\">\n";

time_t g_fixedTime = 0;
time_t FixedClock() { return g_fixedTime; }

// 7 March 2011, 09:05:03 local time.
time_t March7th2011()
{
    struct tm local {};
    local.tm_year = 2011 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 7;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 3;
    local.tm_isdst = -1;
    return mktime(&local);
}

class ReportFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        spine::ClearStatusLines();
        spine::UseOutputRoot(scratch_.Path());
        strcpy(UserInfo.name, "Erika Mustermann");
        strcpy(UserInfo.company, "Muster & Co");
        strcpy(UserInfo.third, "T-4711");
        strcpy(ProgramVersion, "1.0.0.0");
        strcpy(OutputBase, "C:\\base\\");
        ExtendedCollection = 0;
        g_fixedTime = March7th2011();
        ReportClock = &FixedClock;
    }
    void TearDown() override { ReportClock = [] { return time(nullptr); }; }

    std::string Read(const char* name) const { return spine::ReadText(scratch_.Join(name)); }

    ScratchFolder scratch_{"frame"};
};

TEST_F(ReportFrameTest, NaviHeadCarriesUserAndLocalTimeThenAnchorLine)
{
    CreateNaviFile();
    EXPECT_EQ(NaviFontSize, -1);
    AddNaviLine("<A NAME=\"?IDX?\"></A>\n", 0, 2);
    std::string expected = std::string(kFramesetDoctype) +
                           "<HTML>" + testing_support::CharsetMeta() +
                           "<BODY BGCOLOR=#FFFFFF>\n<BODY TEXT=#000000>\n<TT>\n<B>\n"
                           "<FONT face=\"Arial\" color=#000000 size=\"2\">\n"
                           "<h2>Norvane Support Information File</h2><a href= \"START.html\" target=\"Inhalt\">\n"
                           "Name: Erika Mustermann\n<br>\nCompany: Muster &amp; Co\n<br>\n"
                           "Time, Date (LOC): 07.03.2011, 09:05:03\n</a></FONT>\n<BR><BR>\n"
                           "<FONT face=\"Arial\" color=#000000 size=2>\n"
                           "</FONT><FONT face=\"Arial\" size=2><A NAME=\"?IDX?\"></A>\n<BR>\n";
    EXPECT_EQ(Read("NAVI.html"), expected);
}

TEST_F(ReportFrameTest, CreateNaviFileReplacesAnOldFile)
{
    ASSERT_TRUE(testing_support::WriteFileBytes(scratch_.Join("NAVI.html"), "old content that must go"));
    CreateNaviFile();
    EXPECT_EQ(Read("NAVI.html").find("old content"), std::string::npos);
}

TEST_F(ReportFrameTest, IndexPageIsTheFramesetWithoutClosingTag)
{
    WriteIndexPage();
    std::string expected = std::string(kFramesetDoctype) +
                           "<html>\n<head>\n" + testing_support::CharsetMeta() +
                           "<title>Wardex Support Information - Erika Mustermann</title>\n"
                           "</head>\n  <frameset cols=\"280,*\">\n"
                           "    <frame src= \"NAVI.html\" name=\"Navigation\">\n"
                           "    <frame src=\"START.html\" name=\"Inhalt\">\n"
                           "  <noframes>\n    Ihr Browser kann diese Seite leider nicht anzeigen!\n  </noframes>\n"
                           "</html>\n";
    EXPECT_EQ(Read("INDEX.html"), expected);
}

std::string LabelRow(const std::string& label, const std::string& value)
{
    return "\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n\t\t<td width = \"20%\">" + label +
           ":</td>\n\t\t<td width = \"60%\"><strong>" + value + "</strong></td>\n\t\t</tr>\n\n";
}

TEST_F(ReportFrameTest, StartPageSummaryRowsInOrder)
{
    WriteStartPage();
    std::string page = Read("START.html");
    const std::string spacer =
        "\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n\t\t<td width = \"20%\">&nbsp;</td>\n"
        "\t\t<td width = \"60%\">&nbsp;</td>\n\t\t</tr>\n\n";
    std::string head = std::string(kFramesetDoctype) +
                       "<html>\n<head>\n" + testing_support::CharsetMeta() +
                       "<title>Wardex Support Information</title>\n</head>\n<body>\n"
                       "\t\t<font face=\"Arial\" size = \"3\">\n\t\t<table border = \"0\" width = \"100%\">\n\n";
    ASSERT_EQ(page.substr(0, head.size()), head);
    size_t at = head.size();
    auto expectNext = [&](const std::string& text) {
        ASSERT_EQ(page.substr(at, text.size()), text) << "at offset " << at;
        at += text.size();
    };
    expectNext(spacer);
    expectNext("\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n\t\t<td colspan = \"2\" width = \"80%\">&nbsp;&nbsp;"
               "<h1>Support Information File<br>Version: &nbsp;&nbsp; 1.0.0.0</h1></td>\n\t\t</tr>\n\n");
    expectNext("\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n\t\t<td width = \"20%\">&nbsp;<br>&nbsp;</td>\n"
               "\t\t<td width = \"60%\">&nbsp;<br>&nbsp;</td>\n\t\t</tr>\n\n");
    expectNext(LabelRow("Company", "Muster &amp; Co"));
    expectNext(LabelRow("Name", "Erika Mustermann"));
    expectNext(LabelRow("Ticket number", "T-4711"));
    expectNext(spacer);
    expectNext("\t\t<tr>\n\t\t<td width = \"20%\">&nbsp;</td>\n\t\t<td width = \"20%\">Time, Date (LOC):</td>\n"
               "\t\t<td width = \"60%\"><strong>07.03.2011, 09:05:03</strong></td>\n\t\t</tr>\n\n");
    struct tm utc = *gmtime(&g_fixedTime);
    char gmtRow[256];
    snprintf(gmtRow, sizeof gmtRow,
             "\t\t<tr>\n\t\t<td width = \"20%%\">&nbsp;</td>\n\t\t<td width = \"20%%\">Time, Date (GMT):</td>\n"
             "\t\t<td width = \"60%%\"><strong>%02d.%02d.%04d, %02d:%02d:%02d</strong></td>\n\t\t</tr>\n\n",
             utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    expectNext(gmtRow);
    expectNext(LabelRow("Time zone", _tzname[0]));
    expectNext(spacer);
    expectNext(LabelRow("Collection mode", "Standard collection"));
    expectNext(spacer);
    expectNext(LabelRow("Output folder", "C:\\base\\"));
    expectNext("\t\t<tr>\n");
    EXPECT_EQ(at, page.size());
}

TEST_F(ReportFrameTest, ExtendedModeNamesTextOneInRowTwelve)
{
    ExtendedCollection = 1;
    WriteStartPage();
    EXPECT_NE(Read("START.html").find(LabelRow("Collection mode", "Extended collection")), std::string::npos);
}

TEST_F(ReportFrameTest, ProductRowsFollowTheOpenRowThenTheFoot)
{
    WriteStartPage();
    std::string summary = Read("START.html");
    AddStartPageProductRows("Ordo", "C:\\Program Files\\Ordo\\");
    AddStartPageProductRows("Wardex Suite", "D:\\Suite\\");
    FinishStartPage();
    std::string expected = summary + LabelRow("Product", "Ordo") +
                           LabelRow("Installation folder", "C:\\Program Files\\Ordo\\") +
                           LabelRow("Product", "Wardex Suite") + LabelRow("Installation folder", "D:\\Suite\\") +
                           "</table>\n</font>\n</body>\n</html>\n";
    EXPECT_EQ(Read("START.html"), expected);
}

TEST_F(ReportFrameTest, NaviFootIsAppendedWithoutNewline)
{
    CreateNaviFile();
    FinishNaviFile();
    std::string navi = Read("NAVI.html");
    EXPECT_EQ(navi.substr(navi.size() - strlen("</TT></BODY></HTML>")), "</TT></BODY></HTML>");
}

TEST_F(ReportFrameTest, ProductSectionMakesFolderAnnouncesAndHeads)
{
    CreateDirectoryA(ProductBaseFolder, nullptr);
    CreateNaviFile();
    char folder[kPathSize];
    BeginProductSection("Ordo", folder, 213, "Wardex Ordo");
    EXPECT_EQ(std::string(folder), scratch_.Join("Wardex\\Ordo"));
    EXPECT_TRUE(testing_support::FolderExists(folder));
    EXPECT_EQ(spine::StatusLines().back(), "Collecting the data of the Wardex security product...");
    std::string navi = Read("NAVI.html");
    EXPECT_NE(navi.find("<hr noshade size=\"1\" align=\"left\">Wardex Ordo<hr noshade size=\"1\" align=\"left\">\n"),
              std::string::npos);
}

}  // namespace

namespace {

TEST_F(ReportFrameTest, CancelledRunKeepsNaviOpenButClosesTheStartPage)
{
    CreateNaviFile();
    WriteStartPage();
    CancelRequested = 1;
    {
        CRecovery recovery;
        CNorvaneProducts products;
        products.RunProductCatalog(recovery);
    }
    FinishStartPage();
    CancelRequested = 0;
    std::string navi = Read("NAVI.html");
    EXPECT_NE(navi.find(">Norvane<"), std::string::npos) << "the group heading is written after a cancel too";
    EXPECT_EQ(navi.find("</TT></BODY></HTML>"), std::string::npos);
    std::string start = Read("START.html");
    EXPECT_EQ(start.substr(start.size() - strlen("</table>\n</font>\n</body>\n</html>\n")),
              "</table>\n</font>\n</body>\n</html>\n");
}

TEST_F(ReportFrameTest, FinishedRunClosesTheNavigation)
{
    CreateNaviFile();
    CancelRequested = 0;
    CRecovery recovery;
    CNorvaneProducts products;
    products.RunProductCatalog(recovery);
    std::string navi = Read("NAVI.html");
    size_t heading = navi.find(">Norvane<");
    ASSERT_NE(heading, std::string::npos);
    EXPECT_EQ(navi.substr(navi.size() - strlen("</TT></BODY></HTML>")), "</TT></BODY></HTML>");
}

}  // namespace
