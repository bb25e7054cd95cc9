// A window object over an HWND. Windows created or bound by the framework are found
// again from their handle; their messages go through the class's message map.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "CmdTarget.h"
#include "Menu.h"

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    // Binds this object to an existing window, so that FromHandlePermanent finds it.
    void Attach(HWND window);
    static CWnd* FromHandlePermanent(HWND window);

    // A child control; the same object is returned for the same control while this
    // window lives. Null when there is no such control.
    CWnd* GetDlgItem(int id);
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    void SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }
    std::wstring GetWindowText() const;
    std::wstring GetDlgItemText(int id) const;
    void SetDlgItemText(int id, LPCWSTR text) { ::SetDlgItemTextW(m_hWnd, id, text); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK) const
    {
        return ::MessageBoxW(m_hWnd, text, caption, type);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC callback)
    {
        return ::SetTimer(m_hWnd, id, elapse, callback);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    // Null when the window has no system menu.
    CMenu* GetSystemMenu(BOOL revert);
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }

protected:
    // The window's own processing of the message being handled.
    LRESULT Default();

    void OnPaint() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }

    // Makes this object receive the window's messages ahead of its class procedure.
    void SubclassWindow(HWND window);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct CurrentMessage {
        UINT Message = 0;
        WPARAM WParam = 0;
        LPARAM LParam = 0;
    };

    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    LRESULT CallSuper(UINT message, WPARAM wParam, LPARAM lParam);
    void Detach();

    WNDPROC m_superProc = nullptr;
    CurrentMessage m_current;
    CMenu m_systemMenu;
    // Wrappers for unbound children; GetDlgItem is also called from worker threads.
    std::mutex m_childrenLock;
    std::map<HWND, std::unique_ptr<CWnd>> m_children;
};
