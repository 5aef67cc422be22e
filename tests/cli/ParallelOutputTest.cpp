// The console hasher in process with several hash threads: the same bytes as with one.

#include "cli/ConsoleHasher.h"
#include "cli/OutputWriter.h"

#include "../base/DeepTree.h"
#include "../hashing/ColdEveryThird.h"
#include "../hashing/RandomTree.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace halcyra;

namespace {

// Hashes with `threads` whatever disk the files lie on; with `coldReads`, as on a rotational disk read
// through them.
class AnyDiskHasher : public ConsoleHasher {
public:
    AnyDiskHasher(OutputWriter& out, ErrorSink errors, unsigned threads, ContentReads* coldReads)
        : ConsoleHasher(out, std::move(errors), threads), m_reads(coldReads) {}

protected:
    HashPlan hashPlanOn(dev_t, unsigned maxThreads) const override {
        return HashPlan(maxThreads, m_reads != nullptr, m_reads);
    }

private:
    ContentReads* m_reads;
};

// Standard output and standard error of one in-process run over `parameters`.
std::string run(unsigned threads, const std::vector<std::string>& parameters,
                ContentReads* coldReads = nullptr) {
    const int outFd = memfd_create("out", MFD_CLOEXEC);
    std::string errors;
    {
        OutputWriter out(outFd);
        AnyDiskHasher hasher(
            out, [&errors](const std::string& line) { errors += line; }, threads, coldReads);
        for (const std::string& parameter : parameters)
            hasher.processParameter(parameter);
        hasher.printHeldLines();
        out.flush();
    }
    std::string text(static_cast<std::size_t>(lseek(outFd, 0, SEEK_END)), '\0');
    EXPECT_EQ(pread(outFd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    close(outFd);
    return text + "--- errors\n" + errors;
}

} // namespace

TEST(ParallelOutput, SeveralThreadsPrintTheBytesOfOne) {
    const std::string root = halcyra::testing::makeTempFolder("parallel");
    const std::vector<std::string> names = halcyra::testing::buildRandomTree(root, 11, 300);
    const std::vector<std::string> parameters = {"-r",
                                                 root + "/*",
                                                 "-c",
                                                 root + "/a/*",
                                                 "-nr",
                                                 root + "/" + names[0],
                                                 root + "/" + names[1],
                                                 "-m",
                                                 root + "/f1*",
                                                 "-r",
                                                 root + "/*3*",
                                                 root + "/no",
                                                 "-c",
                                                 root + "/*"};
    const std::string one = run(1, parameters);
    EXPECT_GT(one.size(), 20000u);
    EXPECT_NE(one.find("________CANNOT_OPEN_FILE________"), std::string::npos);
    for (const unsigned threads : {2u, 8u}) {
        EXPECT_EQ(run(threads, parameters), one) << "threads " << threads;
        // On a rotational disk, one thread reads those from the disk.
        halcyra::testing::ColdEveryThird coldReads;
        EXPECT_EQ(run(threads, parameters, &coldReads), one) << "threads " << threads << ", rotational";
        EXPECT_GT(coldReads.tries(), 300u);
    }
    std::filesystem::remove_all(root);
}
