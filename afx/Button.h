// A push button bound to a dialog control.
#pragma once

#include "Wnd.h"

class CButton : public CWnd {};
