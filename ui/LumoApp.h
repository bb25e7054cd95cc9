// The application: runs the main dialog and ends when it closes.
#pragma once

#include "AfxWin.h"

class CLumoApp : public CWinAppEx {
public:
    CLumoApp() = default;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
