// The collection run on its worker thread.
#pragma once
#include "platform/win.h"

// Thread procedure; the argument is the main dialog (may be null in tests).
// Sets CollectionFinishedEvent on every path and returns 0.
DWORD WINAPI CollectionWorker(void* dialog);
