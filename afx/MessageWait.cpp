#include "MessageWait.h"

void AfxWaitDispatching(HANDLE object)
{
    MSG quit{};
    while (::MsgWaitForMultipleObjects(1, &object, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = message;
                continue;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    if (quit.message == WM_QUIT) ::PostQuitMessage(static_cast<int>(quit.wParam));
}
