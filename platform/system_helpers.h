// Small system services around a collection run. All are stateless.
#pragma once
#include "platform/win.h"

#include <cstddef>

// Whether the caller counts as administrator (always on a Windows without NT
// security). Impersonates the calling thread for its duration. Prints
// "AccessCheck() failed with error N" to standard output only when the
// access check itself fails; every other failure answers false silently.
bool IsUserAdministrator();
// Switches the named privilege on in the process token. True only when the
// token holds it and it is now enabled; callers may ignore the answer.
bool EnablePrivilege(const char* privilegeName);
bool EnableDebugPrivilege();
// Ends a process with exit code 0. False with the Windows error code (of
// OpenProcess or TerminateProcess) when it could not; 0 on success.
bool TerminateProcessById(DWORD processId, DWORD* errorCode);
// The 32-bit system folder of a 64-bit Windows (SysWOW64). False, out
// empty, on a Windows without one or when it does not fit (never cut).
bool GetWow64SystemFolder(char* out, size_t capacity);
// Dispatches the messages waiting for this thread; never waits.
void PumpPendingMessages();
// Creates a folder and its missing parents. True when it exists afterwards
// or there was nothing to make. False when a level cannot be made (levels
// made before stay), a file is in the way, or the path is longer than 259
// characters (it is never cut into another folder's name).
bool CreateDirectoryTree(const wchar_t* path);

// Command entry point of a product plug-in library ("execQZPluginCmdW"):
// command, argument text, reply buffer and its capacity in characters;
// non-zero for success. The reply "SUCCESS" says the command was carried out.
using PluginCommandFunction = BOOL(WINAPI*)(DWORD command, const wchar_t* argument, wchar_t* reply,
                                            DWORD replyCapacity);

// Module and entry point of a loaded plug-in; both null when none is loaded.
struct PluginHandle {
    HMODULE module;
    PluginCommandFunction command;
};

// Loads the plug-in with its own folder as the current folder (changed back
// afterwards; the process-wide current folder must not be relied on by other
// threads meanwhile). True when it is loaded and has the entry point; else
// the record is zeroed and nothing stays loaded. Free with UnloadPlugin.
bool LoadPlugin(PluginHandle* plugin, const wchar_t* path);
// The entry point's result, 0 when nothing is loaded. The reply is emptied
// before and terminated within its capacity after the call.
BOOL CallPlugin(PluginHandle* plugin, DWORD command, const wchar_t* argument, wchar_t* reply,
                DWORD replyCapacity);
// Frees the library and zeroes the record; always true.
bool UnloadPlugin(PluginHandle* plugin);
// Load, command 1 with the argument, unload. True when the call returned
// non-zero and replied exactly "SUCCESS" (case-sensitive).
bool RunPluginCommand(const wchar_t* pluginPath, const wchar_t* argument);
