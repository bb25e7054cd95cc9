// The framework layer against real windows of the system: message-only windows, which
// need no display, so that the message maps, the routing of commands to the
// application, Default() and the worker threads are checked as the product uses them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <vector>

#include "AfxWin.h"

namespace {

// What the window class's own procedure saw: what the object's map passed on.
std::vector<UINT> ClassProcMessages;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER || message == WM_COMMAND || message == WM_USER) {
        ClassProcMessages.push_back(message);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t* RecordingClass()
{
    static const ATOM atom = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &RecordingProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"AfxTestsRecording";
        return RegisterClassW(&windowClass);
    }();
    return atom != 0 ? L"AfxTestsRecording" : nullptr;
}

constexpr int ClickedId = 7;
constexpr int BaseOnlyId = 11;
constexpr int SelectionId = 12;
constexpr int LinkId = 9;

class CBaseWindow : public CWnd {
public:
    std::vector<std::string> Calls;

    void Create()
    {
        SubclassWindow(CreateWindowExW(0, RecordingClass(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                       nullptr, GetModuleHandleW(nullptr), nullptr));
    }

protected:
    void OnClicked() { Calls.push_back("base clicked"); }
    void OnBaseOnly() { Calls.push_back("base only"); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWindow, CWnd)
    ON_BN_CLICKED(ClickedId, &CBaseWindow::OnClicked)
    ON_COMMAND(BaseOnlyId, &CBaseWindow::OnBaseOnly)
END_MESSAGE_MAP()

class CTestWindow : public CBaseWindow {
public:
    UINT_PTR LastTimer = 0;
    bool PassTimerOn = false;

protected:
    void OnClicked() { Calls.push_back("derived clicked"); }
    void OnSelection() { Calls.push_back("selection"); }
    void OnTimer(UINT_PTR id)
    {
        LastTimer = id;
        if (PassTimerOn) CWnd::OnTimer(id);
    }
    void OnLink(NMHDR* notification, LRESULT* result)
    {
        Calls.push_back("link " + std::to_string(notification->idFrom));
        *result = 42;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestWindow, CBaseWindow)
    ON_BN_CLICKED(ClickedId, &CTestWindow::OnClicked)
    ON_CBN_SELCHANGE(SelectionId, &CTestWindow::OnSelection)
    ON_WM_TIMER()
    ON_NOTIFY(NM_CLICK, LinkId, &CTestWindow::OnLink)
END_MESSAGE_MAP()

class CTestApp : public CWinApp {
public:
    int HelpCommands = 0;

protected:
    void OnTestHelp() { ++HelpCommands; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
    ON_COMMAND(ID_HELP, &CTestApp::OnTestHelp)
END_MESSAGE_MAP()

class MessageMapTest : public testing::Test {
protected:
    void SetUp() override
    {
        ClassProcMessages.clear();
        Window.Create();
        ASSERT_NE(Window.m_hWnd, nullptr);
    }
    void TearDown() override
    {
        if (Window.m_hWnd != nullptr) DestroyWindow(Window.m_hWnd);
    }

    LRESULT Command(int id, int code)
    {
        return SendMessageW(Window.m_hWnd, WM_COMMAND, MAKEWPARAM(id, code), 0);
    }

    CTestWindow Window;
};

TEST_F(MessageMapTest, CommandsMatchTheirControlAndNotificationCode)
{
    Command(ClickedId, BN_CLICKED);
    Command(SelectionId, CBN_SELCHANGE);
    Command(SelectionId, CBN_DROPDOWN);  // another code of the same control
    Command(ClickedId + 100, BN_CLICKED);  // another control
    EXPECT_EQ(Window.Calls, (std::vector<std::string>{"derived clicked", "selection"}));
    // The unmatched ones reached the window's own procedure.
    EXPECT_EQ(ClassProcMessages, (std::vector<UINT>{WM_COMMAND, WM_COMMAND}));
}

TEST_F(MessageMapTest, DerivedEntriesWinAndBaseEntriesStillServe)
{
    Command(ClickedId, BN_CLICKED);
    Command(BaseOnlyId, 0);
    EXPECT_EQ(Window.Calls, (std::vector<std::string>{"derived clicked", "base only"}));
}

TEST_F(MessageMapTest, NotificationsCarryTheHandlersResult)
{
    NMHDR header{};
    header.hwndFrom = Window.m_hWnd;
    header.idFrom = LinkId;
    header.code = NM_CLICK;
    EXPECT_EQ(SendMessageW(Window.m_hWnd, WM_NOTIFY, LinkId, reinterpret_cast<LPARAM>(&header)), 42);
    header.code = NM_RETURN;  // not in the map
    EXPECT_EQ(SendMessageW(Window.m_hWnd, WM_NOTIFY, LinkId, reinterpret_cast<LPARAM>(&header)), 0);
    EXPECT_EQ(Window.Calls, (std::vector<std::string>{"link 9"}));
}

TEST_F(MessageMapTest, HandledMessagesReachTheWindowOnlyThroughDefault)
{
    SendMessageW(Window.m_hWnd, WM_TIMER, 3, 0);
    EXPECT_EQ(Window.LastTimer, 3u);
    EXPECT_TRUE(ClassProcMessages.empty());

    Window.PassTimerOn = true;
    SendMessageW(Window.m_hWnd, WM_TIMER, 4, 0);
    EXPECT_EQ(Window.LastTimer, 4u);
    EXPECT_EQ(ClassProcMessages, (std::vector<UINT>{WM_TIMER}));

    SendMessageW(Window.m_hWnd, WM_USER, 0, 0);  // in no map
    EXPECT_EQ(ClassProcMessages, (std::vector<UINT>{WM_TIMER, WM_USER}));
}

TEST_F(MessageMapTest, TimersArriveAsTimerMessages)
{
    Window.LastTimer = 99;
    ASSERT_NE(Window.SetTimer(0, 10, nullptr), 0u);  // id 0, as the scan's timer
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
        if (message.message == WM_TIMER && message.hwnd == Window.m_hWnd) break;
    }
    EXPECT_EQ(Window.LastTimer, 0u);
    EXPECT_TRUE(Window.KillTimer(0));
}

TEST_F(MessageMapTest, CommandsNoWindowHandlesGoToTheApplication)
{
    CTestApp app;
    ASSERT_EQ(AfxGetApp(), &app);
    Command(ID_HELP, 0);
    Command(ClickedId, BN_CLICKED);  // the window's own: not the application's
    EXPECT_EQ(app.HelpCommands, 1);
    EXPECT_EQ(Window.Calls, (std::vector<std::string>{"derived clicked"}));
}

TEST_F(MessageMapTest, TheObjectLetsGoWhenItsWindowIsDestroyed)
{
    const HWND window = Window.m_hWnd;
    EXPECT_EQ(CWnd::FromHandlePermanent(window), &Window);
    DestroyWindow(window);
    EXPECT_EQ(Window.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
}

// Controls as message-only windows too: without a display the system makes no child windows.
HWND Control(const wchar_t* windowClass, DWORD style = 0)
{
    return CreateWindowExW(0, windowClass, L"", style, 0, 0, 100, 100, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

TEST(ControlsTest, TextsRoundTrip)
{
    CStatic text;
    text.Attach(Control(L"STATIC"));
    ASSERT_NE(text.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(text.m_hWnd), &text);
    text.SetWindowText(L"结果： JPG:3");
    EXPECT_EQ(text.GetWindowText(), L"结果： JPG:3");
    text.SetWindowText(L"");
    EXPECT_EQ(text.GetWindowText(), L"");
    DestroyWindow(text.m_hWnd);
}

TEST(ControlsTest, EnableWindowReportsTheEarlierState)
{
    CButton button;
    button.Attach(Control(L"BUTTON"));
    ASSERT_NE(button.m_hWnd, nullptr);
    EXPECT_FALSE(button.EnableWindow(FALSE));  // was enabled
    EXPECT_FALSE(IsWindowEnabled(button.m_hWnd));
    EXPECT_TRUE(button.EnableWindow(TRUE));  // was disabled
    EXPECT_TRUE(IsWindowEnabled(button.m_hWnd));
    DestroyWindow(button.m_hWnd);
}

struct ThreadProbe {
    HANDLE Release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> RanOn{0};
    std::atomic<int> Priority{THREAD_PRIORITY_ERROR_RETURN};
};

UINT ProbeProc(LPVOID parameter)
{
    auto* probe = static_cast<ThreadProbe*>(parameter);
    probe->RanOn = GetCurrentThreadId();
    probe->Priority = GetThreadPriority(GetCurrentThread());
    WaitForSingleObject(probe->Release, INFINITE);
    return 7;
}

// Our own handle to the thread: the thread object closes its own when the procedure returns.
HANDLE KeepHandle(const CWinThread& thread)
{
    HANDLE handle = nullptr;
    const HANDLE process = GetCurrentProcess();
    DuplicateHandle(process, thread.m_hThread, process, &handle, SYNCHRONIZE | THREAD_QUERY_INFORMATION,
                    FALSE, 0);
    return handle;
}

TEST(WinThreadTest, RunsTheProcedureWithItsParameterAndPriority)
{
    ThreadProbe probe;
    CWinThread* thread = AfxBeginThread(&ProbeProc, &probe, THREAD_PRIORITY_BELOW_NORMAL);
    ASSERT_NE(thread, nullptr);
    const UINT id = thread->m_nThreadID;
    const HANDLE handle = KeepHandle(*thread);
    ASSERT_NE(handle, nullptr);
    SetEvent(probe.Release);

    ASSERT_EQ(WaitForSingleObject(handle, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(handle, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(probe.RanOn.load(), id);
    EXPECT_EQ(probe.Priority.load(), THREAD_PRIORITY_BELOW_NORMAL);
    CloseHandle(handle);
    CloseHandle(probe.Release);
}

TEST(WinThreadTest, ASuspendedThreadWaitsForResume)
{
    ThreadProbe probe;
    SetEvent(probe.Release);
    CWinThread* thread = AfxBeginThread(&ProbeProc, &probe, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    const HANDLE handle = KeepHandle(*thread);
    EXPECT_EQ(WaitForSingleObject(handle, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(probe.RanOn.load(), 0u);
    thread->ResumeThread();
    ASSERT_EQ(WaitForSingleObject(handle, 10000), WAIT_OBJECT_0);
    EXPECT_NE(probe.RanOn.load(), 0u);
    CloseHandle(handle);
    CloseHandle(probe.Release);
}

// Like the scan's worker at its end: a message sent to a window of the waiting thread,
// then the thread ends.
UINT SendThenEnd(LPVOID target)
{
    Sleep(50);  // the waiting thread is inside the wait by now
    SendMessageW(static_cast<HWND>(target), WM_COMMAND, MAKEWPARAM(ClickedId, BN_CLICKED), 0);
    return 0;
}

TEST_F(MessageMapTest, WaitingServesWhatTheThreadSendsBeforeItEnds)
{
    CWinThread* thread = AfxBeginThread(&SendThenEnd, Window.m_hWnd, THREAD_PRIORITY_NORMAL, 0,
                                        CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    const HANDLE handle = KeepHandle(*thread);
    thread->ResumeThread();

    AfxWaitDispatching(handle);  // a wait that served nothing would never return
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_OBJECT_0);
    EXPECT_EQ(Window.Calls, (std::vector<std::string>{"derived clicked"}));
    CloseHandle(handle);
}

TEST_F(MessageMapTest, WaitingDispatchesPostedMessagesAndKeepsAQuit)
{
    const HANDLE later = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PostMessageW(Window.m_hWnd, WM_COMMAND, MAKEWPARAM(BaseOnlyId, 0), 0);
    PostQuitMessage(3);
    // Signalled from another thread after a moment, so the wait must first serve the queue.
    struct Signal {
        static UINT Run(LPVOID event)
        {
            Sleep(100);
            SetEvent(static_cast<HANDLE>(event));
            return 0;
        }
    };
    ASSERT_NE(AfxBeginThread(&Signal::Run, later), nullptr);

    AfxWaitDispatching(later);
    EXPECT_EQ(Window.Calls, (std::vector<std::string>{"base only"}));
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 3u);
    CloseHandle(later);
}

}  // namespace
