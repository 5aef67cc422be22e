#include "tools/Md5List.h"

#include "base/IOStream.h"
#include "base/LineEscape.h"
#include "hashing/Hashing.h"

namespace halcyra {

namespace {

constexpr std::size_t HashLength = 32;
constexpr char EndOfText = 26;

std::string_view trimmed(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(begin, end - begin);
}

bool isPlaceholder(std::string_view hash) {
    return hash == CannotOpenFilePlaceholder;
}

} // namespace

std::string md5ListLine(std::string_view hash, std::string_view name) {
    std::string line(hash);
    line += ' ';
    line += escapeLine(name, {.syntax = {}, .edgeBlanks = true});
    return line;
}

bool saveMd5List(const std::string& fileName, const ToolRows& rows, const RowIndexes& selected,
                 std::string& errorText) {
    AtomicLineWriter writer(fileName, MaxLineLength, FileAccess::UserFile);
    bool written = writer.open();
    for (std::size_t i = 0; written && i < selected.size(); ++i) {
        const ToolRow& row = rows[selected[i]];
        written = writer.writeLine(md5ListLine(row.Hash, row.Name()) + '\r');
    }
    if (written && writer.commit()) {
        errorText.clear();
        return true;
    }
    errorText = "Error writing to file: " + writer.errorText();
    return false;
}

void Md5List::addLine(std::string_view line) {
    line = trimmed(line);
    if (line.size() <= HashLength + 1)
        return;
    std::string hash(trimmed(line.substr(0, HashLength)));
    std::string name = unescapeLine(trimmed(line.substr(HashLength)));
    if (m_exact.count(name) != 0)
        return;
    m_folded.emplace(name, hash); // keeps the first of names that differ only in case
    m_exact.emplace(std::move(name), std::move(hash));
}

bool Md5List::addRawLine(std::string_view line) {
    const std::size_t end = line.find(EndOfText);
    addLine(line.substr(0, end));
    return end == std::string_view::npos;
}

bool Md5List::load(const std::string& fileName, std::string& errorText) {
    LineReader reader;
    if (!reader.open(fileName)) {
        errorText = "Error reading from file: " + reader.errorText();
        return false;
    }
    std::string line;
    while (reader.readLine(line))
        if (!addRawLine(line))
            break;
    if (reader.failed()) {
        errorText = "Error reading from file: " + reader.errorText();
        return false;
    }
    errorText.clear();
    return true;
}

const std::string* Md5List::find(std::string_view name) const {
    if (const auto exact = m_exact.find(std::string(name)); exact != m_exact.end())
        return &exact->second;
    if (const auto folded = m_folded.find(name); folded != m_folded.end())
        return &folded->second;
    return nullptr;
}

std::string differenceText(std::string_view name, std::string_view fileHash, std::string_view listedHash) {
    std::string text(name);
    text += "\r\n\r\nList MD5: ";
    text += listedHash;
    text += "\r\nFile MD5: ";
    text += fileHash;
    text += "\r\n\r\nDo you want to continue to be notified of differences?";
    return text;
}

CompareOutcome compareRows(const ToolRows& rows, const RowIndexes& selected, const Md5List& list,
                           const std::function<bool(const std::string&)>& askContinue) {
    CompareOutcome outcome;
    bool notify = true;
    for (std::size_t index : selected) {
        const ToolRow& row = rows[index];
        const std::string* listed = list.find(row.Name());
        if (listed == nullptr) {
            ++outcome.notListed;
            continue;
        }
        const bool same =
            !isPlaceholder(row.Hash) && !isPlaceholder(*listed) && equalsIgnoringAsciiCase(row.Hash, *listed);
        if (same)
            continue;
        ++outcome.different;
        outcome.highlighted.push_back(index);
        if (notify && askContinue)
            notify = askContinue(differenceText(row.Name(), row.Hash, *listed));
    }
    return outcome;
}

std::string compareSummary(const CompareOutcome& outcome) {
    std::string text;
    if (outcome.different > 0)
        text += std::to_string(outcome.different) +
                " files have a different MD5 value (they are highlighted in the list)\r\n";
    if (outcome.notListed > 0)
        text += std::to_string(outcome.notListed) + " files are not listed in the MD5 hash values file.\r\n";
    return text;
}

} // namespace halcyra
