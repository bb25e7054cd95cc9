// Reclaima.exe as its user sees it: the main window's controls by id, its texts, and
// the steps a user takes (choose a partition, browse to a folder, press a button).
#pragma once

#include "WindowDriver.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace Reclaima {

using WindowDriver::Dialog;
using namespace std::chrono_literals;

// What the window shows, written out here so the tests do not take the program's word for it.
namespace Text {
inline const std::wstring MainCaption = L"Reclaima2.0-免费版";
inline const std::wstring AboutCaption = L"关于 Reclaima";
inline const std::wstring BoxCaption = L"Reclaima";
inline const std::wstring SystemErrorCaption = L"提示";
inline const std::wstring VolumeNotOpen = L"磁盘未打开！";
inline const std::wstring NoSaveFolder = L"请选择保存图片的文件夹";
inline const std::wstring SamePartition =
    L"保存文件夹位于要扫描的分区上：恢复出的文件会覆盖这个分区上尚未恢复的已删除数据。\n\n"
    L"仍要开始扫描吗？";
inline const std::wstring ShrunkVolume =
    L"分区在扫描期间变小了：其新末尾之后的内容按全零读取，那里的文件未能恢复。";
inline const std::wstring ChooserTitle = L"请选择要保存图片文件的目录：";
inline const std::wstring Start = L"开始";
inline const std::wstring Pause = L"暂停";
inline const std::wstring Continue = L"继续";
inline const std::wstring MakerFolder = L"Vantobel";
}  // namespace Text

namespace Id {
constexpr int SaveFolder = 1000, Browse = 1001, Capacity = 1004, ProgressCaption = 1005,
              Partitions = 1006, Refresh = 1007, Result = 1008, Progress = 1009, Percent = 1010,
              Stop = 1011, Start = 1012, MakerLink = 1019, Banner = 1020, FeedbackLink = 1021;
}  // namespace Id

// The nine types in the order of the result line, with their folder names.
struct FileType {
  const wchar_t* Label;
  const wchar_t* Folder;
};
constexpr std::array<FileType, 9> FileTypes{{{L"JPG", L"jpg"}, {L"PNG", L"png"},
                                             {L"GIF", L"gif"}, {L"RTF", L"rtf"},
                                             {L"RAR", L"rar"}, {L"ZIP", L"zip"},
                                             {L"7Z", L"7z"}, {L"RMVB", L"rmvb"},
                                             {L"FLV", L"flv"}}};
using Counts = std::array<unsigned, FileTypes.size()>;
std::wstring ResultLine(const Counts& counts);
std::wstring CapacityLine(const wchar_t* figure);

// The boxes the engine raises when a volume cannot be measured (no owner, OK only).
bool IsVolumeErrorBox(const Dialog& box);

class MainWindow {
 public:
  // Starts the program and waits for its window, answering the engine's boxes about
  // volumes it cannot measure (under Wine the first drive, C:, is such a one).
  explicit MainWindow(const std::wstring& exe);

  WindowDriver::Program& Program() { return Process; }
  HWND Window() const { return Main; }
  const std::vector<Dialog>& StartupBoxes() const { return VolumeBoxes; }

  HWND Control(int id) const { return GetDlgItem(Main, id); }
  std::wstring Text(int id) const { return WindowDriver::WindowText(Control(id)); }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  int ProgressPosition() const;
  // The boxes and dialogs open besides the main window, for failure messages.
  std::string OtherDialogs() const;

  // Presses a button (see WindowDriver::Click).
  bool Press(int id);
  // Waits until the control shows `text`.
  bool WaitForText(int id, const std::wstring& text, WindowDriver::Duration timeout) const;

  // Chooses the partition of that drive letter as a user does in the list; answers the
  // engine's boxes if it cannot measure it, and returns them. False when not in the list.
  bool SelectPartition(wchar_t letter, std::vector<Dialog>* boxes = nullptr);
  int SelectedPartition() const;
  // Answers the engine's volume boxes that open once the window has handled what was
  // posted to it (a refresh, say), until none opens for `quiet`; returns them.
  std::vector<Dialog> AnswerVolumeBoxes(WindowDriver::Duration quiet = 500ms);

  // Opens the folder chooser with Browse and returns it, or null.
  HWND OpenChooser();
  // Browses to the folder given as a path of names below the desktop ("S:", "out") and
  // presses OK; false when the chooser or the item could not be found.
  bool Browse(const std::vector<std::wstring>& path);

  // Closes the window as a user does, with the close box.
  void Close();

 private:
  WindowDriver::Program Process;
  std::vector<Dialog> VolumeBoxes;
  HWND Main = nullptr;
};

}  // namespace Reclaima
