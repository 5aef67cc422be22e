// The console hasher in process, with a driven clock: when its lines reach the output descriptor.

#include "cli/ConsoleHasher.h"
#include "cli/OutputWriter.h"

#include "../base/DeepTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace halcyra;

namespace {

// Hashes nothing: each file takes 20 ms of the driven clock (5 ms for "g-big"), and what had reached
// the output when its hashing began is recorded.
class DrivenHasher : public ConsoleHasher {
public:
    DrivenHasher(OutputWriter& out, int outFd)
        : ConsoleHasher(out, [](const std::string&) {}), m_outFd(outFd) {}

    std::map<std::string, std::string> writtenAtStart;

    std::string written() const {
        std::string text(1000, '\0');
        text.resize(
            static_cast<std::size_t>(std::max<ssize_t>(0, pread(m_outFd, text.data(), text.size(), 0))));
        return text;
    }

protected:
    std::chrono::steady_clock::time_point now() const override { return m_now; }
    std::string hashEntry(int, const std::string& name, const struct stat&) override {
        writtenAtStart[name] = written();
        m_now += std::chrono::milliseconds(name == "g-big" ? 5 : 20);
        return std::string(32, 'H');
    }

private:
    int m_outFd;
    std::chrono::steady_clock::time_point m_now{};
};

std::string lines(std::initializer_list<const char*> names) {
    std::string text;
    for (const char* name : names)
        text += std::string(32, 'H') + " " + name + "\r\n";
    return text;
}

} // namespace

TEST(LiveOutput, LinesGoOutBeforeALargeFileAndWithinTheDelay) {
    const std::string dir = halcyra::testing::makeTempFolder("live") + "/";
    for (const char* name : {"f1", "f2", "f3", "f4", "f5", "g-big", "h"})
        std::ofstream(dir + name) << "x";
    ASSERT_EQ(truncate((dir + "f5").c_str(), ConsoleHasher::LargeFileSize), 0); // not larger: no flush
    ASSERT_EQ(truncate((dir + "g-big").c_str(), ConsoleHasher::LargeFileSize + 1), 0);

    const int outFd = memfd_create("out", MFD_CLOEXEC);
    ASSERT_GE(outFd, 0);
    OutputWriter out(outFd);
    DrivenHasher hasher(out, outFd);
    hasher.ScanFileSpec(dir + "*");
    // f1 starts at 0 ms, f3 at 40, f4 at 60, f5 at 80, the large file at 100, h at 105.
    EXPECT_EQ(hasher.writtenAtStart["f3"], "");
    EXPECT_EQ(hasher.writtenAtStart["f4"], lines({"f1", "f2", "f3"})); // f1 held 60 ms
    EXPECT_EQ(hasher.writtenAtStart["f5"], lines({"f1", "f2", "f3"})); // f4 held 20 ms
    EXPECT_EQ(hasher.writtenAtStart["g-big"], lines({"f1", "f2", "f3", "f4", "f5"}));
    EXPECT_EQ(hasher.writtenAtStart["h"], lines({"f1", "f2", "f3", "f4", "f5"}));
    out.flush();
    EXPECT_EQ(hasher.written(), lines({"f1", "f2", "f3", "f4", "f5", "g-big", "h"}));
    close(outFd);
    std::filesystem::remove_all(dir);
}
