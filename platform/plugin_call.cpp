// The command call into a product plug-in library ("execQZPluginCmdW").
#include "platform/system_helpers.h"

#include "platform/bounded_text.h"
#include "platform/proc_lookup.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr size_t kFolderCapacity = 260;
constexpr DWORD kReplyCapacity = 128;

// The plug-in's folder: the part of its path before the last backslash (a
// bare drive keeps its backslash, "C:" alone would mean that drive's current
// folder). False when the path names no folder or it does not fit.
bool PluginFolder(const wchar_t* path, wchar_t (&folder)[kFolderCapacity])
{
    const wchar_t* lastBackslash = wcsrchr(path, L'\\');
    if (lastBackslash == nullptr) return false;
    size_t length = static_cast<size_t>(lastBackslash - path);
    if (length == 2 && path[1] == L':') ++length;
    if (length == 0 || length >= kFolderCapacity) return false;
    wmemcpy(folder, path, length);
    folder[length] = L'\0';
    return true;
}

}  // namespace

bool LoadPlugin(PluginHandle* plugin, const wchar_t* path)
{
    if (plugin == nullptr) return false;
    memset(plugin, 0, sizeof(*plugin));
    if (path == nullptr || path[0] == L'\0') return false;

    // A plug-in may load its own helpers from its folder: make that folder
    // current while it loads, then go back.
    wchar_t savedFolder[kFolderCapacity];
    const DWORD savedLength = GetCurrentDirectoryW(kFolderCapacity, savedFolder);
    if (savedLength == 0 || savedLength >= kFolderCapacity) savedFolder[0] = L'\0';  // cut: nothing safe to restore
    wchar_t pluginFolder[kFolderCapacity];
    if (PluginFolder(path, pluginFolder) && !SetCurrentDirectoryW(pluginFolder)) savedFolder[0] = L'\0';

    HMODULE module = LoadLibraryW(path);
    if (module != nullptr) {
        auto command = LookupProc<PluginCommandFunction>(module, "execQZPluginCmdW");
        if (command != nullptr) {
            plugin->module = module;
            plugin->command = command;
        } else {
            FreeLibrary(module);
        }
    }
    if (savedFolder[0] != L'\0') SetCurrentDirectoryW(savedFolder);
    return plugin->command != nullptr;
}

BOOL CallPlugin(PluginHandle* plugin, DWORD command, const wchar_t* argument, wchar_t* reply, DWORD replyCapacity)
{
    if (plugin == nullptr || plugin->command == nullptr) return FALSE;
    if (reply != nullptr && replyCapacity > 0) reply[0] = L'\0';
    const BOOL result = plugin->command(command, argument, reply, replyCapacity);
    // The reply comes from outside code: make sure it ends inside the buffer.
    if (reply != nullptr && replyCapacity > 0) reply[replyCapacity - 1] = L'\0';
    return result;
}

bool UnloadPlugin(PluginHandle* plugin)
{
    if (plugin == nullptr) return true;
    if (plugin->module != nullptr) FreeLibrary(plugin->module);
    memset(plugin, 0, sizeof(*plugin));
    return true;
}

bool RunPluginCommand(const wchar_t* pluginPath, const wchar_t* argument)
{
    PluginHandle plugin;
    if (!LoadPlugin(&plugin, pluginPath)) return false;
    wchar_t reply[kReplyCapacity];
    const BOOL called = CallPlugin(&plugin, 1, argument, reply, kReplyCapacity);
    const bool success = called != FALSE && wcscmp(reply, L"SUCCESS") == 0;
    UnloadPlugin(&plugin);
    return success;
}
