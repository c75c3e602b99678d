// Who owns a folder. An old tree in a place that other users can write to is
// reused by an elevated run only when an account the run trusts made it.
#pragma once
#include "platform/win.h"

// True when `folder` (a link itself, not what it points to) belongs to the
// Administrators group, SYSTEM or the account this program runs as; false
// when its owner cannot be read.
bool IsOwnedByTrustedAccount(const char* folder);

// Tests put a folder owner here, since Wine reports every file as the
// user's; null: the owner the file system reports. Owned by the test.
extern PSID FolderOwnerOverride;
