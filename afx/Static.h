// A static text or picture bound to a dialog control.
#pragma once

#include "Wnd.h"

class CStatic : public CWnd {};
