#include "detection/Log.h"

#include "base/Product.h"
#include "platform/UiServices.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using halcyra::DisplayDateTimeFormat;
using halcyra::LogLocale;
using halcyra::TLog;

namespace {

constexpr std::int64_t kStart = 1709557323; // 2024-03-04 13:02:03
const std::string kTable = "<table border=\"1\" cellpadding=\"1\" cellspacing=\"0\" style=\"border-collapse: "
                           "collapse\" bordercolor=\"#C0C0C0\" width=\"100%\" bordercolorlight=\"#C0C0C0\" "
                           "bordercolordark=\"#C0C0C0\">";

LogLocale localeOf(const std::string& name, const std::string& separator) {
    const auto format = DisplayDateTimeFormat::forLocale(name);
    if (!format)
        ADD_FAILURE() << "locale " << name << " is not installed (scripts/setup installs locales-all)";
    return {format ? *format : DisplayDateTimeFormat::current(), separator};
}

LogLocale plainLocale() {
    return localeOf("C", ".");
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t countOf(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

std::size_t rowsOf(const std::string& page) {
    return countOf(page, "<td width=\"70%\">");
}

// `text` with every LF turned into the CR LF the pages use.
std::string crlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

void addRows(TLog& log, int count) {
    for (int i = 1; i <= count; ++i) {
        log.AddFile("/f" + std::to_string(i) + ".txt");
        log.AddChange("Created", TLog::ChangeStyle::Plain);
    }
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/halcyra-log-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            m_oldDataHome = old;
        setenv("XDG_DATA_HOME", m_root.c_str(), 1);
        m_folder = m_root + "/Halcyra/";
    }

    void TearDown() override {
        m_oldDataHome ? setenv("XDG_DATA_HOME", m_oldDataHome->c_str(), 1) : unsetenv("XDG_DATA_HOME");
        std::filesystem::remove_all(m_root);
    }

    std::string page(const std::string& profile, int n) const {
        return readFile(m_folder + profile + "_Log_Page" + std::to_string(n) + ".html");
    }

    bool pageExists(const std::string& profile, int n) const {
        return std::filesystem::exists(m_folder + profile + "_Log_Page" + std::to_string(n) + ".html");
    }

    void makePage(const std::string& profile, int n, const std::string& text) const {
        std::filesystem::create_directories(m_folder);
        std::ofstream(m_folder + profile + "_Log_Page" + std::to_string(n) + ".html") << text;
    }

    // Names in the data folder, to prove that no temporary file is left behind.
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string m_root;
    std::string m_folder;
    std::optional<std::string> m_oldDataHome;
};

} // namespace

TEST_F(LogTest, OnePageLogIsWrittenByteForByte) {
    {
        TLog log("Daily", "/home/user/docs", kStart, kStart + 75, 3, false, plainLocale());
        log.WriteSummary(1, 1, 0, 0, 0, 1, 4, 1);
        log.AddFile("/a.txt");
        log.AddChange("Contents ", TLog::ChangeStyle::Plain);
        log.AddFile("/b.txt");
        log.AddChange("Cannot read ", TLog::ChangeStyle::RedBold);
        log.AddFile("/new.txt");
        log.AddChange("Created", TLog::ChangeStyle::Plain);
        EXPECT_EQ(log.finish(), "");
    }
    const std::string expected = crlf(R"(<html>
<meta http-equiv="Content-Language" content="en-us">
<meta http-equiv="Content-Type" content="text/html; charset=utf-8">
<title>Halcyra v2.1.3 Log</title>
</head>
<body>
<h1 align="center"><span style="font-weight: 400; text-decoration: underline">
Halcyra v2.1.3 Log<br>
Daily<br>
Page 1 of 1</span></h1>
<br>
)" + kTable + R"(
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Scan started at</b></td>
<td width="75%">2024-03-04 13:02:03</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Scan finished at</b></td>
<td width="75%">2024-03-04 13:03:18 (75 secs)</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Profile</b></td>
<td width="75%">Daily</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Directory</b></td>
<td width="75%">/home/user/docs</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Unattended?</b></td>
<td width="75%">No</td>
</tr>
</table><br>
)" + kTable + R"(
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Files changed (all)</b></td>
<td width="75%">4</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Files changed (excluded)</b></td>
<td width="75%">1 (25%)</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Files changed (not excluded)</b></td>
<td width="75%">3 (75%)</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Contents changed</b></td>
<td width="75%">1 (33.33%)</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><b>Created/new</b></td>
<td width="75%">1 (33.33%)</td>
</tr>
<tr>
<td width="25%" bgcolor="#C0C0C0"><font color="#FF0000"><b>Cannot compute hash</b></font></td>
<td width="75%"><font color="#FF0000">1 (33.33%)</font></td>
</tr>
</table><br>
)" + kTable + R"(
<tr>
<td width="70%" bgcolor="#C0C0C0"><b>Filename</b></td>
<td width="30%" bgcolor="#C0C0C0"><b>Changed</b></td>
</tr>
<tr>
<td width="70%">/a.txt</td>
<td width="30%">
Contents 
</td></tr>
<tr>
<td width="70%">/b.txt</td>
<td width="30%">
<font color="#FF0000"><b>
Cannot read 
</b></font>
</td></tr>
<tr>
<td width="70%">/new.txt</td>
<td width="30%">
Created
</td></tr>
</table><br>
<br>
)" + kTable + R"(
<tr>
<td>
<font size="2">Report produced by <A href=")" +
                                      std::string(halcyra::kProductHomePage) +
                                      R"(">Halcyra v2.1.3</A></font>&nbsp;
</td></tr></table>
</body></html>
)");
    EXPECT_EQ(page("Daily", 1), expected);
    EXPECT_FALSE(pageExists("Daily", 2));
}

TEST_F(LogTest, RunWithoutChangesGivesOnePageWithTheNote) {
    makePage("Daily", 1, "old");
    makePage("Daily", 2, "old");
    makePage("Daily", 3, "old");
    {
        TLog log("Daily", "/data", kStart, kStart, 0, true, plainLocale());
        log.WriteSummary(0, 0, 0, 0, 0, 0, 0, 0);
        EXPECT_EQ(log.finish(), "");
    }
    const std::string first = page("Daily", 1);
    EXPECT_NE(first.find("Page 1 of 1</span></h1>\r\n<br>\r\n"), std::string::npos);
    EXPECT_NE(first.find("<td width=\"75%\">Yes</td>"), std::string::npos);
    EXPECT_NE(first.find("(0 secs)"), std::string::npos);
    EXPECT_NE(first.find(kTable + "\r\n</table><br>\r\nNo changes were found<BR>\r\n<br>\r\n"),
              std::string::npos);
    EXPECT_EQ(rowsOf(first), 0u);
    EXPECT_EQ(first.find("href=\"Daily"), std::string::npos);
    // The run's old pages are gone.
    EXPECT_FALSE(pageExists("Daily", 2));
    EXPECT_FALSE(pageExists("Daily", 3));
}

TEST_F(LogTest, FullPagesAnnounceNoExtraPage) {
    for (const int pages : {1, 2, 1}) { // a shorter log removes the old pages after its own
        const int rows = 2000 * pages;
        {
            TLog log("Daily", "/data", kStart, kStart, rows, false, plainLocale());
            log.WriteSummary(0, rows, 0, 0, 0, 0, rows, 0);
            addRows(log, rows);
            EXPECT_EQ(log.finish(), "");
        }
        const std::string of = " of " + std::to_string(pages) + "</span>";
        for (int n = 1; n <= pages; ++n) {
            EXPECT_EQ(rowsOf(page("Daily", n)), 2000u) << rows;
            EXPECT_NE(page("Daily", n).find("Page " + std::to_string(n) + of), std::string::npos) << rows;
            EXPECT_EQ(page("Daily", n).find("Page3"), std::string::npos) << rows;
        }
        EXPECT_FALSE(pageExists("Daily", pages + 1));
    }
}

TEST_F(LogTest, TheRowAfterTwoThousandStartsPageTwo) {
    {
        TLog log("Daily", "/data", kStart, kStart, 2001, false, plainLocale());
        log.WriteSummary(0, 2001, 0, 0, 0, 0, 2001, 0);
        addRows(log, 2001);
        EXPECT_EQ(log.finish(), "");
    }
    const std::string first = page("Daily", 1);
    const std::string second = page("Daily", 2);
    const std::string next = "<a href=\"Daily_Log_Page2.html\"><b>Next Page &gt;</b></a><br>\r\n<br>\r\n";
    const std::string previous =
        "<a href=\"Daily_Log_Page1.html\"><b>&lt; Previous Page</b></a>&nbsp;&nbsp;&nbsp;<br>\r\n<br>\r\n";
    EXPECT_EQ(rowsOf(first), 2000u);
    EXPECT_EQ(rowsOf(second), 1u);
    EXPECT_NE(first.find("Page 1 of 2"), std::string::npos);
    EXPECT_NE(second.find("Page 2 of 2"), std::string::npos);
    EXPECT_EQ(countOf(first, next), 2u); // at the top and at the bottom
    EXPECT_EQ(countOf(first, "Previous Page"), 0u);
    EXPECT_EQ(countOf(second, previous), 2u);
    EXPECT_EQ(countOf(second, "Next Page"), 0u);
    // Only page 1 has the information table, and two pages list no "Pages:" line.
    EXPECT_NE(first.find("Scan started at"), std::string::npos);
    EXPECT_EQ(second.find("Scan started at"), std::string::npos);
    EXPECT_EQ(first.find("Pages: "), std::string::npos);
    EXPECT_EQ(second.find("Pages: "), std::string::npos);
    // The last row of page 1 closes its table before the footer; page 2 opens a new one.
    EXPECT_NE(first.find("<td width=\"70%\">/f2000.txt</td>"), std::string::npos);
    EXPECT_NE(second.find(kTable + "\r\n<tr>\r\n<td width=\"70%\" bgcolor=\"#C0C0C0\"><b>Filename</b></td>"),
              std::string::npos);
    EXPECT_NE(second.find("<td width=\"70%\">/f2001.txt</td>"), std::string::npos);
    EXPECT_FALSE(pageExists("Daily", 3));
}

TEST_F(LogTest, ThreeOrMorePagesListEveryPage) {
    {
        TLog log("Daily", "/data", kStart, kStart, 4001, false, plainLocale());
        log.WriteSummary(0, 4001, 0, 0, 0, 0, 4001, 0);
        addRows(log, 4001);
        EXPECT_EQ(log.finish(), "");
    }
    const std::string pages = "Pages: <a href=\"Daily_Log_Page1.html\"><b>1</b></a>&nbsp;"
                              "<a href=\"Daily_Log_Page2.html\"><b>2</b></a>&nbsp;"
                              "<a href=\"Daily_Log_Page3.html\"><b>3</b></a>&nbsp;<br>\r\n";
    for (int n = 1; n <= 3; ++n) {
        const std::string text = page("Daily", n);
        EXPECT_EQ(countOf(text, pages), 2u) << n;
        EXPECT_NE(text.find("Page " + std::to_string(n) + " of 3</span>"), std::string::npos) << n;
    }
    EXPECT_NE(page("Daily", 2)
                  .find("<a href=\"Daily_Log_Page1.html\"><b>&lt; Previous Page</b></a>&nbsp;&nbsp;"
                        "&nbsp;<a href=\"Daily_Log_Page3.html\"><b>Next Page &gt;</b></a><br>\r\n" +
                        pages + "<br>\r\n"),
              std::string::npos);
    EXPECT_EQ(rowsOf(page("Daily", 1)), 2000u);
    EXPECT_EQ(rowsOf(page("Daily", 2)), 2000u);
    EXPECT_EQ(rowsOf(page("Daily", 3)), 1u);
    EXPECT_FALSE(pageExists("Daily", 4));
}

TEST_F(LogTest, PercentagesUseFourSignificantDigits) {
    {
        TLog log("Daily", "/data", kStart, kStart, 0, false, plainLocale());
        log.WriteSummary(0, 0, 0, 0, 0, 0, 3, 1);
        log.WriteSummary(7, 0, 0, 0, 0, 0, 8, 1);
        log.WriteSummary(1, 0, 0, 0, 0, 0, 2000000, 0);
        log.WriteSummary(0, 0, 0, 0, 0, 1, 200000000, 0);
        log.WriteSummary(0, 0, 0, 0, 0, 0, 2, 2);
        EXPECT_EQ(log.finish(), "");
    }
    const std::string text = page("Daily", 1);
    for (const char* value :
         {"1 (33.33%)", "2 (66.67%)", "1 (12.5%)", "7 (87.5%)", "7 (100%)", "1 (0.00005%)", "2000000 (100%)"})
        EXPECT_NE(text.find("<td width=\"75%\">" + std::string(value) + "</td>"), std::string::npos) << value;
    EXPECT_NE(text.find("<td width=\"75%\"><font color=\"#FF0000\">1 (5E-7%)</font></td>"),
              std::string::npos);
}

TEST_F(LogTest, UserLocaleGivesCommaAndLocalDatesAndSecondsAreAbsolute) {
    {
        TLog log("Daily", "/data", kStart, kStart - 3600, 0, false, localeOf("de_DE.UTF-8", ","));
        log.WriteSummary(0, 0, 0, 0, 0, 0, 3, 1);
        EXPECT_EQ(log.finish(), "");
    }
    const std::string text = page("Daily", 1);
    EXPECT_NE(text.find("<td width=\"75%\">1 (33,33%)</td>"), std::string::npos);
    EXPECT_NE(text.find("<td width=\"75%\">2 (66,67%)</td>"), std::string::npos);
    EXPECT_NE(text.find("<td width=\"75%\">04.03.2024 13:02:03</td>"), std::string::npos);
    EXPECT_NE(text.find("<td width=\"75%\">04.03.2024 12:02:03 (3600 secs)</td>"), std::string::npos);
}

TEST_F(LogTest, NamesAreEscapedAndLinksEncoded) {
    const std::string profile = "R&D \"x\" <1>";
    {
        TLog log(profile, "/srv/<b>&'", kStart, kStart, 2001, false, plainLocale());
        log.AddFile("/<script>alert(1)</script>");
        log.AddChange("Created", TLog::ChangeStyle::Plain);
        log.AddFile("/a&b");
        log.AddChange("<i>", TLog::ChangeStyle::RedBold);
        log.AddFile("/caf\xC3\xA9 \xE2\x82\xAC");
        log.AddChange("Created", TLog::ChangeStyle::Plain);
        log.AddFile("/bad\xFFname\xC3");
        log.AddChange("Created", TLog::ChangeStyle::Plain);
        log.AddFile("/line\nbreak\r");
        log.AddChange("Created", TLog::ChangeStyle::Plain);
        addRows(log, 1996);
        EXPECT_EQ(log.finish(), "");
    }
    const std::string first = page(profile, 1);
    EXPECT_EQ(first.find("<script>"), std::string::npos);
    EXPECT_EQ(first.find("<1>"), std::string::npos);
    EXPECT_EQ(first.find("<i>"), std::string::npos);
    // '<' shows as "<3C>", as in the data files, so no name can pass for another's escaped form.
    for (const std::string& piece : std::vector<std::string>{
             "R&amp;D &quot;x&quot; &lt;3C&gt;1&gt;<br>\r\n",
             "<td width=\"75%\">R&amp;D &quot;x&quot; &lt;3C&gt;1&gt;</td>",
             "<td width=\"75%\">/srv/&lt;3C&gt;b&gt;&amp;&#39;</td>",
             "/&lt;3C&gt;script&gt;alert(1)&lt;3C&gt;/script&gt;</td>", "<td width=\"70%\">/a&amp;b</td>",
             "<b>\r\n&lt;3C&gt;i&gt;\r\n</b>", "/caf\xC3\xA9 \xE2\x82\xAC</td>",
             "/bad&lt;FF&gt;name&lt;C3&gt;</td>", "/line&lt;0A&gt;break&lt;0D&gt;</td>",
             "<a href=\"R%26D%20%22x%22%20%3C1%3E_Log_Page2.html\"><b>Next Page &gt;</b></a>"})
        EXPECT_NE(first.find(piece), std::string::npos) << piece;
    // Every line ends in CR LF and no name breaks a line.
    EXPECT_EQ(countOf(first, "\n"), countOf(first, "\r\n"));
    EXPECT_EQ(countOf(first, "\r"), countOf(first, "\r\n"));
    EXPECT_EQ(first.substr(first.size() - 16), "</body></html>\r\n");
    EXPECT_TRUE(pageExists(profile, 2));
}

TEST_F(LogTest, LookAlikeAndReversingNamesShowDistinctTexts) {
    const std::vector<std::string> names = {
        "/x<0A>",
        "/x\n",
        "/a\xE2\x80\xAEtxt.exe", // right-to-left override
        "/b\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9",
        "/c\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA", // neighbours of the controls
    };
    {
        TLog log("Daily", "/data", kStart, kStart, static_cast<int>(names.size()), false, plainLocale());
        for (const std::string& name : names) {
            log.AddFile(name);
            log.AddChange("Created", TLog::ChangeStyle::Plain);
        }
        EXPECT_EQ(log.finish(), "");
    }
    const std::string text = page("Daily", 1);
    for (const char* cell : {
             "/x&lt;3C&gt;0A&gt;</td>",
             "/x&lt;0A&gt;</td>",
             "/a&lt;E2&gt;&lt;80&gt;&lt;AE&gt;txt.exe</td>",
             "/b&lt;E2&gt;&lt;80&gt;&lt;AA&gt;&lt;E2&gt;&lt;81&gt;&lt;A6&gt;&lt;E2&gt;&lt;81&gt;&lt;A9&gt;</"
             "td>",
             "/c\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA</td>",
         })
        EXPECT_NE(text.find(std::string("<td width=\"70%\">") + cell), std::string::npos) << cell;
    for (const char* control : {"\xE2\x80\xAA", "\xE2\x80\xAE", "\xE2\x81\xA6", "\xE2\x81\xA9"})
        EXPECT_EQ(text.find(control), std::string::npos);
}

TEST_F(LogTest, AbortClosesTheOpenTableAndEndsTheLogThere) {
    {
        TLog log("Daily", "/data", kStart, kStart, 4001, false, plainLocale());
        log.WriteSummary(0, 4001, 0, 0, 0, 0, 4001, 0);
        addRows(log, 2001);
        log.WriteAborted();
        EXPECT_EQ(log.finish(), "");
    }
    const std::string second = page("Daily", 2);
    const std::string ending =
        "<td width=\"70%\">/f2001.txt</td>\r\n<td width=\"30%\">\r\nCreated\r\n</td></tr>\r\n</table><br>\r\n"
        "<br>\r\n<p align=\"center\"><b><font color=\"#FF0000\" size=\"5\">User Aborted!</font></b></p>\r\n"
        "<a href=\"Daily_Log_Page1.html\"><b>&lt; Previous Page</b></a>&nbsp;&nbsp;&nbsp;<br>\r\n<br>\r\n" +
        kTable;
    EXPECT_NE(second.find(ending), std::string::npos);
    // The last page written links to no page that was not written.
    EXPECT_NE(second.find("Page 2 of 2</span>"), std::string::npos);
    EXPECT_EQ(second.find("Page3"), std::string::npos);
    EXPECT_FALSE(pageExists("Daily", 3));
    EXPECT_NE(page("Daily", 1).find("Page 1 of 3</span>"), std::string::npos);
}

TEST_F(LogTest, FewerRowsThanAnnouncedLeaveNoDeadLinkOnTheLastPage) {
    {
        TLog log("Daily", "/data", kStart, kStart, 4001, false, plainLocale());
        addRows(log, 5);
        EXPECT_EQ(log.finish(), "");
    }
    const std::string first = page("Daily", 1);
    EXPECT_NE(first.find("Page 1 of 1</span>"), std::string::npos);
    EXPECT_EQ(first.find("Daily_Log_Page2"), std::string::npos);
}

TEST_F(LogTest, LogFileNameRefusesNamesThatLeaveTheDataFolder) {
    EXPECT_EQ(TLog::LogFileName("Daily", 1), m_folder + "Daily_Log_Page1.html");
    EXPECT_EQ(TLog::LogFileName("a b", 12), m_folder + "a b_Log_Page12.html");
    EXPECT_FALSE(TLog::LogFileName("Daily", 0).has_value());
    for (const std::string& bad : std::vector<std::string>{"", ".", "..", "../x", "a/b", "a\\b",
                                                           std::string("a\0b", 3), std::string(201, 'x')})
        EXPECT_FALSE(TLog::LogFileName(bad, 1).has_value()) << bad;

    TLog log("../escape", "/data", kStart, kStart, 0, false, plainLocale());
    EXPECT_NE(log.error(), "");
    EXPECT_EQ(log.finish(), log.error());
    EXPECT_FALSE(std::filesystem::exists(m_root + "/escape_Log_Page1.html"));
}

TEST_F(LogTest, DeleteLogsStopsAtTheFirstMissingPage) {
    makePage("Daily", 1, "x");
    makePage("Daily", 2, "x");
    makePage("Daily", 4, "x");
    makePage("Daily2", 1, "x");
    TLog::DeleteLogs("Daily");
    EXPECT_FALSE(pageExists("Daily", 1));
    EXPECT_FALSE(pageExists("Daily", 2));
    EXPECT_TRUE(pageExists("Daily", 4));
    EXPECT_TRUE(pageExists("Daily2", 1));

    // One attempt per page: a folder where page 1 should be cannot be deleted, and page 2 still goes.
    std::filesystem::create_directories(m_folder + "Busy_Log_Page1.html/inner");
    makePage("Busy", 2, "x");
    TLog::DeleteLogs("Busy");
    EXPECT_TRUE(std::filesystem::is_directory(m_folder + "Busy_Log_Page1.html"));
    EXPECT_FALSE(pageExists("Busy", 2));
}

TEST_F(LogTest, RenameLogsReplacesTheTargetPages) {
    makePage("Old", 1, "old 1");
    makePage("Old", 2, "old 2");
    makePage("New", 1, "new 1");
    makePage("New", 2, "new 2");
    makePage("New", 3, "new 3");
    EXPECT_TRUE(TLog::RenameLogs("Old", "New"));
    EXPECT_EQ(page("New", 1), "old 1");
    EXPECT_EQ(page("New", 2), "old 2");
    EXPECT_EQ(page("New", 3), "new 3");
    EXPECT_FALSE(pageExists("Old", 1));
    EXPECT_FALSE(pageExists("Old", 2));

    EXPECT_FALSE(TLog::RenameLogs("Missing", "Other"));
    EXPECT_FALSE(TLog::RenameLogs("New", "a/b"));
    EXPECT_EQ(page("New", 1), "old 1");
    // A log renamed to its own name stays as it is.
    EXPECT_TRUE(TLog::RenameLogs("New", "New"));
    EXPECT_EQ(page("New", 1), "old 1");

    // A rename that fails ends the renaming.
    makePage("A", 1, "a 1");
    makePage("A", 2, "a 2");
    std::filesystem::create_directories(m_folder + "B_Log_Page2.html/inner");
    EXPECT_FALSE(TLog::RenameLogs("A", "B"));
    EXPECT_EQ(page("B", 1), "a 1");
    EXPECT_EQ(page("A", 2), "a 2");
}

TEST_F(LogTest, ViewLogOpensOnlyAnExistingPage) {
    using Kind = halcyra::ScriptedUiServices::RequestKind;
    halcyra::ScriptedUiServices ui;
    EXPECT_FALSE(TLog::ViewLog("Daily", 1, &ui));
    EXPECT_TRUE(ui.requests().empty());
    makePage("Daily", 1, "x");
    EXPECT_TRUE(TLog::ViewLog("Daily", 1, &ui));
    EXPECT_FALSE(TLog::ViewLog("Daily", 2, &ui));
    std::filesystem::create_directories(m_folder + "Daily_Log_Page3.html");
    EXPECT_FALSE(TLog::ViewLog("Daily", 3, &ui));
    EXPECT_FALSE(TLog::ViewLog("../Daily", 1, &ui));
    ASSERT_EQ(ui.requests().size(), 1u);
    EXPECT_EQ(ui.requests()[0].kind, Kind::OpenDocument);
    EXPECT_EQ(ui.requests()[0].text, m_folder + "Daily_Log_Page1.html");

    // Without services given, the installed ones open it; with none installed nothing happens.
    halcyra::UiServices* previous = halcyra::currentUiServices();
    halcyra::setCurrentUiServices(nullptr);
    EXPECT_FALSE(TLog::ViewLog("Daily", 1));
    halcyra::setCurrentUiServices(&ui);
    EXPECT_TRUE(TLog::ViewLog("Daily", 1));
    halcyra::setCurrentUiServices(previous);
    EXPECT_EQ(ui.requests().size(), 2u);

    // A handler that cannot be started is reported in a box that names the page and the reason.
    ui.setOpenDocumentSucceeds(false);
    EXPECT_FALSE(TLog::ViewLog("Daily", 1, &ui));
    ASSERT_EQ(ui.requests().size(), 4u);
    EXPECT_EQ(ui.requests()[3].kind, Kind::MessageBox);
    EXPECT_EQ(ui.requests()[3].messageKind, halcyra::MessageKind::Error);
    EXPECT_EQ(ui.requests()[3].text, "\"" + m_folder + "Daily_Log_Page1.html\" could not be opened. " +
                                         std::string(halcyra::ScriptedUiServices::OpenFailureText));
}

TEST_F(LogTest, PageThatCannotBeCreatedIsReported) {
    std::filesystem::create_directories(m_folder + "Daily_Log_Page1.html/inner");
    std::string error;
    {
        TLog log("Daily", "/data", kStart, kStart, 1, false, plainLocale());
        log.WriteSummary(0, 1, 0, 0, 0, 0, 1, 0);
        addRows(log, 1);
        error = log.finish();
        EXPECT_EQ(log.error(), error);
        EXPECT_EQ(log.finish(), error);
    }
    EXPECT_NE(error.find("\"" + m_folder + "Daily_Log_Page1.html\" could not be created"), std::string::npos)
        << error;
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"Daily_Log_Page1.html"});
}

TEST_F(LogTest, UnusableDataFolderIsReportedAtOnce) {
    std::ofstream(m_root + "/Halcyra") << "a file where the folder should be";
    TLog log("Daily", "/data", kStart, kStart, 1, false, plainLocale());
    EXPECT_NE(log.error().find("could not be created"), std::string::npos) << log.error();
    log.WriteSummary(0, 1, 0, 0, 0, 0, 1, 0);
    addRows(log, 1);
    EXPECT_EQ(log.finish(), log.error());
}

TEST_F(LogTest, WriteFailureIsReportedWithoutEndingTheProgram) {
    // A file size limit makes writes fail with EFBIG once SIGXFSZ no longer ends the process.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousAction {};
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previousAction), 0);
    rlimit previousLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    for (int n = 1; n <= 3; ++n)
        makePage("Daily", n, "old " + std::to_string(n));
    std::string error;
    {
        TLog log("Daily", "/data", kStart, kStart, 3000, false, plainLocale());
        log.WriteSummary(0, 3000, 0, 0, 0, 0, 3000, 0);
        rlimit small = previousLimit;
        small.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        addRows(log, 3000);
        error = log.finish();
        setrlimit(RLIMIT_FSIZE, &previousLimit);
    }
    sigaction(SIGXFSZ, &previousAction, nullptr);
    EXPECT_NE(error.find("\"" + m_folder + "Daily_Log_Page1.html\" could not be written"), std::string::npos)
        << error;
    // The last good log stays whole; the failed page left no temporary file, and no later page was started.
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"Daily_Log_Page1.html", "Daily_Log_Page2.html",
                                                         "Daily_Log_Page3.html"}));
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(page("Daily", n), "old " + std::to_string(n));
}
