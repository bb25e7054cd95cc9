#include "Wnd.h"

#include "WinApp.h"

namespace {

// The window property that leads from a handle back to its object.
constexpr const wchar_t* ObjectProperty = L"afx.CWnd";

}  // namespace

CWnd::~CWnd() { Detach(); }

void CWnd::Attach(HWND window)
{
    m_hWnd = window;
    if (window != nullptr) ::SetPropW(window, ObjectProperty, this);
}

void CWnd::Detach()
{
    if (m_hWnd != nullptr && ::GetPropW(m_hWnd, ObjectProperty) == this) {
        ::RemovePropW(m_hWnd, ObjectProperty);
    }
    m_hWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND window)
{
    return static_cast<CWnd*>(::GetPropW(window, ObjectProperty));
}

CWnd* CWnd::GetDlgItem(int id)
{
    const HWND child = ::GetDlgItem(m_hWnd, id);
    if (child == nullptr) return nullptr;
    if (CWnd* bound = FromHandlePermanent(child)) return bound;
    std::lock_guard<std::mutex> hold(m_childrenLock);
    std::unique_ptr<CWnd>& wrapper = m_children[child];
    if (!wrapper) {
        wrapper = std::make_unique<CWnd>();
        wrapper->m_hWnd = child;  // a lookup only: the control is not bound to it
    }
    return wrapper.get();
}

std::wstring CWnd::GetWindowText() const
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(m_hWnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring CWnd::GetDlgItemText(int id) const
{
    const HWND child = ::GetDlgItem(m_hWnd, id);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(child)) + 1, L'\0');
    text.resize(::GetDlgItemTextW(m_hWnd, id, text.data(), static_cast<int>(text.size())));
    return text;
}

CMenu* CWnd::GetSystemMenu(BOOL revert)
{
    m_systemMenu.m_hMenu = ::GetSystemMenu(m_hWnd, revert);
    return m_systemMenu.m_hMenu != nullptr ? &m_systemMenu : nullptr;
}

LRESULT CWnd::Default() { return CallSuper(m_current.Message, m_current.WParam, m_current.LParam); }

void CWnd::SubclassWindow(HWND window)
{
    Attach(window);
    m_superProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* object = FromHandlePermanent(window);
    if (object == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
    return object->WindowProc(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Handlers may run nested (a message box inside a handler): keep the outer message.
    const CurrentMessage outer = m_current;
    m_current = {message, wParam, lParam};
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, result)) result = CallSuper(message, wParam, lParam);
    m_current = outer;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
        m_superProc = nullptr;
        Detach();
        std::lock_guard<std::mutex> hold(m_childrenLock);
        m_children.clear();
    }
    return result;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        code = header->code;
        id = static_cast<UINT>(header->idFrom);
    }
    if (const afx::MessageMapEntry* entry = FindEntry(message, code, id)) {
        result = entry->Invoke(*this, wParam, lParam);
        return true;
    }
    // Commands no window handles go to the application's map.
    if (message == WM_COMMAND) {
        CWinApp* app = AfxGetApp();
        if (app != nullptr && app->OnCmdMsg(id, code, wParam, lParam)) {
            result = 0;
            return true;
        }
    }
    return false;
}

LRESULT CWnd::CallSuper(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_superProc == nullptr) return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
    return ::CallWindowProcW(m_superProc, m_hWnd, message, wParam, lParam);
}
