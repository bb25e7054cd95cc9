// Everything the framework offers window code, in one include.
#pragma once

#include "Button.h"
#include "CmdTarget.h"
#include "ComboBox.h"
#include "Dialog.h"
#include "Menu.h"
#include "MessageMap.h"
#include "MessageWait.h"
#include "PaintDC.h"
#include "ProgressCtrl.h"
#include "ResourceString.h"
#include "Static.h"
#include "WinApp.h"
#include "WinThread.h"
#include "Wnd.h"
