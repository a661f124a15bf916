#include "platform/InstanceLock.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

TEST(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstReleases)
{
    TestEnvironment env;
    const QString path = env.lockFile();
    auto first = std::make_unique<InstanceLock>();
    ASSERT_TRUE(first->tryAcquire(path));
    InstanceLock second;
    EXPECT_FALSE(second.tryAcquire(path));
    first.reset();
    EXPECT_TRUE(second.tryAcquire(path));
}

TEST(InstanceLockTest, DefaultPathLivesInTheRuntimeFolder)
{
    TestEnvironment env;
    EXPECT_EQ(InstanceLock::defaultPath(), env.lockFile());
    env.setVariable("XDG_RUNTIME_DIR", QString());
    EXPECT_TRUE(InstanceLock::defaultPath().startsWith(QStringLiteral("/tmp/parlune-")));
}

TEST(InstanceLockTest, UnopenableLockFileIsRefused)
{
    InstanceLock lock;
    EXPECT_FALSE(lock.tryAcquire(QStringLiteral("/nonexistent-folder/parlune.lock")));
}

} // namespace
