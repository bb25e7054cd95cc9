// Table-driven message maps: each class lists the messages it handles, and a window
// looks a message up in its own table first, then in its base classes' tables.
#pragma once

#include <windows.h>

#include <type_traits>

class CCmdTarget;

namespace afx {

// Calls one handler with the message's arguments and returns the message's result.
using Invoker = LRESULT (*)(CCmdTarget& target, WPARAM wParam, LPARAM lParam);

struct MessageMapEntry {
    UINT Message;  // WM_COMMAND and WM_NOTIFY entries also match Code and Id
    UINT Code;
    UINT Id;
    Invoker Invoke;
};

struct MessageMap {
    const MessageMap* (*Base)();  // null at the root
    const MessageMapEntry* Entries;  // ends with an entry whose Invoke is null
};

// The class a member-function pointer belongs to, so that one invoker template fits
// handlers declared in any class of the hierarchy.
template <typename Member> struct MemberClass;
template <typename Class, typename Result, typename... Args>
struct MemberClass<Result (Class::*)(Args...)> {
    using Type = Class;
};

template <auto Handler>
auto& Target(CCmdTarget& target)
{
    return static_cast<typename MemberClass<decltype(Handler)>::Type&>(target);
}

template <auto Handler> LRESULT InvokeVoid(CCmdTarget& target, WPARAM, LPARAM)
{
    (Target<Handler>(target).*Handler)();
    return 0;
}

template <auto Handler> LRESULT InvokeSysCommand(CCmdTarget& target, WPARAM wParam, LPARAM lParam)
{
    (Target<Handler>(target).*Handler)(static_cast<UINT>(wParam), lParam);
    return 0;
}

template <auto Handler> LRESULT InvokeQueryDragIcon(CCmdTarget& target, WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>((Target<Handler>(target).*Handler)());
}

template <auto Handler> LRESULT InvokeTimer(CCmdTarget& target, WPARAM wParam, LPARAM)
{
    (Target<Handler>(target).*Handler)(static_cast<UINT_PTR>(wParam));
    return 0;
}

template <auto Handler> LRESULT InvokeNotify(CCmdTarget& target, WPARAM, LPARAM lParam)
{
    LRESULT result = 0;
    (Target<Handler>(target).*Handler)(reinterpret_cast<NMHDR*>(lParam), &result);
    return result;
}

}  // namespace afx

#define DECLARE_MESSAGE_MAP()                               \
protected:                                                  \
    static const ::afx::MessageMap* GetThisMessageMap();    \
    const ::afx::MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
    const ::afx::MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const ::afx::MessageMap* theClass::GetThisMessageMap()                            \
    {                                                                                 \
        using ThisClass [[maybe_unused]] = theClass;                                  \
        using TheBaseClass = baseClass;                                               \
        static const ::afx::MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                      \
            {0, 0, 0, nullptr}};                                               \
        static const ::afx::MessageMap map{&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                           \
    }

#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &::afx::InvokeSysCommand<&ThisClass::OnSysCommand>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &::afx::InvokeVoid<&ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, &::afx::InvokeQueryDragIcon<&ThisClass::OnQueryDragIcon>},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, &::afx::InvokeTimer<&ThisClass::OnTimer>},
#define ON_COMMAND(id, handler) {WM_COMMAND, 0, (id), &::afx::InvokeVoid<handler>},
#define ON_BN_CLICKED(id, handler) {WM_COMMAND, BN_CLICKED, (id), &::afx::InvokeVoid<handler>},
#define ON_CBN_SELCHANGE(id, handler) \
    {WM_COMMAND, CBN_SELCHANGE, (id), &::afx::InvokeVoid<handler>},
#define ON_STN_CLICKED(id, handler) {WM_COMMAND, STN_CLICKED, (id), &::afx::InvokeVoid<handler>},
#define ON_NOTIFY(code, id, handler) \
    {WM_NOTIFY, static_cast<UINT>(code), (id), &::afx::InvokeNotify<handler>},
