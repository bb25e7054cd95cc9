// The device context of one WM_PAINT: BeginPaint on construction, EndPaint on destruction.
#pragma once

#include <windows.h>

#include "Wnd.h"

class CPaintDC {
public:
    explicit CPaintDC(CWnd* window) : m_window(window->m_hWnd) { m_hDC = ::BeginPaint(m_window, &m_ps); }
    ~CPaintDC() { ::EndPaint(m_window, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

private:
    HWND m_window;
    PAINTSTRUCT m_ps{};
    HDC m_hDC = nullptr;
};
