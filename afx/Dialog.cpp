#include "Dialog.h"

#include "WinApp.h"

void DDX_Control(CDataExchange* exchange, int id, CWnd& control)
{
    control.Attach(::GetDlgItem(exchange->m_pDlgWnd->m_hWnd, id));
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

HWND CDialog::OwnerWindow() const
{
    if (m_parent != nullptr) return m_parent->m_hWnd;
    // Without a parent a dialog belongs to the main window, unless it is the main window.
    const CWinApp* app = AfxGetApp();
    const CWnd* main = app != nullptr ? app->m_pMainWnd : nullptr;
    return main != nullptr && main != this ? main->m_hWnd : nullptr;
}

INT_PTR CDialog::DoModal()
{
    const HWND owner = OwnerWindow();
    const bool ownerEnabled = owner != nullptr && ::IsWindowEnabled(owner);
    if (ownerEnabled) ::EnableWindow(owner, FALSE);

    m_ending = false;
    m_result = -1;
    const HWND window = ::CreateDialogParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_templateId),
                                             owner, &DialogProc, reinterpret_cast<LPARAM>(this));
    if (window != nullptr) {
        ::ShowWindow(window, SW_SHOW);
        RunModalLoop();
    }

    // The owner is enabled again before this window goes, so that it gets the activation back.
    if (ownerEnabled) ::EnableWindow(owner, TRUE);
    if (window != nullptr) ::DestroyWindow(window);
    return m_result;
}

void CDialog::EndDialog(INT_PTR result)
{
    m_result = result;
    m_ending = true;
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wakes the loop if nothing else is queued
}

void CDialog::RunModalLoop()
{
    MSG message{};
    while (!m_ending) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {  // WM_QUIT belongs to an outer loop
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!PreTranslateMessage(&message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

BOOL CDialog::OnInitDialog()
{
    CDataExchange exchange{this};
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* message) { return ::IsDialogMessageW(m_hWnd, message); }

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG) return FALSE;
    // From here on the object's message map sees the dialog's messages first; what it does
    // not handle reaches the system's dialog procedure and, through it, FALSE here.
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->SubclassWindow(window);
    return dialog->OnInitDialog();
}
