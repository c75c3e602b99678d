// The WMI event subscription page, fed through its source interface with
// objects holding hostile text, and the browser extensions page against
// Chrome and Firefox profiles planted in the prefix under a user profile
// that ProfileList names. Each case compares whole page sections and the
// entries noted for the summary.
#include "app/app_state.h"
#include "app/run_journal.h"
#include "platform/bounded_text.h"
#include "system/windows_stuff.h"
#include "system/wmi_subscriptions.h"
#include "tests/support/test_support.h"
#include "tests/system/system_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using system_tests::PlantedValue;
using system_tests::ReadPage;
using testing_support::WriteFileBytes;

// From `from` (included) up to `to` (excluded); "<missing>" when either is absent.
std::string Section(const std::string& text, const std::string& from, const std::string& to)
{
    const size_t start = text.find(from);
    const size_t end = start == std::string::npos ? start : text.find(to, start + from.size());
    return end == std::string::npos ? "<missing>" : text.substr(start, end - start);
}

std::string Amp(std::string text)
{
    for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) text.insert(at + 1, "amp;");
    return text;
}

class FakeWmi : public WmiSubscriptionSource {
public:
    struct Listing {
        std::vector<WmiObject> objects;
        HRESULT result;
    };
    HRESULT Open() override { return open; }
    HRESULT ListObjects(const wchar_t* className, const wchar_t* const*, size_t,
                        std::vector<WmiObject>* objects) override
    {
        const Listing& listing = listings[className];
        *objects = listing.objects;
        return listing.result;
    }
    HRESULT open = S_OK;
    std::map<std::wstring, Listing> listings;
};

WmiObject Object(const std::wstring& className, const std::wstring& name,
                 std::vector<std::pair<std::wstring, std::wstring>> more = {})
{
    WmiObject object{className, className + L".Name=\"" + name + L"\"", std::move(more)};
    object.properties.emplace_back(L"Name", name);
    return object;
}

class SubscriptionExtensionPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = scratch_.Join("SupportData");
        sysinfo_ = root_ + "\\SYSInfo";
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr) && CreateDirectoryA(sysinfo_.c_str(), nullptr));
        ASSERT_TRUE(CopyText(OutputRoot, root_.c_str()));
        NaviFontSize = -1;
        CancelRequested = 0;
        windows_.SetSwitches(0, 1, 1, 1, 1, 1, 1);
        JournalBeginRun();
    }
    void TearDown() override { OutputRoot[0] = '\0'; }
    std::string PageText(const char* file) { return ReadPage(sysinfo_ + "\\" + file); }

    testing_support::ScratchFolder scratch_{"harvin-autostart-more"};
    std::string root_;
    std::string sysinfo_;
    CWindowsStuff windows_;
};

TEST_F(SubscriptionExtensionPagesTest, WmiNamespaceThatDoesNotOpenGivesOneLine)
{
    FakeWmi wmi;
    wmi.open = static_cast<HRESULT>(0x8004100E);
    windows_.CollectWmiSubscriptions(sysinfo_.c_str(), "WmiSubscriptions.html", &wmi);
    EXPECT_EQ("<h2>WMI Event Subscriptions</h2>\n[not available] (error 0x8004100E)<br>\n\n</font>",
              Section(PageText("WmiSubscriptions.html"), "<h2>", "</tt>"));
    EXPECT_TRUE(Journal().autostart.empty());
}

// Markup, quotes and percent signs stay text; a script shows its first 4 KiB;
// a listing cut at the limit or ended by an error says so after what it gave;
// only consumers that a binding names (by relative or full path) are noted.
TEST_F(SubscriptionExtensionPagesTest, WmiObjectsAreListedAsTextAndBoundConsumersNoted)
{
    const std::wstring script = L"</pre><script>alert(1)</script>\r\n" + std::wstring(5000, L'A');
    const std::wstring command = L"cmd.exe /c \"echo <pwned> & del %TEMP%\\x\"";
    FakeWmi wmi;
    wmi.listings[L"__EventFilter"] = {
        {Object(L"__EventFilter", L"<b>Evil</b> & \"quoted\"",
                {{L"Query", L"SELECT * FROM __InstanceCreationEvent WITHIN 5 WHERE x < 5"}, {L"QueryLanguage", L"WQL"}})},
        S_FALSE};
    wmi.listings[L"__EventConsumer"] = {
        {Object(L"CommandLineEventConsumer", L"Runner",
                {{L"CommandLineTemplate", command}, {L"ExecutablePath", L"C:\\no<such>\\run.exe"}}),
         Object(L"ActiveScriptEventConsumer", L"Scripter", {{L"ScriptingEngine", L"VBScript"}, {L"ScriptText", script}}),
         Object(L"LogFileEventConsumer", L"Logger", {{L"Filename", L"C:\\log.txt"}})},
        S_OK};
    wmi.listings[L"__FilterToConsumerBinding"] = {
        {Object(L"__FilterToConsumerBinding", L"1",
                {{L"Filter", L"__EventFilter.Name=\"x\""}, {L"Consumer", L"CommandLineEventConsumer.Name=\"Runner\""}}),
         Object(L"__FilterToConsumerBinding", L"2",
                {{L"Consumer", L"\\\\HOST\\ROOT\\subscription:ActiveScriptEventConsumer.Name=\"Scripter\""}})},
        static_cast<HRESULT>(0x80041069)};

    windows_.CollectWmiSubscriptions(sysinfo_.c_str(), "WmiSubscriptions.html", &wmi);

    const std::string scriptShown =
        "&lt;/pre&gt;&lt;script&gt;alert(1)&lt;/script&gt;\n" + std::string(4096 - 33, 'A');
    EXPECT_EQ("<h2>Event Filters</h2>\n"
              "<strong>&lt;b&gt;Evil&lt;/b&gt; &amp; &quot;quoted&quot;</strong><br>\n"
              "<div style=\"margin-left: 40px;\">\n"
              "Query: SELECT * FROM __InstanceCreationEvent WITHIN 5 WHERE x &lt; 5<br>\n"
              "Query language: WQL<br>\n</div><br>\n"
              "[more than 1000 objects: the rest is left out]<br>\n"
              "<h2>Event Consumers</h2>\n"
              "<strong>Runner</strong> (CommandLineEventConsumer)<br>\n<div style=\"margin-left: 40px;\">\n"
              "Command line: cmd.exe /c &quot;echo &lt;pwned&gt; &amp; del %TEMP%\\x&quot;<br>\n"
              "Executable: C:\\no&lt;such&gt;\\run.exe<br>\n</div>\n<br>\n"
              "<strong>Scripter</strong> (ActiveScriptEventConsumer)<br>\n<div style=\"margin-left: 40px;\">\n"
              "Script engine: VBScript<br>\nScript text (the first 4 KiB):<pre style=\"white-space: pre-wrap;\">" + scriptShown + "</pre>\n</div>\n<br>\n"
              "<strong>Logger</strong> (LogFileEventConsumer)<br>\n<br>\n"
              "<h2>Filter To Consumer Bindings</h2>\n"
              "Filter: __EventFilter.Name=&quot;x&quot;<br>\n"
              "Consumer: CommandLineEventConsumer.Name=&quot;Runner&quot;<br>\n<br>\n"
              "Consumer: \\\\HOST\\ROOT\\subscription:ActiveScriptEventConsumer.Name=&quot;Scripter&quot;<br>\n<br>\n"
              "[not available] (error 0x80041069)<br>\n",
              Section(PageText("WmiSubscriptions.html"), "<h2>Event Filters</h2>", "\n</font>"));

    const std::vector<JournalAutostart>& noted = Journal().autostart;
    ASSERT_EQ(2u, noted.size());
    EXPECT_EQ("wmi-subscription|root\\subscription|Runner|cmd.exe /c \"echo <pwned> & del %TEMP%\\x\"|",
              noted[0].kind + "|" + noted[0].location + "|" + noted[0].name + "|" + noted[0].command + "|" +
                  noted[0].file);
    EXPECT_EQ("Scripter|VBScript", noted[1].name + "|" + noted[1].command);
}

// ---- browser extensions ------------------------------------------------------------

const char kChromeIds[][33] = {"aaaabbbbccccddddeeeeffffgggghhhh", "bbbbccccddddeeeeffffgggghhhhiiii",
                               "ccccddddeeeeffffgggghhhhiiiijjjj", "ddddeeeeffffgggghhhhiiiijjjjkkkk"};

std::string JsonText(std::string text)
{
    for (size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 2)) text.insert(at, "\\");
    return text;
}

bool Plant(const std::string& path, const std::string& bytes)
{
    // Every folder on the way, then the file.
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    return WriteFileBytes(path, bytes);
}

TEST_F(SubscriptionExtensionPagesTest, BrowserExtensionsOfPlantedProfiles)
{
    const std::string user = scratch_.Join("Planted & User");
    const std::string chrome = user + "\\AppData\\Local\\Google\\Chrome\\User Data\\Default";
    const std::string extensions = chrome + "\\Extensions\\";
    const std::string firefox = user + "\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\";
    PlantedValue profile(HKEY_LOCAL_MACHINE,
                         "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1111-2222-3333-1001",
                         "ProfileImagePath", KEY_WOW64_64KEY, REG_EXPAND_SZ, user);
    ASSERT_TRUE(profile.Ok());
    const std::string a = extensions + kChromeIds[0] + "\\1.0_0";
    const std::string c = extensions + kChromeIds[2] + "\\3.0_0";
    const std::string tooLarge = extensions + kChromeIds[3] + "\\4.0_0\\manifest.json";
    // A message name (found without case), a manifest that does not parse, a
    // locale that would lead out of _locales, a manifest above the size bound;
    // settings: one file readable, one nested deeper than the bound.
    ASSERT_TRUE(Plant(a + "\\manifest.json",
                      "{\n // comment\n \"name\": \"__MSG_appName__\", \"version\": \"1.0\", \"default_locale\": \"en\"}") &&
                Plant(a + "\\_locales\\en\\messages.json", "{\"APPNAME\": {\"message\": \"Planted <Extension> & Co\"}}") &&
                Plant(extensions + kChromeIds[1] + "\\2.1_0\\manifest.json", "{\"name\": \"broken\"") &&
                Plant(c + "\\manifest.json",
                      "{\"name\": \"__MSG_x__\", \"version\": \"3.0\", \"default_locale\": \"..\\\\..\"}") &&
                Plant(extensions + kChromeIds[2] + "\\messages.json", "{\"x\": {\"message\": \"leaked\"}}") &&
                Plant(tooLarge, "{\"name\": \"big\", \"pad\": \"" + std::string(1 << 20, ' ') + "\"}") &&
                Plant(chrome + "\\Secure Preferences",
                      "{\"extensions\": {\"settings\": {\"" + std::string(kChromeIds[0]) + "\": {\"state\": 1}, \"" +
                          kChromeIds[2] + "\": {\"disable_reasons\": [1]}}}}") &&
                Plant(chrome + "\\Preferences", std::string(100, '[') + std::string(100, ']')));
    // Firefox: an extension (UTF-8 name), a theme left out, one switched off;
    // a second profile whose list does not parse.
    const std::string xpi = firefox + "x1.default\\extensions\\planted@example.org.xpi";
    ASSERT_TRUE(Plant(firefox + "x1.default\\extensions.json",
                      "{\"addons\": [{\"id\": \"planted@example.org\", \"type\": \"extension\", \"version\": \"2.5\", "
                      "\"active\": true, \"location\": \"app-profile\", \"path\": \"" + JsonText(xpi) +
                          "\", \"defaultLocale\": {\"name\": \"Gr\\u00fcn & <Planted>\"}},"
                          "{\"id\": \"theme@example.org\", \"type\": \"theme\", \"version\": \"1\"},"
                          "{\"id\": \"off@example.org\", \"type\": \"extension\", \"version\": \"0.1\", "
                          "\"userDisabled\": true, \"defaultLocale\": {\"name\": \"Switched off\"}}]}") &&
                Plant(firefox + "z9.broken\\extensions.json", "not json"));

    windows_.CollectBrowserExtensions(sysinfo_.c_str(), "BrowserExtensions.html");

    auto row = [](const std::string& cells) { return "<TR><TD>" + cells + "</TD></TR>\n"; };
    auto remark = [](const std::string& text) { return "<TR><TD colspan=\"7\">[" + Amp(text) + "]</TD></TR>\n"; };
    EXPECT_EQ("<h2>" + Amp(user) + "</h2>\n<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=2>\n<TR><TH>Browser</TH>"
              "<TH>Profile</TH><TH>Id</TH><TH>Name</TH><TH>Version</TH><TH>Enabled</TH><TH>Install location</TH></TR>\n" +
                  remark("could not parse: " + chrome + "\\Preferences") +
                  row(std::string("Chrome</TD><TD>Default</TD><TD>") + kChromeIds[0] +
                      "</TD><TD>Planted &lt;Extension&gt; &amp; Co</TD><TD>1.0</TD><TD>yes</TD><TD>" + Amp(a)) +
                  remark("could not parse: " + extensions + kChromeIds[1] + "\\2.1_0\\manifest.json") +
                  row(std::string("Chrome</TD><TD>Default</TD><TD>") + kChromeIds[2] +
                      "</TD><TD>__MSG_x__</TD><TD>3.0</TD><TD>no</TD><TD>" + Amp(c)) +
                  remark("could not read, too large: " + tooLarge) +
                  row("Firefox</TD><TD>x1.default</TD><TD>planted@example.org</TD><TD>Gr\xFCn &amp; &lt;Planted&gt;"
                      "</TD><TD>2.5</TD><TD>yes</TD><TD>app-profile: " + Amp(xpi)) +
                  row("Firefox</TD><TD>x1.default</TD><TD>off@example.org</TD><TD>Switched off</TD><TD>0.1</TD>"
                      "<TD>no</TD><TD>") +
                  remark("could not parse: " + firefox + "z9.broken\\extensions.json"),
              Section(PageText("BrowserExtensions.html"), "<h2>" + Amp(user) + "</h2>", "</TABLE>"));

    const std::vector<JournalAutostart>& noted = Journal().autostart;
    ASSERT_EQ(4u, noted.size());
    EXPECT_EQ("browser-extension|" + chrome + "|Planted <Extension> & Co|" + kChromeIds[0] + "|" + a +
                  "\\manifest.json",
              noted[0].kind + "|" + noted[0].location + "|" + noted[0].name + "|" + noted[0].command + "|" +
                  noted[0].file);
    EXPECT_EQ(xpi, noted[2].file);
}

}  // namespace
