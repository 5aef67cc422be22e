#pragma once

#include "base/DisplayDateTime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class AtomicLineWriter;
class UiServices;

// How dates and numbers appear on the log pages.
struct LogLocale {
    DisplayDateTimeFormat dateTime;
    std::string decimalSeparator;

    // The calling thread's current LC_TIME and LC_NUMERIC.
    static LogLocale current();
};

// The report of one profile run: a set of HTML pages "<profile>_Log_Page<n>.html" in the data folder,
// at most 2000 file rows a page, each page complete with navigation at top and bottom. Every text taken
// from the run (profile, folder, file names, change texts) is HTML-escaped, and links between pages are
// percent-encoded file names, so the pages work as a set wherever they lie.
//
// Calling order: construct, WriteSummary, then AddFile + AddChange per file, WriteAborted when the run
// was aborted, then finish(). A page is written to disk whole when it is complete; the first failure
// (a page that cannot be created, written or closed) stops all further output and is reported by
// error() and finish(). Nothing here throws except std::bad_alloc.
class TLog {
public:
    enum class ChangeStyle { Plain, RedBold };

    // Starts page 1; the profile's existing pages stay until finish() has written every new one.
    // `changeCount` is the number of file rows that will be written; it fixes the page count shown on the
    // pages. Without a `finishTime` the time of construction is shown.
    TLog(std::string profile, std::string directory, std::int64_t startTime,
         std::optional<std::int64_t> finishTime, int changeCount, bool unattended,
         LogLocale locale = LogLocale::current());

    // Completes the open page like finish(); a failure here is lost, so callers that care call
    // finish() first.
    ~TLog();

    TLog(const TLog&) = delete;
    TLog& operator=(const TLog&) = delete;

    // The summary table with each positive count and its percentage; the counts are those of a run:
    // AllChanged counts every changed file, ExcludedChanged the excluded ones among them, and the first
    // six count files that are not excluded.
    void WriteSummary(int contentsChanged, int created, int deleted, int dateTimeChanged, int sizeChanged,
                      int cannotHash, int allChanged, int excludedChanged);

    // Starts the row of one changed file (its relative path); the 2001st row starts a new page.
    void AddFile(std::string_view name);

    // Writes the change cell of the current row and ends the row.
    void AddChange(std::string_view text, ChangeStyle style);

    // Closes an open file table and writes the abort note.
    void WriteAborted();

    // Writes the footer and the last page, then puts the new pages in place of the old set (old pages
    // beyond the new ones are deleted); when any page failed, the old set stays as it was. The last page
    // links to no page after it. Returns the first failure of this log as a message, or the empty text
    // when every page was written; later calls return the same and write nothing.
    std::string finish();

    // The first failure so far, or the empty text.
    const std::string& error() const { return m_error; }

    // Full path of page `page` (from 1) of a profile's log; no value for a page below 1 or a profile
    // name that cannot name a file in the data folder.
    static std::optional<std::string> LogFileName(std::string_view profile, int page);

    // Opens the page with the desktop's handler for documents when the page exists as a file (a page
    // that cannot be opened is reported, openDocumentOrSay); otherwise does nothing and shows nothing.
    // Returns whether it was opened. Without `ui`, the
    // program's current UI services are used (none installed: nothing is opened).
    static bool ViewLog(std::string_view profile, int page, UiServices* ui = nullptr);

    // Deletes pages 1, 2, ... of the profile's log, one attempt each, up to the first missing page.
    static void DeleteLogs(std::string_view profile);

    // Renames pages 1, 2, ... of `oldProfile`'s log to the pages of `newProfile`, replacing them, up to
    // the first page that neither name has; a page only `newProfile` has counts as renamed already, so an
    // interrupted rename is finished by repeating it. Stops at the first rename that fails. Returns false
    // when a rename failed or neither name has page 1. Renaming a profile's log to itself changes nothing
    // and answers whether page 1 exists.
    static bool RenameLogs(std::string_view oldProfile, std::string_view newProfile);

private:
    void startPage();
    void endPage(bool last);
    void newPage();
    void line(std::string text);
    void writeNavigation(std::vector<std::string>& out) const;
    void writeHeader(std::vector<std::string>& out) const;
    void writeFooter(std::vector<std::string>& out) const;
    void fail(std::string message);
    // Renames the complete pages over the old ones, then deletes the old pages after them.
    void replacePages();
    static void deletePagesFrom(std::string_view profile, int first);
    bool writing() const { return m_writer != nullptr && m_error.empty(); }

    std::string m_profile;
    std::string m_directory;
    std::int64_t m_startTime = 0;
    std::int64_t m_finishTime = 0;
    bool m_unattended = false;
    LogLocale m_locale;

    int m_page = 1;
    int m_pages = 1;
    int m_rowsOnPage = 0;
    bool m_inTable = false;
    bool m_finished = false;
    std::unique_ptr<AtomicLineWriter> m_writer;               // the open page; null when none is open
    std::vector<std::unique_ptr<AtomicLineWriter>> m_written; // complete pages, put in place by finish()
    std::string m_pagePath;
    std::vector<std::string> m_body; // lines of the open page after its header
    std::string m_error;
};

} // namespace halcyra
