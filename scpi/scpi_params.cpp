#include "scpi/scpi_params.h"

#include "scpi/scpi_lex.h"

#include <cmath>

namespace velmora::scpi {

namespace {

enum class SlotType { Numeric, Boolean, Text, RunStop };

// What one parameter position takes. unit is the base suffix ("V"), empty
// for a number without a unit.
struct Slot {
    SlotType type;
    QByteArrayView unit;
    bool special = true; // MIN, MAX, DEF
    bool off = false;
};

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
        return true;
    default:
        return false;
    }
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

std::variant<Value, Error> Convert(const Element& e, const Slot& slot) {
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
    }
    return Fail(ErrorCode::DataTypeError, e);
}

} // namespace

Parameters ParseParameters(QByteArrayView text, ParamKind kind, bool query) {
    Elements elements = ReadElements(text);
    if (elements.error) return {{}, elements.error};
    QList<Slot> expected = CommandSlots(kind);
    qsizetype required = expected.size();
    if (query) {
        expected =
            IsNumericKind(kind) ? QList<Slot>{{SlotType::Numeric, {}, true, false}} : QList<Slot>{};
        required = 0;
    }
    if (elements.list.size() > expected.size())
        return {{}, Fail(ErrorCode::ParameterNotAllowed, elements.list[expected.size()])};
    if (elements.list.size() < required) return {{}, Error{ErrorCode::MissingParameter, {}}};
    Parameters out;
    for (qsizetype i = 0; i < elements.list.size(); ++i) {
        const Slot& slot = expected[i];
        const Element& element = elements.list[i];
        // A query's MIN, MAX or DEF is a word; a number there is out of place.
        if (query && element.type != Element::Type::Word)
            return {{}, Fail(ErrorCode::DataTypeError, element)};
        auto value = Convert(element, slot);
        if (auto* error = std::get_if<Error>(&value)) return {{}, *error};
        out.values.append(std::get<Value>(value));
    }
    return out;
}

} // namespace velmora::scpi
