#pragma once
// A fixed ring of pieces for one direction of a session: each slot holds one
// message of at most SlotSize bytes. Writers fill the slot at the back and
// push it; the sender takes pieces from the front and pops them once sent.
// No allocation: the slots are part of the object. Plain C++.
#include <array>
#include <cstddef>
#include <cstdint>

namespace svc {

template <std::size_t Slots, std::size_t SlotSize>
class PieceRing {
public:
    static constexpr std::size_t kSlots = Slots;
    static constexpr std::size_t kSlotSize = SlotSize;

    std::size_t Count() const { return m_count; }
    std::size_t Free() const { return Slots - m_count; }
    bool Empty() const { return m_count == 0; }

    // The slot to fill next; valid only while Free() > 0.
    std::uint8_t* Back() { return m_data[(m_head + m_count) % Slots].data(); }
    // Makes the filled back slot a piece of length bytes (1..SlotSize).
    bool Push(std::size_t length) {
        if (m_count == Slots || length == 0 || length > SlotSize) return false;
        m_length[(m_head + m_count) % Slots] = length;
        ++m_count;
        return true;
    }
    // Copies one piece in; false when full or it does not fit a slot.
    bool Push(const std::uint8_t* data, std::size_t length) {
        if (m_count == Slots || length == 0 || length > SlotSize) return false;
        std::uint8_t* slot = Back();
        for (std::size_t i = 0; i < length; ++i) slot[i] = data[i];
        return Push(length);
    }

    // Piece i counted from the front (0 = oldest).
    const std::uint8_t* Piece(std::size_t i) const { return m_data[(m_head + i) % Slots].data(); }
    std::size_t PieceLength(std::size_t i) const { return m_length[(m_head + i) % Slots]; }

    // Drops the n oldest pieces.
    void Pop(std::size_t n = 1) {
        if (n > m_count) n = m_count;
        m_head = (m_head + n) % Slots;
        m_count -= n;
    }
    void Clear() {
        m_head = 0;
        m_count = 0;
    }

private:
    std::array<std::array<std::uint8_t, SlotSize>, Slots> m_data{};
    std::array<std::size_t, Slots> m_length{};
    std::size_t m_head = 0;
    std::size_t m_count = 0;
};

}  // namespace svc
