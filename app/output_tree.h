// The output tree SupportData and its deletion.
#pragma once

// Builds the folder paths below `outputBase` (which ends with a backslash),
// deletes an old tree and creates the folders. False, with a status line and
// nothing deleted or created, when the paths do not fit their buffers or
// when the tree's place is taken by a link that cannot be removed.
bool SetUpOutputTree(const char* outputBase);
// Creates OutputRoot and its seven subfolders.
void CreateOutputFolders();
// Deletes `folder` (or `folder`\`subfolder`) with everything in it. Links and
// junctions are removed themselves, never followed, the folder itself
// included. An empty or relative path is refused.
void DeleteTree(const char* folder, const char* subfolder = nullptr);
// True for "X:\..." and "\\server\..." paths.
bool IsAbsolutePath(const char* path);
