#include "runs/step_reader.h"

#include "runs/run_parser.h"

#include <array>

namespace velmora {

namespace {

struct UnitName {
    const char* name; // lower case
    qint64 factor;    // resolution units in one of it
};

struct DimensionInfo {
    const char* example;    // "a voltage such as 4.2 V"
    const char* noun;       // "a voltage"
    const char* unitList;   // "V or mV"
    const char* resolution; // "1 mV"
    qint64 most;            // in resolution units
    const char* mostText;
    std::array<UnitName, 4> units;
};

const DimensionInfo& Info(Dimension dimension) {
    static const DimensionInfo kInfo[] = {
        {"a voltage such as 4.2 V",
         "a voltage",
         "V or mV",
         "1 mV",
         1'000'000,
         "1000 V",
         {{{"v", 1000}, {"mv", 1}}}},
        {"a current such as 0.5 A",
         "a current",
         "A or mA",
         "1 mA",
         1'000'000,
         "1000 A",
         {{{"a", 1000}, {"ma", 1}}}},
        {"a power such as 2 W",
         "a power",
         "W or mW",
         "1 mW",
         1'000'000'000,
         "1000000 W",
         {{{"w", 1000}, {"mw", 1}}}},
        {"a charge such as 1.5 Ah",
         "a charge",
         "Ah or mAh",
         "0.000001 Ah",
         1'000'000'000'000,
         "1000000 Ah",
         {{{"ah", 1'000'000}, {"mah", 1000}}}},
        {"an energy such as 10 Wh",
         "an energy",
         "Wh or mWh",
         "0.000001 Wh",
         1'000'000'000'000,
         "1000000 Wh",
         {{{"wh", 1'000'000}, {"mwh", 1000}}}},
        {"a duration such as 10 s",
         "a duration",
         "ms, s, min or h",
         "1 ms",
         kMaxDurationMs,
         "8760 h",
         {{{"ms", 1}, {"s", 1000}, {"min", 60'000}, {"h", 3'600'000}}}},
    };
    return kInfo[int(dimension)];
}

std::optional<qint64> UnitFactor(Dimension dimension, const QByteArray& lowered) {
    for (const UnitName& unit : Info(dimension).units)
        if (unit.name && lowered == unit.name) return unit.factor;
    return std::nullopt;
}

// A long token shown in a message: its start only.
QString Shown(const QByteArray& text) {
    return text.size() <= 20 ? QString::fromLatin1(text)
                             : QString::fromLatin1(text.left(20)) + QStringLiteral("...");
}

} // namespace

int StepReader::column() const {
    const Token* token = peek();
    return token ? token->column : endColumn_;
}

void StepReader::failAt(int column, const QString& message) {
    if (!problem_) problem_ = RunProblem{{line_, column}, message};
}

void StepReader::failBefore(const QString& message) {
    failAt(next_ > 0 ? tokens_[next_ - 1].column : column(), message);
}

QByteArray StepReader::word() {
    const Token* token = peek();
    if (!token || token->kind != Token::Word) return {};
    ++next_;
    return token->text.toLower();
}

bool StepReader::takeWord(const char* word) {
    const Token* token = peek();
    if (!token || token->kind != Token::Word || token->text.toLower() != word) return false;
    ++next_;
    return true;
}

bool StepReader::expectWord(const char* word) {
    if (takeWord(word)) return true;
    failHere(QStringLiteral("expected `%1`").arg(QLatin1StringView(word)));
    return false;
}

std::optional<bool> StepReader::comparison() {
    const Token* token = peek();
    if (!token || (token->kind != Token::Less && token->kind != Token::Greater)) {
        failHere(QStringLiteral("expected < or >"));
        return std::nullopt;
    }
    ++next_;
    return token->kind == Token::Greater;
}

std::optional<qint64> StepReader::scaled(const Token& number, const Decimal& decimal,
                                         Dimension dimension, qint64 factor) {
    const DimensionInfo& info = Info(dimension);
    const QString written = Shown(number.text);
    if (decimal.negative) {
        failAt(number.column, QStringLiteral("%1 cannot be negative").arg(info.noun));
        return std::nullopt;
    }
    // At most 12 digits times at most 3,600,000: well within 64 bits.
    const qint64 product = decimal.digits * factor;
    qint64 divisor = 1;
    for (int i = 0; i < decimal.fractionDigits; ++i)
        divisor *= 10;
    if (product % divisor != 0) {
        failAt(number.column, QStringLiteral("%1 is finer than %2").arg(written, info.resolution));
        return std::nullopt;
    }
    const qint64 value = product / divisor;
    if (value > info.most) {
        failAt(number.column, QStringLiteral("%1 is past %2").arg(written, info.mostText));
        return std::nullopt;
    }
    return value;
}

std::optional<qint64> StepReader::quantity(Dimension dimension, bool unitOptional) {
    const DimensionInfo& info = Info(dimension);
    const Token* number = peek();
    if (!number || number->kind != Token::Number) {
        failHere(QStringLiteral("expected %1").arg(info.example));
        return std::nullopt;
    }
    const auto decimal = ReadDecimal(number->text);
    if (!decimal) {
        failHere(QStringLiteral("cannot read the number %1: digits with at most one point, "
                                "%2 digits at most")
                     .arg(Shown(number->text))
                     .arg(Decimal::kMaxDigits));
        return std::nullopt;
    }
    ++next_;
    const Token* unit = peek();
    std::optional<qint64> factor;
    if (unit && unit->kind == Token::Word) factor = UnitFactor(dimension, unit->text.toLower());
    if (factor) {
        ++next_;
    } else if (unitOptional) {
        factor = info.units[0].factor;
    } else {
        failHere(
            QStringLiteral("expected a unit after %1: %2").arg(Shown(number->text), info.unitList));
        return std::nullopt;
    }
    return scaled(*number, *decimal, dimension, *factor);
}

std::optional<std::pair<Dimension, qint64>> StepReader::setpoint(std::optional<Dimension> wanted) {
    const Token* number = peek();
    const Token* unit = next_ + 1 < tokens_.size() ? &tokens_[next_ + 1] : nullptr;
    std::optional<Dimension> named;
    if (number && number->kind == Token::Number && unit && unit->kind == Token::Word) {
        const QByteArray lowered = unit->text.toLower();
        for (const Dimension d : {Dimension::Voltage, Dimension::Current})
            if (UnitFactor(d, lowered)) named = d;
    }
    if (named && wanted && *named != *wanted) {
        failAt(unit->column, QStringLiteral("the step has two set-points of one kind: expected %1")
                                 .arg(Info(*wanted).example));
        return std::nullopt;
    }
    if (!named && !wanted) {
        if (!number || number->kind != Token::Number) {
            failHere(QStringLiteral("expected a voltage such as 4.2 V"));
        } else {
            ++next_;
            failHere(QStringLiteral("expected a unit after %1: V, mV, A or mA")
                         .arg(Shown(number->text)));
        }
        return std::nullopt;
    }
    const Dimension dimension = named ? *named : *wanted;
    const auto value = quantity(dimension);
    if (!value) return std::nullopt;
    return std::pair{dimension, *value};
}

std::optional<qint64> StepReader::positiveDuration(const char* what) {
    const int at = column();
    const auto duration = quantity(Dimension::Duration);
    if (duration && *duration == 0) {
        failAt(at, QStringLiteral("%1 must last longer than 0").arg(QLatin1StringView(what)));
        return std::nullopt;
    }
    return duration;
}

std::optional<int> StepReader::count() {
    const Token* number = peek();
    const auto decimal =
        number && number->kind == Token::Number ? ReadDecimal(number->text) : std::nullopt;
    if (!decimal || decimal->negative || decimal->fractionDigits > 0 || decimal->digits < 1 ||
        decimal->digits > kMaxRepeatCount) {
        failHere(QStringLiteral("expected how many times, a whole number from 1 to %1")
                     .arg(kMaxRepeatCount));
        return std::nullopt;
    }
    ++next_;
    return int(decimal->digits);
}

bool StepReader::expectEnd() {
    const Token* token = peek();
    if (!token) return true;
    failHere(QStringLiteral("unexpected %1 after the step").arg(Shown(token->text)));
    return false;
}

} // namespace velmora
