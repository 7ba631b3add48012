// The portable implementation of the platform operations: an in-memory
// registry with Windows' statuses, Latin-1 as the ANSI code page, and scripted
// process state. Used by the host tests, the fuzzer and the benchmarks.
#include "platform/portable.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <memory>

#include "platform/platform.h"

namespace {

struct regValue {
    std::string name;
    std::uint32_t type;
    std::string data;
};

struct regNode {
    std::string name;
    std::vector<regValue> values;
    std::vector<std::unique_ptr<regNode>> subkeys;
    std::map<std::string, std::size_t> valueIndex;   // folded name -> place in values
    std::map<std::string, std::size_t> subkeyIndex;  // folded name -> place in subkeys
    std::int32_t openStatus = platform::regSuccess;
    std::uint32_t listingFailsFrom = UINT32_MAX;
    std::int32_t listingFailStatus = platform::regSuccess;
};

struct portableState {
    regNode machine;
    std::map<platform::regKey, regNode*> openKeys;
    platform::regKey nextHandle = 0x100;
    std::uint64_t registryCalls = 0;
    std::uint64_t yields = 0;
    std::u16string commandText;
    std::map<std::u16string, std::u16string> environment;  // folded name -> value
    std::uint32_t startError = 0;
    std::u16string startFile;
    std::u16string record;
};

portableState state;

char16_t upperChar(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c == 0xB5) return 0x39C;
    if ((c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

// Registry names compare without regard to case.
std::string folded(const std::string& name) {
    std::string result(name);
    for (char& c : result) {
        const auto byte = static_cast<unsigned char>(c);
        const char16_t upper = upperChar(byte);
        if (upper <= 0xFF) c = static_cast<char>(upper);
    }
    return result;
}

// The child of node with the name; created when missing and create is set.
regNode* child(regNode& node, const std::string& name, bool create) {
    const std::string folding = folded(name);
    const auto found = node.subkeyIndex.find(folding);
    if (found != node.subkeyIndex.end()) return node.subkeys[found->second].get();
    if (!create) return nullptr;
    node.subkeyIndex[folding] = node.subkeys.size();
    node.subkeys.push_back(std::make_unique<regNode>());
    node.subkeys.back()->name = name;
    return node.subkeys.back().get();
}

// Walks the levels of path; creates missing keys when create is set. Returns
// null for a missing key or a path with an empty level.
regNode* walk(const std::string& path, bool create) {
    regNode* node = &state.machine;
    if (path.empty()) return node;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('\\', start);
        const std::string level = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (level.empty()) return nullptr;
        node = child(*node, level, create);
        if (node == nullptr || end == std::string::npos) return node;
        start = end + 1;
    }
}

// A name as the ANSI functions take it: up to its first NUL.
std::string upToNul(const platform::ansiText& name) {
    return std::string(name.data(), std::min(name.size(), name.find('\0')));
}

regNode* opened(platform::regKey key) {
    const auto found = state.openKeys.find(key);
    return found == state.openKeys.end() ? nullptr : found->second;
}

}  // namespace

namespace portable {

void reset() {
    state = portableState();
}

void addKey(const std::string& parent, const std::string& name) {
    regNode* node = walk(parent, true);
    if (node != nullptr) child(*node, name, true);
}

void setValue(const std::string& path, const std::string& name, std::uint32_t type, const std::string& data) {
    regNode* key = walk(path, true);
    if (key == nullptr) return;  // a path with an empty level names no key
    regNode& node = *key;
    const std::string folding = folded(name);
    const auto found = node.valueIndex.find(folding);
    if (found != node.valueIndex.end()) {
        node.values[found->second].type = type;
        node.values[found->second].data = data;
        return;
    }
    node.valueIndex[folding] = node.values.size();
    node.values.push_back({name, type, data});
}

void setString(const std::string& path, const std::string& name, const std::u16string& text) {
    const platform::ansiText ansi = platform::toAnsi(text);
    setValue(path, name, platform::regSz, std::string(ansi.data(), ansi.size()) + '\0');
}

void failListing(const std::string& path, std::uint32_t fromIndex, std::int32_t status) {
    regNode* node = walk(path, true);
    if (node == nullptr) return;
    node->listingFailsFrom = fromIndex;
    node->listingFailStatus = status;
}

void failOpen(const std::string& path, std::int32_t status) {
    regNode* node = walk(path, true);
    if (node != nullptr) node->openStatus = status;
}

int openKeyCount() {
    return static_cast<int>(state.openKeys.size());
}

std::uint64_t registryCallCount() {
    return state.registryCalls;
}

std::uint64_t yieldCount() {
    return state.yields;
}

void setCommandText(const std::u16string& text) {
    state.commandText = text;
}

void setEnvironment(const std::u16string& name, const std::u16string& value) {
    state.environment[platform::upperCase(name)] = value;
}

void failStarts(std::uint32_t errorCode, const std::u16string& file) {
    state.startError = errorCode;
    state.startFile = file;
}

const std::u16string& record() {
    return state.record;
}

}  // namespace portable

namespace platform {

std::int32_t regOpenKey(std::uint32_t root, const ansiText& subKey, std::uint32_t access, regKey& key) {
    ++state.registryCalls;
    (void)access;
    if (root != hkeyLocalMachine) return regFileNotFound;
    regNode* node = walk(upToNul(subKey), false);
    if (node == nullptr) return regFileNotFound;
    if (node->openStatus != regSuccess) return node->openStatus;
    key = state.nextHandle++;
    state.openKeys[key] = node;
    return regSuccess;
}

std::int32_t regEnumValueName(regKey key, std::uint32_t index, char* name, std::uint32_t& nameCapacity) {
    ++state.registryCalls;
    const regNode* node = opened(key);
    if (node == nullptr) return 6;  // ERROR_INVALID_HANDLE
    if (index >= node->listingFailsFrom) return node->listingFailStatus;
    if (index >= node->values.size()) return regNoMoreItems;
    const std::string& text = node->values[index].name;
    if (text.size() + 1 > nameCapacity) return regMoreData;
    std::memcpy(name, text.c_str(), text.size() + 1);
    nameCapacity = static_cast<std::uint32_t>(text.size());
    return regSuccess;
}

std::int32_t regEnumKey(regKey key, std::uint32_t index, char* name, std::uint32_t capacity) {
    ++state.registryCalls;
    const regNode* node = opened(key);
    if (node == nullptr) return 6;
    if (index >= node->listingFailsFrom) return node->listingFailStatus;
    if (index >= node->subkeys.size()) return regNoMoreItems;
    const std::string& text = node->subkeys[index]->name;
    if (text.size() + 1 > capacity) return regMoreData;
    std::memcpy(name, text.c_str(), text.size() + 1);
    return regSuccess;
}

std::int32_t regQueryValue(regKey key, const ansiText& valueName, std::uint32_t& type, unsigned char* data,
                           std::uint32_t& dataCapacity) {
    ++state.registryCalls;
    const regNode* node = opened(key);
    if (node == nullptr) return 6;
    const auto found = node->valueIndex.find(folded(upToNul(valueName)));
    if (found == node->valueIndex.end()) return regFileNotFound;
    const regValue& value = node->values[found->second];
    if (value.data.size() > dataCapacity) return regMoreData;
    std::copy(value.data.begin(), value.data.end(), data);
    type = value.type;
    dataCapacity = static_cast<std::uint32_t>(value.data.size());
    return regSuccess;
}

void regCloseKey(regKey key) {
    ++state.registryCalls;
    state.openKeys.erase(key);
}

ansiText toAnsi(const std::u16string& text) {
    ansiText ansi;
    ansi.reserve(text.size());
    for (const char16_t c : text) ansi += c <= 0xFF ? static_cast<char>(c) : '?';
    return ansi;
}

std::u16string fromAnsi(const ansiText& text) {
    std::u16string result;
    result.reserve(text.size());
    for (const char c : text) result += static_cast<char16_t>(static_cast<unsigned char>(c));
    return result;
}

std::u16string upperCase(const std::u16string& text) {
    std::u16string result(text);
    for (char16_t& c : result) c = upperChar(c);
    return result;
}

void processPendingMessages() {
    ++state.yields;
}

std::u16string commandText() {
    return state.commandText;
}

std::u16string environmentVariable(const std::u16string& name) {
    const auto found = state.environment.find(upperCase(name));
    return found == state.environment.end() ? std::u16string() : found->second;
}

void showMessage(const std::u16string& text, bool error) {
    state.record += (error ? u"error box: " : u"box: ") + text + u'\n';
}

startResult startProcess(const std::u16string& program, const std::u16string& commandLine) {
    if (state.startError != 0) return {state.startError, state.startFile};
    state.record += u"start: " + program + u" | " + commandLine + u'\n';
    return {0, {}};
}

// Two of Windows' German texts as the system gives them: ending in a line
// break, the second with a blank before it.
std::u16string systemErrorText(std::uint32_t code, const std::u16string& insert) {
    if (code == 2) return u"Das System kann die angegebene Datei nicht finden.\r\n";
    if (code == 193) return insert + u" ist keine zul\u00e4ssige Win32-Anwendung. \r\n";
    return {};
}

}  // namespace platform
