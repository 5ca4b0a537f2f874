#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ReceiveFramer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using wire::DrainStatus;

// What a handler saw of one message, copied while the data were valid.
struct Seen {
    int type;
    Bytes data;
    int expired;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << "{type " << s.type << ", " << s.data.size() << " data bytes, expired " << s.expired << "}";
}

Bytes DataMessage(const Bytes& data) {
    Bytes m(3 + data.size());
    m[1] = static_cast<std::uint8_t>(data.size() >> 8);
    m[2] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), m.begin() + 3);
    return m;
}

Bytes Pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return b;
}

const Bytes kKeepAlive = {0x07, 0x00};
const Bytes kModemStatus = {0x05, 0x04, 0, 0, 0};
const Bytes kAccepted0200 = {0x03, 0x02, 0x00, 0x02, 'o', 'k'};
const Bytes kAccepted0300 = {0x03, 0x03, 0x00, 0x02, 'o', 'k'};

// The session side of the framer: every read lands in the writable tail, and
// each drain records what the handler was given.
class FramerTest : public ::testing::Test {
protected:
    DrainStatus Receive(const Bytes& bytes) {
        const wire::ReceiveSpace tail = framer_.WritableTail();
        EXPECT_LE(bytes.size(), tail.size);
        std::memcpy(tail.data, bytes.data(), bytes.size());
        EXPECT_TRUE(framer_.Commit(bytes.size()));
        return framer_.Drain([this](const wire::ServerMessage& m) {
            const int expired = m.type == wire::kLoginAccepted ? m.expired : 0;
            seen_.push_back({m.type, Bytes(m.data, m.data + m.dataLength), expired});
        });
    }

    wire::ReceiveFramer framer_;
    std::vector<Seen> seen_;
};

TEST_F(FramerTest, DataHeaderSplitAfterOneByteIsParsedOnceWhole) {
    EXPECT_EQ(DrainStatus::Drained, Receive({0x00}));
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(1u, framer_.Unparsed());
    EXPECT_EQ(DrainStatus::Drained, Receive({0x00, 0x03, 'a', 'b', 'c'}));
    EXPECT_EQ(std::vector<Seen>({{0, {'a', 'b', 'c'}, 0}}), seen_);
    EXPECT_EQ(0u, framer_.Unparsed());
}

TEST_F(FramerTest, ThreeMessagesInOneReadAreHandledInOrder) {
    Bytes read = kKeepAlive;
    read.insert(read.end(), kModemStatus.begin(), kModemStatus.end());
    const Bytes data = DataMessage({'x', 'y'});
    read.insert(read.end(), data.begin(), data.end());
    EXPECT_EQ(DrainStatus::Drained, Receive(read));
    EXPECT_EQ(std::vector<Seen>({{7, {}, 0}, {5, {}, 0}, {0, {'x', 'y'}, 0}}), seen_);
}

TEST_F(FramerTest, OldVersionAcceptanceIsFollowedByData) {
    Bytes read = kAccepted0200;
    const Bytes data = DataMessage({0x01, 0x02});
    read.insert(read.end(), data.begin(), data.end());
    Receive(read);
    EXPECT_EQ(std::vector<Seen>({{3, {}, 0}, {0, {0x01, 0x02}, 0}}), seen_);
}

TEST_F(FramerTest, NewVersionAcceptanceCarriesItsFlag) {
    Bytes read = kAccepted0300;
    read.push_back(0x01);
    const Bytes data = DataMessage({0x09});
    read.insert(read.end(), data.begin(), data.end());
    Receive(read);
    EXPECT_EQ(std::vector<Seen>({{3, {}, 1}, {0, {0x09}, 0}}), seen_);
}

TEST_F(FramerTest, FlagArrivingInTheNextReadIsNotTakenForAMessage) {
    Receive(kAccepted0300);
    EXPECT_TRUE(seen_.empty());
    Bytes read = {0x00};  // the flag: "not expired", which is also the data type
    const Bytes data = DataMessage({'z'});
    read.insert(read.end(), data.begin(), data.end());
    Receive(read);
    EXPECT_EQ(std::vector<Seen>({{3, {}, 0}, {0, {'z'}, 0}}), seen_);
}

TEST_F(FramerTest, KeepAliveWaitsForItsSecondByte) {
    Receive({0x07});
    EXPECT_TRUE(seen_.empty());
    Receive({0x00});
    EXPECT_EQ(std::vector<Seen>({{7, {}, 0}}), seen_);
}

TEST_F(FramerTest, UnknownTypeDiscardsTheRestAndTheStreamGoesOn) {
    Bytes read = kKeepAlive;
    read.push_back(0x08);
    const Bytes data = DataMessage({'a', 'b'});
    read.insert(read.end(), data.begin(), data.end());
    EXPECT_EQ(DrainStatus::Discarded, Receive(read));
    EXPECT_EQ(std::vector<Seen>({{7, {}, 0}}), seen_);
    EXPECT_EQ(0u, framer_.Unparsed());
    EXPECT_EQ(DrainStatus::Drained, Receive(data));
    EXPECT_EQ(2u, seen_.size());
}

TEST_F(FramerTest, LargestDataFillsTheBufferExactly) {
    const Bytes payload = Pattern(wire::kMaxReceivableData);
    const Bytes message = DataMessage(payload);
    // A keep-alive first, so the data start mid-buffer and must be moved.
    Bytes first = kKeepAlive;
    first.insert(first.end(), message.begin(), message.begin() + 1000);
    EXPECT_EQ(DrainStatus::Drained, Receive(first));
    EXPECT_EQ(DrainStatus::Drained, Receive(Bytes(message.begin() + 1000, message.end())));
    ASSERT_EQ(2u, seen_.size());
    EXPECT_EQ(payload, seen_[1].data);
    EXPECT_EQ(0u, framer_.Unparsed());
}

TEST_F(FramerTest, OneReadTakesSeveralLargestMessages) {
    Bytes read;
    for (int i = 0; i < 3; ++i) {
        const Bytes message = DataMessage(Pattern(wire::kMaxReceivableData));
        read.insert(read.end(), message.begin(), message.end());
    }
    ASSERT_LE(read.size(), framer_.WritableTail().size);
    EXPECT_EQ(DrainStatus::Drained, Receive(read));
    EXPECT_EQ(3u, seen_.size());
    EXPECT_EQ(0u, framer_.Unparsed());
}

TEST_F(FramerTest, DataLargerThanTheBufferIsReportedAtItsHeader) {
    const Bytes message = DataMessage(Pattern(wire::kMaxReceivableData + 1));
    EXPECT_EQ(DrainStatus::Overflow, Receive(Bytes(message.begin(), message.begin() + 10)));
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(0u, framer_.Unparsed());
}

TEST_F(FramerTest, HostileTextCountWaitsWithoutOverflow) {
    EXPECT_EQ(DrainStatus::Drained, Receive({0x02, 0x01, 0xFF, 'a'}));
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(4u, framer_.Unparsed());
}

TEST_F(FramerTest, HandlerCanStopAndTheRestWaitsForTheNextDrain) {
    Bytes read = kKeepAlive;
    read.insert(read.end(), kModemStatus.begin(), kModemStatus.end());
    read.insert(read.end(), kKeepAlive.begin(), kKeepAlive.end());
    const wire::ReceiveSpace tail = framer_.WritableTail();
    std::memcpy(tail.data, read.data(), read.size());
    ASSERT_TRUE(framer_.Commit(read.size()));

    int handled = 0;
    EXPECT_EQ(DrainStatus::Stopped, framer_.Drain([&](const wire::ServerMessage&) {
        ++handled;
        return false;
    }));
    EXPECT_EQ(1, handled);
    EXPECT_EQ(7u, framer_.Unparsed());

    std::vector<int> types;
    EXPECT_EQ(DrainStatus::Drained, framer_.Drain([&](const wire::ServerMessage& m) {
        types.push_back(m.type);
        return true;
    }));
    EXPECT_EQ(std::vector<int>({5, 7}), types);
}

TEST_F(FramerTest, TailFollowsTheKeptRestAndIsZeroed) {
    Receive({0x02, 0x01, 0x03, 'a'});
    const wire::ReceiveSpace tail = framer_.WritableTail();
    EXPECT_EQ(wire::kReceiveBufferSize - 4, tail.size);
    EXPECT_EQ(Bytes(tail.size, 0), Bytes(tail.data, tail.data + tail.size));
    EXPECT_FALSE(framer_.Commit(tail.size + 1));
    EXPECT_EQ(4u, framer_.Unparsed());
}

TEST_F(FramerTest, ResetForgetsTheOldConnection) {
    Receive({0x00, 0x00, 0x05, 'o', 'l'});
    framer_.Reset();
    Receive(kKeepAlive);
    EXPECT_EQ(std::vector<Seen>({{7, {}, 0}}), seen_);
}

}  // namespace
