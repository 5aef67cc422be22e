#include "detection/Log.h"

#include "HalcyraVersion.h"
#include "base/DateTime.h"
#include "base/IOStream.h"
#include "base/NumberText.h"
#include "base/Paths.h"
#include "base/Product.h"
#include "platform/MessageBoxes.h"
#include "platform/UiServices.h"

#include <cstdio>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {

constexpr int kRowsPerPage = 2000;

constexpr std::string_view kTableStart =
    "<table border=\"1\" cellpadding=\"1\" cellspacing=\"0\" style=\"border-collapse: collapse\" "
    "bordercolor=\"#C0C0C0\" width=\"100%\" bordercolorlight=\"#C0C0C0\" bordercolordark=\"#C0C0C0\">";

constexpr char kHex[] = "0123456789ABCDEF";

// Length of the well-formed UTF-8 sequence at `pos`, or 0 when the byte there does not start one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[pos + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (pos + length > text.size() || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xBF)
            return 0;
    return length;
}

// Whether the UTF-8 sequence of `length` bytes at `pos` is a bidirectional embedding, override or
// isolate control (U+202A to U+202E, U+2066 to U+2069), which would show the text around it reversed.
bool isBidiControl(std::string_view text, std::size_t pos, std::size_t length) {
    if (length != 3 || static_cast<unsigned char>(text[pos]) != 0xE2)
        return false;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    const auto third = static_cast<unsigned char>(text[pos + 2]);
    return (second == 0x80 && third >= 0xAA && third <= 0xAE) ||
           (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}

void appendEscapedByte(std::string& out, unsigned char byte) {
    out += "&lt;";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
    out += "&gt;";
}

// `text` as HTML text that shows every name unambiguously and in its own order: control bytes, bytes
// that are not UTF-8, bidirectional controls and '<' itself show as "<HH>" (one per byte), as names are
// written in the program's other files; the other markup characters become entities.
std::string htmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8SequenceLength(text, i);
        if (length == 0 || byte < 0x20 || byte == 0x7F || byte == '<') {
            appendEscapedByte(out, byte);
            ++i;
            continue;
        }
        if (isBidiControl(text, i, length)) {
            for (std::size_t k = 0; k < length; ++k)
                appendEscapedByte(out, static_cast<unsigned char>(text[i + k]));
            i += length;
            continue;
        }
        switch (byte) {
        case '&':
            out += "&amp;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.append(text.substr(i, length));
            break;
        }
        i += length;
    }
    return out;
}

// `text` percent-encoded for use as a relative link: every byte but letters, digits and "-._~".
std::string percentEncoded(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '.' || byte == '_' || byte == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

bool isValidProfileName(std::string_view profile) {
    // A profile is a settings key, whose name cannot hold a backslash.
    return isPathSafeName(profile) && profile.find('\\') == std::string_view::npos;
}

std::string bareFileName(std::string_view profile, int page) {
    return std::string(profile) + "_Log_Page" + std::to_string(page) + ".html";
}

// The link target of a page of the same log.
std::string pageLink(std::string_view profile, int page) {
    return percentEncoded(bareFileName(profile, page));
}

std::string title() {
    return HALCYRA_TITLE;
}

std::string row(std::string_view label) {
    return "<td width=\"25%\" bgcolor=\"#C0C0C0\"><b>" + std::string(label) + "</b></td>";
}

std::string valueCell(std::string_view value) {
    return "<td width=\"75%\">" + std::string(value) + "</td>";
}

} // namespace

LogLocale LogLocale::current() {
    return {DisplayDateTimeFormat::current(), currentDecimalSeparator()};
}

TLog::TLog(std::string profile, std::string directory, std::int64_t startTime,
           std::optional<std::int64_t> finishTime, int changeCount, bool unattended, LogLocale locale)
    : m_profile(std::move(profile)), m_directory(std::move(directory)), m_startTime(startTime),
      m_finishTime(finishTime ? *finishTime : localDateTime(std::time(nullptr))), m_unattended(unattended),
      m_locale(std::move(locale)) {
    const int rows = changeCount > 0 ? changeCount : 0;
    m_pages = rows == 0 ? 1 : rows / kRowsPerPage + (rows % kRowsPerPage > 0 ? 1 : 0);
    startPage();
}

TLog::~TLog() {
    try {
        finish();
    } catch (...) {
        // Out of memory while completing the page: the page stays unwritten.
    }
}

void TLog::fail(std::string message) {
    if (m_error.empty())
        m_error = std::move(message);
    m_writer.reset();  // removes the unfinished temporary file
    m_written.clear(); // and those of the complete pages
    m_body.clear();
}

void TLog::startPage() {
    m_rowsOnPage = 0;
    m_body.clear();
    const std::optional<std::string> path = LogFileName(m_profile, m_page);
    if (!path) {
        fail("The log cannot be written: \"" + m_profile + "\" is not a valid profile name.");
        return;
    }
    m_pagePath = *path;
    auto writer = std::make_unique<AtomicLineWriter>(m_pagePath);
    if (!writer->open()) {
        fail("The log page \"" + m_pagePath + "\" could not be created: " + writer->errorText());
        return;
    }
    m_writer = std::move(writer);
}

void TLog::line(std::string text) {
    if (writing())
        m_body.push_back(std::move(text));
}

void TLog::endPage(bool last) {
    if (!writing())
        return;
    if (m_inTable) {
        line("</table><br>");
        m_inTable = false;
    }
    if (last)
        m_pages = m_page; // a page written last links to no page after it
    std::vector<std::string> header;
    writeHeader(header);
    std::vector<std::string> footer;
    writeFooter(footer);
    bool ok = true;
    for (const auto* part : {&header, &m_body, &footer})
        for (const std::string& text : *part)
            ok = ok && m_writer->writeLine(text + '\r');
    if (ok)
        ok = m_writer->prepare();
    if (!ok) {
        const bool creating = m_writer->failure() == AtomicLineWriter::Failure::Create;
        fail("The log page \"" + m_pagePath + "\" could not be " + (creating ? "created: " : "written: ") +
             m_writer->errorText());
        return;
    }
    m_written.push_back(std::move(m_writer));
    m_body.clear();
}

void TLog::newPage() {
    endPage(false);
    if (!m_error.empty())
        return;
    ++m_page;
    if (m_page > m_pages)
        m_pages = m_page; // more rows than announced: the count grows with them
    startPage();
}

void TLog::writeNavigation(std::vector<std::string>& out) const {
    std::string links;
    if (m_page > 1)
        links += "<a href=\"" + pageLink(m_profile, m_page - 1) +
                 "\"><b>&lt; Previous Page</b></a>&nbsp;&nbsp;&nbsp;";
    if (m_page + 1 <= m_pages)
        links += "<a href=\"" + pageLink(m_profile, m_page + 1) + "\"><b>Next Page &gt;</b></a>";
    if (!links.empty())
        out.push_back(links + "<br>");
    if (m_pages > 2) {
        std::string pages = "Pages: ";
        for (int n = 1; n <= m_pages; ++n)
            pages += "<a href=\"" + pageLink(m_profile, n) + "\"><b>" + std::to_string(n) + "</b></a>&nbsp;";
        out.push_back(pages + "<br>");
    }
    out.push_back("<br>");
}

void TLog::writeHeader(std::vector<std::string>& out) const {
    out.push_back("<html>");
    out.push_back("<meta http-equiv=\"Content-Language\" content=\"en-us\">");
    out.push_back("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">");
    out.push_back("<title>" + title() + " Log</title>");
    out.push_back("</head>");
    out.push_back("<body>");
    out.push_back("<h1 align=\"center\"><span style=\"font-weight: 400; text-decoration: underline\">");
    out.push_back(title() + " Log<br>");
    out.push_back(htmlText(m_profile) + "<br>");
    out.push_back("Page " + std::to_string(m_page) + " of " + std::to_string(m_pages) + "</span></h1>");
    writeNavigation(out);
    if (m_page != 1)
        return;
    const std::int64_t seconds =
        m_finishTime >= m_startTime ? m_finishTime - m_startTime : m_startTime - m_finishTime;
    const std::pair<std::string_view, std::string> rows[] = {
        {"Scan started at", htmlText(m_locale.dateTime.format(m_startTime))},
        {"Scan finished at",
         htmlText(m_locale.dateTime.format(m_finishTime)) + " (" + std::to_string(seconds) + " secs)"},
        {"Profile", htmlText(m_profile)},
        {"Directory", htmlText(m_directory)},
        {"Unattended?", m_unattended ? "Yes" : "No"},
    };
    out.emplace_back(kTableStart);
    for (const auto& [label, value] : rows) {
        out.push_back("<tr>");
        out.push_back(row(label));
        out.push_back(valueCell(value));
        out.push_back("</tr>");
    }
    out.push_back("</table><br>");
}

void TLog::writeFooter(std::vector<std::string>& out) const {
    writeNavigation(out);
    out.emplace_back(kTableStart);
    out.push_back("<tr>");
    out.push_back("<td>");
    out.push_back("<font size=\"2\">Report produced by <A href=\"" + htmlText(kProductHomePage) + "\">" +
                  title() + "</A></font>&nbsp;");
    out.push_back("</td></tr></table>");
    out.push_back("</body></html>");
}

void TLog::WriteSummary(int contentsChanged, int created, int deleted, int dateTimeChanged, int sizeChanged,
                        int cannotHash, int allChanged, int excludedChanged) {
    if (!writing())
        return;
    if (m_inTable) {
        line("</table><br>");
        m_inTable = false;
    }
    const std::int64_t notExcluded = static_cast<std::int64_t>(allChanged) - excludedChanged;
    // A count with its share of `base`; a base below the count (never passed by a run) counts as the
    // count itself, so no share exceeds 100%.
    const auto withShare = [this](int count, std::int64_t base) {
        const double share = 100.0 * count / static_cast<double>(base >= count ? base : count);
        return std::to_string(count) + " (" + generalNumberText(share, 4, m_locale.decimalSeparator) + "%)";
    };
    line(std::string(kTableStart));
    const auto addRow = [this](std::string label, std::string value) {
        line("<tr>");
        line(std::move(label));
        line(std::move(value));
        line("</tr>");
    };
    if (allChanged > 0)
        addRow(row("Files changed (all)"), valueCell(std::to_string(allChanged)));
    if (excludedChanged > 0)
        addRow(row("Files changed (excluded)"), valueCell(withShare(excludedChanged, allChanged)));
    if (notExcluded > 0)
        addRow(row("Files changed (not excluded)"),
               valueCell(withShare(static_cast<int>(notExcluded), allChanged)));
    const std::pair<std::string_view, int> details[] = {
        {"Contents changed", contentsChanged}, {"Date/Time changed", dateTimeChanged},
        {"Size changed", sizeChanged},         {"Created/new", created},
        {"Deleted/missing", deleted},
    };
    for (const auto& [label, count] : details)
        if (count > 0)
            addRow(row(label), valueCell(withShare(count, notExcluded)));
    if (cannotHash > 0)
        addRow("<td width=\"25%\" bgcolor=\"#C0C0C0\"><font color=\"#FF0000\"><b>Cannot compute "
               "hash</b></font></td>",
               "<td width=\"75%\"><font color=\"#FF0000\">" + withShare(cannotHash, notExcluded) +
                   "</font></td>");
    line("</table><br>");
    if (allChanged == 0)
        line("No changes were found<BR>");
    else if (allChanged <= excludedChanged)
        line("Only excluded files were changed<br><br>");
}

void TLog::AddFile(std::string_view name) {
    if (!writing())
        return;
    if (m_rowsOnPage >= kRowsPerPage)
        newPage();
    if (!writing())
        return;
    ++m_rowsOnPage;
    if (!m_inTable) {
        line(std::string(kTableStart));
        line("<tr>");
        line("<td width=\"70%\" bgcolor=\"#C0C0C0\"><b>Filename</b></td>");
        line("<td width=\"30%\" bgcolor=\"#C0C0C0\"><b>Changed</b></td>");
        line("</tr>");
        m_inTable = true;
    }
    line("<tr>");
    line("<td width=\"70%\">" + htmlText(name) + "</td>");
}

void TLog::AddChange(std::string_view text, ChangeStyle style) {
    if (!writing())
        return;
    line("<td width=\"30%\">");
    if (style == ChangeStyle::RedBold) {
        line("<font color=\"#FF0000\"><b>");
        line(htmlText(text));
        line("</b></font>");
    } else {
        line(htmlText(text));
    }
    line("</td></tr>");
}

void TLog::WriteAborted() {
    if (!writing())
        return;
    if (m_inTable) {
        line("</table><br>");
        m_inTable = false;
    }
    line("<br>");
    line("<p align=\"center\"><b><font color=\"#FF0000\" size=\"5\">User Aborted!</font></b></p>");
}

std::string TLog::finish() {
    if (!m_finished) {
        m_finished = true;
        endPage(true);
        if (m_error.empty())
            replacePages();
    }
    return m_error;
}

void TLog::replacePages() {
    for (std::size_t i = 0; i < m_written.size(); ++i)
        if (!m_written[i]->commit()) {
            fail("The log page \"" + *LogFileName(m_profile, static_cast<int>(i) + 1) +
                 "\" could not be created: " + m_written[i]->errorText());
            return;
        }
    m_written.clear();
    deletePagesFrom(m_profile, m_page + 1);
}

std::optional<std::string> TLog::LogFileName(std::string_view profile, int page) {
    if (page < 1 || !isValidProfileName(profile))
        return std::nullopt;
    return dataFolder() + bareFileName(profile, page);
}

bool TLog::ViewLog(std::string_view profile, int page, UiServices* ui) {
    if (ui == nullptr)
        ui = currentUiServices();
    const std::optional<std::string> path = LogFileName(profile, page);
    struct stat info {};
    if (ui == nullptr || !path || stat(path->c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return openDocumentOrSay(*ui, *path);
}

void TLog::DeleteLogs(std::string_view profile) {
    deletePagesFrom(profile, 1);
}

void TLog::deletePagesFrom(std::string_view profile, int first) {
    for (int page = first;; ++page) {
        const std::optional<std::string> path = LogFileName(profile, page);
        if (!path || !fileExists(*path))
            return;
        unlink(path->c_str()); // one attempt: a page that cannot be deleted stays
    }
}

bool TLog::RenameLogs(std::string_view oldProfile, std::string_view newProfile) {
    if (!isValidProfileName(oldProfile) || !isValidProfileName(newProfile))
        return false;
    if (oldProfile == newProfile)
        return fileExists(*LogFileName(oldProfile, 1));
    // Pages already under the new name (a rename that was interrupted) are passed over, so that a repeated
    // rename moves the rest.
    for (int page = 1;; ++page) {
        const std::string from = *LogFileName(oldProfile, page);
        const std::string to = *LogFileName(newProfile, page);
        if (!fileExists(from)) {
            if (!fileExists(to))
                return page > 1;
            continue;
        }
        if (fileExists(to))
            unlink(to.c_str());
        if (std::rename(from.c_str(), to.c_str()) != 0)
            return false;
    }
}

} // namespace halcyra
