#pragma once
// The check every test of the transmit path makes of the writes it saw.

#include "support/fake_line.h"

#include <gtest/gtest.h>

namespace velmora::test {

/// Each write is one character, and each came at least `pauseNs` (the 10 ms
/// character pause) after the one before it.
inline void ExpectOneCharacterPerWriteSpaced(const QList<FakeLine::Write>& writes,
                                             qint64 pauseNs = 10'000'000) {
    for (qsizetype i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].bytes.size(), 1) << "write " << i;
        if (i == 0) continue;
        EXPECT_GE(writes[i].atNs - writes[i - 1].atNs, pauseNs) << "write " << i;
    }
}

} // namespace velmora::test
