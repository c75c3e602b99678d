// The language libraries: every numbered text the program may load exists in
// both languages, and each format takes exactly the arguments its role states
// (the roles are written beside the ids in lang/resource_ids.h).
#include "lang/resource_ids.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace {

struct TextId {
    std::string name;
    unsigned id;
    std::string kinds;  // s, d, c, f per argument; empty for a plain text
};

std::vector<TextId> ReadTextIds()
{
    std::ifstream header(testing_support::SourceDir() + "\\lang\\resource_ids.h");
    std::vector<TextId> ids;
    std::regex define(R"(#define\s+(IDS_\w+)\s+(\d+)(.*))");
    std::regex format(R"(format:\s*([^*]*)\*/)");
    std::string line;
    while (std::getline(header, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, define)) continue;
        TextId text{m[1], static_cast<unsigned>(std::stoul(m[2])), ""};
        std::string rest = m[3];
        std::smatch f;
        if (std::regex_search(rest, f, format)) {
            // "s (file name), d" -> "sd"
            std::string args = f[1];
            std::regex kind(R"((^|,)\s*([sdcf])\b)");
            for (auto it = std::sregex_iterator(args.begin(), args.end(), kind); it != std::sregex_iterator(); ++it) {
                text.kinds += (*it)[2].str();
            }
        }
        ids.push_back(text);
    }
    return ids;
}

// The kinds of the conversions in a printf format: s, d (d i u x X), c, f
// (f e g). "%%" is no conversion; anything else is reported as '?'.
std::string ConversionKinds(const std::string& text)
{
    std::string kinds;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        ++i;
        if (i < text.size() && text[i] == '%') continue;
        while (i < text.size() && strchr("-+ #0123456789.lh", text[i]) != nullptr) ++i;
        if (i >= text.size()) {
            kinds += '?';
            break;
        }
        char c = text[i];
        if (c == 's') kinds += 's';
        else if (strchr("diuxX", c)) kinds += 'd';
        else if (c == 'c') kinds += 'c';
        else if (strchr("feg", c)) kinds += 'f';
        else kinds += '?';
    }
    return kinds;
}

class LanguageLibrary : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        path_ = testing_support::DistDir() + "\\" + GetParam() + "\\harvinr.dll";
        module_ = LoadLibraryA(path_.c_str());
        ASSERT_NE(module_, nullptr) << path_;
    }
    void TearDown() override
    {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    std::string Text(unsigned id) const
    {
        char buffer[1024] = "";
        int n = LoadStringA(module_, id, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

    std::string path_;
    HMODULE module_ = nullptr;
};

TEST_P(LanguageLibrary, EveryTextExistsAndFormatsTakeTheirArguments)
{
    std::vector<TextId> ids = ReadTextIds();
    ASSERT_GE(ids.size(), 79u);
    for (const TextId& text : ids) {
        std::string value = Text(text.id);
        EXPECT_FALSE(value.empty()) << text.name << " (" << text.id << ") is missing";
        EXPECT_EQ(ConversionKinds(value), text.kinds) << text.name << " (" << text.id << "): " << value;
    }
    EXPECT_TRUE(Text(0).empty()) << "there is no text 0";
}

TEST_P(LanguageLibrary, TheIdsTheRunNeedsAreAllThere)
{
    const unsigned needed[] = {18, 19, 187, 193, 198, 199, 201, 202, 203, 204, 205, 206, 228, 46, 1, 5, 7, 11, 12, 16,
                               20, 23, 25, 49, 55, 209, 221, 231, 1059, 1064, 1065, 1067, 1068, 1069, 1070, 1071,
                               1073, 1074, 8, 9, 10, 13, 14, 15, 17, 21, 22, 24, 26, 27, 28, 29, 31, 33, 35, 36, 37,
                               38, 40, 41, 43, 45, 47, 177, 178, 179, 180, 181, 182, 183, 184, 185, 188, 189, 212,
                               213, 214, 222, 227};
    for (unsigned id : needed) EXPECT_FALSE(Text(id).empty()) << id;
    EXPECT_LE(Text(IDS_REPORT_TITLE).size(), 63u) << "the report title is read into 64 bytes";
    EXPECT_LE(Text(IDS_BUTTON_CANCEL).size(), 39u);
    EXPECT_LE(Text(IDS_BUTTON_CLOSE).size(), 39u);
    EXPECT_LE(Text(IDS_FOLDER_BROWSER_TITLE).size(), 199u);
    EXPECT_LE(Text(IDS_FOLDER_BROWSER_TITLE_NO_FOLDER).size(), 199u);
}

TEST_P(LanguageLibrary, MainDialogTemplateMatchesTheProgram)
{
    HRSRC dialog = FindResourceA(module_, MAKEINTRESOURCEA(IDD_HARVIN_MAIN), MAKEINTRESOURCEA(5));
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(FindResourceA(module_, MAKEINTRESOURCEA(IDD_USER_INFO), MAKEINTRESOURCEA(5)), nullptr);
    ASSERT_NE(LoadIconA(module_, MAKEINTRESOURCEA(IDI_HARVIN)), nullptr);

    HWND window = CreateDialogParamA(module_, MAKEINTRESOURCEA(IDD_HARVIN_MAIN), nullptr,
                                     [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(window, nullptr);
    char caption[260] = "";
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_EQ(std::string(caption), Text(IDS_APP_TITLE)) << "the title finds a running instance";
    EXPECT_TRUE(GetWindowLongA(window, GWL_STYLE) & WS_MINIMIZEBOX);
    HWND list = GetDlgItem(window, IDC_STATUS_LIST);
    ASSERT_NE(list, nullptr);
    LONG listStyle = GetWindowLongA(list, GWL_STYLE);
    EXPECT_FALSE(listStyle & LBS_SORT) << "the status list keeps the run's order";
    // The horizontal scroll bar shows once a line is wider than the list.
    SendMessageA(list, LB_SETHORIZONTALEXTENT, 5000, 0);
    EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_HSCROLL);
    for (int id : {IDC_STATUS_LINE, IDC_PROGRESS, IDC_START_COLLECTION, IDOK}) {
        EXPECT_NE(GetDlgItem(window, id), nullptr) << id;
    }
    DestroyWindow(window);

    HWND info = CreateDialogParamA(module_, MAKEINTRESOURCEA(IDD_USER_INFO), nullptr,
                                   [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(info, nullptr);
    for (int id : {IDC_USER_COMPANY, IDC_USER_NAME, IDC_USER_THIRD, IDOK, IDC_EXTENDED_COLLECTION, IDC_LABEL_THIRD,
                   IDC_REMOVE_PERSONAL_DATA}) {
        EXPECT_NE(GetDlgItem(info, id), nullptr) << id;
    }
    DestroyWindow(info);
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, LanguageLibrary, ::testing::Values("en-us", "de-de"));

TEST(LanguageLibraries, GermanIsReallyGerman)
{
    HMODULE german = LoadLibraryA((testing_support::DistDir() + "\\de-de\\harvinr.dll").c_str());
    ASSERT_NE(german, nullptr);
    char text[520] = "";
    LoadStringA(german, IDS_CONFIRM_CANCEL, text, sizeof text);
    EXPECT_EQ(std::string(text).substr(0, 12), "M\xF6" "chten Sie ");
    LoadStringA(german, IDS_APP_TITLE, text, sizeof text);
    EXPECT_STREQ(text, "Wardex Harvin - Supportinformationen");
    FreeLibrary(german);
}

}  // namespace
