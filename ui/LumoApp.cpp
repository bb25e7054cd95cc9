#include "LumoApp.h"

#include <commctrl.h>

#include "LumoDlg.h"

BEGIN_MESSAGE_MAP(CLumoApp, CWinAppEx)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CLumoApp theApp;

BOOL CLumoApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CWinAppEx::InitInstance();
    AfxEnableControlContainer();
    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    CLumoDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
