#include "ResourceString.h"

#include "WinApp.h"

std::wstring AfxLoadString(UINT id)
{
    // With a zero length, LoadStringW gives a pointer into the resource itself.
    const wchar_t* text = nullptr;
    const int length =
        ::LoadStringW(AfxGetInstanceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text != nullptr ? std::wstring(text, static_cast<std::size_t>(length))
                                         : std::wstring();
}
