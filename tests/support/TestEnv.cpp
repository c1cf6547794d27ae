#include "support/TestEnv.h"

#include "Registry.h"

#include <gtest/gtest.h>

namespace norvane::test {

TestEnv::TestEnv() : m_oldStore(qgetenv("NORVANE_REGISTRY")) {
    if (!m_dir.isValid())
        ADD_FAILURE() << "no temporary directory";
    qputenv("NORVANE_REGISTRY", storePath().toLocal8Bit());
    Registry::UseStore(nullptr);  // the next use opens this test's store
}

TestEnv::~TestEnv() {
    Registry::UseStore(nullptr);
    if (m_oldStore.isNull())
        qunsetenv("NORVANE_REGISTRY");
    else
        qputenv("NORVANE_REGISTRY", m_oldStore);
}

}  // namespace norvane::test
