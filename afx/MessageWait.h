// Waiting on this thread for a handle, while still serving its messages: another thread
// may be sending to this thread's windows before it signals.
#pragma once

#include <windows.h>

// Returns once `object` is signalled. Messages are translated and dispatched meanwhile;
// a WM_QUIT seen is posted again afterwards, for the loop that owns it.
void AfxWaitDispatching(HANDLE object);
