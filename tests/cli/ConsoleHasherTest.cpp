// End-to-end tests of HalcyraCL: each case runs the built program in a temporary folder and compares
// its standard output byte for byte.

#include "HalcyraVersion.h"

#include "../base/DeepTree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = HALCYRA_BIN_DIR "/HalcyraCL";

// "abc" and the empty file, as the program prints them.
constexpr const char* kAbcMd5 = "900150983CD24FB0D6963F7D28E17F72";
constexpr const char* kAbcCrc = "352441C2";
constexpr const char* kEmptyMd5 = "D41D8CD98F00B204E9800998ECF8427E";
constexpr const char* kEmptyCrc = "00000000";
constexpr const char* kPlaceholder = "________CANNOT_OPEN_FILE________";

struct RunResult {
    std::string out;
    std::string err;
    int exitCode = -1; // -1 when the program did not exit normally (killed by a signal)
};

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One line of output as the program writes it.
std::string line(const std::string& hash, const std::string& name) {
    return hash + " " + name + "\r\n";
}

class ConsoleHasherTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/halcyra-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_work = m_root / "work";
        fs::create_directory(m_work);
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    // Creates a file below the work folder, with its folders.
    void file(const std::string& relative, const std::string& contents = "abc") {
        const fs::path path = m_work / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }

    void folder(const std::string& relative) { fs::create_directories(m_work / relative); }

    void link(const std::string& target, const std::string& relative) {
        ASSERT_EQ(symlink(target.c_str(), (m_work / relative).c_str()), 0);
    }

    // Runs the program with `args` in `cwd` (default: the work folder). Standard output goes to
    // `stdoutFd` when given (-2: closed), else it is captured.
    RunResult run(const std::vector<std::string>& args, const fs::path& cwd = {}, int stdoutFd = -1) {
        const fs::path outPath = m_root / "stdout", errPath = m_root / "stderr";
        const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::vector<char*> argv{const_cast<char*>(kProgram)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        const std::string folder = (cwd.empty() ? m_work : cwd).string();

        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(folder.c_str()) != 0)
                _exit(126);
            if (stdoutFd == -2)
                close(STDOUT_FILENO);
            else
                dup2(stdoutFd >= 0 ? stdoutFd : outFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            if (m_asNobody && geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                _exit(125);
            alarm(120); // a program that hangs is killed and the case fails
            execv(kProgram, argv.data());
            _exit(127);
        }
        close(outFd);
        close(errFd);
        RunResult result;
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = readWhole(outPath);
        result.err = readWhole(errPath);
        return result;
    }

    fs::path m_root;
    fs::path m_work;
    bool m_asNobody = false; // run the program as an unprivileged user, so that permissions apply
};

TEST_F(ConsoleHasherTest, NoParametersPrintsTheUsageText) {
    const RunResult result = run({});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              HALCYRACL_TITLE "\r\n"
                              "Usage: HalcyraCL [options] filenames\r\n"
                              "\r\n"
                              "Options:\r\n"
                              "\r\n"
                              "-r  : Recursively scan the following parameters\r\n"
                              "-nr : Do not recursively scan the following parameters (default)\r\n"
                              "-m  : Calculate MD5 hash value for the following parameters (default)\r\n"
                              "-c  : Calculate CRC32 value for the following parameters\r\n"
                              "\r\n"
                              "For example: HalcyraCL userguide.doc *.pas -c -r c:\\temp\\*.*\r\n");
    EXPECT_EQ(std::string(HALCYRACL_TITLE), "HalcyraCL v2.1.3");
}

TEST_F(ConsoleHasherTest, SwitchesAloneOrPatternsMatchingNothingPrintNothing) {
    file("a.txt");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-r", "-c"}, {"missing.txt"}, {"-r", "nowhere/*.*"}, {"-x", "-?", "-rc"}, {"a.txt/"}}) {
        const RunResult result = run(args);
        EXPECT_EQ(result.exitCode, 0) << args[0];
        EXPECT_EQ(result.out, "") << args[0];
        EXPECT_EQ(result.err, "") << args[0];
    }
}

TEST_F(ConsoleHasherTest, KindSwitchesActOnThePatternsThatFollow) {
    file("a.txt");
    file("empty.txt", "");
    EXPECT_EQ(run({"a.txt", "-c", "a.txt"}).out, line(kAbcMd5, "a.txt") + line(kAbcCrc, "a.txt"));
    EXPECT_EQ(run({"-c", "-c", "empty.txt", "-m", "empty.txt", "-m", "a.txt"}).out,
              line(kEmptyCrc, "empty.txt") + line(kEmptyMd5, "empty.txt") + line(kAbcMd5, "a.txt"));
    // Switches compare without regard to letter case.
    EXPECT_EQ(run({"-C", "a.txt", "-M", "a.txt"}).out, line(kAbcCrc, "a.txt") + line(kAbcMd5, "a.txt"));
    file("fox.txt", "The quick brown fox jumps over the lazy dog");
    EXPECT_EQ(run({"fox.txt", "-c", "fox.txt"}).out,
              line("9E107D9D372BB6826BD81D3542A419D6", "fox.txt") + line("414FA339", "fox.txt"));
}

TEST_F(ConsoleHasherTest, DashWordsThatAreNotSwitchesAreFilePatterns) {
    file("-rc");
    file("-x", "");
    const RunResult result = run({"-rc", "-x", "-nrx"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, line(kAbcMd5, "-rc") + line(kEmptyMd5, "-x"));
}

TEST_F(ConsoleHasherTest, PatternWithAFolderPrintsBareNames) {
    file("sub/x.txt");
    file("sub/deeper/y.txt");
    EXPECT_EQ(run({"sub/x.txt"}).out, line(kAbcMd5, "x.txt"));
    EXPECT_EQ(run({(m_work / "sub" / "x.txt").string()}).out, line(kAbcMd5, "x.txt"));
    EXPECT_EQ(run({"sub/*"}).out, line(kAbcMd5, "x.txt")); // the folder "deeper" is skipped
    EXPECT_EQ(run({"x.txt"}, m_work / "sub" / "deeper" / "..").out, line(kAbcMd5, "x.txt"));
}

TEST_F(ConsoleHasherTest, PatternNamingAFolderIsUsedAsTheMaskBelowIt) {
    file("d/sub", "");
    file("sub/inner.txt");
    EXPECT_EQ(run({"sub"}).out, "");
    EXPECT_EQ(run({"-r", "sub"}).out, line(kEmptyMd5, "d/sub"));
}

TEST_F(ConsoleHasherTest, RecursionAppliesTheMaskInEverySubFolderDepthFirst) {
    file("tree/top.txt");
    file("tree/top.dat");
    file("tree/a/1.txt");
    file("tree/a/z.txt", "");
    file("tree/a/b/2.txt");
    file("tree/a/b/3.dat");
    file("tree/b/4.TXT");
    file("tree/Z/5.txt");
    // Files of a folder first, then each sub-folder completely; names below the pattern's
    // folder are relative to it.
    const std::string expected = line(kAbcMd5, "top.txt") + line(kAbcMd5, "Z/5.txt") +
                                 line(kAbcMd5, "a/1.txt") + line(kEmptyMd5, "a/z.txt") +
                                 line(kAbcMd5, "a/b/2.txt") + line(kAbcMd5, "b/4.TXT");
    EXPECT_EQ(run({"-r", "*.txt"}, m_work / "tree").out, expected);
    EXPECT_EQ(run({"-R", "*.txt"}, m_work / "tree").out, expected);
    EXPECT_EQ(run({"-r", "tree/*.txt"}).out, expected);
    EXPECT_EQ(run({"-r", (m_work / "tree" / "*.txt").string()}, "/").out, expected);
    EXPECT_EQ(run({"-r", "tree/a/*.dat"}).out, line(kAbcMd5, "b/3.dat"));
}

TEST_F(ConsoleHasherTest, RecursionSwitchesActOnThePatternsThatFollow) {
    file("x.txt");
    file("d/y.txt");
    file("d/y.dat");
    EXPECT_EQ(run({"*.txt", "-r", "*.dat"}).out, line(kAbcMd5, "x.txt") + line(kAbcMd5, "d/y.dat"));
    EXPECT_EQ(run({"-r", "-nr", "*.txt"}).out, line(kAbcMd5, "x.txt"));
    EXPECT_EQ(run({"-r", "-NR", "*.txt", "-r", "-c", "*.txt"}).out,
              line(kAbcMd5, "x.txt") + line(kAbcCrc, "x.txt") + line(kAbcCrc, "d/y.txt"));
}

TEST_F(ConsoleHasherTest, WildcardsMatchLikeTheDirectorySearch) {
    file("a.txt");
    file("ab.txt");
    file("noext");
    file(".hidden");
    file("B.TXT");
    file("[x].txt");
    folder("folder.txt");
    EXPECT_EQ(run({"?.txt"}).out, line(kAbcMd5, "B.TXT") + line(kAbcMd5, "a.txt"));
    EXPECT_EQ(run({"*.*"}).out, line(kAbcMd5, ".hidden") + line(kAbcMd5, "B.TXT") + line(kAbcMd5, "[x].txt") +
                                    line(kAbcMd5, "a.txt") + line(kAbcMd5, "ab.txt") +
                                    line(kAbcMd5, "noext"));
    EXPECT_EQ(run({"[x]*"}).out, line(kAbcMd5, "[x].txt"));
    EXPECT_EQ(run({"*.tXt"}).out, line(kAbcMd5, "B.TXT") + line(kAbcMd5, "[x].txt") + line(kAbcMd5, "a.txt") +
                                      line(kAbcMd5, "ab.txt"));
    // A name without wildcards names that one entry exactly.
    EXPECT_EQ(run({"A.TXT", "b.txt", "B.TXT"}).out, line(kAbcMd5, "B.TXT"));
}

TEST_F(ConsoleHasherTest, EntriesComeInByteOrderOfTheirNames) {
    file("b.txt");
    file("\xC3\xA9.txt");
    file("B.txt");
    file("a.txt");
    file("_.txt");
    EXPECT_EQ(run({"*"}).out, line(kAbcMd5, "B.txt") + line(kAbcMd5, "_.txt") + line(kAbcMd5, "a.txt") +
                                  line(kAbcMd5, "b.txt") + line(kAbcMd5, "\xC3\xA9.txt"));
}

TEST_F(ConsoleHasherTest, ControlCharactersInNamesAreEscaped) {
    file("a\nb.txt");
    file("c<d.txt");
    file("e\r/f.txt");
    EXPECT_EQ(run({"-r", "*.txt"}).out,
              line(kAbcMd5, "a<0A>b.txt") + line(kAbcMd5, "c<3C>d.txt") + line(kAbcMd5, "e<0D>/f.txt"));
}

TEST_F(ConsoleHasherTest, SpecialFilesGetThePlaceholderWithoutBeingOpened) {
    ASSERT_EQ(mkfifo((m_work / "pipe").c_str(), 0600), 0);
    link("nowhere", "dangling");
    for (const char* kind : {"-m", "-c"}) {
        const RunResult result = run({kind, "*"});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, line(kPlaceholder, "dangling") + line(kPlaceholder, "pipe")) << kind;
    }
}

TEST_F(ConsoleHasherTest, UnreadableFileUnderCrcPrintsTheFullPlaceholder) {
    link("/proc/self/mem", "mem"); // opens as a regular file, but reading it fails
    EXPECT_EQ(run({"-c", "mem"}).out, line(kPlaceholder, "mem"));
    EXPECT_EQ(run({"mem"}).out, line(kPlaceholder, "mem"));
}

TEST_F(ConsoleHasherTest, LinkedFilesAreHashedAndLinkedFoldersNeverEntered) {
    file("tree/x.txt");
    file("tree/a/y.txt", "");
    link("..", "tree/a/up");
    link(".", "tree/self");
    link("x.txt", "tree/link.txt");
    link("a", "tree/alias.txt");
    const std::string expected =
        line(kAbcMd5, "link.txt") + line(kAbcMd5, "x.txt") + line(kEmptyMd5, "a/y.txt");
    EXPECT_EQ(run({"-r", "*.txt"}, m_work / "tree").out, expected);
    // The starting folder itself may be reached through a link.
    link("tree", "treelink");
    EXPECT_EQ(run({"-r", "treelink/*.txt"}).out, expected);
    EXPECT_EQ(run({"-r", "*"}, m_work / "tree").out,
              line(kAbcMd5, "link.txt") + line(kAbcMd5, "x.txt") + line(kEmptyMd5, "a/y.txt"));
}

TEST_F(ConsoleHasherTest, HiddenFoldersAreDescendedAndDeepTreesWalked) {
    file(".git/config");
    std::string deep;
    for (int i = 0; i < 300; ++i)
        deep += "d/";
    file(deep + "bottom");
    file("e/after", ""); // visited after the deep branch, from the top folder again
    EXPECT_EQ(run({"-r", "*"}).out,
              line(kAbcMd5, ".git/config") + line(kAbcMd5, deep + "bottom") + line(kEmptyMd5, "e/after"));
}

TEST_F(ConsoleHasherTest, TreesDeeperThanThePathLimitAreListedWhole) {
    const std::string deep =
        halcyra::testing::buildDeepTree(m_work.string(), 40, 200, {{"deep.txt", "abc"}, {"deep.dat", ""}});
    file("top.txt");
    EXPECT_EQ(run({"-r", "*.txt"}).out, line(kAbcMd5, "top.txt") + line(kAbcMd5, deep + "deep.txt"));
    EXPECT_EQ(run({"-r", "-c", "*"}).out, line(kAbcCrc, "top.txt") + line(kEmptyCrc, deep + "deep.dat") +
                                              line(kAbcCrc, deep + "deep.txt"));
    // Named by a path beyond the limit, with and without wildcards: bare names.
    const std::string folder = m_work.string() + "/" + deep;
    EXPECT_EQ(run({folder + "deep.txt", "-c", folder + "*.txt"}).out,
              line(kAbcMd5, "deep.txt") + line(kAbcCrc, "deep.txt"));
}

TEST_F(ConsoleHasherTest, FolderThatCannotBeListedIsReportedAndSkipped) {
    file("tree/a.txt");
    file("tree/lo\nck/in.txt");
    file("tree/z/b.txt");
    fs::permissions(m_root, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(m_work / "tree" / "lo\nck", fs::perms::none);
    m_asNobody = true;
    RunResult result = run({"-r", "*.txt"}, m_work / "tree");
    if (result.exitCode == 125)
        GTEST_SKIP() << "cannot run the program as an unprivileged user";
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, line(kAbcMd5, "a.txt") + line(kAbcMd5, "z/b.txt"));
    EXPECT_EQ(result.err,
              "Cannot list folder " + (m_work / "tree").string() + "/lo<0A>ck/: Permission denied\r\n");
    // The folder of a pattern too, unless it simply does not exist.
    result = run({"tree/lo\nck/*", "tree/missing/*"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Cannot list folder tree/lo<0A>ck/: Permission denied\r\n");
    fs::permissions(m_work / "tree" / "lo\nck", fs::perms::owner_all);
}

TEST_F(ConsoleHasherTest, LongOutputArrivesComplete) {
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file%05d.txt", i);
        file(name, i % 2 ? "abc" : "");
        expected += line(i % 2 ? kAbcMd5 : kEmptyMd5, name);
    }
    const RunResult result = run({"-r", "*.txt"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.size(), expected.size());
    EXPECT_EQ(result.out, expected);
}

TEST_F(ConsoleHasherTest, FailedWriteEndsTheRunWithAnErrorMessage) {
    file("a.txt");
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0)
        GTEST_SKIP() << "no /dev/full";
    RunResult result = run({"a.txt"}, {}, full);
    close(full);
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_GE(result.err.size(), 2u);
    EXPECT_EQ(result.err.substr(result.err.size() - 2), "\r\n");

    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    close(fds[0]); // nobody reads: the write meets a closed pipe
    result = run({}, {}, fds[1]);
    close(fds[1]);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err, "");

    // Without standard output, a run that has something to print fails; one that has not succeeds.
    result = run({"a.txt"}, {}, -2);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err, "");
    result = run({"-r", "missing.txt"}, {}, -2);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
}

} // namespace
