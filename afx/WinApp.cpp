#include "WinApp.h"

#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlwapi.h>

namespace {

CWinApp* TheApp = nullptr;
bool OleReady = false;

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CWinApp::CWinApp() { TheApp = this; }

CWinApp::~CWinApp()
{
    if (TheApp == this) TheApp = nullptr;
}

int CWinApp::ExitInstance()
{
    if (OleReady) {
        ::OleUninitialize();
        OleReady = false;
    }
    return 0;
}

void CWinApp::OnHelp()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(m_hInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    if (!::PathRenameExtensionW(path, L".chm") || !::PathFileExistsW(path)) return;
    ::ShellExecuteW(nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

CWinApp* AfxGetApp() { return TheApp; }

HINSTANCE AfxGetInstanceHandle() { return TheApp != nullptr ? TheApp->m_hInstance : nullptr; }

void AfxEnableControlContainer()
{
    if (!OleReady) OleReady = SUCCEEDED(::OleInitialize(nullptr));
}

// The program's entry point: everything happens in the application's InitInstance.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 1;
    app->m_hInstance = instance;
    app->InitInstance();
    return app->ExitInstance();
}
