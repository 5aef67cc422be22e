#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a shell command; its exit status, with its output in `output`.
int run(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isExecutable(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR) != 0;
}

class InstallTree : public ::testing::Test {
protected:
    InstallTree() {
        char pattern[] = "/tmp/halcyra-install-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        m_root = made != nullptr ? made : "/nonexistent";
    }
    ~InstallTree() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    fs::path m_root;
};

TEST_F(InstallTree, HoldsTheProgramsSideBySideAValidMenuEntryAndTheIcon) {
    // A prefix with a blank and characters the entry's Exec key must quote.
    const fs::path prefix = m_root / "opt dir 100%$";
    std::string output;
    ASSERT_EQ(run(shellQuoted(HALCYRA_CMAKE_COMMAND) + " --install " + shellQuoted(HALCYRA_BUILD_ROOT) +
                      " --prefix " + shellQuoted(prefix.string()),
                  output),
              0)
        << output;

    for (const char* program : {"Halcyra", "HalcyraRunner", "HalcyraCL"})
        EXPECT_TRUE(isExecutable(prefix / "bin" / program)) << program;
    // Scheduled tasks start the runner found beside the program; the installed one starts there.
    EXPECT_NE(run(shellQuoted((prefix / "bin" / "HalcyraRunner").string()), output), 0);
    EXPECT_NE(output.find("Usage: HalcyraRunner"), std::string::npos) << output;

    const std::string icon = readText(prefix / "share/icons/hicolor/scalable/apps/halcyra.svg");
    EXPECT_NE(icon.find("<svg"), std::string::npos);

    const fs::path entryPath = prefix / "share/applications/halcyra.desktop";
    const std::string entry = readText(entryPath);
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << entry;
    EXPECT_NE(entry.find("\nExec=\"" + (m_root / "opt dir 100%%\\\\$/bin/Halcyra").string() + "\"\n"),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find("\nIcon=halcyra\n"), std::string::npos);
    EXPECT_EQ(run("desktop-file-validate " + shellQuoted(entryPath.string()), output), 0) << output;
    EXPECT_EQ(output, "");
}

} // namespace
