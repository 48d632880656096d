#pragma once
// A run file's line cut into words, numbers and the signs < and >.

#include "runs/run_program.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

namespace velmora {

/// Something wrong in a run file, or refused by its check, with its place.
struct RunProblem {
    Place place;
    QString message;
    /// "line 3:12: expected a duration such as 10 s".
    QString text() const;
    friend bool operator==(const RunProblem&, const RunProblem&) = default;
};

struct Token {
    enum Kind { Word, Number, Less, Greater };
    Kind kind = Word;
    QByteArray text;
    int column = 0; // from 1
};

/// The tokens of one line (its comment already cut off): letters make a
/// word, a sign, digits and a point a number, and a unit may follow a
/// number with no blank between ("4.2V"). Anything else is a problem.
std::optional<RunProblem> CutTokens(QByteArrayView line, int lineNumber,
                                    std::vector<Token>& tokens);

/// A number as written: its digits without the point, how many of them
/// follow the point, and its sign. Nothing for a text that is no plain
/// decimal or holds more than kMaxDigits digits.
struct Decimal {
    static constexpr int kMaxDigits = 12;
    qint64 digits = 0;
    int fractionDigits = 0;
    bool negative = false;
};
std::optional<Decimal> ReadDecimal(QByteArrayView text);

} // namespace velmora
