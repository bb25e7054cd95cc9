// The application: one global object, reached through AfxGetApp, whose InitInstance
// does the program's work. A dialog application runs its main dialog there; the
// framework starts no message loop of its own.
#pragma once

#include <windows.h>

#include <string>

#include "CmdTarget.h"

class CWnd;

// The standard Help command.
constexpr UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget {
public:
    CWinApp();
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance();

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    // Where settings would be kept, under HKEY_CURRENT_USER\Software; set by SetRegistryKey.
    std::wstring m_registryKey;

    // Opens the help file beside the program (same name, .chm), if there is one.
    void OnHelp();

protected:
    void SetRegistryKey(LPCWSTR key) { m_registryKey = key; }

    DECLARE_MESSAGE_MAP()
};

// Dialog applications need nothing of the extended base that the plain one lacks.
using CWinAppEx = CWinApp;

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// Prepares this thread to host COM components, as the shell's folder chooser needs.
void AfxEnableControlContainer();
