// The root of every class that has a message map: windows and the application.
#pragma once

#include "MessageMap.h"

class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Runs the handler of a WM_COMMAND from this class's map; false when there is none.
    bool OnCmdMsg(UINT id, UINT code, WPARAM wParam, LPARAM lParam);

protected:
    // The entry for a message, searched from this class's table down to the root's.
    const afx::MessageMapEntry* FindEntry(UINT message, UINT code, UINT id) const;

    static const afx::MessageMap* GetThisMessageMap();
    virtual const afx::MessageMap* GetMessageMap() const;
};
