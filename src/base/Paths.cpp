#include "base/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace halcyra {

std::string_view folderPart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

std::string_view namePart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string withTrailingSlash(std::string_view path) {
    std::string out(path);
    if (!out.empty() && out.back() != '/')
        out += '/';
    return out;
}

std::string currentFolder() {
    std::vector<char> buffer(PATH_MAX);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return withTrailingSlash(buffer.data());
}

std::string programPath() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string programFolder() {
    return std::string(folderPart(programPath()));
}

bool isPathSafeName(std::string_view name) {
    return !name.empty() && name.size() <= 200 && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

} // namespace halcyra

namespace halcyra {

namespace {

// Creates every missing folder of `path` (which ends with '/') with `mode`.
void makeFolders(const std::string& path, mode_t mode) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST)
            return;
    }
}

// $variable when set to an absolute path (as the XDG rules require), else $HOME + fallback.
std::string xdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    std::string base;
    if (value != nullptr && value[0] == '/') {
        base = value;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd* entry = getpwuid(getuid());
            home = entry != nullptr ? entry->pw_dir : "/tmp";
        }
        base = withTrailingSlash(home) + fallback;
    }
    std::string folder = withTrailingSlash(base) + "Halcyra/";
    makeFolders(folder, 0700);
    return folder;
}

} // namespace

std::string dataFolder() {
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string settingsFolder() {
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

} // namespace halcyra
