// A worker thread that deletes its own object, and closes its handle, when its
// procedure returns.
#pragma once

#include <windows.h>

using AFX_THREADPROC = UINT (*)(LPVOID);

class CWinThread {
public:
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
    ~CWinThread();

    HANDLE m_hThread = nullptr;
    UINT m_nThreadID = 0;

    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }

private:
    CWinThread(AFX_THREADPROC procedure, LPVOID parameter)
        : m_procedure(procedure), m_parameter(parameter)
    {
    }
    static unsigned __stdcall Run(void* self);

    AFX_THREADPROC m_procedure;
    LPVOID m_parameter;

    friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD,
                                      LPSECURITY_ATTRIBUTES);
};

// Starts `procedure(parameter)` on a new thread; null if the thread cannot be made.
// The object is valid until the procedure returns.
CWinThread* AfxBeginThread(AFX_THREADPROC procedure, LPVOID parameter,
                           int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                           DWORD flags = 0, LPSECURITY_ATTRIBUTES security = nullptr);
