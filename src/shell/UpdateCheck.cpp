#include "shell/UpdateCheck.h"

#include "HalcyraVersion.h"
#include "base/NumberText.h"
#include "base/Product.h"
#include "detection/CommaText.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace halcyra {

namespace {

struct ReplySink {
    std::string body;
    std::size_t maxBytes = 0;
    bool tooLong = false;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<ReplySink*>(user);
    const std::size_t bytes = size * count;
    if (sink->body.size() + bytes > sink->maxBytes) {
        sink->tooLong = true;
        return 0; // ends the transfer
    }
    sink->body.append(data, bytes);
    return bytes;
}

std::int32_t versionPart(const std::string& part) {
    return decimalInteger<std::int32_t>(part, DecimalSyntax{false, true, true}).value_or(0);
}

} // namespace

std::optional<std::string> CurlHttpGetter::get(const std::string& url, std::string& error) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        error = "The HTTP client could not be created";
        return std::nullopt;
    }
    ReplySink sink;
    sink.maxBytes = m_limits.maxBodyBytes;
    char message[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, m_limits.connectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, m_limits.totalTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_limits.maxBodyBytes));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Halcyra/" HALCYRA_VERSION_TEXT);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, message);
    const CURLcode result = curl_easy_perform(handle);
    if (sink.tooLong || result == CURLE_FILESIZE_EXCEEDED) {
        error = "The reply is longer than " + std::to_string(m_limits.maxBodyBytes) + " bytes";
        return std::nullopt;
    }
    if (result != CURLE_OK) {
        error = message[0] != '\0' ? message : curl_easy_strerror(result);
        return std::nullopt;
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        error = "HTTP status " + std::to_string(status);
        return std::nullopt;
    }
    return std::move(sink.body);
}

bool GetOwnFileVersion(FileVersion& version) {
    version = {HALCYRA_VERSION_MAJOR, HALCYRA_VERSION_MINOR, HALCYRA_VERSION_PATCH, HALCYRA_VERSION_BUILD};
    return true;
}

bool ParseVersionReply(std::string_view reply, FileVersion& version, std::string& ErrorText) {
    ErrorText.clear();
    version = {};
    if (reply.starts_with("\xEF\xBB\xBF"))
        reply.remove_prefix(3);
    if (reply.empty()) {
        ErrorText = "No response was received from the web server";
        return false;
    }
    const std::string_view firstLine = reply.substr(0, reply.find_first_of("\r\n"));
    const std::vector<std::string> parts = splitDelimitedText(firstLine, '.');
    if (parts.size() < 3) {
        ErrorText = "The version information on the web server is corrupt";
        return false;
    }
    version.Major = versionPart(parts[0]);
    version.Minor = versionPart(parts[1]);
    version.Release = versionPart(parts[2]);
    version.Build = parts.size() > 3 ? versionPart(parts[3]) : 0;
    return true;
}

bool FetchVersionInfo(HttpGetter& getter, std::string_view Host, std::string_view Path, FileVersion& version,
                      std::string& ErrorText) {
    ErrorText.clear();
    version = {};
    std::string error;
    const std::optional<std::string> reply =
        getter.get("http://" + std::string(Host) + std::string(Path), error);
    if (!reply) {
        ErrorText = "Unable to connect to web server: " + error;
        return false;
    }
    return ParseVersionReply(*reply, version, ErrorText);
}

bool IsNewerVersion(const FileVersion& server, const FileVersion& own) {
    if (server.Major != own.Major)
        return server.Major > own.Major;
    if (server.Minor != own.Minor)
        return server.Minor > own.Minor;
    return server.Release > own.Release;
}

bool CheckForUpdate(HttpGetter& getter, std::string& NewVersion, std::string& ErrorText,
                    std::string_view host) {
    NewVersion.clear();
    ErrorText.clear();
    FileVersion own;
    if (!GetOwnFileVersion(own)) {
        ErrorText = "Unable to get version information of current executable";
        return false;
    }
    FileVersion server;
    if (!FetchVersionInfo(getter, host.empty() ? kUpdateHost : host, VersionFilePath, server, ErrorText))
        return false;
    char text[64];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", server.Major, server.Minor, server.Release, server.Build);
    NewVersion = text;
    return IsNewerVersion(server, own);
}

} // namespace halcyra
