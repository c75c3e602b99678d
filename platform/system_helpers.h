// Small system services around a collection run.
#pragma once
#include "platform/win.h"

bool IsUserAdministrator();
bool EnablePrivilege(const char* privilegeName);
bool EnableDebugPrivilege();
// Ends a process. False with the Windows error code when it could not.
bool TerminateProcessById(DWORD processId, DWORD* errorCode);
// Dispatches the messages waiting for this thread; never waits.
void PumpPendingMessages();
// Creates a folder and its missing parents. True when it exists afterwards
// or there was nothing to make.
bool CreateDirectoryTree(const wchar_t* path);

// Command entry point of a product plug-in library ("execQZPluginCmdW").
using PluginCommandFunction = BOOL(WINAPI*)(DWORD command, const wchar_t* argument, wchar_t* reply,
                                            DWORD replyCapacity);

struct PluginHandle {
    HMODULE module;
    PluginCommandFunction command;
};

bool LoadPlugin(PluginHandle* plugin, const wchar_t* path);
BOOL CallPlugin(PluginHandle* plugin, DWORD command, const wchar_t* argument, wchar_t* reply,
                DWORD replyCapacity);
bool UnloadPlugin(PluginHandle* plugin);
// True when command 1 of the plug-in replied "SUCCESS".
bool RunPluginCommand(const wchar_t* pluginPath, const wchar_t* argument);
