#pragma once

#include <optional>
#include <string>

namespace halcyra {

// The current user's crontab: the engine that starts scheduled runs.
class CrontabBackend {
public:
    virtual ~CrontabBackend() = default;
    // Whether the crontab can be reached at all (the crontab program is installed).
    virtual bool available() = 0;
    // The whole crontab as it stands. A user without a crontab has an empty one. False, with `error` set and
    // `text` untouched, when it could not be read.
    virtual bool read(std::string& text, std::string& error) = 0;
    // Replaces the whole crontab with `text`. False, with `error` set, when it was not installed.
    virtual bool write(const std::string& text, std::string& error) = 0;
    // Whether a cron daemon is running, so that the crontab's lines are acted on.
    virtual bool daemonRunning() = 0;
};

// Runs the crontab program ("crontab -l" to read, "crontab -" to write) directly, without a shell, under the
// C locale.
class CommandCrontabBackend : public CrontabBackend {
public:
    // `program` is a path, or a name searched for in PATH when it holds no '/'. The daemon is looked for
    // among the processes listed under `procRoot`.
    explicit CommandCrontabBackend(std::string program = "crontab", std::string procRoot = "/proc");

    bool available() override;
    bool read(std::string& text, std::string& error) override;
    bool write(const std::string& text, std::string& error) override;
    bool daemonRunning() override;

    // The program file that would be started now, or the empty text when none is found.
    std::string resolvedProgram() const;

private:
    std::string m_program;
    std::string m_procRoot;
};

// Whether a process named "cron" or "crond" is listed under `procRoot` (a /proc-like folder).
bool cronDaemonListed(const std::string& procRoot);

// Test double: a crontab held in memory, with switchable failures.
class FakeCrontabBackend : public CrontabBackend {
public:
    bool isAvailable = true;
    bool isDaemonRunning = true;
    bool failRead = false;
    bool failWrite = false;
    std::optional<std::string> contents; // nothing: the user has no crontab
    int reads = 0;
    int writes = 0; // successful writes

    bool available() override { return isAvailable; }
    bool read(std::string& text, std::string& error) override {
        ++reads;
        if (failRead) {
            error = "crontab: cannot read (test)";
            return false;
        }
        text = contents.value_or(std::string());
        return true;
    }
    bool write(const std::string& text, std::string& error) override {
        if (failWrite) {
            error = "crontab: cannot install (test)";
            return false;
        }
        contents = text;
        ++writes;
        return true;
    }
    bool daemonRunning() override { return isDaemonRunning; }
};

} // namespace halcyra
