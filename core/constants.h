#pragma once
// Names, texts and defaults the program shares: settings keys, captions,
// messages and the units of the shared numbers.

#include <QLatin1StringView>
#include <QRect>

namespace velmora {

// Settings store: organisation, section and keys.
inline constexpr QLatin1StringView kOrganisation{"Tarnholm"};
inline constexpr QLatin1StringView kSection{"Netzteil"};
inline constexpr QLatin1StringView kKeyVoltageLimit{"NLU"};
inline constexpr QLatin1StringView kKeyCurrentLimit{"NLI"};
inline constexpr QLatin1StringView kKeyPort{"Com"};
inline constexpr QLatin1StringView kKeyRecordFile{"Log"};
inline constexpr QLatin1StringView kKeyControlFile{"Dat"};
// Our own group that maps COMn to a device such as /dev/ttyUSB0.
inline constexpr QLatin1StringView kPortsSection{"Ports"};

// Defaults (COM number, file names relative to the program's folder); the
// default model is in unit/model.h.
inline constexpr qint16 kDefaultPort = 2;
inline constexpr QLatin1StringView kDefaultRecordFile{"Velmora.log"};
inline constexpr QLatin1StringView kDefaultControlFile{"Velmora.dat"};

// Window titles and messages, exactly as the user sees them.
inline constexpr QLatin1StringView kProgramTitle{"Velmora"};
inline constexpr QLatin1StringView kMainWindowTitle{"Power supply"};
inline constexpr QLatin1StringView kSettingsWindowTitle{"Settings"};
inline constexpr QLatin1StringView kErrorTitle{"Error:"};
inline constexpr QLatin1StringView kMsgVersionIsNotDefined{"Power supply version is not defined."};
inline constexpr QLatin1StringView kMsgVersionNotDefined{"Power supply version not defined."};
inline constexpr QLatin1StringView kMsgErrorOpeningFile{"Error opening file: "};
inline constexpr QLatin1StringView kCaptionStart{"Start"};
inline constexpr QLatin1StringView kCaptionStop{"Stop"};

// Geometry is given in twips; 15 twips make one pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;
constexpr int Px(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

/// A control's or a shape's place in twips.
struct TwipsBox {
    int left, top, width, height;
};

/// The pixels of a box. Both edges are rounded, not the width, so
/// neighbouring boxes stay flush.
constexpr QRect PxBox(const TwipsBox& box) {
    return QRect(QPoint(Px(box.left), Px(box.top)),
                 QPoint(Px(box.left + box.width) - 1, Px(box.top + box.height) - 1));
}

} // namespace velmora
