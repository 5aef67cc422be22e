#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// The resource on the maker's web host that names the newest version in its first line.
inline constexpr std::string_view VersionFilePath = "/Software/HalcyraVersion.txt";

// A four-part version: major.minor.release.build.
struct FileVersion {
    std::int32_t Major = 0;
    std::int32_t Minor = 0;
    std::int32_t Release = 0;
    std::int32_t Build = 0;
};

// Fetches one resource with a plain HTTP GET.
class HttpGetter {
public:
    virtual ~HttpGetter() = default;
    // The body of a 2xx reply to a GET of `url`; nothing, with `error` saying why, when the request failed
    // or the reply's status is not 2xx.
    virtual std::optional<std::string> get(const std::string& url, std::string& error) = 0;
};

// HTTP over libcurl: plain http only, no redirects followed, connect and total time-outs, and a cap on the
// size of the reply, so a request always ends.
class CurlHttpGetter : public HttpGetter {
public:
    struct Limits {
        long connectTimeoutMs = 10000;
        long totalTimeoutMs = 20000;
        std::size_t maxBodyBytes = 64 * 1024;
    };
    CurlHttpGetter() = default;
    explicit CurlHttpGetter(Limits limits) : m_limits(limits) {}
    std::optional<std::string> get(const std::string& url, std::string& error) override;

private:
    Limits m_limits;
};

// The program's own version, as it was built. Always true.
bool GetOwnFileVersion(FileVersion& version);

// The version named by the first line of `reply` (lines end at runs of CR and LF; a UTF-8 byte-order mark
// before it is passed over): three or four parts separated by "." or blanks, a part that is not a decimal
// 32-bit integer counting as 0, a missing build as 0, parts after the fourth ignored. False with ErrorText
// "No response was received from the web server" for an empty reply, and "The version information on the
// web server is corrupt" for fewer than three parts.
bool ParseVersionReply(std::string_view reply, FileVersion& version, std::string& ErrorText);

// GETs http://Host + Path and reads its version (ParseVersionReply). A failed request gives ErrorText
// "Unable to connect to web server: " and the reason.
bool FetchVersionInfo(HttpGetter& getter, std::string_view Host, std::string_view Path, FileVersion& version,
                      std::string& ErrorText);

// Whether `server` is newer than `own` by major, minor and release; the build is never compared.
bool IsNewerVersion(const FileVersion& server, const FileVersion& own);

// Asks the maker's web host for the newest version: true when it is newer than the program's, with
// NewVersion its four numbers as "%d.%d.%d.%d"; false otherwise, with ErrorText empty unless the check
// failed. `host` defaults to the maker's.
bool CheckForUpdate(HttpGetter& getter, std::string& NewVersion, std::string& ErrorText,
                    std::string_view host = {});

} // namespace halcyra
