// The pure parts of the 64-bit process lister: path normalisation, message
// clean-up, page text conversion and the markup of rows and sections.
#include "tests/support/test_support.h"
#include "tests/tools/capture_file.h"
#include "tools/pidwalk64/file_version_info.h"
#include "tools/pidwalk64/pidwalk64_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

namespace {

using tools_test::CaptureFile;

std::wstring Normalize(const wchar_t* path, const wchar_t* windowsFolder = L"C:\\WINDOWS")
{
    wchar_t out[kNameChars];
    wmemset(out, 0xBDBD, kNameChars);
    NormalizeImagePath(path, windowsFolder, out);
    return out;
}

std::wstring Cleaned(const wchar_t* message)
{
    wchar_t text[kMessageChars];
    wcsncpy(text, message, kMessageChars - 1);
    text[kMessageChars - 1] = L'\0';
    CleanSystemMessage(text);
    return text;
}

std::string PageTextOf(const wchar_t* text)
{
    char out[kPageTextBytes];
    ToPageText(text, out, sizeof out);
    return out;
}

TEST(NormalizeImagePath, HandlesEveryFormTheSystemReports)
{
    // A drive path stays as it is, even with a marker inside.
    EXPECT_EQ(Normalize(L"C:\\Program Files\\App\\app.exe"), L"C:\\Program Files\\App\\app.exe");
    EXPECT_EQ(Normalize(L"d:\\SystemRoot\\x.exe"), L"d:\\SystemRoot\\x.exe");
    // The object manager prefix goes, in either letter case of what follows.
    EXPECT_EQ(Normalize(L"\\??\\C:\\Windows\\system32\\csrss.exe"), L"C:\\Windows\\system32\\csrss.exe");
    EXPECT_EQ(Normalize(L"\\??\\c:\\windows\\system32\\winlogon.exe"), L"c:\\windows\\system32\\winlogon.exe");
    // One leading backslash goes, and only one.
    EXPECT_EQ(Normalize(L"\\Device\\HarddiskVolume2\\x.exe"), L"Device\\HarddiskVolume2\\x.exe");
    EXPECT_EQ(Normalize(L"\\\\server\\share\\x.exe"), L"\\server\\share\\x.exe");
    // The SystemRoot marker becomes the Windows folder, found in any letter
    // case; the rest keeps its own case.
    EXPECT_EQ(Normalize(L"\\SystemRoot\\System32\\smss.exe"), L"C:\\WINDOWS\\System32\\smss.exe");
    EXPECT_EQ(Normalize(L"\\SYSTEMROOT\\System32\\smss.exe"), L"C:\\WINDOWS\\System32\\smss.exe");
    EXPECT_EQ(Normalize(L"\\systemroot\\system32\\drivers\\x.sys", L"c:\\windows"),
              L"c:\\windows\\system32\\drivers\\x.sys");
    EXPECT_EQ(Normalize(L"SystemRoot\\System32\\x.dll"), L"C:\\WINDOWS\\System32\\x.dll");
    // Everything up to the marker is replaced, not just the marker.
    EXPECT_EQ(Normalize(L"\\??\\Global\\SystemRoot\\x.dll"), L"C:\\WINDOWS\\x.dll");
    // "SystemRoot" without the backslash is a plain name.
    EXPECT_EQ(Normalize(L"\\SystemRootX"), L"SystemRootX");
    EXPECT_EQ(Normalize(L""), L"");
    EXPECT_EQ(Normalize(L"x"), L"x");
}

TEST(NormalizeImagePath, CutsLongResultsWithinTheBuffer)
{
    std::wstring tail(300, L'a');
    std::wstring path = L"\\SystemRoot\\" + tail;
    wchar_t out[kNameChars + 8];
    wmemset(out, 0xBDBD, kNameChars + 8);
    NormalizeImagePath(path.c_str(), L"C:\\WINDOWS", out, kNameChars);
    EXPECT_EQ(wcslen(out), kNameChars - 1);
    EXPECT_EQ(std::wstring(out).substr(0, 11), L"C:\\WINDOWS\\");
    EXPECT_EQ(out[kNameChars], 0xBDBD);

    // A drive path is cut the same way, and a tiny buffer still ends terminated.
    std::wstring drivePath = L"C:\\" + tail;
    wmemset(out, 0xBDBD, kNameChars + 8);
    NormalizeImagePath(drivePath.c_str(), L"C:\\WINDOWS", out, 5);
    EXPECT_EQ(std::wstring(out), L"C:\\a");
    EXPECT_EQ(out[5], 0xBDBD);
}

TEST(CleanSystemMessage, CutsAtControlCharactersAndTrimsTheEnd)
{
    EXPECT_EQ(Cleaned(L"Access is denied.\r\n"), L"Access is denied");
    EXPECT_EQ(Cleaned(L"First line\r\nSecond line.\r\n"), L"First line");
    // A tab is kept inside the text but not at its end.
    EXPECT_EQ(Cleaned(L"Column\tvalue . .\t"), L"Column\tvalue");
    EXPECT_EQ(Cleaned(L"Trailing blanks   "), L"Trailing blanks");
    EXPECT_EQ(Cleaned(L"..."), L"");
    EXPECT_EQ(Cleaned(L""), L"");
    EXPECT_EQ(Cleaned(L"\nStarts with a line feed"), L"");
    EXPECT_EQ(Cleaned(L"Version 1.2 is old"), L"Version 1.2 is old");
}

TEST(SystemMessageText, IsCleanedOrEmpty)
{
    // The wording differs between systems; only its shape is fixed.
    wchar_t text[kMessageChars];
    GetSystemMessageText(ERROR_ACCESS_DENIED, text);
    size_t length = wcslen(text);
    ASSERT_GT(length, 0u);
    EXPECT_NE(text[length - 1], L'.');
    EXPECT_NE(text[length - 1], L' ');
    for (size_t i = 0; i < length; ++i) EXPECT_TRUE(text[i] >= 0x20 || text[i] == L'\t') << i;

    // A code from the customer range has no system text.
    GetSystemMessageText(0x2000ABCDu, text);
    EXPECT_STREQ(text, L"");
}

TEST(WarningLine, HasTheFixedShapeAndPrintsTextAsData)
{
    CaptureFile capture;
    WriteWarningLine(capture.File(), "OpenProcess()", ERROR_ACCESS_DENIED, L"Access is denied");
    WriteWarningLine(capture.File(), "OpenProcess()", 87, L"100%s %d %n done");
    WriteWarningLine(capture.File(), "OpenProcess()", 0x2000ABCDu, L"");
    EXPECT_EQ(capture.Text(),
              "\n  WARNING: OpenProcess() failed with error 5 (Access is denied)"
              "\n  WARNING: OpenProcess() failed with error 87 (100%s %d %n done)"
              "\n  WARNING: OpenProcess() failed with error 536914893 ()");

    // With the system's own text: whatever the words, no period, line break
    // or blank before the closing parenthesis.
    CaptureFile live;
    wchar_t message[kMessageChars];
    GetSystemMessageText(ERROR_ACCESS_DENIED, message);
    WriteWarningLine(live.File(), "OpenProcess()", ERROR_ACCESS_DENIED, message);
    std::string line = live.Text();
    const std::string head = "\n  WARNING: OpenProcess() failed with error 5 (";
    ASSERT_EQ(line.compare(0, head.size(), head), 0) << line;
    ASSERT_GT(line.size(), head.size() + 1);
    EXPECT_EQ(line.back(), ')');
    char beforeClose = line[line.size() - 2];
    EXPECT_TRUE(beforeClose != '.' && beforeClose != ' ' && beforeClose != '\n' && beforeClose != '\r')
        << line;
    EXPECT_EQ(line.find('\n', 1), std::string::npos) << line;
}

TEST(PageText, KeepsWhatTheCodePageHoldsAndMarksTheRest)
{
    EXPECT_EQ(PageTextOf(L"plain.exe"), "plain.exe");
    EXPECT_EQ(PageTextOf(L""), "");
    // Names and version texts are text in the page, never markup.
    EXPECT_EQ(PageTextOf(L"<img src=x onerror=\"go()\"> R&D"), "&lt;img src=x onerror=&quot;go()&quot;&gt; R&amp;D");

    // A full-width '<' must never turn into markup through a look-alike mapping.
    std::string fullWidth = PageTextOf(L"a\xFF1C" L"b\xFF02" L"c.exe");
    EXPECT_EQ(fullWidth.find('<'), std::string::npos) << fullWidth;
    EXPECT_EQ(fullWidth.find('"'), std::string::npos) << fullWidth;
    EXPECT_EQ(fullWidth.substr(fullWidth.size() - 5), "c.exe");

    if (GetACP() == 1252) {
        // Each missing character becomes one '?', what follows survives.
        EXPECT_EQ(PageTextOf(L"lister_\x0416\x0443\x043A_\x20AC_\x6F22.exe"), "lister_???_\x80_?.exe");
        EXPECT_EQ(PageTextOf(L"caf\x00E9"), "caf\xE9");
    }

    // Texts are taken up to the name size, and a small buffer is never passed.
    std::wstring longText(400, L'x');
    EXPECT_EQ(PageTextOf(longText.c_str()).size(), kNameChars);
    char small[16];
    memset(small, 0xBD, sizeof small);
    ToPageText(L"abcdefgh", small, 5);
    EXPECT_STREQ(small, "abcd");
    EXPECT_EQ(static_cast<unsigned char>(small[5]), 0xBD);
}

TEST(DocumentMarkup, RowsAndSectionsAreWrittenExactly)
{
    CaptureFile capture;
    WriteIdleRow(capture.File(), L"[System Process]");
    WriteProcessRow(capture.File(), 4242, L"app.exe", L"C:\\Apps\\app.exe", false);
    WriteProcessRow(capture.File(), 7, L"System", L"", false);
    WriteProcessRow(capture.File(), 600, L"csrss.exe", L"C:\\WINDOWS\\system32\\csrss.exe", true);
    EXPECT_EQ(capture.Text(),
              "\t\t<tr><td>0</td><td>[System Process]</td><td>&nbsp</td></tr>\n"
              "\t\t<tr><td>4242</td><td><a href=\"#app.exe\">app.exe</a></td><td>C:\\Apps\\app.exe</td></tr>\n"
              "\t\t<tr><td>7</td><td><a href=\"#System\">System</a></td><td></td></tr>\n"
              "\t\t<tr><td>600</td><td>csrss.exe<br>## HIGH PROTECTED PROCESS! ##</td>"
              "<td>C:\\WINDOWS\\system32\\csrss.exe</td></tr>\n");

    CaptureFile section;
    WriteModuleSectionHead(section.File(), L"app.exe");
    ModuleRecord module = {};
    wcscpy(module.name, L"app.exe");
    module.signature.status = SignatureStatus::NotSigned;
    WriteModuleEntry(section.File(), module, L"C:\\Apps\\app.exe");
    module.signature.status = SignatureStatus::Valid;
    wcscpy(module.signature.signer, L"Maker <Code> & Co");
    wcscpy(module.name, L"lib.dll");
    wcscpy(module.version, L"1.2.3.4");
    wcscpy(module.description, L"Library");
    wcscpy(module.company, L"Maker");
    wcscpy(module.copyright, L"(c) 100% Maker");
    WriteModuleEntry(section.File(), module, L"C:\\Apps\\lib.dll");
    module.withoutSignature = true;  // the checks are off: no line at all
    WriteModuleEntry(section.File(), module, L"C:\\Apps\\lib.dll");
    EXPECT_EQ(section.Text(),
              "<br><br>\n<strong><a name=\"app.exe\">app.exe  </a>\n</strong>\n<a href=\"#top\">top</a>\n"
              "<div style=\"margin-left: 40px;\"><br><strong>app.exe</strong><br>Path: C:\\Apps\\app.exe"
              "<br>Version: <br>Description: <br>Vendor: <br>Copyright: <br>Signature: Not signed<br></div>\n"
              "<div style=\"margin-left: 40px;\"><br><strong>lib.dll</strong><br>Path: C:\\Apps\\lib.dll"
              "<br>Version: 1.2.3.4<br>Description: Library<br>Vendor: Maker<br>Copyright: (c) 100% Maker"
              "<br>Signature: Valid (Maker &lt;Code&gt; &amp; Co)<br></div>\n"
              "<div style=\"margin-left: 40px;\"><br><strong>lib.dll</strong><br>Path: C:\\Apps\\lib.dll"
              "<br>Version: 1.2.3.4<br>Description: Library<br>Vendor: Maker<br>Copyright: (c) 100% Maker"
              "<br></div>\n");
}

TEST(DocumentMarkup, FrameOpensAndClosesTheDocument)
{
    CaptureFile capture;
    WriteDocumentHead(capture.File());
    WriteTableHead(capture.File());
    WriteTableTail(capture.File());
    WriteDocumentTail(capture.File());
    EXPECT_EQ(capture.Text(),
              "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
              "\"http://www.w3.org/TR/html4/loose.dtd\">\n"
              "<html>\n<head>\n" + testing_support::CharsetMeta() +
                  "<title>Active Processes And Modules (64Bit)</title>\n</head>\n<body>\n"
              "<a name=\"top\"> </a><tt>\n<h2>Active Processes And Modules (64Bit)</h2>\n"
              "<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=7>\n\t<tbody>\n"
              "\t\t<tr><th>PID</th><th>Process</th><th>Path</th></tr>\n"
              "\t</tbody>\n</TABLE>\n"
              "\n</tt>\n</body>\n</html>\n");
}

TEST(FileVersionInfo, ReadsStringsOfTheFirstTranslation)
{
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::wstring kernel = std::wstring(system) + L"\\kernel32.dll";

    FileVersionInfo info;
    wchar_t text[kNameChars];
    wcscpy(text, L"untouched");
    EXPECT_FALSE(info.QueryString(L"FileVersion", text));  // nothing loaded yet
    EXPECT_STREQ(text, L"untouched");

    ASSERT_TRUE(info.Load(kernel.c_str()));
    ASSERT_TRUE(info.QueryString(L"FileVersion", text));
    EXPECT_GT(wcslen(text), 0u);
    EXPECT_TRUE(info.QueryString(L"CompanyName", text));
    wcscpy(text, L"untouched");
    EXPECT_FALSE(info.QueryString(L"NoSuchString", text));
    EXPECT_STREQ(text, L"untouched");

    // A short buffer gets the start of the text, terminated, and nothing past it.
    wchar_t shortText[8];
    wmemset(shortText, 0xBDBD, 8);
    ASSERT_TRUE(info.QueryString(L"LegalCopyright", shortText, 4));
    EXPECT_EQ(wcslen(shortText), 3u);
    EXPECT_EQ(shortText[4], 0xBDBD);

    // Reloading with a file that has no resource drops the old one.
    EXPECT_FALSE(info.Load(L"C:\\no\\such\\file.dll"));
    EXPECT_FALSE(info.QueryString(L"FileVersion", text));
}

}  // namespace
