#include "settings/RegText.h"
#include "settings/RegExport.h"
#include "settings/RegMerge.h"

#include "../platform/TestHome.h"
#include "platform/RegistryStore.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace halcyra;
using halcyra::testing::TestHome;

namespace {

const std::string kKey = "\\Software\\OrrendaleSoftware\\Halcyra\\Daily";

class RegTextTest : public ::testing::Test {
protected:
    RegistryStore& store() {
        if (!m_store)
            m_store = RegistryStore::open();
        return *m_store;
    }
    std::string file(const std::string& name) const { return m_home.root() + "/" + name; }
    void writeFile(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Every key with its values below the top key, as one comparable text.
    std::string dump() {
        const RegTree tree = store().readTree("\\");
        std::string out;
        for (const RegKeySnapshot& key : tree.keys) {
            out += "[" + key.path + "]\n";
            for (const RegValue& value : key.values)
                out += value.name + "|" + std::to_string(value.type) + "|" + value.data + "\n";
        }
        return out;
    }
    bool merge(const std::string& text, std::uint32_t* code = nullptr, bool overwrite = true,
               const std::string& limit = {}) {
        writeFile(file("in.reg"), text);
        TRegMerge merger(file("in.reg"), &store());
        merger.OverwriteExisting = overwrite;
        merger.LimitKey = limit;
        const bool merged = merger.Execute();
        if (code != nullptr)
            *code = merger.ErrorCode();
        EXPECT_EQ(merger.State(), merged ? 12 : 13);
        return merged;
    }
    std::string exportText(const std::string& key) {
        std::string error;
        EXPECT_TRUE(ExportRegistryKey(RegRoot::CurrentUser, key, file("out.reg"), error, &store())) << error;
        return readFile(file("out.reg"));
    }

    TestHome m_home;
    std::unique_ptr<RegistryStore> m_store;
};

std::string bytes(std::size_t count) {
    std::string data;
    for (std::size_t i = 0; i < count; ++i)
        data += static_cast<char>(i * 7 + 1);
    return data;
}

TEST_F(RegTextTest, WriterProducesExactTextValuesBeforeSubKeys) {
    ASSERT_EQ(store().createKey(kKey + "\\Sub"), RegStatus::Ok);
    store().setString(kKey, "Folder", "C:\\Data \"x\"");
    store().setDword(kKey, "Count", 26);
    store().setValue(kKey, "", REG_BINARY, std::string("\x00\xAB", 2));
    store().setString(kKey, "Path", "%HOME%/\xC3\xA9", REG_EXPAND_SZ);
    store().setValue(kKey, "Multi", REG_MULTI_SZ, std::string("a\0\0", 3));
    store().setValue(kKey, "Empty", REG_BINARY, "");
    store().setValue(kKey, "Other", 11, "12345678");
    store().setString(kKey + "\\Sub", "Na\\me", "v");
    EXPECT_EQ(exportText(kKey + "\\"),
              "REGEDIT4\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\OrrendaleSoftware\\Halcyra\\Daily]\r\n"
              "\"Folder\"=\"C:\\\\Data \\\"x\\\"\"\r\n"
              "\"Count\"=dword:0000001A\r\n"
              "@=hex:00,AB\r\n"
              "\"Path\"=hex(2):25,00,48,00,4F,00,4D,00,45,00,25,00,2F,00,E9,00,00,00\r\n"
              "\"Multi\"=hex(7):61,00,00\r\n"
              "\"Empty\"=hex:\r\n"
              "\"Other\"=\"\"\r\n"
              "\r\n[HKEY_CURRENT_USER\\Software\\OrrendaleSoftware\\Halcyra\\Daily\\Sub]\r\n"
              "\"Na\\\\me\"=\"v\"\r\n");
    // A missing key gives its key line alone; a path without a leading "\" gets one.
    EXPECT_EQ(exportText("Software\\None"), "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\None]\r\n");
}

TEST_F(RegTextTest, ByteListsBreakAfter26ThenEvery25BytesAndReadBack) {
    ASSERT_EQ(store().createKey(kKey), RegStatus::Ok);
    for (std::size_t size : {0u, 26u, 27u, 51u, 52u, 60u})
        store().setValue(kKey, "b" + std::to_string(size), REG_BINARY, bytes(size));
    const std::string text = exportText(kKey);
    std::string line27;
    for (std::size_t i = 0; i < 27; ++i)
        line27 += (i ? "," : "") + std::string(1, "0123456789ABCDEF"[(i * 7 + 1) >> 4 & 15]) +
                  "0123456789ABCDEF"[(i * 7 + 1) & 15];
    EXPECT_NE(
        text.find("\"b27\"=hex:" + line27.substr(0, 26 * 3) + "\\\r\n" + line27.substr(26 * 3) + "\r\n"),
        std::string::npos);
    EXPECT_NE(text.find("\"b26\"=hex:" + line27.substr(0, 26 * 3 - 1) + "\r\n"), std::string::npos);
    std::size_t continued = 0;
    for (std::size_t at = 0; (at = text.find("\\\r\n", at)) != std::string::npos; ++at)
        ++continued;
    EXPECT_EQ(continued, 1u + 1u + 2u + 2u); // 27 and 51 (26 + 25) bytes: 2 lines, 52 and 60: 3 lines
    const std::string before = dump();
    ASSERT_EQ(store().deleteKeyTree(kKey), RegStatus::Ok);
    writeFile(file("rt.reg"), text);
    TRegMerge merger(file("rt.reg"), &store());
    ASSERT_TRUE(merger.Execute());
    EXPECT_EQ(dump(), before);
}

TEST_F(RegTextTest, EveryValueTypeSurvivesExportAndMerge) {
    const std::string odd = kKey + "\\a]b";
    ASSERT_EQ(store().createKey(odd), RegStatus::Ok);
    store().setString(kKey, "Text", "line1\nline2 \\ \" [x] =:@");
    store().setString(kKey, "Bad\"Name\\", "\xFF\xFE raw");
    store().setString(kKey, "", "default");
    store().setString(kKey, "Expand", "%PATH% \xE6\x97\xA5\xF0\x9F\x98\x80 \xFF", REG_EXPAND_SZ);
    store().setValue(kKey, "Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    store().setDword(kKey, "Max", 0xFFFFFFFF);
    store().setValue(kKey, "Bin", REG_BINARY, bytes(60));
    store().setString(odd, "In", "side");
    const std::string before = dump();
    const std::string text = exportText(kKey);
    ASSERT_EQ(store().deleteKeyTree(kKey), RegStatus::Ok);
    ASSERT_TRUE(merge(text));
    EXPECT_EQ(dump(), before);
    std::string stored;
    ASSERT_EQ(store().storedPath(odd, stored), RegStatus::Ok);
    EXPECT_EQ(stored, odd);

    // The same text with LF line ends, without the last line end, and as UTF-16LE with a byte-order mark.
    std::string lf;
    for (char c : text)
        if (c != '\r')
            lf += c;
    lf.pop_back();
    ASSERT_EQ(store().deleteKeyTree(kKey), RegStatus::Ok);
    ASSERT_TRUE(merge(lf));
    EXPECT_EQ(dump(), before);
    ASSERT_EQ(store().deleteKeyTree(kKey), RegStatus::Ok);
    ASSERT_TRUE(merge("\xFF\xFE" + utf8ToUtf16le(text)));
    EXPECT_EQ(dump(), before);
}

TEST_F(RegTextTest, MergerReadsOtherWritersForms) {
    std::uint32_t code = 0;
    ASSERT_TRUE(merge("Windows Registry Editor\r\n; comment\r\n[hkey_current_user\\X]\r\n"
                      "\"d\"=DWORD:ffffffff\r\n\"h\"=HEX:0a,0B,\\\r\n  0c,\\\n\t0d\r\n\"e\"=hex:\r\n"
                      "\"t\"=dword:1a junk\r\n\"z\"=dword:0000000000000001\r\n\"c\"=hex:01,\r\n02,03\r\n",
                      &code));
    EXPECT_EQ(store().queryValue("X", "d").data, std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(store().queryValue("X", "h").data, "\x0a\x0b\x0c\x0d");
    EXPECT_EQ(store().queryValue("X", "e").data, "");
    EXPECT_EQ(store().queryValue("X", "t").data, std::string("\x1a\0\0\0", 4));
    EXPECT_EQ(store().queryValue("X", "z").data, std::string("\x01\0\0\0", 4));
    // A list goes on onto the next line only after a backslash.
    EXPECT_EQ(store().queryValue("X", "c").data, "\x01");
    EXPECT_EQ(store().valueNames("X").names.size(), 6u);

    EXPECT_TRUE(merge("REGEDIT4\r\n"));
    EXPECT_FALSE(merge("", &code));
    EXPECT_EQ(code, TRegMerge::ErrorBadFormat);
    // Text of up to 64 MiB is read (here NUL padding ends it); one byte more is refused unread.
    for (const std::uintmax_t size : {std::uintmax_t{64} << 20, (std::uintmax_t{64} << 20) + 1}) {
        writeFile(file("big.reg"), "[HKEY_CURRENT_USER\\Big]\n");
        std::filesystem::resize_file(file("big.reg"), size);
        TRegMerge big(file("big.reg"), &store());
        EXPECT_EQ(big.Execute(), size == std::uintmax_t{64} << 20);
        EXPECT_EQ(big.ErrorCode(), size == std::uintmax_t{64} << 20 ? 0u : std::uint32_t{EFBIG});
    }
    TRegMerge missing(file("nowhere.reg"), &store());
    EXPECT_FALSE(missing.Execute());
    EXPECT_EQ(missing.ErrorCode(), 2u);
}

TEST_F(RegTextTest, FailedMergeWritesNothing) {
    ASSERT_EQ(store().createKey("Keep"), RegStatus::Ok);
    store().setString("Keep", "v", "old");
    const std::string before = dump();
    const std::string good =
        "REGEDIT4\n[HKEY_CURRENT_USER\\Keep]\n\"v\"=\"new\"\n\"w\"=\"x\"\n[HKEY_CURRENT_USER\\New]\n";
    struct Case {
        std::string tail;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"[HKEY_CURRENT_USER\\NoBracket\n", 11},
        {"[HKEY_CURRENT_USER]\n", 11},
        {"[HKEY_CURRENT_USER\\]\n", 11},
        {"[HKEY_LOCAL_MACHINE\\Software]\n", 6},
        {"[-HKEY_CURRENT_USER\\Keep]\n", 6},
        {"\"a\"=dword:100000000\n", 11},
        {"\"a\"=dword:\n", 11},
        {"\"a\"=dword:xyz\n", 11},
        {"\"a\"=-\n", 11},
        {"\"a\"=hex(4):01\n", 11},
        {"\"a\"\n=\"b\"\n", 11},
        {"\"a\"=hex\n:01\n", 11},
        {"\"a\"=\"unclosed\n", 11},
        {"\"unclosed=\"b\n", 11},
        {"@\n", 11},
        {"\"a\"=hex:0\n", 11},
        {"\"a\"=hex:01,zz\n", 11},
        {"\"a\"=hex:01,\\\n", 11},
    };
    for (const Case& c : cases) {
        std::uint32_t code = 0;
        EXPECT_FALSE(merge(good + c.tail, &code)) << c.tail;
        EXPECT_EQ(code, c.code) << c.tail;
        EXPECT_EQ(dump(), before) << c.tail;
    }
    // A merge limited to one key fails on any other key, before anything is written.
    std::uint32_t code = 0;
    EXPECT_FALSE(merge(good, &code, true, "\\Keep"));
    EXPECT_EQ(code, TRegMerge::ErrorAccessDenied);
    EXPECT_EQ(dump(), before);
    EXPECT_FALSE(merge("[HKEY_CURRENT_USER\\Keeper]\n", &code, true, "\\Keep"));
    EXPECT_TRUE(merge("[HKEY_CURRENT_USER\\keep\\Sub]\n\"s\"=\"1\"\n", &code, true, "\\Keep"));
}

TEST_F(RegTextTest, ExistingValuesStayUnlessOverwriting) {
    ASSERT_EQ(store().createKey("Old"), RegStatus::Ok);
    store().setString("Old", "v", "old");
    ASSERT_TRUE(merge("[HKEY_CURRENT_USER\\Old]\n\"V\"=\"new\"\n\"w\"=\"1\"\n[HKEY_CURRENT_USER\\Fresh]\n"
                      "\"v\"=\"a\"\n\"v\"=\"b\"\n",
                      nullptr, false));
    EXPECT_EQ(store().queryValue("Old", "v").data, "old");
    EXPECT_EQ(store().queryValue("Old", "w").data, "1");
    EXPECT_EQ(store().queryValue("Fresh", "v").data, "b");
    ASSERT_TRUE(merge("[HKEY_CURRENT_USER\\Old]\n\"V\"=\"new\"\n"));
    EXPECT_EQ(store().queryValue("Old", "v").data, "new");
}

TEST_F(RegTextTest, MergeOrExportThatTheStoreFailsAtAnyStepChangesNothing) {
    ASSERT_EQ(store().createKey("Old"), RegStatus::Ok);
    store().setString("Old", "v", "old");
    const std::string before = dump();
    writeFile(
        file("in.reg"),
        "[HKEY_CURRENT_USER\\Old]\n\"v\"=\"new\"\n\"w\"=dword:1\n[HKEY_CURRENT_USER\\New]\n\"b\"=hex:01\n");
    for (const bool reads : {false, true}) {
        for (int failAt = 1;; ++failAt) {
            auto count = std::make_shared<int>(-1); // counting from the merge on
            RegistryStore::Options faulty = RegistryStore::defaultOptions();
            (reads ? faulty.readFault : faulty.writeFault) = [count, failAt] {
                return *count >= 0 && ++*count == failAt;
            };
            std::unique_ptr<RegistryStore> failing = RegistryStore::open(faulty);
            ASSERT_TRUE(failing);
            *count = 0;
            TRegMerge merger(file("in.reg"), failing.get());
            const bool merged = merger.Execute();
            if (*count < failAt) {
                EXPECT_TRUE(merged);
                ASSERT_EQ(store().deleteKeyTree("New"), RegStatus::Ok);
                ASSERT_EQ(store().deleteValue("Old", "w"), RegStatus::Ok);
                break;
            }
            EXPECT_FALSE(merged) << reads << failAt;
            EXPECT_NE(merger.ErrorCode(), 0u) << reads << failAt;
            EXPECT_EQ(dump(), before) << reads << failAt;
            if (reads && failAt == 1) {
                *count = 0;
                std::string error;
                EXPECT_FALSE(
                    ExportRegistryKey(RegRoot::CurrentUser, "Old", file("out.reg"), error, failing.get()));
                EXPECT_NE(error.find("could not be read"), std::string::npos) << error;
            }
        }
    }
}

TEST_F(RegTextTest, WriterReportsFileItCannotWrite) {
    ASSERT_EQ(store().createKey(kKey), RegStatus::Ok);
    std::string error;
    EXPECT_FALSE(ExportRegistryKey(RegRoot::CurrentUser, kKey, file("no/such/dir.reg"), error, &store()));
    EXPECT_NE(error.find("could not be written"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(ExportRegistryKey(RegRoot::CurrentUser, kKey, "/dev/full", error, &store()));
    EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
    // Nor a key whose name holds a line end: the text could not carry it.
    for (const std::string end : {"\r", "\n"}) {
        ASSERT_EQ(store().createKey(kKey + "\\a" + end + "b"), RegStatus::Ok);
        EXPECT_FALSE(ExportRegistryKey(RegRoot::CurrentUser, kKey, file("out.reg"), error, &store()));
        EXPECT_NE(error.find("holds a line end"), std::string::npos) << error;
        ASSERT_EQ(store().deleteKeyTree(kKey + "\\a" + end + "b"), RegStatus::Ok);
    }
}

TEST(RegTextConversion, Utf16KeepsEveryByteString) {
    const std::string text = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80\xFF\xC3(\xED\xA0\x80";
    const std::string wide = utf8ToUtf16le(text);
    EXPECT_EQ(wide.substr(0, 4), std::string("a\0\xE9\0", 4));
    EXPECT_EQ(utf16leToUtf8(wide), text);
    EXPECT_EQ(utf16leToUtf8(std::string("A\0\0\0B\0", 6)), "A");
    EXPECT_EQ(utf16leToUtf8(std::string("\x00\xD8", 2)), "\xEF\xBF\xBD");
    // Both sides of every range boundary: a well-formed sequence gives its code units, an overlong, surrogate
    // or too large one stays byte by byte; each comes back as it was.
    const auto le = [](std::u16string_view units) {
        std::string out;
        for (const char16_t unit : units)
            out += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        return out;
    };
    std::vector<std::pair<std::string, std::u16string>> cases = {{"\x7F", u"\x7F"},
                                                                 {"\xC2\x80", u"\x80"},
                                                                 {"\xDF\xBF", u"\x7FF"},
                                                                 {"\xE0\xA0\x80", u"\x800"},
                                                                 {"\xED\x9F\xBF", u"\xD7FF"},
                                                                 {"\xEE\x80\x80", u"\xE000"},
                                                                 {"\xEF\xBF\xBF", u"\xFFFF"},
                                                                 {"\xF0\x90\x80\x80", u"\xD800\xDC00"},
                                                                 {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"}};
    for (const std::string bad :
         {"\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
          "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80"}) {
        cases.push_back({bad, {}});
        for (const char byte : bad)
            cases.back().second += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(byte));
    }
    for (const auto& [utf8, units] : cases) {
        EXPECT_EQ(utf8ToUtf16le(utf8), le(units)) << utf8;
        EXPECT_EQ(utf16leToUtf8(le(units)), utf8) << utf8;
    }
    // Lone surrogates that stand for no byte become U+FFFD.
    for (const std::u16string lone : {u"\xDC7F", u"\xDD00", u"\xD800", u"\xDBFF\xE000"})
        EXPECT_EQ(utf16leToUtf8(le(lone)).substr(0, 3), "\xEF\xBF\xBD");
    EXPECT_EQ(regRootName(RegRoot::DynData), "HKEY_DYN_DATA");
    EXPECT_EQ(regRootName(static_cast<RegRoot>(7)), "");
}

} // namespace
