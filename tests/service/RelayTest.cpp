// The relay under pressure, in process: one side reads slowly while the other
// floods. Nothing is lost, and the other direction keeps moving.
#include <atomic>
#include <vector>

#include "SessionFixture.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t bytes, unsigned seed) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i) data[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 9));
    return data;
}

// The bytes as the driver writes them, in pieces of the largest pipe payload; false once a write fails.
bool SendInPieces(portdrv::PortDriverClient& client, const std::vector<std::uint8_t>& data) {
    constexpr std::size_t piece = portpipe::kPipePayloadMax;
    for (std::size_t at = 0; at < data.size(); at += piece)
        if (!client.SendData(data.data() + at, std::min(piece, data.size() - at))) return false;
    return true;
}

}  // namespace

class RelayTest : public SessionFixture {
protected:
    // The server's side: what it received, and when it has all it expects.
    struct Device {
        std::mutex lock;
        std::vector<std::uint8_t> received;
        std::atomic<bool> done{false};
    };

    void Configure(FakeServer& server) {
        AddPort(L"Relay", L"COM3", 1);
        AddEntry(L"Relay", 0, AddServer(L"Server", server.Address()), L"modem");
        SetGlobal(reg::kSilent, 1);
    }
};

// The device reads slowly while the driver floods it; meanwhile the device's
// own data reaches the driver at once.
TEST_F(RelayTest, SlowDeviceHoldsBackTheDriverButNotItsOwnData) {
    const auto flood = Pattern(1 << 20, 1);
    const auto reply = Pattern(256 << 10, 2);
    Device device;
    FakeServer server([&](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.AcceptLogin()) return;
        c.SendData(reply, 1000);
        while (!device.done && c.Read(m)) {
            if (m.type != wire::kData) continue;
            std::lock_guard<std::mutex> hold(device.lock);
            device.received.insert(device.received.end(), m.data.begin(), m.data.end());
            if (device.received.size() % (16 << 10) < m.data.size()) Sleep(20);  // about 0.8 MB/s
            device.done = device.received.size() >= flood.size();
        }
    });
    Configure(server);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Relay"));
    ExpectOpened(client);
    std::thread writer([&] { SendInPieces(client, flood); });
    std::vector<std::uint8_t> got;
    while (got.size() < reply.size()) {
        const auto m = Next(client);
        if (m.type == 0) break;
        if (m.type == portpipe::PipeData) got.insert(got.end(), m.payload.begin(), m.payload.end());
    }
    EXPECT_FALSE(device.done) << "the device's data waited for the driver's flood";
    writer.join();
    for (int i = 0; i < 3000 && !device.done; ++i) Sleep(10);
    EXPECT_TRUE(got == reply);
    std::lock_guard<std::mutex> hold(device.lock);
    EXPECT_TRUE(device.received == flood) << device.received.size() << " of " << flood.size();
}

// The driver reads slowly while the device floods it; meanwhile the driver's
// own data reaches the device at once.
TEST_F(RelayTest, SlowDriverHoldsBackTheDeviceButNotItsOwnData) {
    const auto flood = Pattern(1 << 20, 3);
    const auto sent = Pattern(256 << 10, 4);
    Device device;
    FakeServer server([&](FakeConnection& c, int) {
        if (!c.AcceptLogin()) return;
        std::thread reader([&] {
            rasim::ClientMessage in;
            while (!device.done && c.Read(in)) {
                if (in.type != wire::kData) continue;
                std::lock_guard<std::mutex> hold(device.lock);
                device.received.insert(device.received.end(), in.data.begin(), in.data.end());
                device.done = device.received.size() >= sent.size();
            }
        });
        c.SendData(flood, 2000);
        reader.join();
    });
    Configure(server);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Relay"));
    ExpectOpened(client);
    ASSERT_TRUE(SendInPieces(client, sent));
    for (int i = 0; i < 3000 && !device.done; ++i) Sleep(10);
    EXPECT_TRUE(device.done) << "the driver's data waited for its own reading";
    std::vector<std::uint8_t> got;
    while (got.size() < flood.size()) {
        const auto m = Next(client);
        if (m.type == 0) break;
        if (m.type == portpipe::PipeData) got.insert(got.end(), m.payload.begin(), m.payload.end());
        if (got.size() % (32 << 10) < m.payload.size()) Sleep(20);  // about 1.5 MB/s
    }
    EXPECT_TRUE(got == flood) << got.size() << " of " << flood.size();
    std::lock_guard<std::mutex> hold(device.lock);
    EXPECT_TRUE(device.received == sent);
}

// A driver that writes and closes at once: its last data still reaches the
// device, and the device's last data before it hangs up reaches the driver.
TEST_F(RelayTest, LastDataBeforeEitherSideClosesIsDelivered) {
    const auto fromDriver = Pattern(64 << 10, 5);
    const auto fromDevice = Pattern(64 << 10, 6);
    Device device;
    FakeServer server([&](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.ReadType(wire::kLogin, m)) return;
        rasim::Bytes out;
        rasim::AppendLoginAccepted(out, 0x0300, "", false);
        for (std::size_t at = 0; at < fromDevice.size(); at += 2000)
            rasim::AppendData(out, fromDevice.data() + at, std::min<std::size_t>(2000, fromDevice.size() - at));
        c.Send(out);  // then the device hangs up once it has the driver's data
        while (!device.done && c.Read(m)) {
            if (m.type != wire::kData) continue;
            std::lock_guard<std::mutex> hold(device.lock);
            device.received.insert(device.received.end(), m.data.begin(), m.data.end());
            device.done = device.received.size() >= fromDriver.size();
        }
    });
    Configure(server);
    portdrv::PortDriverClient client;
    ASSERT_TRUE(Open(client, L"Relay"));
    ExpectOpened(client);
    std::vector<std::uint8_t> got;
    std::thread reader([&] {
        for (auto m = Next(client); m.type != 0; m = Next(client))
            if (m.type == portpipe::PipeData) got.insert(got.end(), m.payload.begin(), m.payload.end());
    });
    ASSERT_TRUE(SendInPieces(client, fromDriver));
    reader.join();  // the pipe closes after the device hung up
    EXPECT_TRUE(got == fromDevice) << got.size() << " of " << fromDevice.size();
    std::lock_guard<std::mutex> hold(device.lock);
    EXPECT_TRUE(device.received == fromDriver) << device.received.size() << " of " << fromDriver.size();
}

TEST_F(RelayTest, DriverDataWrittenJustBeforeItClosesReachesTheDevice) {
    const auto data = Pattern(16 << 10, 8);
    Device device;
    FakeServer server([&](FakeConnection& c, int) {
        rasim::ClientMessage m;
        if (!c.AcceptLogin()) return;
        while (c.Read(m)) {  // until the service closes the connection
            if (m.type != wire::kData) continue;
            std::lock_guard<std::mutex> hold(device.lock);
            device.received.insert(device.received.end(), m.data.begin(), m.data.end());
        }
        device.done = true;
    });
    Configure(server);
    {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(Open(client, L"Relay"));
        ExpectOpened(client);
        ASSERT_TRUE(SendInPieces(client, data));
    }
    for (int i = 0; i < 2000 && !device.done; ++i) Sleep(10);
    std::lock_guard<std::mutex> hold(device.lock);
    EXPECT_TRUE(device.received == data) << device.received.size() << " of " << data.size();
}
