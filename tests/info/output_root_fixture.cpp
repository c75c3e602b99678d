#include "tests/info/output_root_fixture.h"

#include "app/app_state.h"
#include "platform/bounded_text.h"

void OutputRootFixture::SetUp()
{
    root_ = scratch_.Join("SupportData");
    source_ = scratch_.Join("source");
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(source_.c_str(), nullptr));
    ASSERT_TRUE(CopyText(OutputRoot, root_.c_str()));
    NaviFontSize = -1;
    CancelRequested = 0;
    ExtendedCollection = 0;
}

void OutputRootFixture::TearDown()
{
    OutputRoot[0] = '\0';
    CancelRequested = 0;
    ExtendedCollection = 0;
}

std::string OutputRootFixture::NaviText() const { return ReadWholeFile(RootJoin("NAVI.html")); }

std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    if (!testing_support::ReadFileBytes(path, &bytes)) return std::string();
    return bytes;
}

std::string ReadTextFile(const std::string& path)
{
    std::string text = ReadWholeFile(path);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

std::string NaviLinkMarkup(const std::string& relativeHref, const std::string& caption)
{
    return "<LI><A HREF=\"" + relativeHref + "\" target=\"Inhalt\">" + caption + "</A>";
}
