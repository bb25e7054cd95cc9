// Screenshots of the main window: idle, with the sample volume chosen and a save folder,
// and paused during a scan of it.
//   reclaima_window_shot IDLE.bmp [SCANNING.bmp]
// Run through run-window.sh, which names the drives in the environment.
#include "ReclaimaWindow.h"

#include <cstdio>
#include <exception>

using namespace Reclaima;
using namespace WindowDriver;

namespace {

int Fail(const char* what) {
  fprintf(stderr, "reclaima_window_shot: %s\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc > 3) return Fail("usage: reclaima_window_shot IDLE.bmp [SCANNING.bmp]");
  try {
    MainWindow window(EnvironmentText(L"RECLAIMA_EXE"));
    std::wstring save = EnvironmentText(L"RECLAIMA_SAVE_DRIVE") + L":";
    CreateDirectoryW((save + L"\\recovered").c_str(), nullptr);
    if (!window.Browse({save, L"recovered"})) return Fail("could not choose the save folder");
    if (!window.SelectPartition(EnvironmentText(L"RECLAIMA_SAMPLE_DRIVE").at(0))) {
      return Fail("the sample volume is not in the list");
    }
    // Let the window draw what it was just told.
    Sleep(1000);
    if (!SaveWindowBitmap(window.Window(), argv[1])) return Fail("could not save the idle window");
    if (argc < 3) return 0;

    // The sample scans in well under a second: pause at once, then let it run on in short
    // steps until the bar is part-way, so that the figures stand still for the picture.
    window.Press(Id::Start);
    window.Press(Id::Start);
    if (!window.WaitForText(Id::Start, Text::Continue, 5s)) return Fail("the scan did not pause");
    WaitUntil(
        [&] {
          if (window.ProgressPosition() >= 40) return true;
          window.Press(Id::Start);
          window.Press(Id::Start);
          Sleep(150);  // a timer tick shows where it stands
          return window.Text(Id::Start) != Text::Continue;
        },
        60s);
    if (window.Text(Id::Start) != Text::Continue) return Fail("the scan ended before it could be paused");
    Sleep(1000);
    if (!SaveWindowBitmap(window.Window(), argv[2])) {
      return Fail("could not save the scanning window");
    }
    window.Press(Id::Stop);
    return 0;
  } catch (const std::exception& error) {
    return Fail(error.what());
  }
}
