#pragma once
// The settings store on Windows: the registry itself, through advapi32's 8-bit functions.
// A handle is the HKEY value; the registry has no transactions, so a batch is a series of
// writes that each stand alone.

#include "KeyStore.h"

#include <string>

namespace norvane {

class WindowsStore : public KeyStore {
public:
    std::int32_t OpenKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) override;
    std::int32_t CreateKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) override;
    std::int32_t QueryValue(HKey key, const std::string& name, std::uint32_t* type, unsigned char* data,
                            std::uint32_t* size) override;
    std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type, const unsigned char* data,
                          std::uint32_t size) override;
    std::int32_t CloseKey(HKey key) override;
    std::int32_t EnumValues(HKey key, std::vector<ValueEntry>& values) override;
    std::int32_t EnumSubKeys(HKey key, std::vector<std::string>& names) override;
    std::int32_t DeleteValue(HKey key, const std::string& name) override;
    std::int32_t DeleteTree(std::uint32_t root, const std::string& path) override;
    // The system's message for the last failing status.
    std::string LastErrorText() const override;

private:
    std::int32_t Note(long status);

    std::int32_t m_lastStatus = Status::Success;
};

}  // namespace norvane
