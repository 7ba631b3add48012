// Controls of the portable platform, for the host tests: an in-memory
// registry, scripted command text and environment, and a record of message
// boxes and process starts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace portable {

// Forgets everything: registry, environment, command text, record, counters.
void reset();

// ---- Registry --------------------------------------------------------------
// Paths are ANSI (Latin-1) bytes below HKEY_LOCAL_MACHINE, levels separated by
// "\"; names match without regard to case and enumerate in creation order.

// Creates the key named name below parent, and parent when missing. The name
// is one level as the ANSI functions return it, backslashes included: the way
// a name with a character outside the code page reads when its best fit is a
// backslash.
void addKey(const std::string& parent, const std::string& name);

// Stores a value with raw data (the key is created when missing). Setting an
// existing name replaces its type and data and keeps its place.
void setValue(const std::string& path, const std::string& name, std::uint32_t type, const std::string& data);

// Stores a REG_SZ value: the text in Latin-1 with its terminating NUL.
void setString(const std::string& path, const std::string& name, const std::u16string& text);

// Makes listing the values and the subkeys of a key return status from the
// index onwards, as when a key vanishes in the middle of a listing.
void failListing(const std::string& path, std::uint32_t fromIndex, std::int32_t status);

// Makes every open of the key fail with the status.
void failOpen(const std::string& path, std::int32_t status);

// Registry handles open right now, and registry calls made since reset.
int openKeyCount();
std::uint64_t registryCallCount();

// Yields (message processing) since reset.
std::uint64_t yieldCount();

// ---- Process ---------------------------------------------------------------

void setCommandText(const std::u16string& text);
void setEnvironment(const std::u16string& name, const std::u16string& value);

// Makes the next process starts fail with the error code (0: succeed again),
// Windows having found the program as file (empty: found none).
void failStarts(std::uint32_t errorCode, const std::u16string& file = {});

// What the program showed and started, in order, an entry a line:
// "box: TEXT", "error box: TEXT", "start: PROGRAM | COMMAND LINE".
const std::u16string& record();

}  // namespace portable
