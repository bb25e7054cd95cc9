// Stands in for the browser in the window tests' prefix: adds each address it is asked to
// open as a line to the file named by RECLAIMA_PAGES_LOG, so a test sees what was opened.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  wchar_t log[MAX_PATH] = {};
  if (argc != 2 || !GetEnvironmentVariableW(L"RECLAIMA_PAGES_LOG", log, MAX_PATH)) return 2;
  FILE* out = _wfopen(log, L"ab");
  if (!out) return 1;
  fprintf(out, "%ls\n", argv[1]);
  return fclose(out) == 0 ? 0 : 1;
}
