#include "WindowDriver.h"


#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace WindowDriver {

namespace {

constexpr Duration PollPeriod = 50ms;
constexpr UINT SyncTimeoutMs = 10000;
constexpr UINT NotifyWaitMs = 1000;
constexpr int MessageTextId = 0xFFFF;  // the static that holds a message box's text

struct Enumeration {
  DWORD ProcessId;
  std::vector<Dialog>* Found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM parameter) {
  auto& enumeration = *reinterpret_cast<Enumeration*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != enumeration.ProcessId || !IsWindowVisible(window) ||
      ClassName(window) != L"#32770") {
    return TRUE;
  }
  Dialog dialog{window, WindowText(window), {}};
  if (HWND text = GetDlgItem(window, MessageTextId)) dialog.Text = WindowText(text);
  enumeration.Found->push_back(dialog);
  return TRUE;
}

HTREEITEM NextItem(HWND tree, UINT relation, HTREEITEM item) {
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

std::vector<HTREEITEM> Children(HWND tree, HTREEITEM parent) {
  // The chooser fills a folder's children only when it is expanded.
  SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
  std::vector<HTREEITEM> children;
  for (HTREEITEM child = NextItem(tree, TVGN_CHILD, parent); child;
       child = NextItem(tree, TVGN_NEXT, child)) {
    children.push_back(child);
  }
  return children;
}

bool StepMatches(const std::wstring& itemText, const std::wstring& step) {
  bool drive = step.size() == 2 && step[1] == L':';
  return drive ? itemText.find(L"(" + step + L")") != std::wstring::npos : itemText == step;
}

HTREEITEM FindChild(const Program& program, HWND tree, HTREEITEM parent,
                    const std::wstring& step, int levelsToSkip) {
  std::vector<HTREEITEM> children = Children(tree, parent);
  for (HTREEITEM child : children) {
    if (StepMatches(TreeItemText(program, tree, child), step)) return child;
  }
  if (levelsToSkip > 0) {
    for (HTREEITEM child : children) {
      if (HTREEITEM found = FindChild(program, tree, child, step, levelsToSkip - 1)) return found;
    }
  }
  return nullptr;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, Duration timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(PollPeriod);
  }
  return true;
}

std::wstring WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SyncTimeoutMs,
                           &length)) {
    return L"";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, SyncTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::string Utf8(const std::wstring& text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                      nullptr, nullptr);
  return out;
}

std::string Describe(const Dialog& dialog) {
  return "\"" + Utf8(dialog.Caption) + "\": \"" + Utf8(dialog.Text) + "\"";
}

void Notify(HWND control, WORD code) {
  // Sent, so it has been handled when this returns, unless the handler is still busy
  // (with a box it opened, say).
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                      reinterpret_cast<LPARAM>(control), SMTO_NORMAL, NotifyWaitMs, &ignored);
}

bool Click(HWND button) {
  if (!IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
  Notify(button, BN_CLICKED);
  return true;
}

void Sync(HWND window) {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, SyncTimeoutMs, &ignored);
}

Program::Program(const std::wstring& commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &Info)) {
    throw std::runtime_error("cannot start " + Utf8(commandLine) + ", error " +
                             std::to_string(GetLastError()));
  }
}

Program::~Program() {
  if (Running()) {
    // Closed as a user would; boxes still open are dismissed on the way out.
    for (const Dialog& dialog : Dialogs()) PostMessageW(dialog.Window, WM_CLOSE, 0, 0);
    WaitUntil(
        [&] {
          for (const Dialog& dialog : Dialogs()) {
            if (dialog.Text.empty()) {
              PostMessageW(dialog.Window, WM_SYSCOMMAND, SC_CLOSE, 0);
            } else {
              Answer(dialog, IDOK);
            }
          }
          return !Running();
        },
        20s);
    if (Running()) TerminateProcess(Info.hProcess, 1);
  }
  CloseHandle(Info.hThread);
  CloseHandle(Info.hProcess);
}

bool Program::Running() const { return WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT; }

bool Program::WaitForExit(Duration timeout) const {
  return WaitForSingleObject(Info.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

std::vector<Dialog> Program::Dialogs() const {
  std::vector<Dialog> found;
  Enumeration enumeration{Info.dwProcessId, &found};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&enumeration));
  return found;
}

std::optional<Dialog> Program::WaitForDialog(const std::function<bool(const Dialog&)>& match,
                                             Duration timeout) const {
  std::optional<Dialog> found;
  WaitUntil(
      [&] {
        for (const Dialog& dialog : Dialogs()) {
          if (match(dialog)) {
            found = dialog;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

std::optional<Dialog> Program::WaitForDialogCaption(const std::wstring& caption,
                                                    Duration timeout) const {
  return WaitForDialog([&](const Dialog& dialog) { return dialog.Caption == caption; }, timeout);
}

HWND Program::WaitForWindow(const std::wstring& caption,
                            const std::function<bool(const Dialog&)>& answerable,
                            std::vector<Dialog>& answered, Duration timeout) const {
  HWND window = nullptr;
  WaitUntil(
      [&] {
        for (const Dialog& dialog : Dialogs()) {
          if (dialog.Caption == caption) {
            window = dialog.Window;
          } else if (answerable(dialog)) {
            answered.push_back(dialog);
            Answer(dialog, IDOK);
            // The box is gone once its thread has handled the press.
            WaitUntil([&] { return !IsWindowVisible(dialog.Window); }, 5s);
          }
        }
        return window != nullptr;
      },
      timeout);
  return window;
}

std::vector<Dialog> Program::DialogsExcept(HWND except) const {
  std::vector<Dialog> others = Dialogs();
  others.erase(std::remove_if(others.begin(), others.end(),
                              [&](const Dialog& dialog) { return dialog.Window == except; }),
               others.end());
  return others;
}

Program::RemoteBuffer::RemoteBuffer(HANDLE process, size_t bytes)
    : ProcessHandle(process),
      Base(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
  if (!Base) throw std::runtime_error("VirtualAllocEx failed");
}

Program::RemoteBuffer::~RemoteBuffer() { VirtualFreeEx(ProcessHandle, Base, 0, MEM_RELEASE); }

void Program::RemoteBuffer::Write(const void* data, size_t bytes, size_t offset) const {
  WriteProcessMemory(ProcessHandle, static_cast<char*>(Base) + offset, data, bytes, nullptr);
}

void Program::RemoteBuffer::Read(void* data, size_t bytes, size_t offset) const {
  ReadProcessMemory(ProcessHandle, static_cast<char*>(Base) + offset, data, bytes, nullptr);
}

void Answer(const Dialog& box, int buttonId) {
  if (HWND button = GetDlgItem(box.Window, buttonId)) Click(button);
}

std::vector<std::wstring> ComboEntries(HWND combo) {
  std::vector<std::wstring> entries;
  auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (WPARAM i = 0; static_cast<LRESULT>(i) < count; ++i) {
    auto length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
    std::wstring entry(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
    auto copied = SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
    entry.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
    entries.push_back(entry);
  }
  return entries;
}

std::wstring TreeItemText(const Program& program, HWND tree, HTREEITEM item) {
  constexpr size_t TextChars = 260;
  Program::RemoteBuffer remote(program.Process(), sizeof(TVITEMW) + TextChars * sizeof(wchar_t));
  TVITEMW request{};
  request.mask = TVIF_TEXT;
  request.hItem = item;
  char* textAddress = static_cast<char*>(remote.Address()) + sizeof request;
  request.pszText = reinterpret_cast<wchar_t*>(textAddress);
  request.cchTextMax = TextChars;
  remote.Write(&request, sizeof request);
  if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.Address()))) return L"";
  wchar_t text[TextChars + 1] = {};
  remote.Read(text, TextChars * sizeof(wchar_t), sizeof request);
  return text;
}

HTREEITEM FindTreeItem(const Program& program, HWND tree, const std::vector<std::wstring>& path) {
  HTREEITEM item = NextItem(tree, TVGN_ROOT, nullptr);
  for (size_t i = 0; item && i < path.size(); ++i) {
    item = FindChild(program, tree, item, path[i], i == 0 ? 1 : 0);
  }
  return item;
}

HTREEITEM TreeParent(HWND tree, HTREEITEM item) { return NextItem(tree, TVGN_PARENT, item); }

bool SelectTreeItem(HWND tree, HTREEITEM item) {
  return SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

bool SaveWindowBitmap(HWND window, const std::wstring& path) {
  RECT frame{};
  if (!GetWindowRect(window, &frame)) return false;
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  int stride = (width * 3 + 3) & ~3;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(stride * height);

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                    &pixels, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  bool copied = BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  GdiFlush();

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + header.biSizeImage;
  std::ofstream out(path.c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(static_cast<const char*>(pixels), header.biSizeImage);
  bool written = copied && static_cast<bool>(out);

  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return written;
}

std::optional<std::string> ReadFileBytes(const std::wstring& path, size_t limit) {
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  char block[65536];
  while (bytes.size() < limit && in.read(block, sizeof block).gcount() > 0) {
    bytes.append(block, std::min<size_t>(static_cast<size_t>(in.gcount()), limit - bytes.size()));
  }
  return bytes;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) name += L'\\';
    names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::wstring, std::vector<std::string>> TreeContents(const std::wstring& root) {
  std::map<std::wstring, std::vector<std::string>> tree;
  for (const std::wstring& entry : FolderEntries(root)) {
    if (entry.back() != L'\\') {
      tree[L""].push_back(Utf8(entry));  // a stray file beside the type folders
      continue;
    }
    std::wstring folder = entry.substr(0, entry.size() - 1);
    std::vector<std::string>& contents = tree[folder];
    for (const std::wstring& file : FolderEntries(root + L"\\" + folder)) {
      contents.push_back(ReadFileBytes(root + L"\\" + folder + L"\\" + file).value_or(""));
    }
    std::sort(contents.begin(), contents.end());
  }
  return tree;
}

std::wstring EnvironmentText(const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? value : L"";
}

}  // namespace WindowDriver
