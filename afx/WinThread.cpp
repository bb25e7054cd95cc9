#include "WinThread.h"

#include <process.h>

#include <cstdint>

CWinThread::~CWinThread()
{
    if (m_hThread != nullptr) ::CloseHandle(m_hThread);
}

unsigned __stdcall CWinThread::Run(void* self)
{
    auto* thread = static_cast<CWinThread*>(self);
    const UINT code = thread->m_procedure(thread->m_parameter);
    delete thread;
    return code;
}

CWinThread* AfxBeginThread(AFX_THREADPROC procedure, LPVOID parameter, int priority,
                           UINT stackSize, DWORD flags, LPSECURITY_ATTRIBUTES security)
{
    auto* thread = new CWinThread(procedure, parameter);
    // Suspended until the object is complete, since the running thread may delete it.
    const std::uintptr_t handle = ::_beginthreadex(security, stackSize, &CWinThread::Run, thread,
                                                   CREATE_SUSPENDED, &thread->m_nThreadID);
    if (handle == 0) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(handle);
    ::SetThreadPriority(thread->m_hThread, priority);
    if ((flags & CREATE_SUSPENDED) == 0) thread->ResumeThread();
    return thread;
}
