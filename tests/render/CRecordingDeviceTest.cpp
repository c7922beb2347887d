#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/CRecordingDevice.h"
#include "tests/support/CRecordingVertexBuffer.h"

TEST(CRecordingDevice, KeepsTransformsAndViewport)
{
    CRecordingDevice device(640, 480);
    D3DXMATRIX m(0.0f);
    ASSERT_EQ(device.GetTransform(D3DTS_VIEW, &m), 0);
    EXPECT_EQ(m, D3DXMATRIX(1.0f));
    const D3DXMATRIX view = D3DXMatrixLookAtLH({1, 2, 3}, {4, 5, 6}, {0, 1, 0});
    device.SetRecording(false);
    device.ClearCalls();
    device.SetTransform(D3DTS_VIEW, view);
    ASSERT_EQ(device.GetTransform(D3DTS_VIEW, &m), 0);
    EXPECT_EQ(m, view);
    EXPECT_TRUE(device.Calls().empty());
    D3DVIEWPORT9 vp;
    ASSERT_EQ(device.GetViewport(&vp), 0);
    EXPECT_EQ(vp.Width, 640u);
    EXPECT_EQ(vp.Height, 480u);
    EXPECT_FLOAT_EQ(vp.MaxZ, 1.0f);
}

TEST(CRecordingDevice, InjectedFailuresCreateNothing)
{
    CRecordingDevice device(64, 64);
    device.SetFailures(DeviceOp::CreateVertexBuffer, 2);
    IVertexBuffer* vb = reinterpret_cast<IVertexBuffer*>(1);
    EXPECT_EQ(device.CreateVertexBuffer(96, 0, FVF_LANDSCAPE, D3DPOOL_SYSTEMMEM, &vb), -1);
    EXPECT_EQ(vb, nullptr);
    EXPECT_EQ(device.CreateVertexBuffer(96, 0, FVF_LANDSCAPE, D3DPOOL_SYSTEMMEM, &vb), -1);
    ASSERT_EQ(device.CreateVertexBuffer(96, 0, FVF_LANDSCAPE, D3DPOOL_SYSTEMMEM, &vb), 0);
    EXPECT_EQ(device.LiveObjects(), 1);

    device.SetFailures(DeviceOp::VertexBufferLock, -1);
    void* data = reinterpret_cast<void*>(1);
    EXPECT_EQ(vb->Lock(&data), -1);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(vb->Lock(&data), -1);
    device.SetFailures(DeviceOp::VertexBufferLock, 0);
    ASSERT_EQ(vb->Lock(&data), 0);
    std::memset(data, 0xAB, 96);
    vb->Unlock();
    EXPECT_EQ(static_cast<CRecordingVertexBuffer*>(vb)->Data()[95], std::byte{0xAB});

    device.SetStreamSource(0, vb, 0, 32);
    vb->Release();
    EXPECT_EQ(device.LiveObjects(), 0);
    EXPECT_EQ(device.BoundStream(), nullptr);
    EXPECT_EQ(device.CountOf(DeviceOp::CreateVertexBuffer), 3);
    EXPECT_EQ(device.CountOf(DeviceOp::VertexBufferLock), 3);
}

TEST(CRecordingDevice, TexturesLockLevelZeroOnly)
{
    CRecordingDevice device(64, 64);
    ITexture* texture = nullptr;
    ASSERT_EQ(device.CreateTexture(16, 8, 0, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                   &texture),
              0);
    D3DLOCKED_RECT rect;
    EXPECT_EQ(texture->LockRect(1, &rect, 0), -1);
    ASSERT_EQ(texture->LockRect(0, &rect, D3DLOCK_DISCARD), 0);
    EXPECT_EQ(rect.Pitch, 64);
    static_cast<std::uint32_t*>(rect.pBits)[16 * 8 - 1] = 0xFF00FF00u;
    texture->UnlockRect(0);
    device.SetTexture(0, texture);
    EXPECT_EQ(device.BoundTexture(), texture);
    texture->Release();
    EXPECT_EQ(device.BoundTexture(), nullptr);
    EXPECT_EQ(device.CreateTexture(0, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), -1);
}

TEST(CRecordingDevice, CallsFromSeveralThreadsAreAllRecorded)
{
    CRecordingDevice device(64, 64);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&device] {
            for (int i = 0; i < 500; ++i) {
                device.SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
                IVertexBuffer* vb = nullptr;
                if (device.CreateVertexBuffer(64, 0, FVF_AXIS, D3DPOOL_SYSTEMMEM, &vb) == 0) {
                    void* data = nullptr;
                    vb->Lock(&data);
                    vb->Unlock();
                    vb->Release();
                }
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(device.CountOf(DeviceOp::SetRenderState), 2000);
    EXPECT_EQ(device.CountOf(DeviceOp::VertexBufferRelease), 2000);
    EXPECT_EQ(device.LiveObjects(), 0);
}
