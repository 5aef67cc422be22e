#include "settings/Settings.h"

#include "base/AsciiCase.h"
#include "base/NumberText.h"
#include "platform/RegistryStore.h"

namespace halcyra {

namespace {

// `path` without its leading "\" and with ASCII letters in lower case, for comparing key paths.
std::string foldedPath(std::string_view path) {
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    std::string out;
    out.reserve(path.size());
    for (char c : path)
        out += static_cast<char>(asciiLower(static_cast<unsigned char>(c)));
    return out;
}

// Whether `path` names the program's root key or a key above it (the top key included).
bool isRootOrAbove(std::string_view path) {
    const std::string target = foldedPath(path);
    const std::string root = foldedPath(SettingsRootKey);
    return target.empty() || target == root || root.compare(0, target.size() + 1, target + "\\") == 0;
}

std::string placementName(const FormWindow& form, const char* part) {
    return "HY_" + form.name() + part;
}

} // namespace

std::optional<std::int32_t> integerFromText(std::string_view text) {
    return decimalInteger<std::int32_t>(text, {.leadingBlanks = true, .plusSign = true});
}

TSettings::TSettings(std::string_view Key) : m_key(Key) {
    m_registry = RegistryStore::open(&m_openError);
}

TSettings::~TSettings() = default;

std::string TSettings::pathOf(std::string_view subKey) const {
    return subKey.empty() ? m_key : m_key + "\\" + std::string(subKey);
}

SettingText TSettings::tryReadSubKeyString(std::string_view SubKey, std::string_view Name) const {
    SettingText out;
    if (!m_registry) {
        out.state = SettingState::Error;
        out.error = m_openError;
        return out;
    }
    const RegValueRead value = m_registry->queryValue(pathOf(SubKey), Name);
    if (value.status == RegStatus::Error) {
        out.state = SettingState::Error;
        out.error = m_registry->lastError();
        return out;
    }
    if (value.status != RegStatus::Ok || (value.type != REG_SZ && value.type != REG_EXPAND_SZ))
        return out;
    out.text = value.data.substr(0, value.data.find('\0'));
    if (!out.text.empty())
        out.state = SettingState::Value;
    return out;
}

SettingNames TSettings::trySubKeyNames() const {
    SettingNames out;
    if (!m_registry) {
        out.state = SettingState::Error;
        out.error = m_openError;
        return out;
    }
    RegNameList list = m_registry->subKeyNames(m_key);
    if (list.status == RegStatus::Ok) {
        out.state = SettingState::Value;
        out.names = std::move(list.names);
    } else if (list.status == RegStatus::Error) {
        out.state = SettingState::Error;
        out.error = m_registry->lastError();
    }
    return out;
}

std::string TSettings::ReadSubKeyString(std::string_view SubKey, std::string_view Name,
                                        std::string_view Default) const {
    SettingText value = tryReadSubKeyString(SubKey, Name);
    return value.state == SettingState::Value ? std::move(value.text) : std::string(Default);
}

std::string TSettings::ReadStringDef(std::string_view Name, std::string_view Default) const {
    return ReadSubKeyString({}, Name, Default);
}

std::string TSettings::ReadString(std::string_view Name) const {
    return ReadStringDef(Name, {});
}

std::int32_t TSettings::ReadSubKeyInteger(std::string_view SubKey, std::string_view Name,
                                          std::int32_t Default) const {
    return integerFromText(ReadSubKeyString(SubKey, Name, std::to_string(Default))).value_or(Default);
}

std::int32_t TSettings::ReadIntegerDef(std::string_view Name, std::int32_t Default) const {
    return ReadSubKeyInteger({}, Name, Default);
}

std::int32_t TSettings::ReadInteger(std::string_view Name) const {
    return ReadIntegerDef(Name, -1);
}

bool TSettings::ReadSubKeyBool(std::string_view SubKey, std::string_view Name, bool Default) const {
    const std::string text = ReadSubKeyString(SubKey, Name, {});
    if (text == "Y")
        return true;
    if (text == "N")
        return false;
    return Default;
}

bool TSettings::ReadBoolDef(std::string_view Name, bool Default) const {
    return ReadSubKeyBool({}, Name, Default);
}

bool TSettings::ReadBool(std::string_view Name) const {
    return ReadBoolDef(Name, false);
}

std::uint8_t TSettings::ReadSubKeyTriState(std::string_view SubKey, std::string_view Name,
                                           std::uint8_t Default) const {
    const std::string text = ReadSubKeyString(SubKey, Name, {});
    if (text == "Y")
        return 1;
    if (text == "N")
        return 0;
    if (text == "G")
        return 2;
    return Default;
}

std::uint8_t TSettings::ReadTriStateDef(std::string_view Name, std::uint8_t Default) const {
    return ReadSubKeyTriState({}, Name, Default);
}

std::uint8_t TSettings::ReadTriState(std::string_view Name) const {
    return ReadTriStateDef(Name, 0);
}

bool TSettings::WriteString(std::string_view Name, std::string_view Value) {
    return writeValue(Name, Value, true);
}

bool TSettings::UpdateString(std::string_view Name, std::string_view Value) {
    return writeValue(Name, Value, false);
}

bool TSettings::writeValue(std::string_view name, std::string_view value, bool createKey) {
    if (!m_registry) {
        m_writeError = m_openError;
        return false;
    }
    const RegStatus status = createKey ? m_registry->createAndSetValue(m_key, name, REG_SZ, value)
                                       : m_registry->setString(m_key, name, value);
    switch (status) {
    case RegStatus::Ok:
        return true;
    case RegStatus::Error:
        m_writeError = m_registry->lastError();
        break;
    case RegStatus::NotFound:
        if (!createKey) {
            m_writeError = "The settings key \"" + m_key + "\" no longer exists.";
            break;
        }
        [[fallthrough]];
    case RegStatus::Invalid:
        m_writeError =
            "The settings key \"" + m_key + "\" cannot hold the value \"" + std::string(name) + "\".";
        break;
    }
    return false;
}

bool TSettings::WriteInteger(std::string_view Name, std::int32_t Value) {
    return WriteString(Name, std::to_string(Value));
}

bool TSettings::WriteBool(std::string_view Name, bool Value) {
    return WriteString(Name, Value ? "Y" : "N");
}

bool TSettings::WriteTriState(std::string_view Name, std::uint8_t Value) {
    return WriteString(Name, Value == 1 ? "Y" : Value == 0 ? "N" : "G");
}

bool TSettings::GetSubKeyNames(std::vector<std::string>& List) const {
    if (!m_registry)
        return false;
    RegNameList names = m_registry->subKeyNames(m_key);
    if (names.status != RegStatus::Ok || names.names.empty())
        return false;
    List = std::move(names.names);
    return true;
}

bool TSettings::SubKeyExists(std::string_view Name) const {
    return m_registry && m_registry->keyExists(m_key + "\\" + std::string(Name)) == RegStatus::Ok;
}

bool TSettings::DeleteSubKey(std::string_view Name) {
    const std::string path = pathOf(Name);
    if (!m_registry || isRootOrAbove(path))
        return false;
    return m_registry->deleteKeyTree(path) == RegStatus::Ok;
}

bool TSettings::GetValueNames(std::string_view SubKey, std::vector<std::string>& List) const {
    if (!m_registry)
        return false;
    RegNameList names = m_registry->valueNames(pathOf(SubKey));
    if (names.status != RegStatus::Ok)
        return false;
    List = std::move(names.names);
    return true;
}

bool TSettings::DeleteValue(std::string_view Name) {
    return m_registry && m_registry->deleteValue(m_key, Name) == RegStatus::Ok;
}

std::string TSettings::KeyName() const {
    std::string path = m_key;
    std::string stored;
    if (m_registry && m_registry->storedPath(m_key, stored) == RegStatus::Ok)
        path = std::move(stored);
    const auto cut = path.rfind('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool TSettings::CopySubKey(std::string_view Source, std::string_view Dest, bool Move) {
    if (!m_registry)
        return false;
    return m_registry->copyKeyTree(m_key + "\\" + std::string(Source), m_key + "\\" + std::string(Dest),
                                   Move) == RegStatus::Ok;
}

bool TSettings::IsValidName(std::string_view Name) {
    for (char c : Name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
        switch (c) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return false;
        default:
            break;
        }
    }
    return true;
}

void TSettings::ReadFormPlacement(FormWindow& Form) const {
    Form.setAutoScroll(false);
    ScreenRect bounds;
    bounds.top = ReadInteger(placementName(Form, "_TOP"));
    if (bounds.top < 0) {
        Form.centreOnScreen();
        return;
    }
    bounds.left = ReadInteger(placementName(Form, "_LEFT"));
    bounds.width = ReadInteger(placementName(Form, "_WIDTH"));
    bounds.height = ReadInteger(placementName(Form, "_HEIGHT"));
    if (bounds.width <= 0 || bounds.height <= 0 || !Form.touchesAnyScreen(bounds)) {
        Form.centreOnScreen();
        return;
    }
    Form.setBounds(bounds);
}

void TSettings::WriteFormPlacement(const FormWindow& Form) {
    const ScreenRect bounds = Form.bounds();
    WriteInteger(placementName(Form, "_TOP"), bounds.top);
    WriteInteger(placementName(Form, "_LEFT"), bounds.left);
    WriteInteger(placementName(Form, "_WIDTH"), bounds.width);
    WriteInteger(placementName(Form, "_HEIGHT"), bounds.height);
}

void TSettings::LoadFormPlacement(std::string_view Key, FormWindow& Form) {
    TSettings(Key).ReadFormPlacement(Form);
}

void TSettings::SaveFormPlacement(std::string_view Key, const FormWindow& Form) {
    TSettings(Key).WriteFormPlacement(Form);
}

} // namespace halcyra
