#include "ReclaimaWindow.h"


#include <cstdio>
#include <stdexcept>

namespace Reclaima {

using namespace WindowDriver;

namespace {

constexpr Duration StartupTimeout = 60s;
constexpr Duration DialogTimeout = 15s;

HWND FindTree(HWND dialog) { return FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr); }

}  // namespace

std::wstring ResultLine(const Counts& counts) {
  wchar_t line[256];
  swprintf(line, 256, L"结果： JPG:%u, PNG:%u, GIF:%u,  RTF:%u, RAR:%u, ZIP:%u, 7Z:%u, RMVB:%u, FLV:%u",
           counts[0], counts[1], counts[2], counts[3], counts[4], counts[5], counts[6], counts[7],
           counts[8]);
  return line;
}

std::wstring CapacityLine(const wchar_t* figure) {
  return std::wstring(L"容量：") + figure + L" GB";
}

bool IsVolumeErrorBox(const Dialog& box) {
  bool engineText = box.Caption == Text::BoxCaption && box.Text == Text::VolumeNotOpen;
  bool systemText = box.Caption == Text::SystemErrorCaption && !box.Text.empty();
  return (engineText || systemText) && !GetWindow(box.Window, GW_OWNER);
}

MainWindow::MainWindow(const std::wstring& exe) : Process(L"\"" + exe + L"\"") {
  Main = Process.WaitForWindow(Text::MainCaption, IsVolumeErrorBox, VolumeBoxes, StartupTimeout);
  if (!Main) {
    throw std::runtime_error("the main window did not open; open dialogs: " + OtherDialogs());
  }
  Sync(Main);
}

int MainWindow::ProgressPosition() const {
  return static_cast<int>(SendMessageW(Control(Id::Progress), PBM_GETPOS, 0, 0));
}

std::string MainWindow::OtherDialogs() const {
  std::string list;
  for (const Dialog& dialog : Process.DialogsExcept(Main)) {
    list += (list.empty() ? "" : ", ") + Describe(dialog);
  }
  return list.empty() ? "none" : list;
}

bool MainWindow::Press(int id) { return Click(Control(id)); }

bool MainWindow::WaitForText(int id, const std::wstring& text, Duration timeout) const {
  return WaitUntil([&] { return this->Text(id) == text; }, timeout);
}

bool MainWindow::SelectPartition(wchar_t letter, std::vector<Dialog>* boxes) {
  std::vector<std::wstring> entries = ComboEntries(Control(Id::Partitions));
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].rfind(std::wstring(1, letter) + L":\\", 0) != 0) continue;
    // What a pick in the list does: the selection moves, the window hears of it.
    HWND list = Control(Id::Partitions);
    SendMessageW(list, CB_SETCURSEL, i, 0);
    Notify(list, CBN_SELCHANGE);
    std::vector<Dialog> answered = AnswerVolumeBoxes(500ms);
    if (boxes) *boxes = answered;
    return true;
  }
  return false;
}

int MainWindow::SelectedPartition() const {
  return static_cast<int>(SendMessageW(Control(Id::Partitions), CB_GETCURSEL, 0, 0));
}

std::vector<Dialog> MainWindow::AnswerVolumeBoxes(Duration quiet) {
  // The window raises them from a handler; once it has handled what was posted to it, any
  // box is open. Answering one may let the handler go on to raise the next.
  std::vector<Dialog> answered;
  for (;;) {
    Sync(Main);
    auto box = Process.WaitForDialog(IsVolumeErrorBox, quiet);
    if (!box) return answered;
    answered.push_back(*box);
    Answer(*box, IDOK);
    WaitUntil([&] { return !IsWindowVisible(box->Window); }, DialogTimeout);
  }
}

HWND MainWindow::OpenChooser() {
  Click(Control(Id::Browse));
  auto chooser =
      Process.WaitForDialog([](const Dialog& dialog) { return FindTree(dialog.Window); },
                            DialogTimeout);
  return chooser ? chooser->Window : nullptr;
}

bool MainWindow::Browse(const std::vector<std::wstring>& path) {
  HWND chooser = OpenChooser();
  if (!chooser) return false;
  HWND tree = FindTree(chooser);
  HTREEITEM item = FindTreeItem(Process, tree, path);
  if (!item || !SelectTreeItem(tree, item)) {
    Click(GetDlgItem(chooser, IDCANCEL));
    return false;
  }
  Click(GetDlgItem(chooser, IDOK));
  return WaitUntil([&] { return !IsWindow(chooser); }, DialogTimeout);
}

void MainWindow::Close() { PostMessageW(Main, WM_SYSCOMMAND, SC_CLOSE, 0); }

}  // namespace Reclaima
