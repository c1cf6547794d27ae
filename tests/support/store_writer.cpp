// A second process that writes into a store at the same time as another one.
// Usage: settings_store_writer STORE PREFIX COUNT; exits non-zero at the first failure.
#include "Registry.h"
#include "SqliteStore.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    using namespace norvane;
    Registry::UseStore(std::make_unique<SqliteStore>(argv[1]));
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel\\Norvane");
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        std::string name = std::string(argv[2]) + std::to_string(i);
        if (std::int16_t st = Registry::WriteString("", name, std::to_string(i))) {
            std::fprintf(stderr, "%s: status %d: %s\n", name.c_str(), st, Registry::LastErrorText().c_str());
            return 1;
        }
    }
    return 0;
}
