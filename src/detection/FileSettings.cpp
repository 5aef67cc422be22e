#include "detection/FileSettings.h"

#include "base/IOStream.h"
#include "base/LineEscape.h"
#include "base/NumberText.h"
#include "base/Paths.h"

#include <cerrno>
#include <charconv>
#include <optional>

namespace halcyra {

namespace {

constexpr std::string_view UnsafeNameMessage = "The profile name cannot be used in a file name";
constexpr std::string_view NotAllocatedText = "Internal error: CompareList is not allocated";

// In the results file '*' separates fields, '"' quotes and '>' stands in for the apostrophe.
const LineEscapeRules ResultsKeyRules{"*\">"};
// The list readers trim their lines.
const LineEscapeRules ListLineRules{{}, true};

std::string dataFileName(std::string_view profile, std::string_view suffix) {
    if (!isPathSafeName(profile))
        return {};
    std::string name = dataFolder();
    name += profile;
    name += suffix;
    return name;
}

std::string_view trimmedLine(std::string_view line) {
    while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ')
        line.remove_prefix(1);
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ')
        line.remove_suffix(1);
    return line;
}

template <class Add> void loadLines(const std::string& fileName, Add add, std::string& errorText) {
    errorText.clear();
    if (!fileExists(fileName))
        return;
    LineReader reader;
    if (!reader.open(fileName)) {
        errorText = "Cannot open the exclusion file. Exception raised: " + reader.errorText();
        return;
    }
    std::string line;
    while (reader.readLine(line))
        add(unescapeLine(trimmedLine(line)));
    if (reader.failed())
        errorText = "An exception was raised reading the exclusion file: " + reader.errorText();
}

template <class List> void saveLines(const std::string& fileName, const List& list, std::string& errorText) {
    errorText.clear();
    AtomicLineWriter writer(fileName, MaxLineLength);
    if (writer.open()) {
        for (const std::string& entry : list)
            if (!writer.writeLine(escapeLine(entry, ListLineRules)))
                break;
        writer.commit();
    }
    if (writer.failure() == AtomicLineWriter::Failure::Create)
        errorText = "Cannot create the exclusion file. Exception raised: " + writer.errorText();
    else if (writer.failure() == AtomicLineWriter::Failure::Write)
        errorText = "An exception was raised writing to the exclusion file: " + writer.errorText();
}

void loadNamedList(const std::string& fileName, KeySet* list, std::string& errorText) {
    errorText.clear();
    if (list != nullptr && fileName.empty())
        errorText = "Cannot open the exclusion file. Exception raised: " + std::string(UnsafeNameMessage);
    else
        TFileSettings::LoadListFromFile(fileName, list, errorText);
}

void saveNamedList(const std::string& fileName, const KeySet* list, std::string& errorText) {
    errorText.clear();
    if (list != nullptr && fileName.empty())
        errorText = "Cannot create the exclusion file. Exception raised: " + std::string(UnsafeNameMessage);
    else
        TFileSettings::SaveListToFile(fileName, list, errorText);
}

// Splits a results line at '*' outside double-quoted stretches, dropping empty fields. Returns the
// number of fields, filling at most four.
std::size_t splitResultsLine(std::string_view line, std::string_view (&fields)[4]) {
    std::size_t count = 0, pos = 0;
    const std::size_t size = line.size();
    while (pos < size) {
        const std::size_t start = pos;
        bool quoted = false;
        for (; pos < size; ++pos) {
            if (line[pos] == '"')
                quoted = !quoted;
            else if (line[pos] == '*' && !quoted)
                break;
        }
        if (pos > start) {
            if (count < 4)
                fields[count] = line.substr(start, pos - start);
            ++count;
        }
        ++pos;
    }
    return count;
}

// A strict decimal integer within 64 bits: digits after an optional '+', then an optional '-'.
std::optional<std::int64_t> parseSize(std::string_view text) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    return decimalInteger<std::int64_t>(text);
}

} // namespace

std::string TFileSettings::GlobalExclusionFileName() {
    return dataFolder() + "Halcyra_Excl.txt";
}

std::string TFileSettings::ResultsFileName(std::string_view profile) {
    return dataFileName(profile, ".txt");
}

std::string TFileSettings::ExclusionFileName(std::string_view profile) {
    return dataFileName(profile, "_excl.txt");
}

std::string TFileSettings::ExclusionDirFileName(std::string_view profile) {
    return dataFileName(profile, "_excl_dir.txt");
}

void TFileSettings::LoadGlobalExclusions(KeySet* list, std::string& errorText) {
    LoadListFromFile(GlobalExclusionFileName(), list, errorText);
}

void TFileSettings::LoadExclusions(std::string_view profile, KeySet* list, std::string& errorText) {
    loadNamedList(ExclusionFileName(profile), list, errorText);
}

void TFileSettings::LoadExclusionDirs(std::string_view profile, KeySet* list, std::string& errorText) {
    loadNamedList(ExclusionDirFileName(profile), list, errorText);
}

void TFileSettings::SaveExclusions(std::string_view profile, const KeySet* list, std::string& errorText) {
    saveNamedList(ExclusionFileName(profile), list, errorText);
}

void TFileSettings::SaveExclusionDirs(std::string_view profile, const KeySet* list, std::string& errorText) {
    saveNamedList(ExclusionDirFileName(profile), list, errorText);
}

void TFileSettings::LoadListFromFile(const std::string& fileName, KeySet* list, std::string& errorText) {
    errorText.clear();
    if (list != nullptr)
        loadLines(
            fileName, [list](std::string&& line) { list->insert(std::move(line)); }, errorText);
}

void TFileSettings::LoadListFromFile(const std::string& fileName, std::vector<std::string>* list,
                                     std::string& errorText) {
    errorText.clear();
    if (list != nullptr)
        loadLines(
            fileName, [list](std::string&& line) { list->push_back(std::move(line)); }, errorText);
}

void TFileSettings::SaveListToFile(const std::string& fileName, const KeySet* list, std::string& errorText) {
    errorText.clear();
    if (list != nullptr)
        saveLines(fileName, *list, errorText);
}

void TFileSettings::SaveListToFile(const std::string& fileName, const std::vector<std::string>* list,
                                   std::string& errorText) {
    errorText.clear();
    if (list != nullptr)
        saveLines(fileName, *list, errorText);
}

void TFileSettings::SaveResults(std::string_view profile, CompareList* compareList, bool useOld,
                                std::string& errorText) {
    errorText.clear();
    if (compareList == nullptr) {
        errorText = NotAllocatedText;
        return;
    }
    const std::string fileName = ResultsFileName(profile);
    if (fileName.empty()) {
        errorText = "Cannot create the results file. Exception raised: " + std::string(UnsafeNameMessage);
        return;
    }
    AtomicLineWriter writer(fileName, MaxLineLength);
    if (writer.open() && writer.writeLine("!/:")) {
        std::string line;
        char number[24];
        for (auto& [key, entry] : *compareList) {
            TFileDetails* details = useOld ? entry.Old.get() : entry.New.get();
            if (details == nullptr)
                continue; // a deleted file drops out
            if (details->Hash.empty() && entry.Old && !entry.Old->Hash.empty())
                details->Hash = entry.Old->Hash; // a run without hashing keeps the last known hash
            line = escapeLine(key, ResultsKeyRules);
            line += '*';
            const auto sizeEnd = std::to_chars(number, number + sizeof number, details->Size).ptr;
            line.append(number, sizeEnd);
            line += '*';
            line += details->Hash.empty() ? std::string_view("-") : std::string_view(details->Hash);
            line += '*';
            line += formatDateTime(details->DateTime);
            if (!writer.writeLine(line))
                break;
        }
        writer.commit();
    }
    if (writer.failure() == AtomicLineWriter::Failure::Create)
        errorText = "Cannot create the results file. Exception raised: " + writer.errorText();
    else if (writer.failure() == AtomicLineWriter::Failure::Write)
        errorText = "An exception was raised writing to the results file: " + writer.errorText();
}

void TFileSettings::LoadResults(std::string_view profile, const KeySet* excludedDirs,
                                CompareList* compareList, std::string& errorText) {
    errorText.clear();
    if (compareList == nullptr) {
        errorText = NotAllocatedText;
        return;
    }
    const std::string fileName = ResultsFileName(profile);
    if (fileName.empty()) {
        errorText = "Cannot open the results file. Exception raised: " + std::string(UnsafeNameMessage);
        return;
    }
    if (!fileExists(fileName))
        return; // the profile's first run
    LineReader reader;
    if (!reader.open(fileName)) {
        errorText = "Cannot open the results file. Exception raised: " + reader.errorText();
        return;
    }
    // Dates are day-month-year; a header line "!" + date separator + time separator sets the
    // separators for the lines after it.
    char dateSeparator = '/', timeSeparator = ':';
    std::string line;
    std::string_view fields[4];
    while (reader.readLine(line)) {
        if (line.size() == 3 && line[0] == '!') {
            dateSeparator = line[1];
            timeSeparator = line[2];
            continue;
        }
        // Only the double quote quotes: an apostrophe is an ordinary character of a field and stays
        // as it is, so '>' keeps its one meaning, the end of an escape.
        if (splitResultsLine(line, fields) != 4)
            continue;
        std::string key = unescapeLine(fields[0]);
        if (excludedDirs != nullptr && excludedDirs->find(folderPart(key)) != excludedDirs->end())
            continue;
        const std::optional<std::int64_t> size = parseSize(fields[1]);
        if (!size) {
            errorText = "Exception raised reading the results file: '" + escapeLine(fields[1]) +
                        "' is not a valid integer value";
            return;
        }
        const std::optional<TDateTimeSecs> dateTime = parseDateTime(fields[3], dateSeparator, timeSeparator);
        if (!dateTime) {
            errorText = "Exception raised reading the results file: '" + escapeLine(fields[3]) +
                        "' is not a valid date and time";
            return;
        }
        // Keys come sorted from the writer: append at the end when the order allows, else look up.
        auto position = compareList->end();
        if (!compareList->empty() && !compareList->key_comp()(std::prev(position)->first, key))
            position = compareList->lower_bound(key);
        if (position != compareList->end() && position->first == key)
            continue; // the first line of a key wins
        auto entry = compareList->emplace_hint(position, std::move(key), TFileCompare{});
        entry->second.Old = std::make_unique<TFileDetails>(
            TFileDetails{*size, fields[2] == "-" ? std::string() : std::string(fields[2]), *dateTime});
    }
    if (reader.failed())
        errorText = "Exception raised reading the results file: " + reader.errorText();
}

} // namespace halcyra
