#pragma once
// The cursor a run file's line is read with: keywords in any case, numbers
// with their units scaled exactly to whole mV, mA, mW, uAh, uWh or ms, and
// the first problem with its column.

#include "runs/run_lexer.h"

#include <optional>
#include <utility>
#include <vector>

namespace velmora {

/// What a number with its unit measures.
enum class Dimension { Voltage, Current, Power, Charge, Energy, Duration };

class StepReader {
  public:
    /// `endColumn`: the column just after the line's last character.
    StepReader(const std::vector<Token>& tokens, int line, int endColumn)
        : tokens_(tokens), line_(line), endColumn_(endColumn) {}

    int line() const { return line_; }
    /// The next token's column, or the end's.
    int column() const;

    /// The next token, lower-cased, when it is a word (taken); else empty.
    QByteArray word();
    /// Takes the next token when it is this word (lower case), whatever its case.
    bool takeWord(const char* word);
    bool expectWord(const char* word);
    /// `>` true, `<` false.
    std::optional<bool> comparison();
    /// A number and its unit, in whole units of the dimension's resolution;
    /// without a unit, in the dimension's main unit when `unitOptional`.
    std::optional<qint64> quantity(Dimension dimension, bool unitOptional = false);
    /// A voltage or a current, which its unit tells; `wanted` when given.
    std::optional<std::pair<Dimension, qint64>> setpoint(std::optional<Dimension> wanted);
    /// A duration above 0; `what` names it for the message ("a rest").
    std::optional<qint64> positiveDuration(const char* what);
    /// A whole number of times, 1 to kMaxRepeatCount, with no unit.
    std::optional<int> count();
    /// Fails when anything is left.
    bool expectEnd();

    void failAt(int column, const QString& message);
    void failHere(const QString& message) { failAt(column(), message); }
    /// At the token just taken.
    void failBefore(const QString& message);
    RunProblem problem() const { return problem_.value_or(RunProblem{{line_, 1}, {}}); }

  private:
    const Token* peek() const { return next_ < tokens_.size() ? &tokens_[next_] : nullptr; }
    std::optional<qint64> scaled(const Token& number, const Decimal& decimal, Dimension dimension,
                                 qint64 factor);

    const std::vector<Token>& tokens_;
    std::size_t next_ = 0;
    int line_;
    int endColumn_;
    std::optional<RunProblem> problem_;
};

} // namespace velmora
