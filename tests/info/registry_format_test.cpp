// Value lines, percent escaping and the text utilities: no registry needed.
#include "info/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kSentinel = static_cast<char>(0xBD);

struct Formatted {
    std::string line;
    std::string dataText;
    std::string name;
};

Formatted Format(DWORD type, const char* name, const std::string& data, size_t lineCapacity = 3640)
{
    char nameBuffer[300];
    strcpy(nameBuffer, name);
    std::vector<char> line(lineCapacity + 8, kSentinel);
    char dataText[260 + 8];
    memset(dataText, kSentinel, sizeof dataText);
    FormatRegistryValue(type, nameBuffer, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()), line.data(), lineCapacity, dataText);
    for (size_t i = lineCapacity; i < line.size(); ++i) EXPECT_EQ(line[i], kSentinel);
    for (size_t i = 260; i < sizeof dataText; ++i) EXPECT_EQ(dataText[i], kSentinel);
    return {line.data(), dataText, nameBuffer};
}

TEST(FormatRegistryValueTest, LinesByType)
{
    Formatted text = Format(REG_SZ, "Path", std::string("C:\\100%\\a.exe\0", 14));
    EXPECT_EQ(text.line, "Path = C:\\100%\\a.exe");
    EXPECT_EQ(text.dataText, "C:\\100%%\\a.exe");

    Formatted unnamed = Format(REG_EXPAND_SZ, "", std::string("%SystemRoot%\0", 13));
    EXPECT_EQ(unnamed.name, "(Default)");
    EXPECT_EQ(unnamed.line, "(Default) = %SystemRoot%");
    EXPECT_EQ(unnamed.dataText, "%%SystemRoot%%");

    // Data without a terminator ends at its length, not at the next zero byte.
    char name[16] = "s";
    char line[32];
    char dataText[260];
    FormatRegistryValue(REG_SZ, name, reinterpret_cast<const BYTE*>("abcXYZ"), 3, line, sizeof line, dataText);
    EXPECT_STREQ(line, "s = abc");
    EXPECT_STREQ(dataText, "abc");

    // The other types are checked through the key listing; here the edges of their data.
    EXPECT_EQ(Format(REG_MULTI_SZ, "m", std::string("one\0two", 7)).line, "m = one two");
    EXPECT_EQ(Format(REG_MULTI_SZ, "m", std::string("one\0two\0\0", 9)).dataText, "");
    EXPECT_EQ(Format(REG_DWORD, "d", std::string("\x01\x02", 2)).line, "d = 0x00000201");
    EXPECT_EQ(Format(REG_NONE, "", "").line, "Unknown Registry Value Type");
}

TEST(FormatRegistryValueTest, BinaryIsCutToTheLine)
{
    std::string ten("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A", 10);
    // 40 / 5 = 8 bytes fit the rule; 10 are more, so 8 - len("bin") - 1 = 4 are shown.
    EXPECT_EQ(Format(REG_BINARY, "bin", ten, 40).line, "\\bin = 0x01 0x02 0x03 0x04 ");
    // Exactly at the limit the rule does not cut, but the line still holds only whole bytes.
    EXPECT_EQ(Format(REG_BINARY, "bin", ten.substr(0, 8), 40).line, "\\bin = 0x01 0x02 0x03 0x04 0x05 0x06 ");
    // A name longer than the room leaves no byte at all.
    EXPECT_EQ(Format(REG_BINARY, "verylongname", ten, 40).line, "\\verylongname = ");
    // Strings are cut at the line's end too.
    EXPECT_EQ(Format(REG_SZ, "s", std::string(100, 'x') + '\0', 16).line, "s = " + std::string(11, 'x'));
}

TEST(EscapePercentTest, DoublesEverySignWithinCapacity)
{
    char out[16];
    EscapePercent("50% of %PATH%", out, sizeof out);
    EXPECT_STREQ(out, "50%% of %%PATH");  // the last doubled sign does not fit whole
    EscapePercent("plain", out, sizeof out);
    EXPECT_STREQ(out, "plain");
    char tiny[3];
    EscapePercent("a%b", tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "a");
}

TEST(TextUtilitiesTest, TrimContainAndReplace)
{
    char text[32] = "  two words  ";
    TrimTrailingBlanks(text);
    EXPECT_STREQ(text, "  two words");
    TrimLeadingBlanks(text);
    EXPECT_STREQ(text, "two words");
    char tabs[] = "\tx\t";
    TrimTrailingBlanks(tabs);
    TrimLeadingBlanks(tabs);
    EXPECT_STREQ(tabs, "\tx\t");  // blanks are spaces only

    EXPECT_TRUE(ContainsNoCase("C:\\WINDOWS\\System32", "system32"));
    EXPECT_FALSE(ContainsNoCase("ab", "abc"));
    EXPECT_FALSE(ContainsNoCase("system3", "system32"));

    char out[64];
    ReplaceFirstNoCase("%systemroot%\\a\\%SystemRoot%", "%SystemRoot%", "C:\\W", out, sizeof out);
    EXPECT_STREQ(out, "C:\\W\\a\\%SystemRoot%");
    ReplaceFirst("%systemroot%\\a", "%SystemRoot%", "C:\\W", out, sizeof out);
    EXPECT_STREQ(out, "%systemroot%\\a");

    char inPlace[32] = "x.TOKEN.y";
    ReplaceFirstNoCase(inPlace, "token", "longer text", inPlace, sizeof inPlace);
    EXPECT_STREQ(inPlace, "x.longer text.y");

    char small[8 + 4];
    memset(small, kSentinel, sizeof small);
    ReplaceFirst("abc", "b", "0123456789", small, 8);
    EXPECT_STREQ(small, "a012345");
    for (size_t i = 8; i < sizeof small; ++i) EXPECT_EQ(small[i], kSentinel);
}

}  // namespace
