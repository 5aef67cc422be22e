#pragma once

#include "base/Clock.h"
#include "base/DateTime.h"
#include "platform/CrontabBackend.h"
#include "scheduling/CronTable.h"
#include "scheduling/MsTaskUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace halcyra::test {

class FakeClock final : public Clock {
public:
    std::int64_t now() override { return value; }
    void sleepFor(std::chrono::milliseconds duration) override { value += duration.count() / 1000; }
    std::int64_t value = 0;
};

// Unix seconds of a UTC date-time (the tests run with TZ=UTC, so this is also the local time).
inline std::int64_t utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return toDateTimeSecs({year, month, day, hour, minute, second});
}

// A temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "halcyra-sched-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + relative; }

private:
    std::string m_root;
};

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

inline void writeText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A stand-in for the crontab program that keeps the table in "crontab.txt" beside itself. It refuses to
// install a table while "refuse" exists there, and records each command line in "calls.txt".
constexpr const char* FakeCrontabScript = R"(#!/bin/sh
here=$(dirname "$0")
echo "$*" >> "$here/calls.txt"
case "$1" in
-l)
    if [ -e "$here/crontab.txt" ]; then cat "$here/crontab.txt"; else echo "no crontab for tester" >&2; exit 1; fi ;;
-)
    if [ -f "$here/refuse" ]; then cat > /dev/null; echo "crontab: installing new crontab refused" >&2; exit 1; fi
    cat > "$here/crontab.new" && mv "$here/crontab.new" "$here/crontab.txt" ;;
*)
    exit 2 ;;
esac
)";

// Writes the fake crontab program into `folder` (which then belongs first in PATH).
inline void installFakeCrontab(const TempFolder& folder) {
    writeText(folder.path("crontab"), FakeCrontabScript);
    chmod(folder.path("crontab").c_str(), 0755);
}

// A scheduler on a temporary task folder with an in-memory crontab and a fake clock, installed as the
// program's scheduler for the test's lifetime. The running program is "/opt/halcyra/bin/Halcyra".
class SchedulerTest : public ::testing::Test {
protected:
    static constexpr const char* ProgramPath = "/opt/halcyra/bin/Halcyra";

    SchedulerTest() {
        crontab = std::make_shared<FakeCrontabBackend>();
        clock.value = utc(2024, 5, 1, 8, 30);
        setSchedulerSetup(setup());
    }
    ~SchedulerTest() override { setSchedulerSetup(std::nullopt); }

    SchedulerSetup setup() {
        SchedulerSetup result;
        result.tasksFolder = folder.path("Tasks/");
        result.runnerPath = "/opt/halcyra/bin/HalcyraRunner";
        result.programPath = ProgramPath;
        result.crontab = crontab;
        result.clock = &clock;
        return result;
    }

    TaskScheduler& scheduler() {
        std::string error;
        EXPECT_EQ(InitScheduler(error), 0) << error;
        return *currentScheduler();
    }

    bool create(const std::string& name, const std::string& parameters,
                const std::string& application = ProgramPath) {
        bool needAccount = true;
        const bool created = CreateTask(name, application, parameters, "/opt/halcyra/bin", needAccount);
        EXPECT_FALSE(needAccount);
        return created;
    }

    // The lines of this store's crontab block.
    std::vector<std::string> blockLines() const {
        return cronBlockLines(crontab->contents.value_or(""), cronBlockMarkers(folder.path("Tasks/")));
    }

    std::size_t jobFileCount() const {
        std::size_t count = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path("Tasks"), error))
            count += entry.path().extension() == ".job" ? 1 : 0;
        return count;
    }

    TempFolder folder;
    FakeClock clock;
    std::shared_ptr<FakeCrontabBackend> crontab;
};

} // namespace halcyra::test
