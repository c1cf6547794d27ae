#pragma once
// The program's one way into the registry: a shared current location (root and base
// path) set before a batch of reads or writes, and text reads and writes on top of it.

#include "KeyStore.h"

#include <cstdint>
#include <memory>
#include <string>

namespace norvane::Registry {

// A value as QueryValue hands it back.
struct Value {
    std::uint32_t type = RegType::None;
    std::string text;         // REG_SZ and REG_MULTI_SZ: every stored byte, NULs included
    std::int32_t number = 0;  // REG_DWORD
};

void SetBaseKey(std::uint32_t root, const std::string& basePath);
std::uint32_t CurrentRoot();
const std::string& CurrentBasePath();

// The value as text, or "" whenever it cannot be read. Never creates a key.
std::string ReadString(const std::string& subKey, const std::string& name);
// Stores a REG_SZ, creating the key when it is missing. 0 on success.
std::int16_t WriteString(const std::string& subKey, const std::string& name, const std::string& value);

std::int32_t QueryValue(HKey key, const std::string& name, Value& value);
std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type, const Value& value);
void CreateKey(std::uint32_t root, const std::string& path);

// Key path of an operation: the base path, or base path "\" subkey.
std::string KeyPath(const std::string& subKey);

// Several writes that should land together (one save); see KeyStore::BeginBatch.
std::int32_t BeginBatch();
std::int32_t CommitBatch();
void RollbackBatch();

// Several reads that see one state of the store (the start-up load); see KeyStore::BeginRead.
// When BeginRead fails on a store that exists, ReadString reads nothing more until EndRead:
// each value is the empty text, at once, with that failure as the last status.
std::int32_t BeginRead();
void EndRead();

// Where the store lives, for messages; see KeyStore::Location.
std::string StoreLocation();

// Kept across UseStore: every store the module uses reports its long waits here.
void SetWaitNotifier(KeyStore::WaitNotifier notifier);

// The status and store's reason of the last failing operation, for the operator.
std::int32_t LastStatus();
std::string LastErrorText();

// The store behind the module; made from the platform on first use. Tests and tools
// put their own in place; passing null goes back to the platform store.
KeyStore& Store();
void UseStore(std::unique_ptr<KeyStore> store);

// Reports a fault while querying a value (the text is the fault's description). The
// program puts a message box here; the default writes to standard error.
using FaultReporter = void (*)(const std::string& description);
void SetFaultReporter(FaultReporter reporter);

}  // namespace norvane::Registry
