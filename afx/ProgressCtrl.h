// A progress bar bound to a dialog control; steered by its PBM_ messages.
#pragma once

#include <commctrl.h>

#include "Wnd.h"

class CProgressCtrl : public CWnd {};
