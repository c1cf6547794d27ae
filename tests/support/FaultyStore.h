#pragma once
// A store that fails one chosen call of a real one. Run an operation with the 1st call
// failing, then the 2nd, and so on until a run meets no fault: every step of it has then
// met a failure (SQLite tests its I/O errors the same way).

#include "KeyStore.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace norvane::test {

class FaultyStore : public KeyStore {
public:
    // Fails the failAt-th call that returns a status (counted from 1) with status; 0
    // fails none.
    FaultyStore(std::unique_ptr<KeyStore> store, int failAt, std::int32_t status = Status::IoFailed)
        : m_store(std::move(store)), m_failAt(failAt), m_status(status) {}

    int calls() const { return m_calls; }
    bool faulted() const { return m_failAt > 0 && m_calls >= m_failAt; }
    KeyStore& inner() { return *m_store; }

    std::int32_t OpenKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) override {
        return Run([&] { return m_store->OpenKey(root, path, access, key); });
    }
    std::int32_t CreateKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) override {
        return Run([&] { return m_store->CreateKey(root, path, access, key); });
    }
    std::int32_t QueryValue(HKey key, const std::string& name, std::uint32_t* type, unsigned char* data,
                            std::uint32_t* size) override {
        return Run([&] { return m_store->QueryValue(key, name, type, data, size); });
    }
    std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type, const unsigned char* data,
                          std::uint32_t size) override {
        return Run([&] { return m_store->SetValue(key, name, type, data, size); });
    }
    std::int32_t CloseKey(HKey key) override {
        return Run([&] { return m_store->CloseKey(key); });
    }
    std::int32_t EnumValues(HKey key, std::vector<ValueEntry>& values) override {
        return Run([&] { return m_store->EnumValues(key, values); });
    }
    std::int32_t EnumSubKeys(HKey key, std::vector<std::string>& names) override {
        return Run([&] { return m_store->EnumSubKeys(key, names); });
    }
    std::int32_t DeleteValue(HKey key, const std::string& name) override {
        return Run([&] { return m_store->DeleteValue(key, name); });
    }
    std::int32_t DeleteTree(std::uint32_t root, const std::string& path) override {
        return Run([&] { return m_store->DeleteTree(root, path); });
    }
    std::int32_t BeginBatch() override {
        return Run([&] { return m_store->BeginBatch(); });
    }
    std::int32_t CommitBatch() override {
        return Run([&] { return m_store->CommitBatch(); });
    }
    void RollbackBatch() override { m_store->RollbackBatch(); }
    std::int32_t BeginRead() override {
        return Run([&] { return m_store->BeginRead(); });
    }
    void EndRead() override { m_store->EndRead(); }
    std::string Location() const override { return m_store->Location(); }
    void SetWaitNotifier(WaitNotifier notifier) override { m_store->SetWaitNotifier(std::move(notifier)); }
    // As a real store's, the words stay those of the last failure until another one.
    std::string LastErrorText() const override {
        return m_faultLast ? "injected fault at call " + std::to_string(m_failAt) : m_store->LastErrorText();
    }

private:
    template <class Call>
    std::int32_t Run(Call call) {
        if (++m_calls == m_failAt) {
            m_faultLast = true;
            return m_status;
        }
        const std::int32_t status = call();
        if (status != Status::Success)
            m_faultLast = false;
        return status;
    }

    std::unique_ptr<KeyStore> m_store;
    int m_failAt;
    std::int32_t m_status;
    int m_calls = 0;
    bool m_faultLast = false;
};

}  // namespace norvane::test
