#include "ComboBox.h"

std::wstring CComboBox::GetLBText(int index) const
{
    const auto wIndex = static_cast<WPARAM>(index);
    const LRESULT length = SendMessage(CB_GETLBTEXTLEN, wIndex);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessage(CB_GETLBTEXT, wIndex, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}
