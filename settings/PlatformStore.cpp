#include "KeyStore.h"

#ifdef _WIN32
#include "WindowsStore.h"
#else
#include "SqliteStore.h"
#endif

#include <cstdlib>

namespace norvane {

std::string DefaultStorePath() {
    const char* env = std::getenv("NORVANE_REGISTRY");
    return (env && *env) ? std::string(env) : std::string("/var/lib/norvane/registry.db");
}

std::unique_ptr<KeyStore> MakePlatformStore() {
#ifdef _WIN32
    return std::make_unique<WindowsStore>();
#else
    return std::make_unique<SqliteStore>(DefaultStorePath());
#endif
}

}  // namespace norvane
