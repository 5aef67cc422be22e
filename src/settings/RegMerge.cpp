#include "settings/RegMerge.h"

#include "base/AsciiCase.h"
#include "base/IOStream.h"
#include "platform/RegistryStore.h"
#include "settings/RegText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace halcyra {

namespace {

enum State : std::uint8_t {
    SeekKey = 0,
    ParseKey = 1,
    NextLine = 2,
    ParseDefaultName = 3,
    ParseQuotedName = 4,
    CheckExisting = 5,
    ParseValueType = 6,
    WriteString = 7,
    WriteDword = 8,
    WriteBinary = 9,
    WriteExpandString = 10,
    WriteMultiString = 11,
    Done = 12,
    Error = 13,
};

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string_view withoutLeadingBackslash(std::string_view path) {
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    return path;
}

// The largest registry text read: far more than any profile's settings.
constexpr std::int64_t MaxRegistryTextSize = std::int64_t{64} << 20;

} // namespace

TRegMerge::TRegMerge(std::string FileName, RegistryStore* store)
    : m_fileName(std::move(FileName)), m_store(store) {}

TRegMerge::~TRegMerge() = default;

bool TRegMerge::fail(std::uint32_t code) {
    m_state = Error;
    if (m_errorCode == 0)
        m_errorCode = code != 0 ? code : ErrorBadFormat;
    return false;
}

bool TRegMerge::load() {
    m_state = SeekKey;
    m_errorCode = 0;
    m_pos = 0;
    m_text.clear();
    if (const int error = readWholeFile(m_fileName, m_text, MaxRegistryTextSize); error != 0) {
        m_text.clear();
        return fail(static_cast<std::uint32_t>(error));
    }
    if (m_text.size() >= 2 && m_text[0] == '\xFF' && m_text[1] == '\xFE')
        m_text = utf16leToUtf8(m_text);
    // The text ends at its first NUL, as a C string would.
    m_text.resize(std::min(m_text.find('\0'), m_text.size()));
    if (m_text.empty())
        return fail(ErrorBadFormat);
    return true;
}

bool TRegMerge::Execute() {
    std::unique_ptr<RegistryStore> own;
    RegistryStore* store = m_store;
    if (store == nullptr) {
        own = RegistryStore::open();
        if (!own) {
            m_state = Error;
            m_errorCode = systemErrorCode(RegStatus::Error);
            return false;
        }
        store = own.get();
    }
    if (!load())
        return false;
    RegTransaction transaction(*store);
    if (transaction.status() != RegStatus::Ok)
        return fail(systemErrorCode(transaction.status()));
    if (!parse(*store))
        return false;
    if (const RegStatus status = transaction.commit(); status != RegStatus::Ok)
        return fail(systemErrorCode(status));
    return true;
}

bool TRegMerge::ExecuteWithin(RegistryStore& store) {
    return load() && parse(m_store != nullptr ? *m_store : store);
}

std::size_t TRegMerge::lineEndFrom(std::size_t pos) const {
    const std::size_t end = m_text.find('\n', pos);
    return end == std::string::npos ? m_text.size() : end;
}

void TRegMerge::skipLine() {
    m_pos = lineEndFrom(m_pos);
    if (m_pos < m_text.size())
        ++m_pos;
}

// From just after an opening double quote to the next unescaped one (line ends included), a backslash
// taking the next character literally; the position moves past the closing quote.
bool TRegMerge::readQuoted(std::string& out) {
    out.clear();
    while (m_pos < m_text.size()) {
        char c = m_text[m_pos++];
        if (c == '"')
            return true;
        if (c == '\\') {
            if (m_pos >= m_text.size())
                return false;
            c = m_text[m_pos++];
        }
        out += c;
    }
    return false;
}

// The byte list after the type word's ":" (the position is on it). A list goes on past a "," only on its
// own line, or on the next line after a "\"; blanks before a continued line's first byte are skipped.
bool TRegMerge::readByteList(std::string& bytes) {
    bytes.clear();
    ++m_pos;
    const auto atLineEnd = [this] {
        return m_pos >= m_text.size() || m_text[m_pos] == '\r' || m_text[m_pos] == '\n';
    };
    const auto skipBlanks = [this] {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
            ++m_pos;
    };
    if (atLineEnd())
        return true;
    for (;;) {
        if (m_pos + 1 >= m_text.size())
            return false;
        const int high = hexValue(m_text[m_pos]);
        const int low = hexValue(m_text[m_pos + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes += static_cast<char>(high << 4 | low);
        m_pos += 2;
        while (m_pos < m_text.size() && m_text[m_pos] != ',' && m_text[m_pos] != '\n')
            ++m_pos;
        if (m_pos >= m_text.size() || m_text[m_pos] == '\n')
            return true;
        ++m_pos; // the ","
        skipBlanks();
        if (atLineEnd())
            return true;
        if (m_text[m_pos] == '\\') {
            skipLine();
            skipBlanks();
        }
    }
}

bool TRegMerge::keyAllowed(std::string_view path) const {
    if (LimitKey.empty())
        return true;
    const std::string_view limit = withoutLeadingBackslash(LimitKey);
    if (path.size() < limit.size() || !equalsIgnoringAsciiCase(path.substr(0, limit.size()), limit))
        return false;
    return path.size() == limit.size() || path[limit.size()] == '\\';
}

bool TRegMerge::parse(RegistryStore& store) {
    std::string keyPath;
    std::string valueName;
    RegDisposition disposition = RegDisposition::OpenedExistingKey;
    std::string data;
    const auto setValue = [&](std::uint32_t type, std::string_view bytes) {
        const RegStatus status = store.setValue(keyPath, valueName, type, bytes);
        if (status != RegStatus::Ok)
            return fail(systemErrorCode(status));
        m_state = NextLine;
        return true;
    };

    while (m_state != Done && m_state != Error) {
        switch (m_state) {
        case SeekKey:
            while (m_pos < m_text.size() && m_text[m_pos] != '[')
                skipLine();
            m_state = m_pos < m_text.size() ? ParseKey : Done;
            break;
        case ParseKey: {
            const std::size_t end = lineEndFrom(m_pos);
            const std::size_t close = m_text.rfind(']', end == 0 ? 0 : end - 1);
            if (close == std::string::npos || close <= m_pos)
                return fail();
            const std::string_view line(m_text.data() + m_pos + 1, close - m_pos - 1);
            const std::size_t slash = line.find('\\');
            if (slash == std::string_view::npos || slash + 1 == line.size())
                return fail();
            const std::string_view root = line.substr(0, slash);
            const std::string_view path = line.substr(slash + 1);
            if (!equalsIgnoringAsciiCase(root, regRootName(RegRoot::CurrentUser)))
                return fail(ErrorInvalidHandle);
            if (!keyAllowed(path))
                return fail(ErrorAccessDenied);
            keyPath = path;
            const RegStatus status = store.createKey(keyPath, &disposition);
            if (status != RegStatus::Ok)
                return fail(systemErrorCode(status));
            m_pos = close + 1;
            m_state = NextLine;
            break;
        }
        case NextLine:
            skipLine();
            if (m_pos >= m_text.size())
                m_state = Done;
            else if (m_text[m_pos] == '"')
                m_state = ParseQuotedName;
            else if (m_text[m_pos] == '@')
                m_state = ParseDefaultName;
            else if (m_text[m_pos] == '[')
                m_state = ParseKey;
            break;
        case ParseDefaultName:
        case ParseQuotedName: {
            ++m_pos;
            valueName.clear();
            if (m_state == ParseQuotedName && !readQuoted(valueName))
                return fail();
            const std::size_t equals = m_text.find('=', m_pos);
            if (equals == std::string::npos || equals >= lineEndFrom(m_pos))
                return fail();
            m_pos = equals;
            m_state = CheckExisting;
            break;
        }
        case CheckExisting:
            m_state = ParseValueType;
            if (!OverwriteExisting && disposition == RegDisposition::OpenedExistingKey) {
                const RegStatus status = store.valueExists(keyPath, valueName);
                if (status == RegStatus::Ok)
                    m_state = NextLine;
                else if (status != RegStatus::NotFound)
                    return fail(systemErrorCode(status));
            }
            break;
        case ParseValueType: {
            ++m_pos;
            if (m_pos < m_text.size() && m_text[m_pos] == '"') {
                ++m_pos;
                m_state = WriteString;
                break;
            }
            const std::size_t colon = m_text.find(':', m_pos);
            if (colon == std::string::npos || colon >= lineEndFrom(m_pos))
                return fail();
            const std::string_view word(m_text.data() + m_pos, colon - m_pos);
            if (equalsIgnoringAsciiCase(word, "dword"))
                m_state = WriteDword;
            else if (equalsIgnoringAsciiCase(word, "hex"))
                m_state = WriteBinary;
            else if (equalsIgnoringAsciiCase(word, "hex(2)"))
                m_state = WriteExpandString;
            else if (equalsIgnoringAsciiCase(word, "hex(7)"))
                m_state = WriteMultiString;
            else
                return fail();
            m_pos = colon;
            break;
        }
        case WriteString:
            if (!readQuoted(data))
                return fail();
            setValue(REG_SZ, data);
            break;
        case WriteDword: {
            ++m_pos;
            std::uint64_t number = 0;
            std::size_t digits = 0;
            for (int digit; m_pos < m_text.size() && (digit = hexValue(m_text[m_pos])) >= 0; ++m_pos) {
                number = number << 4 | static_cast<unsigned>(digit);
                if (number > 0xFFFFFFFFu)
                    return fail();
                ++digits;
            }
            if (digits == 0)
                return fail();
            std::string bytes(4, '\0');
            for (int i = 0; i < 4; ++i)
                bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
            setValue(REG_DWORD, bytes);
            break;
        }
        case WriteBinary:
        case WriteExpandString:
        case WriteMultiString: {
            const std::uint8_t kind = m_state;
            if (!readByteList(data))
                return fail();
            if (kind == WriteBinary)
                setValue(REG_BINARY, data);
            else if (kind == WriteExpandString)
                setValue(REG_EXPAND_SZ, utf16leToUtf8(data));
            else
                setValue(REG_MULTI_SZ, data);
            break;
        }
        default:
            return fail();
        }
    }
    return m_state == Done;
}

} // namespace halcyra
