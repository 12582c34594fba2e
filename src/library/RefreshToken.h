#pragma once

#include <QtGlobal>

#include <compare>

namespace ovra {

// The state of the disk a reload asks for. The window raises it to reload
// every collection and store; a store that loaded for one token compares it
// with the token of a later request, and an answer for an older token never
// replaces one for a newer. A type of its own, so it is never mixed up with
// the generations and counts that live beside it.
class RefreshToken {
public:
    constexpr RefreshToken() = default;
    constexpr explicit RefreshToken(qint64 value)
        : m_value(value)
    {
    }

    // The token a reload after this one asks for.
    constexpr RefreshToken next() const { return RefreshToken(m_value + 1); }
    // The number the stores key their loads by.
    constexpr qint64 value() const { return m_value; }

    friend constexpr auto operator<=>(RefreshToken, RefreshToken) = default;

private:
    qint64 m_value = 0;
};

} // namespace ovra
