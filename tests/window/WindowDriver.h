// Drives a Windows program from outside, as a user would: starts it, answers its
// message boxes, finds its controls, presses buttons, reads what the window shows.
// Runs under Wine in the same prefix and display as the program it drives.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace WindowDriver {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

// Polls `done` until it holds or `timeout` passes; true when it held.
bool WaitUntil(const std::function<bool()>& done, Duration timeout);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
std::string Utf8(const std::wstring& text);

// A top-level dialog of the driven program: a message box, the folder chooser, the About box.
struct Dialog {
  HWND Window = nullptr;
  std::wstring Caption;
  std::wstring Text;  // a message box's message (static 0xFFFF); empty for other dialogs
};
std::string Describe(const Dialog& dialog);

// Tells the control's window what a user did to the control (BN_CLICKED, CBN_SELCHANGE):
// the message the control itself sends. (A BM_CLICK posted to a button is now and then
// lost under Wine, when the focus moves between its press and release.) Returns once the
// window has handled it or has been busy with it for a second.
void Notify(HWND control, WORD code);
// Clicks a button; false when a user could not, the button being disabled or hidden.
bool Click(HWND button);
// Waits until the window's thread has handled the messages sent to it so far.
void Sync(HWND window);

class Program {
 public:
  // Starts `commandLine`; the process is ended (closed, or killed if it hangs) on destruction.
  explicit Program(const std::wstring& commandLine);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  HANDLE Process() const { return Info.hProcess; }
  bool Running() const;
  // Waits for the process to end; true when it did.
  bool WaitForExit(Duration timeout) const;

  // The visible top-level dialogs (#32770) of the process.
  std::vector<Dialog> Dialogs() const;
  // The first visible dialog that `match` accepts, waited for.
  std::optional<Dialog> WaitForDialog(const std::function<bool(const Dialog&)>& match,
                                      Duration timeout) const;
  std::optional<Dialog> WaitForDialogCaption(const std::wstring& caption, Duration timeout) const;
  // Waits for the visible dialog with that caption, pressing OK on every message box
  // that `answerable` accepts meanwhile; those boxes go to `answered`.
  HWND WaitForWindow(const std::wstring& caption,
                     const std::function<bool(const Dialog&)>& answerable,
                     std::vector<Dialog>& answered, Duration timeout) const;
  // The visible dialogs other than `except`: boxes nobody expected.
  std::vector<Dialog> DialogsExcept(HWND except) const;

  // A block of the program's memory: control messages that carry a pointer need
  // their buffer in the program's address space.
  class RemoteBuffer {
   public:
    RemoteBuffer(HANDLE process, size_t bytes);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    void* Address() const { return Base; }
    void Write(const void* data, size_t bytes, size_t offset = 0) const;
    void Read(void* data, size_t bytes, size_t offset = 0) const;

   private:
    HANDLE ProcessHandle;
    void* Base;
  };

 private:
  PROCESS_INFORMATION Info{};
};

// Presses a dialog's button by its command id (IDOK, IDYES, IDNO...).
void Answer(const Dialog& box, int buttonId);

// The combo box's entries, in list order.
std::vector<std::wstring> ComboEntries(HWND combo);

// The folder chooser's tree (SysTreeView32 of the program). An item is found by a path
// of names below the top item (the desktop): a drive is named by its letter and colon
// ("S:", shown as "label (S:)"), a folder by its name. The first step may lie one level
// deeper, so the drives are found under the computer whatever the computer is called.
HTREEITEM FindTreeItem(const Program& program, HWND tree, const std::vector<std::wstring>& path);
HTREEITEM TreeParent(HWND tree, HTREEITEM item);
std::wstring TreeItemText(const Program& program, HWND tree, HTREEITEM item);
// Selects the item as a click on it would: the chooser is told of the change.
bool SelectTreeItem(HWND tree, HTREEITEM item);

// Saves what the screen shows of the window as a 24-bit BMP.
bool SaveWindowBitmap(HWND window, const std::wstring& path);

// Reads a file, at most `limit` bytes of it; nullopt when it cannot be opened.
std::optional<std::string> ReadFileBytes(const std::wstring& path, size_t limit = SIZE_MAX);
// The names of the entries of a folder (no "." or ".."), sorted; folders end with '\'.
std::vector<std::wstring> FolderEntries(const std::wstring& folder);
// Each sub-folder of `root` mapped to the sorted contents of the files it holds.
std::map<std::wstring, std::vector<std::string>> TreeContents(const std::wstring& root);

std::wstring EnvironmentText(const wchar_t* name);

}  // namespace WindowDriver
