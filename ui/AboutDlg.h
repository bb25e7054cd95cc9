// The About box, opened from the main window's system menu.
#pragma once

#include "AfxWin.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override;

    DECLARE_MESSAGE_MAP()
};
