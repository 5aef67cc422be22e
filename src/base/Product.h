#pragma once

#include <string_view>

namespace halcyra {

// The product's home page, linked from the reports the program writes.
inline constexpr std::string_view kProductHomePage = "https://halcyra.example.org/";
// The pages the Help menu opens: the online help, the donation page and the forums.
inline constexpr std::string_view kProductHelpPage = "https://halcyra.example.org/help/";
inline constexpr std::string_view kProductDonatePage = "https://halcyra.example.org/donate/";
inline constexpr std::string_view kProductForumsPage = "https://halcyra.example.org/forums/";
// The web host asked for the newest version, and the page that offers it for download.
inline constexpr std::string_view kUpdateHost = "halcyra.example.org";
inline constexpr std::string_view kProductDownloadPage = "https://halcyra.example.org/download/";

} // namespace halcyra
