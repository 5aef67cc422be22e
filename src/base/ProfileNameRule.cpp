#include "base/ProfileNameRule.h"

#include "base/AsciiCase.h"

namespace halcyra {

namespace {

constexpr std::size_t MaxProfileNameBytes = 200;

bool endsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

} // namespace

std::string profileNameProblem(std::string_view name) {
    if (name.empty())
        return "Profile names cannot be empty.";
    if (name.find_first_of("\\/:*?\"<>|") != std::string_view::npos)
        return std::string(InvalidProfileNameText);
    for (char c : name)
        if (isControl(static_cast<unsigned char>(c)))
            return "Profile names cannot contain control characters such as tabs or line breaks.";
    if (name == "." || name == "..")
        return "\"" + std::string(name) + "\" cannot be a profile name.";
    if (equalsIgnoringAsciiCase(name, "-i"))
        return "\"" + std::string(name) +
               "\" cannot be a profile name: on the command line it asks for interactive "
               "runs.";
    if (name.size() > MaxProfileNameBytes)
        return "Profile names cannot be longer than 200 bytes.";
    if (endsWithIgnoringAsciiCase(name, "_excl") || endsWithIgnoringAsciiCase(name, "_excl_dir"))
        return "Profile names cannot end with \"_excl\" or \"_excl_dir\": those endings name the files that "
               "hold exclusion lists.";
    return {};
}

} // namespace halcyra
