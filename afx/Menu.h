// A menu handle the window does not own (the system menu).
#pragma once

#include <windows.h>

class CMenu {
public:
    HMENU m_hMenu = nullptr;

    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCWSTR item = nullptr)
    {
        return ::AppendMenuW(m_hMenu, flags, id, item);
    }
};
