// The real Reclaima.exe, driven from outside as a user drives it. run-window.sh prepares
// the drives of the Wine prefix and says which is which through the environment:
//   RECLAIMA_EXE          the program
//   RECLAIMA_SAVE_DRIVE   a drive of folders to save into
//   RECLAIMA_SAMPLE_DRIVE a volume holding the sample image of real files
//   RECLAIMA_LONG_DRIVE   a 1 GiB volume, one JPG begun at sector 0 and running on for
//                         long, so a scan of it is still busy when the test acts;
//   RECLAIMA_LONG_IMAGE   that image as a file, to compare what is carved from it
//   RECLAIMA_SAME_DRIVE   a volume that is also a folder drive: save there and scan it
//   RECLAIMA_SHRINK_DRIVE a volume that the test writes and cuts short while it is scanned,
//   RECLAIMA_SHRINK_IMAGE through this path of its image
//   RECLAIMA_CLI_OUT      what reclaima-cli recovered from the sample image
//   RECLAIMA_PAGES_LOG    where the stand-in for the browser notes each address opened
#include "ReclaimaWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string_view>
#include <thread>

using namespace Reclaima;
using namespace WindowDriver;

namespace {

constexpr Duration ShortWait = 5s;
constexpr Duration ScanTimeout = 240s;
constexpr size_t SectorBytes = 512;

const std::wstring HomePage = L"https://vantobel.example/";
const std::wstring FeedbackPage = L"https://vantobel.example/feedback";

std::wstring Drive(const wchar_t* variable) { return EnvironmentText(variable) + L":"; }

// A new empty folder on the save drive; returns its path as the chooser names it.
std::vector<std::wstring> NewSaveFolder(const std::wstring& name) {
  std::wstring drive = Drive(L"RECLAIMA_SAVE_DRIVE");
  CreateDirectoryW((drive + L"\\" + name).c_str(), nullptr);
  return {drive, name};
}

std::wstring WindowsPath(const std::vector<std::wstring>& chooserPath) {
  std::wstring path = chooserPath.front();
  for (size_t i = 1; i < chooserPath.size(); ++i) path += L"\\" + chooserPath[i];
  return path;
}

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The label the window must give each drive type that the system reports.
std::wstring DriveTypeLabel(UINT type) {
  switch (type) {
    case DRIVE_NO_ROOT_DIR: return L"磁盘不存在";
    case DRIVE_REMOVABLE: return L"可移动磁盘";
    case DRIVE_FIXED: return L"本地磁盘";
    case DRIVE_REMOTE: return L"网络驱动器";
    case DRIVE_CDROM: return L"CD/DVD_ROM";
    case DRIVE_RAMDISK: return L"随机存取磁盘";
    default: return L"未知磁盘";
  }
}

std::vector<std::wstring> DriveRoots() {
  wchar_t buffer[512] = {};
  GetLogicalDriveStringsW(512, buffer);
  std::vector<std::wstring> roots;
  for (const wchar_t* root = buffer; *root; root += wcslen(root) + 1) roots.push_back(root);
  std::sort(roots.begin(), roots.end());
  return roots;
}

// The addresses opened since the last call, in order.
std::vector<std::string> TakeOpenedPages() {
  // Moved aside first, so an address noted meanwhile starts a new log instead of being lost.
  std::wstring log = EnvironmentText(L"RECLAIMA_PAGES_LOG"), taken = log + L".taken";
  if (!MoveFileExW(log.c_str(), taken.c_str(), MOVEFILE_REPLACE_EXISTING)) return {};
  std::string text = ReadFileBytes(taken).value_or("");
  std::vector<std::string> pages;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    pages.push_back(text.substr(start, end - start));
  }
  return pages;
}

// Waits for the stand-in browser to note `count` addresses; returns them.
std::vector<std::string> WaitForOpenedPages(size_t count) {
  std::vector<std::string> pages;
  WaitUntil(
      [&] {
        for (const std::string& page : TakeOpenedPages()) pages.push_back(page);
        return pages.size() >= count;
      },
      15s);
  return pages;
}

// A press and release of the left mouse button over the control, near its left end.
void MouseClick(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  LPARAM point = MAKELPARAM(4, client.bottom / 2);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageW(control, WM_LBUTTONUP, 0, point);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(EnvironmentText(L"RECLAIMA_PAGES_LOG").empty())
        << "RECLAIMA_PAGES_LOG is not set: run through run-window.sh --pages";
    TakeOpenedPages();
    Exe = EnvironmentText(L"RECLAIMA_EXE");
    ASSERT_FALSE(Exe.empty()) << "RECLAIMA_EXE is not set: run through run-window.sh";
    Window = std::make_unique<MainWindow>(Exe);
  }

  MainWindow& W() { return *Window; }

  // The three controls a running scan locks.
  void ExpectLocked(bool locked) {
    for (int id : {Id::Refresh, Id::Partitions, Id::Browse}) {
      EXPECT_EQ(W().Enabled(id), !locked) << "control " << id;
    }
  }

  void ExpectIdle() {
    EXPECT_EQ(W().Text(Id::Start), Text::Start);
    EXPECT_FALSE(W().Enabled(Id::Stop));
    ExpectLocked(false);
  }

  // Browses to a new folder and chooses the drive; the scan itself is started by the test.
  std::wstring PrepareScan(const std::wstring& folderName, const wchar_t* driveVariable) {
    auto folder = NewSaveFolder(folderName);
    EXPECT_TRUE(W().Browse(folder));
    EXPECT_TRUE(W().SelectPartition(EnvironmentText(driveVariable).at(0)));
    return WindowsPath(folder) + L"\\" + Text::MakerFolder;
  }

  void StartScan() {
    ASSERT_TRUE(W().Press(Id::Start));
    ASSERT_TRUE(W().WaitForText(Id::Start, Text::Pause, ShortWait)) << W().OtherDialogs();
    EXPECT_EQ(W().OtherDialogs(), "none");
  }

  void PauseScan() {
    ASSERT_TRUE(W().Press(Id::Start));
    ASSERT_TRUE(W().WaitForText(Id::Start, Text::Continue, ShortWait)) << W().OtherDialogs();
  }

  // Waits for the scan to end by itself and the last timer tick to show it.
  void WaitForScanEnd() {
    ASSERT_TRUE(W().WaitForText(Id::Start, Text::Start, ScanTimeout))
        << "the scan did not end; open dialogs: " << W().OtherDialogs();
    ASSERT_TRUE(W().WaitForText(Id::Percent, L"100 %", ShortWait)) << Utf8(W().Text(Id::Percent));
  }

  // The worker's end and the timer tick that shows its last figures are up to a tick
  // apart, and a short scan may end before its first tick.
  void ExpectResult(const Counts& counts) {
    EXPECT_TRUE(W().WaitForText(Id::Result, ResultLine(counts), ShortWait))
        << Utf8(W().Text(Id::Result));
  }

  // Waits until the scan has begun the JPG at the start of the long volume.
  void WaitForFirstFile() {
    Counts oneJpg{};
    oneJpg[0] = 1;
    ASSERT_TRUE(W().WaitForText(Id::Result, ResultLine(oneJpg), 30s))
        << Utf8(W().Text(Id::Result));
  }

  std::wstring Exe;
  std::unique_ptr<MainWindow> Window;
};

// ---------------------------------------------------------------------------------------
// The window right after start-up.

TEST_F(WindowTest, StartupAnswersOnlyTheEngineVolumeBoxes) {
  // Under Wine the first drive, C:, is no volume the engine can open, so its boxes come
  // before the window; they have no owner and only OK.
  EXPECT_FALSE(W().StartupBoxes().empty());
  for (const Dialog& box : W().StartupBoxes()) {
    EXPECT_TRUE(IsVolumeErrorBox(box)) << Describe(box);
    EXPECT_EQ(GetDlgItem(box.Window, IDCANCEL), nullptr) << Describe(box);
  }
  EXPECT_EQ(W().OtherDialogs(), "none");
}

TEST_F(WindowTest, WindowFrame) {
  HWND main = W().Window();
  EXPECT_EQ(ClassName(main), L"#32770");
  EXPECT_EQ(WindowText(main), Text::MainCaption);
  LONG style = GetWindowLongW(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the border must not resize";
  LONG extended = GetWindowLongW(main, GWL_EXSTYLE);
  EXPECT_TRUE(extended & WS_EX_APPWINDOW);
  ASSERT_TRUE(extended & WS_EX_LAYERED);
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(main, &key, &alpha, &flags));
  EXPECT_EQ(alpha, 220);
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
  EXPECT_NE(SendMessageW(W().Control(Id::Banner), STM_GETIMAGE, IMAGE_BITMAP, 0), 0)
      << "the banner shows no bitmap";
}

struct ControlCase {
  int Id;
  const wchar_t* Text;
  bool Enabled;
};

TEST_F(WindowTest, ControlsAtStartup) {
  const ControlCase cases[] = {
      {Id::Start, L"开始", true},
      {Id::Stop, L"停止", false},
      {Id::SaveFolder, L"", false},
      {Id::Browse, L"浏览...", true},
      {Id::Refresh, L"刷新", true},
      {Id::Partitions, nullptr, true},
      // C:, the first entry, gave no length.
      {Id::Capacity, L"容量：0.00 GB", true},
      {Id::ProgressCaption, L"进度：", true},
      {Id::Percent, L"0%", true},
      {Id::Result, L"结果：", true},
      {Id::Progress, nullptr, true},
      {Id::MakerLink, L"<a>Vantobel出品</a>", true},
      {Id::FeedbackLink, L"<a>建议反馈</a>", true},
  };
  for (const ControlCase& c : cases) {
    SCOPED_TRACE("control " + std::to_string(c.Id));
    ASSERT_NE(W().Control(c.Id), nullptr);
    EXPECT_TRUE(IsWindowVisible(W().Control(c.Id)));
    EXPECT_EQ(W().Enabled(c.Id), c.Enabled);
    if (c.Text) {
      EXPECT_EQ(W().Text(c.Id), c.Text);
    }
  }
  for (const wchar_t* caption : {L"保存文件位置：", L"要扫描的分区："}) {
    EXPECT_NE(FindWindowExW(W().Window(), nullptr, L"Static", caption), nullptr) << Utf8(caption);
  }
  EXPECT_EQ(W().ProgressPosition(), 0);
  EXPECT_EQ(SendMessageW(W().Control(Id::Progress), PBM_GETRANGE, FALSE, 0), 100);

  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(W().Window(), nullptr), &gui));
  EXPECT_EQ(gui.hwndFocus, W().Control(Id::Start))
      << "focus on control " << GetDlgCtrlID(gui.hwndFocus);
}

// The system menu cannot be read from another process under Wine; it is opened and its
// item chosen by its access key, as a user does from the keyboard.
TEST_F(WindowTest, SystemMenuOpensTheAboutBox) {
  // Again and again: each time a fresh box, and the window as it was.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    PostMessageW(W().Window(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); },
        ShortWait))
        << "the system menu did not open";
    // The last item; Wine's own "About Wine" item takes the access key A before it.
    for (WPARAM key : {VK_END, VK_RETURN}) PostMessageW(menu, WM_KEYDOWN, key, 1);
    auto about = W().Program().WaitForDialogCaption(Text::AboutCaption, ShortWait);
    ASSERT_TRUE(about) << W().OtherDialogs();
    EXPECT_EQ(GetWindow(about->Window, GW_OWNER), W().Window());
    EXPECT_NE(FindWindowExW(about->Window, nullptr, L"Static", L"Reclaima，1.0 版"), nullptr);
    HWND ok = GetDlgItem(about->Window, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(WindowText(ok), L"确定");
    Click(ok);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about->Window); }, ShortWait));
    EXPECT_EQ(W().OtherDialogs(), "none");
    ExpectIdle();
  }
}

// Enter would press the default button (Start, which with no folder asks for one) and
// Escape would close the window, had the window not kept them.
TEST_F(WindowTest, EnterAndEscapeDoNothing) {
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    for (int target : {Id::Start, Id::Partitions, Id::Browse}) {
      SCOPED_TRACE("key " + std::to_string(key) + " on control " + std::to_string(target));
      HWND control = W().Control(target);
      // Posted, as the keyboard's messages come, through the window's message loop.
      PostMessageW(control, WM_KEYDOWN, key, 1);
      PostMessageW(control, WM_KEYUP, key, 0xC0000001);
      std::this_thread::sleep_for(500ms);
      EXPECT_EQ(W().OtherDialogs(), "none");
      ASSERT_TRUE(IsWindowVisible(W().Window())) << "the window closed";
      ExpectIdle();
    }
  }
}

struct PageCase {
  const char* Name;
  int Control;
  const std::wstring& Page;
};

TEST_F(WindowTest, LinksAndBannerOpenTheMakerPages) {
  const PageCase cases[] = {{"maker link", Id::MakerLink, HomePage},
                            {"banner", Id::Banner, HomePage},
                            {"feedback link", Id::FeedbackLink, FeedbackPage}};
  for (const PageCase& c : cases) {
    SCOPED_TRACE(c.Name);
    MouseClick(W().Control(c.Control));
    EXPECT_EQ(WaitForOpenedPages(1), std::vector<std::string>{Utf8(c.Page)});
  }
  // A link is followed by the mouse only: Enter on it does nothing.
  for (int link : {Id::MakerLink, Id::FeedbackLink}) {
    PostMessageW(W().Control(link), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(W().Control(link), WM_KEYUP, VK_RETURN, 0xC0000001);
  }
  std::this_thread::sleep_for(2s);
  EXPECT_TRUE(TakeOpenedPages().empty());
  EXPECT_EQ(W().OtherDialogs(), "none");
}

// ---------------------------------------------------------------------------------------
// The partition list and the capacity.

TEST_F(WindowTest, PartitionListHasEveryDriveWithItsTypeLabel) {
  std::vector<std::wstring> expected;
  std::set<std::wstring> labels;
  for (const std::wstring& root : DriveRoots()) {
    std::wstring label = DriveTypeLabel(GetDriveTypeW(root.c_str()));
    labels.insert(label);
    expected.push_back(root + L"  -  " + label);
  }
  // The prefix holds one drive of each type the system can report for a present drive.
  for (const wchar_t* label :
       {L"本地磁盘", L"可移动磁盘", L"网络驱动器", L"CD/DVD_ROM", L"随机存取磁盘"}) {
    EXPECT_TRUE(labels.count(label)) << "no drive of type " << Utf8(label) << " to see";
  }
  std::vector<std::wstring> entries = ComboEntries(W().Control(Id::Partitions));
  ASSERT_EQ(entries.size(), expected.size());
  for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i], expected[i]) << i;
  EXPECT_EQ(W().SelectedPartition(), 0);
}

struct CapacityCase {
  const char* Name;
  std::wstring Drive;
  const wchar_t* Figure;
  bool EngineBoxes;  // the drive cannot be measured
};

std::wstring FirstDriveOfType(UINT type) {
  for (const std::wstring& root : DriveRoots()) {
    if (GetDriveTypeW(root.c_str()) == type) return root.substr(0, 1);
  }
  return L"?";
}

TEST_F(WindowTest, ChoosingAPartitionShowsItsCapacity) {
  const CapacityCase cases[] = {
      {"48 MiB sample", EnvironmentText(L"RECLAIMA_SAMPLE_DRIVE"), L"0.05", false},
      {"1 GiB volume", EnvironmentText(L"RECLAIMA_LONG_DRIVE"), L"1.00", false},
      {"optical drive without a disc", FirstDriveOfType(DRIVE_CDROM), L"0.00", true},
      {"volume of 0 bytes", EnvironmentText(L"RECLAIMA_EMPTY_DRIVE"), L"0.00", false},
      {"volume of 511 bytes", EnvironmentText(L"RECLAIMA_SHORT_DRIVE"), L"0.00", false},
      {"volume of 513 bytes", EnvironmentText(L"RECLAIMA_ODD_DRIVE"), L"0.00", false},
      {"back to the sample", EnvironmentText(L"RECLAIMA_SAMPLE_DRIVE"), L"0.05", false},
  };
  for (const CapacityCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<Dialog> boxes;
    ASSERT_TRUE(W().SelectPartition(c.Drive.at(0), &boxes)) << Utf8(c.Drive);
    EXPECT_EQ(!boxes.empty(), c.EngineBoxes);
    EXPECT_EQ(W().Text(Id::Capacity), CapacityLine(c.Figure));
    auto selected = static_cast<size_t>(W().SelectedPartition());
    EXPECT_EQ(ComboEntries(W().Control(Id::Partitions)).at(selected).substr(0, 1), c.Drive);
    EXPECT_EQ(W().OtherDialogs(), "none");
  }
}

TEST_F(WindowTest, RefreshGoesBackToTheFirstDrive) {
  ASSERT_TRUE(W().SelectPartition(EnvironmentText(L"RECLAIMA_LONG_DRIVE").at(0)));
  ASSERT_EQ(W().Text(Id::Capacity), CapacityLine(L"1.00"));
  ASSERT_TRUE(W().Press(Id::Refresh));
  // C: is measured again, with its boxes.
  EXPECT_FALSE(W().AnswerVolumeBoxes().empty());
  EXPECT_EQ(W().SelectedPartition(), 0);
  EXPECT_EQ(W().Text(Id::Capacity), CapacityLine(L"0.00"));
  EXPECT_EQ(ComboEntries(W().Control(Id::Partitions)).size(), DriveRoots().size());
}

// ---------------------------------------------------------------------------------------
// The save folder, through the system's folder chooser.

TEST_F(WindowTest, StartWithoutAFolderAsksForOne) {
  ASSERT_TRUE(W().SelectPartition(EnvironmentText(L"RECLAIMA_SAMPLE_DRIVE").at(0)));
  ASSERT_TRUE(W().Press(Id::Start));
  auto box = W().Program().WaitForDialogCaption(Text::BoxCaption, ShortWait);
  ASSERT_TRUE(box) << W().OtherDialogs();
  EXPECT_EQ(box->Text, Text::NoSaveFolder);
  EXPECT_EQ(GetWindow(box->Window, GW_OWNER), W().Window()) << "the window owns its boxes";
  EXPECT_EQ(GetDlgItem(box->Window, IDCANCEL), nullptr);
  Answer(*box, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box->Window); }, ShortWait));
  Sync(W().Window());
  ExpectIdle();
  EXPECT_EQ(W().Text(Id::Percent), L"0%");
  EXPECT_EQ(W().Text(Id::Result), L"结果：");
}

struct BrowseCase {
  const char* Name;
  std::vector<std::wstring> Path;  // below the save drive
  std::wstring Shown;              // below the save drive
};

TEST_F(WindowTest, BrowseShowsTheChosenFolderWithTheMakerFolder) {
  std::wstring drive = Drive(L"RECLAIMA_SAVE_DRIVE");
  CreateDirectoryW((drive + L"\\picked").c_str(), nullptr);
  const BrowseCase cases[] = {
      {"a folder", {L"picked"}, L"\\picked\\Vantobel\\"},
      {"the drive root: no doubled separator", {}, L"\\Vantobel\\"},
      // The root's choice made it; choosing it still adds a level.
      {"a folder named Vantobel", {L"Vantobel"}, L"\\Vantobel\\Vantobel\\"},
      {"the same folder again", {L"picked"}, L"\\picked\\Vantobel\\"},
  };
  for (const BrowseCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::wstring> path{drive};
    path.insert(path.end(), c.Path.begin(), c.Path.end());
    ASSERT_TRUE(W().Browse(path)) << W().OtherDialogs();
    EXPECT_EQ(W().Text(Id::SaveFolder), drive + c.Shown);
    EXPECT_TRUE(IsFolder(drive + c.Shown)) << "not made: " << Utf8(drive + c.Shown);
    EXPECT_EQ(W().OtherDialogs(), "none");
  }
}

TEST_F(WindowTest, CancelledOrPathlessChoiceKeepsTheFolder) {
  auto folder = NewSaveFolder(L"kept");
  ASSERT_TRUE(W().Browse(folder));
  const std::wstring shown = WindowsPath(folder) + L"\\Vantobel\\";
  ASSERT_EQ(W().Text(Id::SaveFolder), shown);

  HWND chooser = W().OpenChooser();
  ASSERT_NE(chooser, nullptr);
  EXPECT_NE(FindWindowExW(chooser, nullptr, L"Static", Text::ChooserTitle.c_str()), nullptr);
  Click(GetDlgItem(chooser, IDCANCEL));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }, ShortWait));
  Sync(W().Window());
  EXPECT_EQ(W().Text(Id::SaveFolder), shown);

  // The computer holds the drives but is no folder of the file system.
  chooser = W().OpenChooser();
  ASSERT_NE(chooser, nullptr);
  HWND tree = FindWindowExW(chooser, nullptr, WC_TREEVIEWW, nullptr);
  HTREEITEM computer = TreeParent(tree, FindTreeItem(W().Program(), tree, {folder.front()}));
  ASSERT_NE(computer, nullptr);
  ASSERT_TRUE(SelectTreeItem(tree, computer));
  Click(GetDlgItem(chooser, IDOK));
  if (!WaitUntil([&] { return !IsWindow(chooser); }, ShortWait)) {
    // A chooser may refuse OK on such an item; then it is cancelled.
    Click(GetDlgItem(chooser, IDCANCEL));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(chooser); }, ShortWait));
  }
  Sync(W().Window());
  EXPECT_EQ(W().Text(Id::SaveFolder), shown);
  EXPECT_EQ(W().OtherDialogs(), "none");
}

// ---------------------------------------------------------------------------------------
// Scan control on the long volume, which is still scanning when each step comes.

TEST_F(WindowTest, StartPauseContinueStop) {
  std::wstring output = PrepareScan(L"control", L"RECLAIMA_LONG_DRIVE");
  StartScan();
  EXPECT_FALSE(W().Enabled(Id::Stop)) << "a running scan is paused before it is stopped";
  ExpectLocked(true);
  WaitForFirstFile();
  EXPECT_EQ(SendMessageW(W().Control(Id::Progress), PBM_GETRANGE, FALSE, 0), 99);
  EXPECT_EQ(SendMessageW(W().Control(Id::Progress), PBM_GETRANGE, TRUE, 0), 0);

  PauseScan();
  EXPECT_TRUE(W().Enabled(Id::Stop));
  ExpectLocked(true);
  // Paused: the position stands still.
  std::this_thread::sleep_for(300ms);
  std::wstring pausedAt = W().Text(Id::Percent);
  int pausedPosition = W().ProgressPosition();
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(W().Text(Id::Percent), pausedAt);
  EXPECT_EQ(W().ProgressPosition(), pausedPosition);

  ASSERT_TRUE(W().Press(Id::Start));
  ASSERT_TRUE(W().WaitForText(Id::Start, Text::Pause, ShortWait));
  EXPECT_FALSE(W().Enabled(Id::Stop));
  ExpectLocked(true);
  // It goes on from where it paused, with its count.
  ASSERT_TRUE(WaitUntil([&] { return W().ProgressPosition() > pausedPosition; }, 60s))
      << "no progress after continuing from " << pausedPosition;
  Counts oneJpg{};
  oneJpg[0] = 1;
  EXPECT_EQ(W().Text(Id::Result), ResultLine(oneJpg));

  PauseScan();
  ASSERT_TRUE(W().Press(Id::Stop));
  ExpectIdle();
  // Stop zeroes the counts; the last tick shows them and the percentage stays.
  EXPECT_TRUE(W().WaitForText(Id::Result, ResultLine(Counts{}), ShortWait))
      << Utf8(W().Text(Id::Result));
  EXPECT_NE(W().Text(Id::Percent), L"100 %");
  EXPECT_EQ(FolderEntries(output), std::vector<std::wstring>{L"jpg\\"});
}

struct CloseCase {
  const char* Name;
  bool Scan;
  bool PauseFirst;
};

class CloseTest : public WindowTest, public ::testing::WithParamInterface<CloseCase> {};

// The window stops a scan, waits for it and closes; the file being written keeps its bytes.
TEST_P(CloseTest, ClosingEndsTheProgram) {
  const CloseCase& c = GetParam();
  std::wstring output;
  if (c.Scan) {
    output = PrepareScan(std::wstring(L"close-") + (c.PauseFirst ? L"paused" : L"running"),
                         L"RECLAIMA_LONG_DRIVE");
    StartScan();
    WaitForFirstFile();
    if (c.PauseFirst) PauseScan();
  }
  W().Close();
  ASSERT_TRUE(W().Program().WaitForExit(60s))
      << "still running; open dialogs: " << W().OtherDialogs();
  if (!c.Scan) return;

  std::vector<std::wstring> files = FolderEntries(output + L"\\jpg");
  ASSERT_EQ(files.size(), 1u);
  auto carved = ReadFileBytes(output + L"\\jpg\\" + files[0]);
  ASSERT_TRUE(carved);
  EXPECT_GT(carved->size(), SectorBytes);
  EXPECT_EQ(carved->size() % SectorBytes, 0u);
  auto image = ReadFileBytes(EnvironmentText(L"RECLAIMA_LONG_IMAGE"), carved->size());
  ASSERT_TRUE(image);
  EXPECT_TRUE(*carved == *image) << "the carved file is not the volume's first "
                                 << carved->size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    Window, CloseTest,
    ::testing::Values(CloseCase{"Idle", false, false}, CloseCase{"Running", true, false},
                      CloseCase{"Paused", true, true}),
    [](const ::testing::TestParamInfo<CloseCase>& param) { return std::string(param.param.Name); });

// ---------------------------------------------------------------------------------------
// Saving onto the partition being scanned.

TEST_F(WindowTest, SavingOntoTheScannedPartitionAsksFirst) {
  std::wstring drive = Drive(L"RECLAIMA_SAME_DRIVE");
  ASSERT_TRUE(W().Browse({drive}));
  ASSERT_EQ(W().Text(Id::SaveFolder), drive + L"\\Vantobel\\");
  ASSERT_TRUE(W().SelectPartition(drive.at(0)));

  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer == IDNO ? "No" : "Yes");
    ASSERT_TRUE(W().Press(Id::Start));
    auto box = W().Program().WaitForDialogCaption(Text::BoxCaption, ShortWait);
    ASSERT_TRUE(box) << W().OtherDialogs();
    EXPECT_EQ(box->Text, Text::SamePartition);
    EXPECT_EQ(GetWindow(box->Window, GW_OWNER), W().Window());
    EXPECT_NE(GetDlgItem(box->Window, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(box->Window, IDNO), nullptr);
    Answer(*box, answer);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box->Window); }, ShortWait));
    Sync(W().Window());
    if (answer == IDNO) {
      ExpectIdle();
      std::this_thread::sleep_for(500ms);
      EXPECT_EQ(W().Text(Id::Percent), L"0%") << "a scan started";
      EXPECT_TRUE(FolderEntries(drive + L"\\Vantobel").empty()) << "a scan wrote files";
    }
  }
  EXPECT_EQ(W().Text(Id::Start), Text::Pause) << "Yes did not start the scan";
  WaitForScanEnd();
}

// ---------------------------------------------------------------------------------------
// A whole scan of the sample image against reclaima-cli's recovery of the same image.

class CliComparison : public WindowTest {
 protected:
  void SetUp() override {
    CliOutput = EnvironmentText(L"RECLAIMA_CLI_OUT");
    ASSERT_FALSE(CliOutput.empty()) << "RECLAIMA_CLI_OUT is not set: run through run-window.sh";
    ASSERT_TRUE(IsFolder(CliOutput)) << Utf8(CliOutput);
    WindowTest::SetUp();
  }

  // One header found is one file begun.
  Counts CliCounts() const {
    Counts counts{};
    for (size_t i = 0; i < FileTypes.size(); ++i) {
      counts[i] = static_cast<unsigned>(
          FolderEntries(CliOutput + L"\\" + FileTypes[i].Folder).size());
    }
    return counts;
  }

  std::wstring CliOutput;
};

TEST_F(CliComparison, ScanEndsByItselfWithWhatTheCliRecovers) {
  std::wstring output = PrepareScan(L"full", L"RECLAIMA_SAMPLE_DRIVE");
  StartScan();
  ExpectLocked(true);
  WaitForScanEnd();
  ExpectIdle();
  // 100 lies above the bar's top of 99: the bar is full.
  EXPECT_EQ(W().ProgressPosition(), 99);
  ExpectResult(CliCounts());
  EXPECT_TRUE(TreeContents(output) == TreeContents(CliOutput))
      << "the window's output differs from the cli's";
  EXPECT_EQ(WaitForOpenedPages(1), std::vector<std::string>{Utf8(HomePage)})
      << "the end of a scan opens the maker's home page";
  EXPECT_EQ(W().OtherDialogs(), "none");

  // A scan that ended by itself leaves room for a new one, and its counts: the next
  // scan's add to them.
  StartScan();
  WaitForScanEnd();
  Counts twice = CliCounts();
  for (unsigned& count : twice) count *= 2;
  ExpectResult(twice);
}

// Start, Pause, Stop and Start again, each pressed as soon as the window has taken the
// last: the second Start comes while the stopped worker is still finishing. The result
// must be one fresh scan from the first sector, never the old worker going on with
// cleared flags.
TEST_F(CliComparison, StartAfterStopScansOnceFromTheStart) {
  std::wstring output = PrepareScan(L"restart", L"RECLAIMA_SAMPLE_DRIVE");
  for (int id : {Id::Start, Id::Start, Id::Stop, Id::Start}) {
    ASSERT_TRUE(W().Press(id)) << "control " << id << " is disabled";
  }
  WaitForScanEnd();
  ExpectIdle();
  ExpectResult(CliCounts());

  // Every file of a whole scan is there; anything more is what the stopped scan had
  // begun, which is a whole file of the image or the start of one.
  auto expected = TreeContents(CliOutput);
  auto got = TreeContents(output);
  for (const auto& entry : expected) EXPECT_TRUE(got.count(entry.first)) << Utf8(entry.first);
  for (const auto& [folder, files] : got) {
    SCOPED_TRACE(Utf8(folder));
    std::vector<std::string> extra;
    const std::vector<std::string>& whole = expected[folder];
    std::set_difference(files.begin(), files.end(), whole.begin(), whole.end(),
                        std::back_inserter(extra));
    EXPECT_EQ(files.size() - extra.size(), whole.size()) << "files of the fresh scan are missing";
    for (const std::string& file : extra) {
      EXPECT_TRUE(std::any_of(whole.begin(), whole.end(),
                              [&](const std::string& w) { return w.rfind(file, 0) == 0; }))
          << "a file of " << file.size() << " bytes that no whole scan gives";
    }
  }
}

// ---------------------------------------------------------------------------------------
// A volume cut short while it is scanned: past its new end it reads as zeros, so the scan
// runs on to the end it was given, and the window must say what that cost.

using namespace std::string_view_literals;

constexpr std::uint64_t MiB = 1 << 20;
// The image is cut well beyond where a scan paused at once stands, and well before the
// picture that the cut takes away.
constexpr std::uint64_t WholeLength = 1024 * MiB, CutLength = 256 * MiB;
constexpr int MaxPercentAtCut = 20;

struct Placement {
  std::uint64_t Offset;
  std::string Bytes;
};

// A picture of its type's header, text that holds no signature, and its footer.
std::string Picture(std::string_view header, std::string_view footer, const char* name) {
  std::string bytes(header);
  for (int line = 0; line < 80; ++line) {
    bytes += "line " + std::to_string(line) + " of the picture " + name + "\n";
  }
  return bytes += footer;
}

const Placement KeptPicture{MiB, Picture("\x89PNG\r\n\x1A\n"sv, "IEND\xAE\x42\x60\x82"sv, "kept")};
const Placement CutPicture{640 * MiB, Picture("\xFF\xD8\xFF\xE0\x00\x10JFIF"sv, "\xFF\xD9"sv, "cut")};

class ImageFile {
 public:
  ImageFile(const std::wstring& path, DWORD access, DWORD disposition)
      : Handle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ImageFile() {
    if (Open()) CloseHandle(Handle);
  }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  bool Open() const { return Handle != INVALID_HANDLE_VALUE; }
  bool Seek(std::uint64_t offset) const {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(Handle, to, nullptr, FILE_BEGIN) != FALSE;
  }
  bool WriteAt(std::uint64_t offset, const std::string& bytes) const {
    DWORD written = 0;
    return Seek(offset) &&
           WriteFile(Handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }
  // Sets the end of the file; what lies past the old end reads as zeros.
  bool SetLength(std::uint64_t length) const { return Seek(length) && SetEndOfFile(Handle); }
  std::uint64_t Length() const {
    LARGE_INTEGER size{};
    return GetFileSizeEx(Handle, &size) ? static_cast<std::uint64_t>(size.QuadPart) : UINT64_MAX;
  }
  bool Read(std::string& bytes) const {
    DWORD got = 0;
    return ReadFile(Handle, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
           got == bytes.size();
  }

 private:
  HANDLE Handle;
};

// Whether the image is `length` bytes of zeros with the pictures, as far as they fit.
::testing::AssertionResult ImageHolds(const std::wstring& path, std::uint64_t length,
                                      const std::vector<Placement>& pictures) {
  ImageFile image(path, GENERIC_READ, OPEN_EXISTING);
  if (!image.Open()) return ::testing::AssertionFailure() << "cannot open " << Utf8(path);
  if (image.Length() != length) {
    return ::testing::AssertionFailure() << image.Length() << " bytes, not " << length;
  }
  std::string got, expected;
  for (std::uint64_t at = 0; at < length; at += MiB) {
    auto size = static_cast<size_t>(std::min(MiB, length - at));
    got.resize(size);
    expected.assign(size, '\0');
    for (const Placement& picture : pictures) {
      std::uint64_t from = std::max(at, picture.Offset);
      std::uint64_t to = std::min(at + size, picture.Offset + picture.Bytes.size());
      for (std::uint64_t i = from; i < to; ++i) {
        expected[static_cast<size_t>(i - at)] = picture.Bytes[static_cast<size_t>(i - picture.Offset)];
      }
    }
    if (!image.Read(got)) return ::testing::AssertionFailure() << "cannot read at " << at;
    if (got != expected) return ::testing::AssertionFailure() << "changed in the MiB at " << at;
  }
  return ::testing::AssertionSuccess();
}

bool IsShrunkVolumeBox(const Dialog& box) {
  return box.Caption == Text::BoxCaption && box.Text == Text::ShrunkVolume;
}

enum class AfterCut { AnswerTheBox, CloseWhileTheBoxIsOpen, Stop };

struct ShrinkCase {
  const char* Name;
  AfterCut Then;
};

class ShrinkTest : public WindowTest, public ::testing::WithParamInterface<ShrinkCase> {
 protected:
  // Writes the image whole, scans its volume, pauses at once and cuts the image short
  // beyond where the scan stands.
  void StartAndCut() {
    Image = EnvironmentText(L"RECLAIMA_SHRINK_IMAGE");
    ASSERT_FALSE(Image.empty()) << "RECLAIMA_SHRINK_IMAGE is not set: run through run-window.sh";
    {
      ImageFile image(Image, GENERIC_WRITE, CREATE_ALWAYS);
      ASSERT_TRUE(image.Open()) << Utf8(Image);
      for (const Placement& picture : {KeptPicture, CutPicture}) {
        ASSERT_TRUE(image.WriteAt(picture.Offset, picture.Bytes));
      }
      ASSERT_TRUE(image.SetLength(WholeLength));
    }
    // A folder of its own each time, so that the test can be repeated in one run.
    static int runs = 0;
    const std::string name = std::string("shrink-") + GetParam().Name + "-" + std::to_string(++runs);
    Output = PrepareScan(std::wstring(name.begin(), name.end()), L"RECLAIMA_SHRINK_DRIVE");
    ASSERT_EQ(W().Text(Id::Capacity), CapacityLine(L"1.00"));

    ASSERT_TRUE(W().Press(Id::Start));
    ASSERT_TRUE(W().Press(Id::Start));
    ASSERT_TRUE(W().WaitForText(Id::Start, Text::Continue, ShortWait)) << W().OtherDialogs();
    std::this_thread::sleep_for(300ms);  // a tick shows where the scan stands
    ASSERT_LT(W().ProgressPosition(), MaxPercentAtCut) << "the scan had gone too far to cut ahead of it";
    ASSERT_TRUE(ImageFile(Image, GENERIC_WRITE, OPEN_EXISTING).SetLength(CutLength));
  }

  // Only the picture before the cut was recovered, and the image is as the cut left it.
  void ExpectOnlyTheKeptPicture() {
    EXPECT_EQ(FolderEntries(Output), std::vector<std::wstring>{L"png\\"});
    std::vector<std::wstring> files = FolderEntries(Output + L"\\png");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ReadFileBytes(Output + L"\\png\\" + files[0]), KeptPicture.Bytes);
    EXPECT_TRUE(ImageHolds(Image, CutLength, {KeptPicture}));
  }

  std::wstring Image;
  std::wstring Output;
};

TEST_P(ShrinkTest, AScanOfAVolumeCutShortSaysSoAtItsEnd) {
  StartAndCut();
  if (HasFatalFailure()) return;
  Counts keptOnly{};
  keptOnly[1] = 1;

  if (GetParam().Then == AfterCut::Stop) {
    // The user ended the scan: its counts go, and it claims no whole partition.
    ASSERT_TRUE(W().Press(Id::Stop));
    ExpectIdle();
    EXPECT_EQ(WaitForOpenedPages(1), std::vector<std::string>{Utf8(HomePage)})
        << "the stopped scan did not end";
    EXPECT_FALSE(W().Program().WaitForDialog(IsShrunkVolumeBox, 2s)) << "a box after a stop";
    EXPECT_EQ(W().OtherDialogs(), "none");
    EXPECT_NE(W().Text(Id::Percent), L"100 %");
    EXPECT_TRUE(ImageHolds(Image, CutLength, {KeptPicture}));
    return;
  }

  ASSERT_TRUE(W().Press(Id::Start));
  // The box holds the worker before it puts "开始" back: once that shows, none is coming.
  std::optional<Dialog> box;
  WaitUntil(
      [&] {
        for (const Dialog& dialog : W().Program().Dialogs()) {
          if (IsShrunkVolumeBox(dialog)) box = dialog;
        }
        return box || W().Text(Id::Start) == Text::Start;
      },
      ScanTimeout);
  ASSERT_TRUE(box) << "no box at the end of the scan; open dialogs: " << W().OtherDialogs();
  // Raised by the worker, like the engine's boxes: no owner, OK only.
  EXPECT_EQ(GetWindow(box->Window, GW_OWNER), nullptr);
  EXPECT_NE(GetDlgItem(box->Window, IDOK), nullptr);
  EXPECT_EQ(GetDlgItem(box->Window, IDCANCEL), nullptr);
  // The scan went on to its end over the zeros; the picture past the cut was not found.
  EXPECT_TRUE(W().WaitForText(Id::Percent, L"100 %", ShortWait)) << Utf8(W().Text(Id::Percent));
  ExpectResult(keptOnly);

  if (GetParam().Then == AfterCut::CloseWhileTheBoxIsOpen) {
    W().Close();
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(W().Program().Running()) << "the window closed under the worker's box";
    EXPECT_TRUE(IsWindowVisible(box->Window));
    Answer(*box, IDOK);
    ASSERT_TRUE(W().Program().WaitForExit(60s))
        << "still running; open dialogs: " << W().OtherDialogs();
    ExpectOnlyTheKeptPicture();
    return;
  }

  Answer(*box, IDOK);
  WaitForScanEnd();
  ExpectIdle();
  EXPECT_EQ(W().ProgressPosition(), 99);
  ExpectResult(keptOnly);
  EXPECT_EQ(W().OtherDialogs(), "none");
  ExpectOnlyTheKeptPicture();

  // The window goes on: the partition chosen again shows its new length, and a scan of it
  // finds the kept picture once more and has nothing to warn of.
  ASSERT_TRUE(W().SelectPartition(EnvironmentText(L"RECLAIMA_SHRINK_DRIVE").at(0)));
  EXPECT_EQ(W().Text(Id::Capacity), CapacityLine(L"0.25"));
  ASSERT_TRUE(W().Press(Id::Start));
  WaitForScanEnd();
  keptOnly[1] = 2;
  ExpectResult(keptOnly);
  EXPECT_EQ(W().OtherDialogs(), "none");
  EXPECT_TRUE(ImageHolds(Image, CutLength, {KeptPicture}));
}

INSTANTIATE_TEST_SUITE_P(
    Window, ShrinkTest,
    ::testing::Values(ShrinkCase{"AnswerTheBox", AfterCut::AnswerTheBox},
                      ShrinkCase{"CloseWhileTheBoxIsOpen", AfterCut::CloseWhileTheBoxIsOpen},
                      ShrinkCase{"Stop", AfterCut::Stop}),
    [](const ::testing::TestParamInfo<ShrinkCase>& param) { return std::string(param.param.Name); });

}  // namespace
