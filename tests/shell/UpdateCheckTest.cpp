#include "shell/UpdateCheck.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace halcyra {
namespace {

class FixedReply : public HttpGetter {
public:
    explicit FixedReply(std::optional<std::string> body) : m_body(std::move(body)) {}
    std::optional<std::string> get(const std::string& url, std::string& error) override {
        this->url = url;
        if (!m_body)
            error = "Could not resolve host";
        return m_body;
    }
    std::string url;

private:
    std::optional<std::string> m_body;
};

TEST(UpdateCheckTest, ServerLinesAgainstTheOwnVersion) {
    FileVersion own;
    ASSERT_TRUE(GetOwnFileVersion(own));
    EXPECT_EQ((std::vector<int>{own.Major, own.Minor, own.Release, own.Build}),
              (std::vector<int>{2, 1, 3, 19}));
    struct Case {
        const char* reply;
        bool newer;
        const char* version; // NewVersion, or the error text
    };
    const Case cases[] = {
        {"2.1.3", false, "2.1.3.0"},
        {"2.1.3.25", false, "2.1.3.25"},
        {"2.1.4", true, "2.1.4.0"},
        {"3.0.0.1\r\n", true, "3.0.0.1"},
        {"2.0.9", false, "2.0.9.0"},
        {"1.9.9", false, "1.9.9.0"},
        {"2.1.2.99", false, "2.1.2.99"},
        {"2.1.2147483647", true, "2.1.2147483647.0"},
        {"3.+1.-2", true, "3.1.-2.0"},
        {"2.1.4\r3.0.0.7", true, "2.1.4.0"},
        {"v2.1.3", false, "0.1.3.0"},
        {"2.1.4\r\n\r\n\n\r", true, "2.1.4.0"},
        {"2.1.4.7.9\nanything 9.9.9", true, "2.1.4.7"},
        {"\xEF\xBB\xBF"
         "2.2.0",
         true, "2.2.0.0"},
        {" 2 . 1 . 99999999999", false, "2.1.0.0"},
        {"2.2", false, "The version information on the web server is corrupt"},
        {"\r\n2.1.4", false, "The version information on the web server is corrupt"},
        {"", false, "No response was received from the web server"},
    };
    for (const Case& c : cases) {
        FixedReply getter{std::string(c.reply)};
        std::string newVersion;
        std::string error;
        EXPECT_EQ(CheckForUpdate(getter, newVersion, error), c.newer) << c.reply;
        EXPECT_EQ(newVersion.empty() ? error : newVersion, c.version) << c.reply;
        EXPECT_TRUE(newVersion.empty() || error.empty()) << c.reply;
    }
    FixedReply offline{std::nullopt};
    std::string newVersion;
    std::string error;
    EXPECT_FALSE(CheckForUpdate(offline, newVersion, error));
    EXPECT_EQ(error, "Unable to connect to web server: Could not resolve host");
    EXPECT_EQ(offline.url, "http://halcyra.example.org/Software/HalcyraVersion.txt");
}

// An HTTP server on a loopback port that answers one request with a canned reply, or (without a reply)
// accepts connections and never answers. Its port is refused once it is gone.
class LoopbackServer {
public:
    explicit LoopbackServer(std::optional<std::string> reply) {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        EXPECT_EQ(bind(m_socket, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(listen(m_socket, 4), 0);
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_host = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
        if (reply)
            m_thread = std::thread([this, reply = *reply] { serve(reply); });
    }
    ~LoopbackServer() {
        request();
        close(m_socket);
        for (const int queued : m_queued)
            close(queued);
    }
    // Fills the queue of connections waiting to be accepted, so that no further connection is made.
    void fillQueue() {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        for (int i = 0; i < 8; ++i) {
            m_queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            connect(m_queued.back(), reinterpret_cast<sockaddr*>(&address), length);
        }
    }
    const std::string& host() const { return m_host; }
    // What the client sent, once the reply has gone out.
    const std::string& request() {
        if (m_thread.joinable())
            m_thread.join();
        return m_request;
    }

private:
    void serve(const std::string& reply) {
        pollfd waiting{m_socket, POLLIN, 0};
        const int client =
            poll(&waiting, 1, 10000) > 0 ? accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        pollfd reading{client, POLLIN, 0};
        char buffer[4096];
        ssize_t got = 0;
        while (m_request.find("\r\n\r\n") == std::string::npos && poll(&reading, 1, 10000) > 0 &&
               (got = read(client, buffer, sizeof buffer)) > 0)
            m_request.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t sent = 0; client >= 0 && sent < reply.size(); sent += static_cast<std::size_t>(got))
            if ((got = send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL)) <= 0)
                break;
        close(client);
    }

    int m_socket = -1;
    std::string m_host;
    std::thread m_thread;
    std::string m_request;
    std::vector<int> m_queued;
};

std::string httpReply(const std::string& status, const std::string& body, const std::string& extra = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extra + "\r\n" + body;
}

TEST(FetchTest, VersionFileIsFetchedWithOnePlainGetAndFailuresEndAsConnectErrors) {
    setenv("no_proxy", "*", 1);
    CurlHttpGetter::Limits limits{2000, 2000, 1024};
    auto fetch = [&limits](const std::string& host) {
        CurlHttpGetter getter(limits);
        FileVersion version;
        std::string error;
        const bool fetched = FetchVersionInfo(getter, host, VersionFilePath, version, error);
        EXPECT_EQ(fetched, error.empty());
        return fetched ? std::to_string(version.Major) + "." + std::to_string(version.Build) : error;
    };
    {
        LoopbackServer server(httpReply("200 OK", "2.1.4.7\r\n"));
        EXPECT_EQ(fetch(server.host()), "2.7");
        EXPECT_EQ(server.request().substr(0, server.request().find("\r\n")),
                  "GET /Software/HalcyraVersion.txt HTTP/1.1");
        EXPECT_NE(server.request().find("\r\nHost: " + server.host() + "\r\n"), std::string::npos);
    }
    const std::string prefix = "Unable to connect to web server: ";
    const std::string fits = "2.1.4.7" + std::string(1017, '\n'); // exactly the 1024 bytes allowed
    const std::string tooLong = prefix + "The reply is longer than 1024 bytes";
    const std::pair<std::string, std::string> replies[] = {
        {httpReply("299 Fine", fits), "2.7"},
        {httpReply("404 Not Found", "2.1.4"), prefix + "HTTP status 404"},
        {httpReply("300 Multiple Choices", "2.1.4"), prefix + "HTTP status 300"},
        {httpReply("301 Moved Permanently", "", "Location: http://127.0.0.1:1/\r\n"),
         prefix + "HTTP status 301"},
        // Too long by the length it announces (though less arrives), or by what arrives without one.
        {"HTTP/1.1 200 OK\r\nContent-Length: 1025\r\n\r\n" + fits, tooLong},
        {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + fits + "\n", tooLong},
        {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n2.1.4",
         prefix + "transfer closed with 4 bytes remaining to read"},
    };
    for (const auto& [reply, expected] : replies) {
        LoopbackServer server(reply);
        EXPECT_EQ(fetch(server.host()), expected);
    }
    std::string refusedHost;
    {
        // Each time-out ends its own phase: a connection never accepted, an answer that never comes.
        LoopbackServer silent(std::nullopt);
        refusedHost = silent.host();
        limits = {3600000, 300, 1024};
        std::string error = fetch(silent.host());
        EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
        EXPECT_NE(error.find("timed out"), std::string::npos) << error;
        silent.fillQueue();
        limits = {300, 3600000, 1024};
        error = fetch(silent.host());
        // curl names a connect time-out one of two ways, depending on when the attempt was given up
        EXPECT_TRUE(error.find("Timeout was reached") != std::string::npos ||
                    error.find("Connection timeout after 300 ms") != std::string::npos)
            << error;
    }
    const std::string error = fetch(refusedHost);
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
    EXPECT_GT(error.size(), prefix.size());
}

} // namespace
} // namespace halcyra
