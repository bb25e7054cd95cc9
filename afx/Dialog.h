// A dialog from a template, run modally by its own message loop so that
// PreTranslateMessage sees every message before it is dispatched.
#pragma once

#include "Wnd.h"

class CDialog;

struct CDataExchange {
    CDialog* m_pDlgWnd;
};

// Binds a control object to the dialog's control `id`.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr)
        : m_templateId(templateId), m_parent(parent)
    {
    }

    // Shows the dialog and returns the code given to EndDialog; -1 if it could not be made.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    virtual BOOL OnInitDialog();
    virtual BOOL PreTranslateMessage(MSG* message);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND OwnerWindow() const;
    void RunModalLoop();

    UINT m_templateId;
    CWnd* m_parent;
    bool m_ending = false;
    INT_PTR m_result = -1;
};
