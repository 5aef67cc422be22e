// The console hasher in process, with a driven clock: when its lines reach the output descriptor.

#include "cli/ConsoleHasher.h"
#include "cli/OutputWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace halcyra;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Hashes nothing: each file "takes" a set time on the driven clock, and what had reached the
// output when its hashing began is recorded.
class DrivenHasher : public ConsoleHasher {
public:
    DrivenHasher(OutputWriter& out, int outFd, std::vector<std::string>& errors)
        : ConsoleHasher(out, [&errors](const std::string& line) { errors.push_back(line); }), m_outFd(outFd) {
    }

    std::map<std::string, milliseconds> duration; // per file name; 20 ms when not given
    std::map<std::string, std::string> writtenAtStart;

    std::string written() const {
        struct stat st {};
        fstat(m_outFd, &st);
        std::string text(static_cast<std::size_t>(st.st_size), '\0');
        return pread(m_outFd, text.data(), text.size(), 0) == st.st_size ? text : "read failed";
    }

protected:
    Clock::time_point now() const override { return m_now; }
    std::string hashEntry(int, const std::string& name, const struct stat&) override {
        writtenAtStart[name] = written();
        const auto it = duration.find(name);
        m_now += it != duration.end() ? it->second : milliseconds(20);
        return std::string(32, 'H');
    }

private:
    int m_outFd;
    Clock::time_point m_now{};
};

std::string line(const std::string& name) {
    return std::string(32, 'H') + " " + name + "\r\n";
}

} // namespace

TEST(LiveOutput, LinesGoOutBeforeALargeFileAndWithinTheDelay) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/liveXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string dir = pattern + "/";
    for (const char* name : {"f1", "f2", "f3", "f4", "f5", "h"})
        std::ofstream(dir + name) << "x";
    ASSERT_EQ(truncate((dir + "f5").c_str(), ConsoleHasher::LargeFileSize), 0); // not larger: no flush
    std::ofstream(dir + "g-big").close();
    ASSERT_EQ(truncate((dir + "g-big").c_str(), ConsoleHasher::LargeFileSize + 1), 0);

    const int outFd = memfd_create("out", MFD_CLOEXEC);
    ASSERT_GE(outFd, 0);
    std::vector<std::string> errors;
    {
        OutputWriter out(outFd);
        DrivenHasher hasher(out, outFd, errors);
        hasher.duration["g-big"] = milliseconds(5);
        hasher.ScanFileSpec(dir + "*");
        // Each file takes 20 ms: f1 starts at 0, f4 at 60 ms, the large file at 100 ms, h at 105 ms.
        EXPECT_EQ(hasher.writtenAtStart["f1"], "");
        EXPECT_EQ(hasher.writtenAtStart["f3"], "");                                   // held 40 ms
        EXPECT_EQ(hasher.writtenAtStart["f4"], line("f1") + line("f2") + line("f3")); // held 60 ms
        EXPECT_EQ(hasher.writtenAtStart["f5"], line("f1") + line("f2") + line("f3"));
        const std::string beforeBig = line("f1") + line("f2") + line("f3") + line("f4") + line("f5");
        EXPECT_EQ(hasher.writtenAtStart["g-big"], beforeBig);
        EXPECT_EQ(hasher.writtenAtStart["h"], beforeBig);
        out.flush();
        EXPECT_EQ(hasher.written(), beforeBig + line("g-big") + line("h"));
    }
    close(outFd);
    EXPECT_TRUE(errors.empty());
    std::filesystem::remove_all(dir);
}
