#include "maps/syscolors.h"

#include <QGuiApplication>
#include <QPalette>

namespace quillet {

namespace {
struct SysEntry {
    uint32_t value;
    QPalette::ColorRole role;
    QRgb fallback;
};
// System colour -> palette role; the fallback applies without an application.
constexpr SysEntry kSysTable[] = {
    {kSysActiveTitleBar, QPalette::Highlight, 0xff308cc6},      {kSysMenuBackground, QPalette::Base, 0xffffffff},
    {kSysHighlightText, QPalette::HighlightedText, 0xffffffff}, {kSysButtonText, QPalette::ButtonText, 0xff000000},
    {kSysInactiveTitleText, QPalette::Midlight, 0xffcacaca},    {kSys3DLight, QPalette::Light, 0xffffffff},
};
} // namespace

QColor ResolveColor(uint32_t value)
{
    if ((value & 0x80000000u) == 0) {
        return QColor(int(value & 0xff), int((value >> 8) & 0xff), int((value >> 16) & 0xff));
    }
    for (const auto& e : kSysTable) {
        if (e.value == value) {
            if (qGuiApp)
                return QGuiApplication::palette().color(QPalette::Active, e.role);
            return QColor::fromRgb(e.fallback);
        }
    }
    return QColor(Qt::black);
}

uint32_t ColorValueOf(const QColor& c)
{
    return uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16);
}

} // namespace quillet
