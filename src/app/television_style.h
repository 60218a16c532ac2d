#pragma once

#include <QPalette>
#include <QProxyStyle>

class QApplication;

namespace trellon {

// The look of the program, made to be read from a sofa three metres from a television: white
// text on black, large check and radio marks, clearly visible spin arrows, visible frames around
// the edits and a bright focus mark so that the settings can be walked with the keyboard. Main
// tabs (a tab bar with the property kFlatButtons set) are drawn as flat buttons, the others as
// plain tabs. Everything else is drawn by the Fusion style underneath.
class TelevisionStyle final : public QProxyStyle {
  Q_OBJECT

 public:
  static constexpr int kFontPixels = 36;
  // Check boxes and radio buttons are this high, and so are their marks.
  static constexpr int kIndicatorSize = 40;
  static constexpr int kScrollBarWidth = 32;
  static constexpr int kFocusPenWidth = 4;
  static constexpr QRgb kFocusColour = 0xffffc400;  // amber, apart from everything else
  static constexpr QRgb kFrameColour = 0xffb0b0b0;
  static constexpr QRgb kButtonColour = 0xff2e2e2e;
  static constexpr QRgb kSelectedTabColour = 0xff3c3c3c;
  // Dynamic property of a QTabBar: draw its tabs as flat buttons.
  static constexpr const char* kFlatButtons = "flatButtons";

  TelevisionStyle();

  // White on black; greys for buttons and disabled text.
  static QPalette Palette();

  QPalette standardPalette() const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override;
  QRect subElementRect(SubElement element, const QStyleOption* option,
                       const QWidget* widget) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl subControl, const QWidget* widget) const override;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override;

 private:
  void DrawCheckMark(const QStyleOption* option, QPainter* painter) const;
  void DrawRadioMark(const QStyleOption* option, QPainter* painter) const;
  void DrawArrow(PrimitiveElement element, const QStyleOption* option, QPainter* painter) const;
  void DrawEditFrame(const QStyleOption* option, QPainter* painter, bool fill) const;
  void DrawButtonPanel(const QStyleOption* option, QPainter* painter) const;
  void DrawTabShape(const QStyleOption* option, QPainter* painter, const QWidget* widget) const;
};

// Makes the television look the application's: the style, its palette and 36-pixel Arial.
void ApplyTelevisionLook();

}  // namespace trellon
