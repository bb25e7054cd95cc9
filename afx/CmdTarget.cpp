#include "CmdTarget.h"

const afx::MessageMap* CCmdTarget::GetThisMessageMap()
{
    static const afx::MessageMapEntry none[] = {{0, 0, 0, nullptr}};
    static const afx::MessageMap map{nullptr, none};
    return &map;
}

const afx::MessageMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const afx::MessageMapEntry* CCmdTarget::FindEntry(UINT message, UINT code, UINT id) const
{
    const bool keyed = message == WM_COMMAND || message == WM_NOTIFY;
    for (const afx::MessageMap* map = GetMessageMap(); map != nullptr;
         map = map->Base != nullptr ? map->Base() : nullptr) {
        for (const afx::MessageMapEntry* entry = map->Entries; entry->Invoke != nullptr; ++entry) {
            if (entry->Message != message) continue;
            if (!keyed || (entry->Code == code && entry->Id == id)) return entry;
        }
    }
    return nullptr;
}

bool CCmdTarget::OnCmdMsg(UINT id, UINT code, WPARAM wParam, LPARAM lParam)
{
    const afx::MessageMapEntry* entry = FindEntry(WM_COMMAND, code, id);
    if (entry == nullptr) return false;
    entry->Invoke(*this, wParam, lParam);
    return true;
}
