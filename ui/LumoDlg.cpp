#include "LumoDlg.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "AboutDlg.h"
#include "MakerPages.h"
#include "SameVolume.h"
#include "WindowText.h"
#include "resource.h"

namespace {

constexpr auto Relaxed = std::memory_order_relaxed;

constexpr const wchar_t* ProgramCaption = reclaima::CSectorScanner::ProgramCaption;
constexpr const wchar_t* StartCaption = L"开始";
constexpr const wchar_t* PauseCaption = L"暂停";
constexpr const wchar_t* ContinueCaption = L"继续";
constexpr const wchar_t* ShrunkVolumeText =
    L"分区在扫描期间变小了：其新末尾之后的内容按全零读取，那里的文件未能恢复。";

constexpr UINT_PTR ProgressTimer = 0;
constexpr UINT ProgressTimerMilliseconds = 100;
constexpr BYTE WindowOpacity = 220;

// Locked while a scan runs, in this order.
constexpr int ScanInputs[] = {IDC_REFRESH, IDC_PARTITION, IDC_BROWSE};

void OpenPage(const wchar_t* address)
{
    ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

// A scan that ran to its end over a partition that shrank under it read zeros past the new
// end, and its result line would pass for a scan of the whole partition. A stopped scan
// claims no such thing. Shown from the worker without an owner, as the engine's boxes are:
// a close of the window meanwhile waits for the worker, which the box holds.
void WarnIfShrunk(const reclaima::CSectorScanner& scanner, std::uint64_t endSector,
                  std::int64_t measured)
{
    if (scanner.CurrentSector.load(Relaxed) < endSector) return;
    if (scanner.ShrunkVolumeLength(measured))
        MessageBoxW(nullptr, ShrunkVolumeText, ProgramCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace

BEGIN_MESSAGE_MAP(CLumoDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_BROWSE, &CLumoDlg::OnBrowse)
    ON_BN_CLICKED(IDC_REFRESH, &CLumoDlg::OnRefresh)
    ON_CBN_SELCHANGE(IDC_PARTITION, &CLumoDlg::OnPartitionChanged)
    ON_BN_CLICKED(IDC_START, &CLumoDlg::OnStart)
    ON_BN_CLICKED(IDC_STOP, &CLumoDlg::OnStop)
    ON_WM_TIMER()
    ON_NOTIFY(NM_CLICK, IDC_MAKER_LINK, &CLumoDlg::OnMakerLink)
    ON_STN_CLICKED(IDC_BANNER, &CLumoDlg::OnBannerClicked)
    ON_NOTIFY(NM_CLICK, IDC_FEEDBACK_LINK, &CLumoDlg::OnFeedbackLink)
END_MESSAGE_MAP()

CLumoDlg::CLumoDlg(CWnd* parent) : CDialog(IDD_LUMO_DIALOG, parent)
{
    Icon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CLumoDlg::~CLumoDlg()
{
    if (ScanThreadHandle != nullptr) CloseHandle(ScanThreadHandle);
}

void CLumoDlg::DoDataExchange(CDataExchange* exchange)
{
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_PARTITION, PartitionCombo);
    DDX_Control(exchange, IDC_RESULT, ResultText);
    DDX_Control(exchange, IDC_PROGRESS, ProgressBar);
    DDX_Control(exchange, IDC_PERCENT, PercentText);
    DDX_Control(exchange, IDC_START, StartButton);
    DDX_Control(exchange, IDC_STOP, StopButton);
}

BOOL CLumoDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
        const std::wstring aboutItem = AfxLoadString(IDS_ABOUTBOX);
        if (!aboutItem.empty()) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, aboutItem.c_str());
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Icon));

    SetWindowLongW(m_hWnd, GWL_EXSTYLE, GetWindowLongW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(m_hWnd, 0, WindowOpacity, LWA_ALPHA);

    FillPartitionList();
    UpdateCapacity(0);
    StopButton.EnableWindow(FALSE);
    return TRUE;
}

void CLumoDlg::OnSysCommand(UINT id, LPARAM)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        Default();
    }
}

void CLumoDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cx = GetSystemMetrics(SM_CXICON);
    const int cy = GetSystemMetrics(SM_CYICON);
    RECT client{};
    GetClientRect(&client);
    const int x = (client.right - client.left - cx + 1) / 2;
    const int y = (client.bottom - client.top - cy + 1) / 2;
    dc.DrawIcon(x, y, Icon);
}

HCURSOR CLumoDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(Icon); }

BOOL CLumoDlg::PreTranslateMessage(MSG* message)
{
    // Enter would press Start and Escape would close the window.
    if (message->message == WM_KEYDOWN &&
        (message->wParam == VK_ESCAPE || message->wParam == VK_RETURN)) {
        return TRUE;
    }
    return CDialog::PreTranslateMessage(message);
}

void CLumoDlg::OnMakerLink(NMHDR*, LRESULT* result)
{
    OpenPage(reclaima::HomePageAddress);
    *result = 0;
}

void CLumoDlg::OnBannerClicked() { OpenPage(reclaima::HomePageAddress); }

void CLumoDlg::OnFeedbackLink(NMHDR*, LRESULT* result)
{
    OpenPage(reclaima::FeedbackPageAddress);
    *result = 0;
}

// Partition list and capacity.

std::wstring CLumoDlg::DriveTypeLabel(UINT driveType)
{
    return reclaima::ui::DriveTypeLabel(driveType);
}

void CLumoDlg::FillPartitionList()
{
    wchar_t buffer[256] = {};
    // One place kept for the final NUL; a failed or truncated answer lists nothing.
    const DWORD capacity = static_cast<DWORD>(std::size(buffer) - 1);
    DWORD filled = GetLogicalDriveStringsW(capacity, buffer);
    if (filled > capacity) filled = 0;

    PartitionCombo.ResetContent();
    for (const std::wstring& root : reclaima::ui::DriveRoots({buffer, filled})) {
        const std::wstring entry =
            reclaima::ui::PartitionEntry(root, DriveTypeLabel(GetDriveTypeW(root.c_str())));
        PartitionCombo.AddString(entry.c_str());
    }
    PartitionCombo.SetCurSel(0);
}

void CLumoDlg::UpdateCapacity(int index)
{
    // No entry (an empty list): nothing to measure, and an empty range.
    const std::wstring root = reclaima::ui::PartitionRoot(PartitionCombo.GetLBText(index));
    VolumeBytes = root.empty() ? 0 : Scanner.GetVolumeLength(root);
    SetDlgItemText(IDC_CAPACITY, reclaima::ui::CapacityText(VolumeBytes).c_str());
    FirstSector = 0;
    EndSector = reclaima::ui::EndSectorOf(VolumeBytes);
}

void CLumoDlg::OnPartitionChanged() { UpdateCapacity(PartitionCombo.GetCurSel()); }

void CLumoDlg::OnRefresh()
{
    FillPartitionList();
    OnPartitionChanged();
}

// Save folder.

void CLumoDlg::OnBrowse()
{
    wchar_t buffer[MAX_PATH] = {};
    BROWSEINFOW chooser{};
    chooser.hwndOwner = m_hWnd;
    chooser.pidlRoot = nullptr;
    chooser.pszDisplayName = buffer;
    chooser.lpszTitle = L"请选择要保存图片文件的目录：";
    chooser.ulFlags = 0;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&chooser);
    if (chosen == nullptr) return;
    const BOOL isFolder = SHGetPathFromIDListW(chosen, buffer);
    CoTaskMemFree(chosen);
    if (!isFolder) return;

    SaveFolder = reclaima::ui::SaveFolderFor(buffer);
    CreateDirectoryW(SaveFolder.c_str(), nullptr);
    SetDlgItemText(IDC_SAVE_FOLDER, SaveFolder.c_str());
}

// Scan control.

void CLumoDlg::OnStart()
{
    if (GetDlgItemText(IDC_SAVE_FOLDER).empty()) {
        MessageBox(L"请选择保存图片的文件夹", ProgramCaption, MB_OK);
        return;
    }
    const std::wstring caption = StartButton.GetWindowText();
    if (caption == StartCaption) {
        if (!BeginScan()) return;
        ResumeScan();
    } else if (caption == PauseCaption) {
        PauseScan();
    } else if (caption == ContinueCaption) {
        ResumeScan();
    } else {
        return;
    }
    EnableScanInputs(FALSE);
}

bool CLumoDlg::BeginScan()
{
    if (!UserAcceptsSaveFolderOnScannedDrive()) return false;
    // A worker stopped a moment ago may still be finishing: its last steps must not land on
    // the new scan, and it must not scan on under the new scan's cleared flags.
    WaitForScanThread();
    if (CloseAfterWait) {
        CDialog::OnCancel();
        return false;
    }

    Scanner.CurrentSector.store(0, Relaxed);
    // The worker's first step waits for this thread, so it cannot end, nor the scan begin,
    // before this handler has returned: the handle below is taken from a live thread.
    CWinThread* thread = AfxBeginThread(&CLumoDlg::ScanThreadProc, this, THREAD_PRIORITY_NORMAL,
                                        0, 0, nullptr);
    ScanThread.store(thread);
    if (thread == nullptr) {
        MessageBox(L"启动搜索线程失败，请重试！", ProgramCaption, MB_OK);
        return true;
    }
    const HANDLE process = GetCurrentProcess();
    DuplicateHandle(process, thread->m_hThread, process, &ScanThreadHandle, SYNCHRONIZE, FALSE, 0);
    ++ScanThreadCount;
    return true;
}

void CLumoDlg::PauseScan()
{
    Scanner.PauseRequested.store(1, Relaxed);
    StartButton.SetWindowText(ContinueCaption);
    StopButton.EnableWindow(TRUE);
}

void CLumoDlg::ResumeScan()
{
    Scanner.PauseRequested.store(0, Relaxed);
    Scanner.StopRequested.store(0, Relaxed);
    StartButton.SetWindowText(PauseCaption);
    StopButton.EnableWindow(FALSE);
}

void CLumoDlg::OnStop()
{
    Scanner.StopRequested.store(1, Relaxed);
    StartButton.SetWindowText(StartCaption);
    StopButton.EnableWindow(FALSE);
    for (auto& count : Scanner.TypeCounts) count.store(0, Relaxed);
    EnableScanInputs(TRUE);
}

void CLumoDlg::EnableScanInputs(BOOL enable)
{
    for (const int id : ScanInputs) GetDlgItem(id)->EnableWindow(enable);
}

bool CLumoDlg::UserAcceptsSaveFolderOnScannedDrive()
{
    const std::wstring root =
        reclaima::ui::PartitionRoot(PartitionCombo.GetLBText(PartitionCombo.GetCurSel()));
    if (!FolderIsOnDrive(SaveFolder, root)) return true;
    return MessageBox(L"保存文件夹位于要扫描的分区上：恢复出的文件会覆盖这个分区上尚未恢复的已删除数据。"
                      L"\n\n仍要开始扫描吗？",
                      ProgramCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

UINT CLumoDlg::ScanThreadProc(LPVOID parameter)
{
    auto* dialog = static_cast<CLumoDlg*>(parameter);
    dialog->ProgressBar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 99));
    dialog->SetTimer(ProgressTimer, ProgressTimerMilliseconds, nullptr);

    reclaima::ScanRequest request;
    request.FirstSector = dialog->FirstSector;
    request.EndSector = dialog->EndSector;
    request.SaveFolder = dialog->SaveFolder;
    const std::int64_t measured = dialog->VolumeBytes;
    dialog->Scanner.Scan(request);
    WarnIfShrunk(dialog->Scanner, request.EndSector, measured);

    dialog->StartButton.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(StartCaption));
    --dialog->ScanThreadCount;
    dialog->ScanThread.store(nullptr);
    dialog->EnableScanInputs(TRUE);
    return 0;
}

void CLumoDlg::WaitForScanThread()
{
    if (ScanThreadHandle == nullptr) return;
    const HANDLE worker = ScanThreadHandle;
    ScanThreadHandle = nullptr;
    if (WaitForSingleObject(worker, 0) == WAIT_OBJECT_0) {  // ended long ago: nothing to wait for
        CloseHandle(worker);
        return;
    }
    WaitingForScanThread = true;
    const HWND focus = GetFocus();
    const BOOL wasDisabled = EnableWindow(FALSE);
    // The worker's last steps are sent to this thread's windows, and an engine message box
    // may hold it: serve messages until the thread has really ended.
    AfxWaitDispatching(worker);
    if (!wasDisabled) EnableWindow(TRUE);
    if (focus != nullptr) SetFocus(focus);
    WaitingForScanThread = false;
    CloseHandle(worker);
}

void CLumoDlg::OnCancel()
{
    if (WaitingForScanThread) {  // closed from outside while Start waits: close after it
        CloseAfterWait = true;
        return;
    }
    if (ScanThreadCount.load() != 0) OnStop();
    WaitForScanThread();
    CDialog::OnCancel();
}

// Progress display.

void CLumoDlg::OnTimer(UINT_PTR id)
{
    if (ScanThread.load() == nullptr) KillTimer(id);
    if (id != ProgressTimer) {
        CDialog::OnTimer(id);
        return;
    }
    if (EndSector == FirstSector) return;

    const int percent =
        reclaima::ui::ScanPercent(Scanner.CurrentSector.load(Relaxed), FirstSector, EndSector);
    ProgressBar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    PercentText.SetWindowText(reclaima::ui::PercentText(percent).c_str());

    reclaima::ui::TypeTally counts{};
    for (std::size_t type = 0; type < counts.size(); ++type) {
        counts[type] = Scanner.TypeCounts[type].load(Relaxed);
    }
    ResultText.SetWindowText(reclaima::ui::ResultLine(counts).c_str());
    CDialog::OnTimer(id);
}
