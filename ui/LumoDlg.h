// The main window: partition list, save folder, scan control and progress display.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "AfxWin.h"
#include "SectorScanner.h"

class CLumoDlg : public CDialog {
public:
    explicit CLumoDlg(CWnd* parent = nullptr);
    ~CLumoDlg() override;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* message) override;
    // The close box, the system menu's Close and Alt+F4: waits for a running scan first.
    void OnCancel() override;

    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBrowse();
    void OnRefresh();
    void OnPartitionChanged();
    void OnStart();
    void OnStop();
    void OnTimer(UINT_PTR id);
    void OnMakerLink(NMHDR* notification, LRESULT* result);
    void OnBannerClicked();
    void OnFeedbackLink(NMHDR* notification, LRESULT* result);

    DECLARE_MESSAGE_MAP()

private:
    static UINT ScanThreadProc(LPVOID parameter);
    static std::wstring DriveTypeLabel(UINT driveType);

    void FillPartitionList();
    void UpdateCapacity(int index);
    // Starts the worker for a fresh scan; false when the user declines to start.
    bool BeginScan();
    void ResumeScan();
    void PauseScan();
    // Refresh, the partition list and Browse, which a running scan must not see change.
    void EnableScanInputs(BOOL enable);
    bool UserAcceptsSaveFolderOnScannedDrive();
    // Dispatches messages, with the window disabled, until the last worker has ended.
    void WaitForScanThread();

    std::wstring SaveFolder;
    reclaima::CSectorScanner Scanner;
    HICON Icon = nullptr;
    CComboBox PartitionCombo;
    CStatic ResultText;
    CProgressCtrl ProgressBar;
    CStatic PercentText;
    CButton StartButton;
    CButton StopButton;
    std::atomic<std::int32_t> ScanThreadCount{0};
    std::atomic<CWinThread*> ScanThread{nullptr};
    std::uint64_t FirstSector = 0;
    std::uint64_t EndSector = 0;
    std::int64_t VolumeBytes = 0;
    // Our own handle to the worker: the thread object closes its handle when it ends.
    HANDLE ScanThreadHandle = nullptr;
    bool WaitingForScanThread = false;
    bool CloseAfterWait = false;
};
