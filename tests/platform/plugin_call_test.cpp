// The plug-in command call against the test plug-in library.
#include "platform/system_helpers.h"
#include "tests/platform/platform_test_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform_tests::TestBinFile;
using platform_tests::Wide;
using testing_support::ScratchFolder;

std::wstring CurrentFolder()
{
    wchar_t folder[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, folder);
    return n > 0 && n < MAX_PATH ? folder : L"";
}

// The plug-in copied into a folder of its own, away from the current one.
class PluginTest : public testing::Test {
protected:
    void SetUp() override
    {
        pluginPath_ = Wide(scratch_.Join("plugin.dll"));
        ASSERT_TRUE(CopyFileW(TestBinFile("platform_test_plugin.dll").c_str(), pluginPath_.c_str(), FALSE));
    }
    ScratchFolder scratch_{"platform-plugin"};
    std::wstring pluginPath_;
};

TEST_F(PluginTest, OnlyAnUppercaseSuccessReplyCounts)
{
    EXPECT_TRUE(RunPluginCommand(pluginPath_.c_str(), L"ok"));
    EXPECT_FALSE(RunPluginCommand(pluginPath_.c_str(), L"lower"));
    EXPECT_FALSE(RunPluginCommand(pluginPath_.c_str(), L"silent"));
    EXPECT_FALSE(RunPluginCommand(pluginPath_.c_str(), L"refuse"));
    EXPECT_FALSE(RunPluginCommand(pluginPath_.c_str(), L"other"));
    // Each call unloaded the library again.
    EXPECT_EQ(nullptr, GetModuleHandleW(pluginPath_.c_str()));
}

TEST_F(PluginTest, LoadsInItsOwnFolderAndRestoresTheCurrentOne)
{
    const std::wstring before = CurrentFolder();
    ASSERT_NE(before, Wide(scratch_.Path()));
    PluginHandle plugin;
    ASSERT_TRUE(LoadPlugin(&plugin, pluginPath_.c_str()));
    EXPECT_EQ(before, CurrentFolder());
    ASSERT_NE(nullptr, plugin.module);
    ASSERT_NE(nullptr, plugin.command);

    using FolderGetter = const wchar_t*(WINAPI*)();
    auto getter = reinterpret_cast<FolderGetter>(
        reinterpret_cast<void (*)()>(GetProcAddress(plugin.module, "TestPluginLoadFolder")));
    ASSERT_NE(nullptr, getter);
    EXPECT_EQ(0, lstrcmpiW(Wide(scratch_.Path()).c_str(), getter()));

    wchar_t reply[8];
    wmemset(reply, 0xBDBD, 8);
    EXPECT_TRUE(CallPlugin(&plugin, 7, L"ok", reply, 8));
    EXPECT_STREQ(L"SUCCESS", reply);
    using CommandGetter = DWORD(WINAPI*)();
    auto lastCommand = reinterpret_cast<CommandGetter>(
        reinterpret_cast<void (*)()>(GetProcAddress(plugin.module, "TestPluginLastCommand")));
    ASSERT_NE(nullptr, lastCommand);
    EXPECT_EQ(7u, lastCommand());

    // A plug-in that writes nothing leaves an empty reply, not stale bytes.
    wmemset(reply, 0xBDBD, 8);
    EXPECT_TRUE(CallPlugin(&plugin, 1, L"silent", reply, 8));
    EXPECT_STREQ(L"", reply);

    EXPECT_TRUE(UnloadPlugin(&plugin));
    EXPECT_EQ(nullptr, plugin.module);
    EXPECT_EQ(nullptr, plugin.command);
    EXPECT_EQ(FALSE, CallPlugin(&plugin, 1, L"ok", reply, 8));
    EXPECT_EQ(nullptr, GetModuleHandleW(pluginPath_.c_str()));
}

TEST_F(PluginTest, LibraryWithoutTheEntryPointIsFreed)
{
    const std::wstring path = Wide(scratch_.Join("noentry.dll"));
    ASSERT_TRUE(CopyFileW(TestBinFile("platform_noentry_plugin.dll").c_str(), path.c_str(), FALSE));
    const std::wstring before = CurrentFolder();
    PluginHandle plugin;
    EXPECT_FALSE(LoadPlugin(&plugin, path.c_str()));
    EXPECT_EQ(nullptr, plugin.module);
    EXPECT_EQ(nullptr, plugin.command);
    EXPECT_EQ(nullptr, GetModuleHandleW(path.c_str()));
    EXPECT_EQ(before, CurrentFolder());
    EXPECT_FALSE(RunPluginCommand(path.c_str(), L"ok"));
}

TEST_F(PluginTest, MissingLibrary)
{
    const std::wstring before = CurrentFolder();
    PluginHandle plugin;
    plugin.module = reinterpret_cast<HMODULE>(1);
    EXPECT_FALSE(LoadPlugin(&plugin, Wide(scratch_.Join("absent.dll")).c_str()));
    EXPECT_EQ(nullptr, plugin.module);
    EXPECT_EQ(before, CurrentFolder());
    EXPECT_FALSE(RunPluginCommand(Wide(scratch_.Join("absent\\none.dll")).c_str(), L"ok"));
    EXPECT_EQ(before, CurrentFolder());
}

}  // namespace
