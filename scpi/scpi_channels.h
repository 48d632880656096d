#pragma once
// Channel lists, SCPI's "(@1,3:5)": the bench's units a command is for,
// numbered as the units are.

#include "scpi/scpi_errors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <variant>

namespace velmora::scpi {

/// The most units a bench holds: channels are numbered 1 to kMaxChannel.
inline constexpr int kMaxChannel = 8;

/// The channels a list names, in the order written, each range expanded
/// upward: "(@3,1:2)" is 3, 1, 2. Never empty, never a channel twice, each
/// 1 to kMaxChannel; whether those units exist is for the executor to check.
struct ChannelList {
    QList<int> channels;

    bool operator==(const ChannelList&) const = default;
};

/// Reads a channel list from its expression as written, parentheses
/// included. White space may stand between the parts. The refusals, with
/// the SCPI-99 codes a lab instrument gives:
/// - -171 Invalid expression: the form is wrong: no "(@", no closing
///   parenthesis, an empty list or item ("(@)", "(@1,,2)"), a range
///   without an end ("(@1:)", "(@:2)", "(@1:2:3)"), anything but a number
///   where a channel stands ("(@A)", "(@1V)").
/// - -222 Data out of range: a channel outside 1 to 8 ("(@0)", "(@9)",
///   "(@-1)", "(@1e9)").
/// - -224 Illegal parameter value: a channel that is no whole number
///   ("(@1.5)"), a range that runs downward ("(@8:1)"), a channel named
///   twice ("(@1,1,1)", "(@1:3,2)").
/// - -223 Too much data: more than 8 channels ("(@1:8,1)").
std::variant<ChannelList, Error> ReadChannelList(QByteArrayView expression);

/// A channel list as an answer reads it back: "(@1,3,4,5)".
QByteArray FormatChannelList(const ChannelList& list);

} // namespace velmora::scpi
