#pragma once
// The server side of a port session as the relay and the connection logic see
// it: connect, queue a message, have each received message delivered, close.
// The wire protocol is one implementation (WireServerLink); another server
// protocol can sit beside it without touching the session.
#include <winsock2.h>

#include <cstddef>
#include <cstdint>

#include "SerialSettings.h"
#include "WireCodec.h"

namespace svc {

// A received message in the form the session acts on.
using ServerMessage = wire::ServerMessage;

// How a link reports to its session. All calls come on the session's thread,
// from the link's Poll or from its other calls.
class ServerEvents {
public:
    // Asked before each message is delivered; false holds that message, and
    // every read behind it, until the link's Resume.
    virtual bool CanTakeServerMessage() = 0;
    virtual void OnServerMessage(const ServerMessage& message) = 0;
    // Queued messages have gone out: there is room again.
    virtual void OnServerRoom() = 0;
    // The server closed the connection (error 0) or its I/O failed; the
    // link is closed.
    virtual void OnServerLost(unsigned long error) = 0;

protected:
    ~ServerEvents() = default;
};

class ServerLink {
public:
    virtual ~ServerLink() = default;

    // A blocking connect to a stored server address; closes any earlier
    // connection first. False when the server cannot be reached.
    virtual bool Connect(const BYTE* address, int length) = 0;
    virtual bool Connected() const = 0;
    // The connection's socket, for the host route to its server.
    virtual SOCKET Socket() const = 0;

    // Each queues one message behind the ones before it and starts sending;
    // false, with nothing queued, when not connected or out of room.
    virtual bool QueueData(const std::uint8_t* data, std::size_t length) = 0;
    virtual bool QueueLogin(const char16_t* user, const std::uint16_t* scrambledOrNull, const char16_t* port) = 0;
    virtual bool QueueSettings(const SerialSettings& settings) = 0;
    virtual bool QueueKeepAlive() = 0;
    virtual bool QueueChangePassword(const std::uint16_t* oldScrambled, const std::uint16_t* newScrambled) = 0;
    // Room for one more message of the largest size the driver's data makes.
    virtual bool HasRoomForData() const = 0;
    // While a batch is open, queued messages wait; ending it sends them all
    // together, so a run of the driver's messages leaves in one send.
    virtual void BeginBatch() = 0;
    virtual void EndBatch() = 0;
    // Nothing queued is still to go out.
    virtual bool Idle() const = 0;

    // Delivers messages held back for want of room, then reads on.
    virtual void Resume() = 0;
    // Drops the connection and whatever was queued for it.
    virtual void Close() = 0;
    // I/O started on the link is still to complete.
    virtual bool Busy() const = 0;
    // Adds the events of pending I/O to events[count..]; the session waits on
    // them and then calls Poll, which finishes what has completed.
    virtual void AddWaits(HANDLE* events, DWORD& count) const = 0;
    virtual void Poll() = 0;
};

}  // namespace svc
