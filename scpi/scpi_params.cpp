#include "scpi/scpi_params.h"

#include "scpi/scpi_lex.h"

#include <cmath>

namespace velmora::scpi {

namespace {

enum class SlotType { Numeric, Boolean, Text, RunStop, Unit, Name, Couple, Channels };

// What one parameter position takes. unit is the base suffix ("V"), empty
// for a number without a unit.
struct Slot {
    SlotType type;
    QByteArrayView unit;
    bool special = true; // MIN, MAX, DEF
    bool off = false;
    bool optional = false; // may be left out, as may every slot after it
};

// The channel list after OUTPut's ON|OFF and in MEASure's queries.
constexpr Slot kOptionalChannels{SlotType::Channels, {}, false, false, true};

QList<Slot> CommandSlots(ParamKind kind) {
    switch (kind) {
    case ParamKind::None:
        return {};
    case ParamKind::Number:
        return {{SlotType::Numeric, {}, false}};
    case ParamKind::Volts:
        return {{SlotType::Numeric, "V"}};
    case ParamKind::Amperes:
        return {{SlotType::Numeric, "A"}};
    case ParamKind::Seconds:
        return {{SlotType::Numeric, "S"}};
    case ParamKind::VoltsLimit:
        return {{SlotType::Numeric, "V", true, true}};
    case ParamKind::AmperesLimit:
        return {{SlotType::Numeric, "A", true, true}};
    case ParamKind::VoltsAmperes:
        return {{SlotType::Numeric, "V"}, {SlotType::Numeric, "A"}};
    case ParamKind::Boolean:
        return {{SlotType::Boolean, {}}};
    case ParamKind::Text:
        return {{SlotType::Text, {}}};
    case ParamKind::RunStop:
        return {{SlotType::RunStop, {}}};
    case ParamKind::Channel:
        return {{SlotType::Unit, {}}};
    case ParamKind::Name:
        return {{SlotType::Name, {}}};
    case ParamKind::Couple:
        return {{SlotType::Couple, {}}};
    case ParamKind::BooleanChannels:
        return {{SlotType::Boolean, {}}, kOptionalChannels};
    case ParamKind::OptionalChannels:
        return {kOptionalChannels};
    }
    return {};
}

bool IsNumericKind(ParamKind kind) {
    switch (kind) {
    case ParamKind::Volts:
    case ParamKind::Amperes:
    case ParamKind::Seconds:
    case ParamKind::VoltsLimit:
    case ParamKind::AmperesLimit:
    case ParamKind::Channel:
        return true;
    default:
        return false;
    }
}

QList<Slot> QuerySlots(ParamKind kind) {
    if (IsNumericKind(kind)) return {{SlotType::Numeric, {}, true, false, true}};
    if (kind == ParamKind::OptionalChannels) return {kOptionalChannels};
    return {};
}

Error Fail(ErrorCode code, const Element& element) {
    return {code, QString::fromLatin1(element.raw)};
}

std::optional<Special> SpecialWord(QByteArrayView word, const Slot& slot) {
    if (slot.special) {
        if (MnemonicMatches(word, "MINimum")) return Special::Minimum;
        if (MnemonicMatches(word, "MAXimum")) return Special::Maximum;
        if (MnemonicMatches(word, "DEFault")) return Special::Default;
    }
    if (slot.off && MnemonicMatches(word, "OFF")) return Special::Off;
    return std::nullopt;
}

std::variant<Value, Error> Number(const Element& e, const Slot& slot) {
    // Dividing keeps 500 mV exactly the double nearest to 0.5 V.
    double divisor = 1;
    if (!e.suffix.isEmpty()) {
        if (slot.unit.isEmpty()) return Fail(ErrorCode::SuffixNotAllowed, e);
        if (e.suffix.compare(slot.unit, Qt::CaseInsensitive) == 0)
            divisor = 1;
        else if (e.suffix.size() == 2 && (e.suffix[0] == 'm' || e.suffix[0] == 'M') &&
                 e.suffix.sliced(1).compare(slot.unit, Qt::CaseInsensitive) == 0)
            divisor = 1000;
        else
            return Fail(ErrorCode::InvalidSuffix, e);
    }
    if (!std::isfinite(e.number)) return Fail(ErrorCode::DataOutOfRange, e);
    return Value(e.number / divisor);
}

// A unit's number: whole, 1 to kMaxChannel, no suffix.
std::variant<Value, Error> UnitNumber(const Element& e, const Slot& slot) {
    if (e.type == Element::Type::Word) {
        if (const auto special = SpecialWord(e.raw, slot)) return Value(*special);
        return Fail(ErrorCode::InvalidCharacterData, e);
    }
    if (e.type != Element::Type::Number) return Fail(ErrorCode::DataTypeError, e);
    if (!e.suffix.isEmpty()) return Fail(ErrorCode::SuffixNotAllowed, e);
    if (!(e.number >= 1 && e.number <= kMaxChannel))
        return Error{ErrorCode::DataOutOfRange,
                     QStringLiteral("unit %1: the units are numbered 1 to %2")
                         .arg(QString::fromLatin1(e.raw))
                         .arg(kMaxChannel)};
    if (e.number != std::floor(e.number))
        return Error{ErrorCode::IllegalParameterValue,
                     QStringLiteral("unit %1 is no whole number").arg(QString::fromLatin1(e.raw))};
    return Value(e.number);
}

std::variant<Value, Error> ChannelsOf(const Element& e) {
    auto list = ReadChannelList(e.raw);
    if (auto* error = std::get_if<Error>(&list)) return *error;
    return Value(std::get<ChannelList>(list));
}

// The slot types the channel lists brought.
std::variant<Value, Error> ConvertForBench(const Element& e, const Slot& slot) {
    switch (slot.type) {
    case SlotType::Unit:
        return UnitNumber(e, slot);
    case SlotType::Name:
        if (e.type == Element::Type::String) return Value(e.text);
        if (e.type == Element::Type::Word) return Value(QString::fromLatin1(e.raw));
        break;
    case SlotType::Couple:
        if (e.type == Element::Type::Expression) return ChannelsOf(e);
        if (e.type != Element::Type::Word) break;
        if (MnemonicMatches(e.raw, "ALL")) return Value(Coupling::All);
        if (MnemonicMatches(e.raw, "NONE")) return Value(Coupling::None);
        return Fail(ErrorCode::InvalidCharacterData, e);
    default:
        // Only a channel list goes after ON|OFF or a measurement query:
        // anything else is a parameter they do not take, as before lists.
        if (e.type == Element::Type::Expression) return ChannelsOf(e);
        return Fail(ErrorCode::ParameterNotAllowed, e);
    }
    return Fail(ErrorCode::DataTypeError, e);
}

std::variant<Value, Error> Convert(const Element& e, const Slot& slot) {
    // No parameter but a channel list is written in parentheses.
    if (e.type == Element::Type::Expression && slot.type != SlotType::Couple &&
        slot.type != SlotType::Channels)
        return Fail(ErrorCode::ExpressionNotAllowed, e);
    switch (slot.type) {
    case SlotType::Numeric:
        if (e.type == Element::Type::Number) return Number(e, slot);
        if (e.type == Element::Type::String) break;
        if (const auto special = SpecialWord(e.raw, slot)) return Value(*special);
        return Fail(ErrorCode::InvalidCharacterData, e);
    case SlotType::Boolean:
        if (e.type == Element::Type::Number) {
            if (!e.suffix.isEmpty()) return Fail(ErrorCode::SuffixNotAllowed, e);
            if (!std::isfinite(e.number)) return Fail(ErrorCode::DataOutOfRange, e);
            return Value(std::round(e.number) != 0);
        }
        if (e.type == Element::Type::String) break;
        if (MnemonicMatches(e.raw, "ON")) return Value(true);
        if (MnemonicMatches(e.raw, "OFF")) return Value(false);
        return Fail(ErrorCode::InvalidCharacterData, e);
    case SlotType::Text:
        if (e.type == Element::Type::String) return Value(e.text);
        break;
    case SlotType::RunStop:
        if (e.type != Element::Type::Word) break;
        if (MnemonicMatches(e.raw, "RUN")) return Value(RunStop::Run);
        if (MnemonicMatches(e.raw, "STOP")) return Value(RunStop::Stop);
        return Fail(ErrorCode::InvalidCharacterData, e);
    default:
        return ConvertForBench(e, slot);
    }
    return Fail(ErrorCode::DataTypeError, e);
}

qsizetype RequiredCount(const QList<Slot>& expected) {
    qsizetype required = 0;
    while (required < expected.size() && !expected[required].optional)
        ++required;
    return required;
}

} // namespace

Parameters ParseParameters(QByteArrayView text, ParamKind kind, bool query) {
    Elements elements = ReadElements(text);
    if (elements.error) return {{}, elements.error};
    const QList<Slot> expected = query ? QuerySlots(kind) : CommandSlots(kind);
    const qsizetype required = RequiredCount(expected);
    if (elements.list.size() > expected.size())
        return {{}, Fail(ErrorCode::ParameterNotAllowed, elements.list[expected.size()])};
    if (elements.list.size() < required) return {{}, Error{ErrorCode::MissingParameter, {}}};
    Parameters out;
    for (qsizetype i = 0; i < elements.list.size(); ++i) {
        const Slot& slot = expected[i];
        const Element& element = elements.list[i];
        // A query's MIN, MAX or DEF is a word; a number there is out of place.
        if (query && slot.type == SlotType::Numeric && element.type != Element::Type::Word)
            return {{}, Fail(ErrorCode::DataTypeError, element)};
        auto value = Convert(element, slot);
        if (auto* error = std::get_if<Error>(&value)) return {{}, *error};
        out.values.append(std::get<Value>(value));
    }
    return out;
}

} // namespace velmora::scpi
