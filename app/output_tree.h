// The output tree SupportData and its deletion.
#pragma once

#include "platform/win.h"

// Builds the folder paths below `outputBase` (which ends with a backslash),
// deletes an old tree and creates the folders. False, with a status line,
// when the paths do not fit their buffers (nothing is deleted or created),
// when the tree's place is taken by a link that cannot be removed, or when
// an old tree cannot be removed completely (nothing is created).
bool SetUpOutputTree(const char* outputBase);
// Creates OutputRoot and its seven subfolders.
void CreateOutputFolders();
// Deletes `folder` (or `folder`\`subfolder`) with everything in it, at any
// depth and path length. Links and junctions are removed themselves, never
// followed, the folder itself included. An empty or relative path, and a
// drive or share root, are refused. True when nothing of it is left.
bool DeleteTree(const char* folder, const char* subfolder = nullptr);
// True for "X:\..." and "\\server\..." paths.
bool IsAbsolutePath(const char* path);

// How the walks over the tree (the archive, the summary) treat an entry: a
// link is neither entered nor packed, it is not the run's data.
enum class TreeEntryKind { Folder, File, Link };
TreeEntryKind ClassifyTreeEntry(DWORD attributes);
