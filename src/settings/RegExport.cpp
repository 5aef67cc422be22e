#include "settings/RegExport.h"

#include "base/IOStream.h"
#include "platform/RegistryStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace halcyra {

namespace {

constexpr std::string_view LineEnd = "\r\n";
constexpr char HexDigits[] = "0123456789ABCDEF";
// Bytes on the first line of a byte list; every later line holds one fewer.
constexpr std::size_t FirstLineBytes = 26;

void appendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
}

// Text up to its first NUL, as string readers of the store see it.
std::string_view untilNul(std::string_view data) {
    return data.substr(0, std::min(data.find('\0'), data.size()));
}

void appendByteList(std::string& out, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out += HexDigits[byte >> 4];
        out += HexDigits[byte & 0x0F];
        if (i + 1 == bytes.size())
            break;
        out += ',';
        if (i + 1 >= FirstLineBytes && (i + 1 - FirstLineBytes) % (FirstLineBytes - 1) == 0) {
            out += '\\';
            out += LineEnd;
        }
    }
}

void appendValue(std::string& out, const RegValue& value) {
    if (value.name.empty()) {
        out += '@';
    } else {
        out += '"';
        appendEscaped(out, value.name);
        out += '"';
    }
    out += '=';
    switch (value.type) {
    case REG_SZ:
        out += '"';
        appendEscaped(out, untilNul(value.data));
        out += '"';
        break;
    case REG_DWORD: {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < 4 && i < value.data.size(); ++i)
            number |= static_cast<std::uint32_t>(static_cast<unsigned char>(value.data[i])) << (8 * i);
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4)
            out += HexDigits[(number >> shift) & 0x0F];
        break;
    }
    case REG_BINARY:
        out += "hex:";
        appendByteList(out, value.data);
        break;
    case REG_EXPAND_SZ:
        out += "hex(2):";
        appendByteList(out, utf8ToUtf16le(untilNul(value.data)) + std::string(2, '\0'));
        break;
    case REG_MULTI_SZ:
        out += "hex(7):";
        appendByteList(out, value.data);
        break;
    default:
        out += "\"\"";
        break;
    }
    out += LineEnd;
}

bool writeWhole(const std::string& fileName, std::string_view text, std::string& errorText) {
    const auto failed = [&](int error) {
        errorText = "The file \"" + fileName + "\" could not be written: " + systemMessage(error);
        return false;
    };
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return failed(errno);
    if (!writeAll(fd, text.data(), text.size())) {
        const int error = errno;
        ::close(fd);
        return failed(error);
    }
    if (::close(fd) != 0)
        return failed(errno);
    return true;
}

} // namespace

bool RegistryKeyText(RegistryStore& store, RegRoot RootKey, std::string_view KeyPath, std::string& Text,
                     std::string& ErrorText) {
    ErrorText.clear();
    if (!KeyPath.empty() && KeyPath.back() == '\\')
        KeyPath.remove_suffix(1);
    std::string keyLine = "[" + std::string(regRootName(RootKey));
    if (KeyPath.empty() || KeyPath.front() != '\\')
        keyLine += '\\';
    keyLine += KeyPath;

    RegTree tree;
    if (RootKey == RegRoot::CurrentUser) {
        tree = store.readTree(KeyPath);
        if (tree.status == RegStatus::Error) {
            ErrorText =
                "The registry key \"" + std::string(KeyPath) + "\" could not be read: " + store.lastError();
            return false;
        }
    }
    if (tree.keys.empty())
        tree.keys.push_back({});

    Text = "REGEDIT4";
    Text += LineEnd;
    for (const RegKeySnapshot& key : tree.keys) {
        if (key.path.find_first_of("\r\n") != std::string::npos) {
            ErrorText = "The registry key \"" + std::string(KeyPath) + key.path +
                        "\" cannot be written as registry text: its name holds a line end.";
            return false;
        }
        Text += LineEnd;
        Text += keyLine;
        Text += key.path;
        Text += ']';
        Text += LineEnd;
        for (const RegValue& value : key.values)
            appendValue(Text, value);
    }
    return true;
}

bool ExportRegistryKey(RegRoot RootKey, std::string_view KeyPath, const std::string& FileName,
                       std::string& ErrorText, RegistryStore* store) {
    std::unique_ptr<RegistryStore> own;
    if (store == nullptr) {
        own = RegistryStore::open(&ErrorText);
        if (!own)
            return false;
        store = own.get();
    }
    std::string text;
    return RegistryKeyText(*store, RootKey, KeyPath, text, ErrorText) &&
           writeWhole(FileName, text, ErrorText);
}

} // namespace halcyra
