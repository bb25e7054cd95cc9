// A combo box bound to a dialog control.
#pragma once

#include <string>

#include "Wnd.h"

class CComboBox : public CWnd {
public:
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int AddString(LPCWSTR text)
    {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    // The text of entry `index`; empty when there is no such entry.
    std::wstring GetLBText(int index) const;
};
