#pragma once

#include <string_view>

namespace halcyra {

// The product's home page, linked from the reports the program writes.
inline constexpr std::string_view kProductHomePage = "https://halcyra.example.org/";

} // namespace halcyra
