// The redactor's filters, one case per fault class: words that must stay,
// markup and entities that must not be cut, pieces of a stream, addresses
// and look-alikes, UTF-16.
#include "info/redaction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

class Redaction : public ::testing::Test {
protected:
    void SetUp() override
    {
        map_.AddWord(RedactionKind::User, L"john");
        map_.AddWord(RedactionKind::User, L"john.doe");
        map_.AddWord(RedactionKind::Host, L"  table  ");
        map_.AddWord(RedactionKind::Organization, L"A&B Bau");
        map_.AddWord(RedactionKind::Owner, L"J\u00FCrgen");
    }
    std::string Plain(const std::string& text) { return RedactText(map_, text, RedactedText::Plain); }
    std::string Html(const std::string& text) { return RedactText(map_, text, RedactedText::Html); }

    RedactionMap map_;
};

TEST_F(Redaction, WordsStandingAloneAreReplacedLongestFirstWithoutRegardToCase)
{
    EXPECT_EQ(Plain("C:\\Users\\JOHN\\x john.doe johnson john_1 john2"),
              "C:\\Users\\USER1\\x USER2 johnson USER1_1 john2");
    // The same word keeps its placeholder; a word met again gets no second one.
    EXPECT_FALSE(map_.AddWord(RedactionKind::Host, L"John"));
    EXPECT_EQ(Plain("John"), "USER1");
}

TEST_F(Redaction, ShortWordsWindowsOwnNamesAndPlaceholdersAreNotWords)
{
    for (const wchar_t* word : {L"ab", L" x ", L"Public", L"Default User", L"Administrator", L"user7", L"IP12"}) {
        EXPECT_FALSE(map_.AddWord(RedactionKind::User, word)) << static_cast<int>(word[0]);
    }
    EXPECT_EQ(Plain("ab Public (Default) USER1 IP12"), "ab Public (Default) USER1 IP12");
}

TEST_F(Redaction, MarkupStaysAndEntitiesAreReplacedWholeOrNotAtAll)
{
    // "table" is a word here: in text and in a link it goes, as a tag or
    // attribute name, or in an attribute value that is markup, it stays.
    EXPECT_EQ(Html("<table class=\"table\"><td title='table'>table</td></table>"),
              "<table class=\"table\"><td title='HOST1'>HOST1</td></table>");
    EXPECT_EQ(Html("<a href=\"./Users/john/x.txt\" target=\"john\">john&amp;</a><a name=\"john\">"),
              "<a href=\"./Users/USER1/x.txt\" target=\"john\">USER1&amp;</a><a name=\"USER1\">");
    // An entity counts as the one character it stands for.
    EXPECT_EQ(Html("A&amp;B Bau&nbsp;john&lt;x&#62;"), "ORG1&nbsp;USER1&lt;x&#62;");
    map_.AddWord(RedactionKind::User, L"amp");
    EXPECT_EQ(Html("&amp; amp &AMP"), "&amp; USER3 &USER3");
    EXPECT_EQ(Html("<!DOCTYPE HTML PUBLIC \"table\"><!-- john -->"), "<!DOCTYPE HTML PUBLIC \"table\"><!-- john -->");
}

TEST_F(Redaction, PiecesOfAStreamGiveTheWholeTextsResult)
{
    const std::string page = "<a href=\"x/john.doe\">Version: 10.1.2.3 A&amp;B Bau john</a> 10.1.2.3 at 10.1.2.4";
    const std::string whole = Html(page);
    EXPECT_EQ(whole, "<a href=\"x/USER2\">Version: 10.1.2.3 ORG1 USER1</a> IP1 at IP2");
    for (size_t size : {1u, 2u, 5u}) {
        RedactionMap map;
        map.AddWord(RedactionKind::User, L"john");
        map.AddWord(RedactionKind::User, L"john.doe");
        map.AddWord(RedactionKind::Organization, L"A&B Bau");
        RedactionStream<char> stream(map, RedactedText::Html);
        std::string out;
        for (size_t at = 0; at < page.size(); at += size) stream.Write(page.data() + at, std::min(size, page.size() - at), out);
        stream.Finish(out);
        EXPECT_EQ(out, whole) << "pieces of " << size;
    }
}

TEST_F(Redaction, AddressesOfMachinesAreReplacedLookAlikesStay)
{
    EXPECT_EQ(Plain("192.168.178.23:443 192.168.178.23 fe80::1c2d:3e4f%12 2001:db8::7334 00-1A-2B-3C-4D-5E "
                    "00:1a:2b:3c:4d:5e"),
              "IP1:443 IP1 IP2%12 IP3 MAC1 MAC2");
    // Loopback, unspecified, a network, masks, versions (also after their
    // label), grouped numbers, times and names that look like addresses.
    const std::string kept = "127.0.0.1 ::1 :: 0.0.0.0 192.168.1.0 255.255.255.128 Version: 6.1.7601.1 "
                             "FileVersion 2.0.1.5 57.084.084.224 1.2.3.4.5 v1.2.3.4 12:34:56 Add::Face "
                             "00-00-00-00-00-00 00-1A-2B-3C-4D 0a:0b";
    EXPECT_EQ(Plain(kept), kept);
}

TEST_F(Redaction, Utf16AndUtf8TextsMatchTheirFormsOfAWord)
{
    EXPECT_EQ(RedactText(map_, std::wstring(L"J\u00DCRGEN j\u00FCrgen J\u00FCrgens john"), RedactedText::Plain),
              L"OWNER1 OWNER1 J\u00FCrgens USER1");
    EXPECT_EQ(Plain("J\xC3\xBCrgen / J\xFCrgen"), "OWNER1 / OWNER1") << "UTF-8 and ANSI bytes";
}

}  // namespace
