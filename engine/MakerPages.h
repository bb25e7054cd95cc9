// The maker's web pages: opened at the end of every scan and by the window's links.
// Under the reserved "example" domain, so that nothing real is ever opened by accident.
#pragma once

namespace reclaima {

inline constexpr const wchar_t* HomePageAddress = L"https://vantobel.example/";
inline constexpr const wchar_t* FeedbackPageAddress = L"https://vantobel.example/feedback";

}  // namespace reclaima
