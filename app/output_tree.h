// The output tree SupportData and its deletion.
#pragma once

// Builds the folder paths below `outputBase` (which ends with a backslash),
// deletes an old tree and creates the folders.
void SetUpOutputTree(const char* outputBase);
// Creates OutputRoot and its seven subfolders.
void CreateOutputFolders();
// Deletes `folder` (or `folder`\`subfolder`) with everything in it. Links and
// junctions inside are removed themselves, never followed.
void DeleteTree(const char* folder, const char* subfolder = nullptr);
