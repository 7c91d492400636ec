#include "windowing/systemcolors.h"

namespace quiralto::windowing {

QColor systemColor(SystemColor color, const QPalette &palette)
{
    switch (color) {
    case SystemColor::BtnFace: return palette.color(QPalette::Button);
    case SystemColor::BtnHighlight: return palette.color(QPalette::Light);
    case SystemColor::BtnShadow: return palette.color(QPalette::Dark);
    case SystemColor::BtnDkShadow: return palette.color(QPalette::Shadow);
    case SystemColor::BtnLight: return palette.color(QPalette::Midlight);
    case SystemColor::Window: return palette.color(QPalette::Base);
    case SystemColor::WindowText: return palette.color(QPalette::Text);
    case SystemColor::WindowFrame: return palette.color(QPalette::Shadow);
    case SystemColor::Highlight: return palette.color(QPalette::Highlight);
    case SystemColor::HighlightText: return palette.color(QPalette::HighlightedText);
    case SystemColor::InfoBk: return palette.color(QPalette::ToolTipBase);
    case SystemColor::InfoText: return palette.color(QPalette::ToolTipText);
    case SystemColor::Black: return QColor(0, 0, 0);
    case SystemColor::Silver: return QColor(192, 192, 192);
    case SystemColor::Gray: return QColor(128, 128, 128);
    case SystemColor::Olive: return QColor(128, 128, 0);
    }
    return {};
}

} // namespace quiralto::windowing
