// A replacement landscape is built on a paging thread while the render
// thread keeps updating the current one on the same device.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "tests/landscape/LandscapeTestSupport.h"

using namespace landscape_test;

TEST(CLandscapePaging, InitialiseOnAnotherThreadWhileTheCurrentOneDraws)
{
    const auto window = RoughWindow(65, 65, 31);
    Scene s(window, 65, 65);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(32, 200, -20);

    std::mutex landscapeLock; // stands in for the owner's landscape lock
    CLandscape* current = &s.landscape;
    std::unique_ptr<CLandscape> next;
    std::atomic<bool> built{false};
    std::thread paging([&] {
        auto fresh = std::make_unique<CLandscape>();
        fresh->m_device = &s.device;
        fresh->m_originX = 32.0f;
        fresh->SetHeightWindow(65, window.data(), 65);
        EXPECT_EQ(fresh->Initialise(), 0);
        std::lock_guard<std::mutex> lock(landscapeLock);
        fresh->m_minError = current->m_minError;
        fresh->m_maxRenderTime = current->m_maxRenderTime;
        next = std::move(fresh);
        built = true;
    });
    int frames = 0;
    while (!built.load() || frames < 5) {
        s.camera.Advance(1.0f);
        s.camera.Apply();
        std::lock_guard<std::mutex> lock(landscapeLock);
        ASSERT_EQ(current->Update(), 0);
        ++frames;
    }
    paging.join();
    ASSERT_TRUE(next);
    current->Destroy();
    current = next.get();
    for (int i = 0; i < 5; ++i) {
        s.camera.Apply();
        ASSERT_EQ(current->Update(), 0);
    }
    CheckMesh(*current);
    EXPECT_EQ(s.device.LiveObjects(), 1);
}
