#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace fw {

// Keeps recorded positions of list items usable across removals without
// renewing every position behind each one. The caller records positions
// where it likes (on the item, in a map); a removal leaves those behind it
// too high by one, so Find walks down from the recorded position by at most
// the removals since the last renewal, and Removed renews the positions
// from the lowest removal on once `maxStale` have gathered. The caller
// calls Renew after filling or reordering the list by other means.
class PositionCache {
public:
    explicit PositionCache(std::size_t maxStale)
        : m_maxStale(maxStale)
    {
    }

    // The position of the item in a list of `size` items, given its
    // recorded position; `isAt(i)` says whether the item sits at i. -1 when
    // it is not found within the stale range.
    template <typename IsAt>
    std::ptrdiff_t Find(std::size_t size, std::size_t recorded, IsAt isAt) const
    {
        if (size == 0)
            return -1;
        const std::size_t top = std::min(recorded, size - 1);
        // Positions before the lowest removal are exact.
        const std::size_t bottom = recorded >= m_staleFrom ? recorded - std::min(recorded, m_removed) : recorded;
        for (std::size_t i = top + 1; i-- > bottom;) {
            if (isAt(i))
                return static_cast<std::ptrdiff_t>(i);
        }
        return -1;
    }

    // Notes that the item at `position` left a list now `size` items long;
    // `record(i)` records the position i for the item now at i.
    template <typename Record>
    void Removed(std::size_t position, std::size_t size, Record record)
    {
        if (position >= size)
            return;
        m_staleFrom = std::min(m_staleFrom, position);
        if (++m_removed >= m_maxStale)
            Renew(m_staleFrom, size, record);
    }

    // Records the positions from `first` on; every position is exact again.
    template <typename Record>
    void Renew(std::size_t first, std::size_t size, Record record)
    {
        for (std::size_t i = first; i < size; ++i)
            record(i);
        m_staleFrom = SIZE_MAX;
        m_removed = 0;
    }

private:
    std::size_t m_maxStale;
    std::size_t m_staleFrom = SIZE_MAX;
    std::size_t m_removed = 0;
};

} // namespace fw
