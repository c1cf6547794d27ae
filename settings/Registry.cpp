#include "Registry.h"
#include "ValueText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace norvane::Registry {
namespace {

struct State {
    std::uint32_t root = 0;
    std::string basePath;
    std::unique_ptr<KeyStore> store;
    std::int32_t lastStatus = Status::Success;
    std::string lastError;
    FaultReporter reporter = nullptr;
    KeyStore::WaitNotifier waitNotifier;
    // BeginRead failed on a store that exists: its reads are not tried (each would wait
    // for the store again) until EndRead.
    bool unreadable = false;
    std::int32_t unreadableStatus = Status::Success;
    std::string unreadableText;
};

State& S() {
    static State state;
    return state;
}

// Closes the key on every path out of an operation.
class OpenedKey {
public:
    explicit OpenedKey(KeyStore& store) : m_store(store) {}
    ~OpenedKey() {
        if (m_key)
            m_store.CloseKey(m_key);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    HKey& handle() { return m_key; }
    HKey get() const { return m_key; }

private:
    KeyStore& m_store;
    HKey m_key = 0;
};

std::int32_t Note(std::int32_t status) {
    S().lastStatus = status;
    S().lastError = status ? Store().LastErrorText() : std::string();
    return status;
}

void ReportFault(const std::string& description) {
    if (S().reporter)
        S().reporter(description);
    else
        std::fprintf(stderr, "%s\n", description.c_str());
}

}  // namespace

KeyStore& Store() {
    if (!S().store) {
        S().store = MakePlatformStore();
        S().store->SetWaitNotifier(S().waitNotifier);
    }
    return *S().store;
}

void UseStore(std::unique_ptr<KeyStore> store) {
    S().unreadable = false;
    S().store = std::move(store);
    if (S().store)
        S().store->SetWaitNotifier(S().waitNotifier);
}

void SetWaitNotifier(KeyStore::WaitNotifier notifier) {
    S().waitNotifier = std::move(notifier);
    if (S().store)
        S().store->SetWaitNotifier(S().waitNotifier);
}

void SetFaultReporter(FaultReporter reporter) { S().reporter = reporter; }

void SetBaseKey(std::uint32_t root, const std::string& basePath) {
    S().root = root;
    S().basePath = basePath;
}

std::uint32_t CurrentRoot() { return S().root; }
const std::string& CurrentBasePath() { return S().basePath; }

std::string KeyPath(const std::string& subKey) { return subKey.empty() ? S().basePath : S().basePath + "\\" + subKey; }

std::int32_t QueryValue(HKey key, const std::string& name, Value& value) {
    value = Value{};
    KeyStore& store = Store();
    std::uint32_t type = RegType::None;
    std::uint32_t size = 0;
    std::int32_t status = store.QueryValue(key, name, &type, nullptr, &size);
    if (status != Status::Success)
        return status;

    switch (type) {
    case RegType::Sz:
    case RegType::MultiSz: {
        std::vector<unsigned char> buffer;
        try {
            buffer.assign(size, 0);
        } catch (const std::bad_alloc&) {
            ReportFault("Out of memory");
            return Status::Unsupported;
        }
        status = store.QueryValue(key, name, &type, buffer.data(), &size);
        if (status == Status::Success)
            value.text.assign(reinterpret_cast<const char*>(buffer.data()), std::min<std::size_t>(size, buffer.size()));
        value.type = type;
        return status;
    }
    case RegType::Dword: {
        unsigned char bytes[4] = {0, 0, 0, 0};
        std::uint32_t four = sizeof bytes;
        status = store.QueryValue(key, name, &type, bytes, &four);
        if (status == Status::Success) {
            value.type = type;
            value.number = static_cast<std::int32_t>(DwordValue({reinterpret_cast<const char*>(bytes), 4}));
        }
        return status;
    }
    default: return Status::Unsupported;
    }
}

std::string ReadString(const std::string& subKey, const std::string& name) {
    if (S().unreadable) {
        S().lastStatus = S().unreadableStatus;
        S().lastError = S().unreadableText;
        return {};
    }
    KeyStore& store = Store();
    OpenedKey key(store);
    // Reading asks only for read access, so an account that may read but not change the
    // settings still sees them.
    if (Note(store.OpenKey(S().root, KeyPath(subKey), Access::QueryValue, key.handle())) != Status::Success)
        return {};
    Value value;
    if (Note(QueryValue(key.get(), name, value)) != Status::Success)
        return {};
    std::string text = value.type == RegType::Dword ? std::to_string(value.number) : value.text;
    if (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

void CreateKey(std::uint32_t root, const std::string& path) {
    KeyStore& store = Store();
    OpenedKey key(store);
    Note(store.CreateKey(root, path, Access::AllAccess, key.handle()));
}

std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type, const Value& value) {
    KeyStore& store = Store();
    switch (type) {
    case RegType::Sz: {
        std::string data = value.text;
        data.push_back('\0');
        return store.SetValue(key, name, type, reinterpret_cast<const unsigned char*>(data.data()),
                              static_cast<std::uint32_t>(data.size()));
    }
    case RegType::Dword: {
        const std::string bytes = DwordBytes(static_cast<std::uint32_t>(value.number));
        return store.SetValue(key, name, type, reinterpret_cast<const unsigned char*>(bytes.data()), 4);
    }
    default: return Status::Success;
    }
}

std::int16_t WriteString(const std::string& subKey, const std::string& name, const std::string& value) {
    KeyStore& store = Store();
    const std::string path = KeyPath(subKey);
    OpenedKey key(store);
    std::int32_t status = Note(store.OpenKey(S().root, path, Access::AllAccess, key.handle()));
    if (status == Status::FileNotFound) {
        CreateKey(S().root, path);
        status = Note(store.OpenKey(S().root, path, Access::AllAccess, key.handle()));
    }
    if (status != Status::Success)
        return static_cast<std::int16_t>(status);
    Value v;
    v.text = value;
    status = Note(SetValue(key.get(), name, RegType::Sz, v));
    return static_cast<std::int16_t>(status);
}

std::int32_t BeginBatch() { return Note(Store().BeginBatch()); }
std::int32_t CommitBatch() { return Note(Store().CommitBatch()); }
void RollbackBatch() { Store().RollbackBatch(); }

std::int32_t BeginRead() {
    const std::int32_t status = Note(Store().BeginRead());
    S().unreadable = status != Status::Success && status != Status::FileNotFound;
    S().unreadableStatus = status;
    S().unreadableText = S().lastError;
    return status;
}

void EndRead() {
    S().unreadable = false;
    Store().EndRead();
}

std::string StoreLocation() { return Store().Location(); }

std::int32_t LastStatus() { return S().lastStatus; }
std::string LastErrorText() { return S().lastError; }

}  // namespace norvane::Registry
