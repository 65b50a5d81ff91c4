// Brevon.WMA used by a program that is not ours: loaded by full path from another folder, with no
// profiles of the program's own.
#include <gtest/gtest.h>

#include "BrevonWMA.h"
#include "platform/library.h"
#include "platform/resources.h"
#include "testsupport/testsupport.h"

TEST(ForeignProgram, ConfiguresEveryProfileAndWritesWithoutCarryingThem)
{
    ASSERT_FALSE(platform::findResource(platform::programModule(), "a128", "PRX"));
    platform::Library wma;
    ASSERT_TRUE(wma.loadPath(BREVON_WMA_PATH)) << wma.error();
    auto create = wma.function<decltype(&WMAWriterCreate)>("WMAWriterCreate");
    auto configure = wma.function<decltype(&WMAWriterConfigure)>("WMAWriterConfigure");
    auto start = wma.function<decltype(&WMAWriterStart)>("WMAWriterStart");
    auto write = wma.function<decltype(&WMAWriterWriteSample)>("WMAWriterWriteSample");
    auto stop = wma.function<decltype(&WMAWriterStop)>("WMAWriterStop");
    auto destroy = wma.function<decltype(&WMAWriterDelete)>("WMAWriterDelete");
    ASSERT_TRUE(create && configure && start && write && stop && destroy);

    // The media runtime is found beside the library, not beside this program.
    ASSERT_EQ(create(), 0);
    for (int32_t index = 0; index < 29; ++index) {
        WAVEFORMATEX format{};
        EXPECT_EQ(configure(index, &format), 0) << index;
        EXPECT_EQ(format.wBitsPerSample, 16) << index;
    }
    WAVEFORMATEX format{};
    ASSERT_EQ(configure(5, &format), 0);
    testsupport::TempDir dir;
    auto samples = testsupport::sine16(440, 44100, 2, 1.0);
    ASSERT_EQ(start((dir / "take.wma").string().c_str()), 0);
    EXPECT_EQ(write(10000000, reinterpret_cast<const uint8_t*>(samples.data()),
                    static_cast<uint32_t>(samples.size() * 2)),
              0);
    EXPECT_EQ(stop(), 0);
    destroy();
    EXPECT_GT(testsupport::readFile(dir / "take.wma").size(), 10000u);
}
