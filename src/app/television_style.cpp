#include "app/television_style.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>
#include <algorithm>

namespace trellon {
namespace {

const QColor kWhite(Qt::white);
const QColor kBlack(Qt::black);
const QColor kDisabledGrey(0x80, 0x80, 0x80);
const QColor kUnselectedTabFrame(0x70, 0x70, 0x70);

// The colour of marks and arrows: white, grey when the control is disabled.
QColor Ink(const QStyleOption* option) {
  return option->state.testFlag(QStyle::State_Enabled) ? kWhite : kDisabledGrey;
}

bool HasFocus(const QStyleOption* option) {
  return option->state.testFlag(QStyle::State_HasFocus);
}

// The largest square in the rectangle, centred.
QRectF Square(const QRect& rect) {
  const qreal side = std::min(rect.width(), rect.height());
  return {rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0, side,
          side};
}

// A rectangle for a pen of this width drawn inside `rect`.
QRectF InsideFor(const QRectF& rect, qreal penWidth) {
  const qreal half = penWidth / 2;
  return rect.adjusted(half, half, -half, -half);
}

}  // namespace

TelevisionStyle::TelevisionStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QPalette TelevisionStyle::Palette() {
  QPalette palette;
  const std::pair<QPalette::ColorRole, QColor> colours[] = {
      {QPalette::Window, kBlack},
      {QPalette::WindowText, kWhite},
      {QPalette::Base, kBlack},
      {QPalette::AlternateBase, QColor(0x14, 0x14, 0x14)},
      {QPalette::Text, kWhite},
      {QPalette::PlaceholderText, kDisabledGrey},
      {QPalette::Button, QColor::fromRgb(kButtonColour)},
      {QPalette::ButtonText, kWhite},
      {QPalette::BrightText, kWhite},
      {QPalette::Light, QColor(0x5a, 0x5a, 0x5a)},
      {QPalette::Midlight, QColor(0x44, 0x44, 0x44)},
      {QPalette::Mid, QColor(0x33, 0x33, 0x33)},
      {QPalette::Dark, QColor(0x1a, 0x1a, 0x1a)},
      {QPalette::Shadow, kBlack},
      {QPalette::Highlight, QColor(0x2a, 0x5d, 0xb0)},
      {QPalette::HighlightedText, kWhite},
      {QPalette::ToolTipBase, kBlack},
      {QPalette::ToolTipText, kWhite},
      {QPalette::Link, QColor(0x6a, 0xa8, 0xff)}};
  for (const auto& [role, colour] : colours) palette.setColor(role, colour);
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, kDisabledGrey);
  }
  return palette;
}

QPalette TelevisionStyle::standardPalette() const {
  return Palette();
}

int TelevisionStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                 const QWidget* widget) const {
  switch (metric) {
    case PM_IndicatorWidth:
    case PM_IndicatorHeight:
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight:
      return kIndicatorSize;
    case PM_CheckBoxLabelSpacing:
    case PM_RadioButtonLabelSpacing:
      return 14;
    case PM_ScrollBarExtent:
      return kScrollBarWidth;
    case PM_ScrollBarSliderMin:
      return 48;
    case PM_DefaultFrameWidth:
      // Room for the focus frame inside the edits and the memo; buttons keep their thin frame,
      // so that the spin arrows stay large.
      if (qobject_cast<const QLineEdit*>(widget) ||
          qobject_cast<const QAbstractScrollArea*>(widget)) {
        return kFocusPenWidth;
      }
      break;
    case PM_TabBarTabHSpace:
      return 28;
    case PM_TabBarTabVSpace:
      return 14;
    default:
      break;
  }
  return QProxyStyle::pixelMetric(metric, option, widget);
}

QRect TelevisionStyle::subElementRect(SubElement element, const QStyleOption* option,
                                      const QWidget* widget) const {
  QRect rect = QProxyStyle::subElementRect(element, option, widget);
  if (element == SE_CheckBoxFocusRect || element == SE_RadioButtonFocusRect) {
    // Around the caption with room to spare, inside the control.
    rect = rect.adjusted(-4, -2, 4, 2).intersected(option->rect);
  }
  return rect;
}

QRect TelevisionStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                      SubControl subControl, const QWidget* widget) const {
  QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
  // The group's title stands clear of its frame's rounded corner.
  if (control == CC_GroupBox && subControl == SC_GroupBoxLabel) rect.translate(12, 0);
  return rect;
}

void TelevisionStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
  switch (element) {
    case PE_IndicatorCheckBox:
      DrawCheckMark(option, painter);
      return;
    case PE_IndicatorRadioButton:
      DrawRadioMark(option, painter);
      return;
    case PE_IndicatorArrowUp:
    case PE_IndicatorArrowDown:
    case PE_IndicatorArrowLeft:
    case PE_IndicatorArrowRight:
    case PE_IndicatorSpinUp:
    case PE_IndicatorSpinDown:
      DrawArrow(element, option, painter);
      return;
    case PE_FrameFocusRect: {
      painter->save();
      painter->setRenderHint(QPainter::Antialiasing);
      painter->setPen(QPen(QColor::fromRgb(kFocusColour), 3));
      painter->setBrush(Qt::NoBrush);
      painter->drawRoundedRect(InsideFor(option->rect, 3), 4, 4);
      painter->restore();
      return;
    }
    case PE_PanelLineEdit:
      DrawEditFrame(option, painter, true);
      return;
    case PE_FrameLineEdit:
      DrawEditFrame(option, painter, false);
      return;
    case PE_Frame:
      // The memo's frame, like an edit's.
      if (qobject_cast<const QAbstractScrollArea*>(widget)) {
        DrawEditFrame(option, painter, false);
        return;
      }
      break;
    case PE_PanelButtonTool:
    case PE_PanelButtonCommand:
      DrawButtonPanel(option, painter);
      return;
    case PE_FrameGroupBox: {
      painter->save();
      painter->setRenderHint(QPainter::Antialiasing);
      painter->setPen(QPen(QColor::fromRgb(kFrameColour), 2));
      painter->setBrush(Qt::NoBrush);
      painter->drawRoundedRect(InsideFor(option->rect, 2), 6, 6);
      painter->restore();
      return;
    }
    default:
      break;
  }
  QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void TelevisionStyle::drawControl(ControlElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
  if (element == CE_TabBarTabShape) {
    DrawTabShape(option, painter, widget);
    return;
  }
  if (element == CE_TabBarTabLabel) {
    // The tab's own edge shows the focus.
    if (const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(option)) {
      QStyleOptionTab label = *tab;
      label.state &= ~State_HasFocus;
      QProxyStyle::drawControl(element, &label, painter, widget);
      return;
    }
  }
  QProxyStyle::drawControl(element, option, painter, widget);
}

void TelevisionStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                         QPainter* painter, const QWidget* widget) const {
  QProxyStyle::drawComplexControl(control, option, painter, widget);
  const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (control != CC_ScrollBar || !bar) return;
  // The scroll bars' step buttons with arrows as large as the spin edits'.
  const bool horizontal = bar->orientation == Qt::Horizontal;
  const std::pair<SubControl, PrimitiveElement> buttons[] = {
      {SC_ScrollBarSubLine, horizontal ? PE_IndicatorArrowLeft : PE_IndicatorArrowUp},
      {SC_ScrollBarAddLine, horizontal ? PE_IndicatorArrowRight : PE_IndicatorArrowDown}};
  for (const auto& [subControl, arrow] : buttons) {
    QStyleOption button = *option;
    button.rect = subControlRect(CC_ScrollBar, bar, subControl, widget);
    const bool pressed =
        bar->activeSubControls.testFlag(subControl) && bar->state.testFlag(State_Sunken);
    button.state.setFlag(State_Sunken, pressed);
    button.state &= ~(State_HasFocus | State_On);
    DrawButtonPanel(&button, painter);
    button.rect.adjust(4, 4, -4, -4);
    DrawArrow(arrow, &button, painter);
  }
}

void TelevisionStyle::DrawCheckMark(const QStyleOption* option, QPainter* painter) const {
  const QRectF box = Square(option->rect);
  const qreal frame = 3;
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(QPen(HasFocus(option) ? QColor::fromRgb(kFocusColour) : Ink(option), frame));
  painter->setBrush(kBlack);
  painter->drawRoundedRect(InsideFor(box, frame), 5, 5);
  const qreal side = box.width();
  QPen mark(Ink(option), std::max<qreal>(3, side * 0.14), Qt::SolidLine, Qt::RoundCap,
            Qt::RoundJoin);
  painter->setPen(mark);
  if (option->state.testFlag(State_On)) {
    QPainterPath tick;
    tick.moveTo(box.x() + side * 0.22, box.y() + side * 0.52);
    tick.lineTo(box.x() + side * 0.42, box.y() + side * 0.72);
    tick.lineTo(box.x() + side * 0.78, box.y() + side * 0.28);
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(tick);
  } else if (option->state.testFlag(State_NoChange)) {
    const qreal middle = box.center().y();
    painter->drawLine(QPointF(box.x() + side * 0.25, middle),
                      QPointF(box.right() - side * 0.25, middle));
  }
  painter->restore();
}

void TelevisionStyle::DrawRadioMark(const QStyleOption* option, QPainter* painter) const {
  const QRectF circle = Square(option->rect);
  const qreal ring = 3;
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(QPen(HasFocus(option) ? QColor::fromRgb(kFocusColour) : Ink(option), ring));
  painter->setBrush(kBlack);
  painter->drawEllipse(InsideFor(circle, ring));
  if (option->state.testFlag(State_On)) {
    const qreal radius = circle.width() * 0.25;
    painter->setPen(Qt::NoPen);
    painter->setBrush(Ink(option));
    painter->drawEllipse(circle.center(), radius, radius);
  }
  painter->restore();
}

void TelevisionStyle::DrawArrow(PrimitiveElement element, const QStyleOption* option,
                                QPainter* painter) const {
  const bool vertical = element == PE_IndicatorArrowUp || element == PE_IndicatorArrowDown ||
                        element == PE_IndicatorSpinUp || element == PE_IndicatorSpinDown;
  const QRectF area = QRectF(option->rect).adjusted(1, 1, -1, -1);
  // A wide, flat triangle as large as the button allows.
  const qreal along = vertical ? area.width() : area.height();
  const qreal across = vertical ? area.height() : area.width();
  const qreal base = std::min(along * 0.9, across * 1.7);
  const qreal depth = base * 0.55;
  const QPointF c = area.center();
  QPolygonF triangle;
  switch (element) {
    case PE_IndicatorArrowUp:
    case PE_IndicatorSpinUp:
      triangle << QPointF(c.x() - base / 2, c.y() + depth / 2)
               << QPointF(c.x() + base / 2, c.y() + depth / 2) << QPointF(c.x(), c.y() - depth / 2);
      break;
    case PE_IndicatorArrowDown:
    case PE_IndicatorSpinDown:
      triangle << QPointF(c.x() - base / 2, c.y() - depth / 2)
               << QPointF(c.x() + base / 2, c.y() - depth / 2) << QPointF(c.x(), c.y() + depth / 2);
      break;
    case PE_IndicatorArrowLeft:
      triangle << QPointF(c.x() + depth / 2, c.y() - base / 2)
               << QPointF(c.x() + depth / 2, c.y() + base / 2) << QPointF(c.x() - depth / 2, c.y());
      break;
    default:
      triangle << QPointF(c.x() - depth / 2, c.y() - base / 2)
               << QPointF(c.x() - depth / 2, c.y() + base / 2) << QPointF(c.x() + depth / 2, c.y());
      break;
  }
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setPen(Qt::NoPen);
  painter->setBrush(Ink(option));
  painter->drawPolygon(triangle);
  painter->restore();
}

void TelevisionStyle::DrawEditFrame(const QStyleOption* option, QPainter* painter,
                                    bool fill) const {
  if (fill) painter->fillRect(option->rect, option->palette.base());
  const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
  if (frame && frame->lineWidth <= 0) return;
  const bool focus = HasFocus(option);
  const qreal width = focus ? kFocusPenWidth : 2;
  painter->save();
  painter->setPen(QPen(focus ? QColor::fromRgb(kFocusColour) : QColor::fromRgb(kFrameColour), width,
                       Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(InsideFor(option->rect, width));
  painter->restore();
}

void TelevisionStyle::DrawButtonPanel(const QStyleOption* option, QPainter* painter) const {
  const bool pressed = option->state & (State_Sunken | State_On);
  painter->fillRect(option->rect, pressed ? QColor(0x5a, 0x5a, 0x5a) : QColor(kButtonColour));
  const bool focus = HasFocus(option);
  const qreal width = focus ? 3 : 1;
  painter->save();
  painter->setPen(
      QPen(focus ? QColor::fromRgb(kFocusColour) : QColor::fromRgb(kFrameColour), width));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(InsideFor(option->rect, width));
  painter->restore();
}

void TelevisionStyle::DrawTabShape(const QStyleOption* option, QPainter* painter,
                                   const QWidget* widget) const {
  const bool selected = option->state.testFlag(State_Selected);
  const bool flat = widget && widget->property(kFlatButtons).toBool();
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  const bool focus = HasFocus(option);
  const QColor selectedEdge = focus ? QColor::fromRgb(kFocusColour) : kWhite;
  const qreal selectedPen = focus ? 3 : 2;
  if (flat) {
    // A flat button; the selected one lit.
    const QRectF button = QRectF(option->rect).adjusted(3, 3, -3, -3);
    painter->setPen(
        QPen(selected ? selectedEdge : kUnselectedTabFrame, selected ? selectedPen : 2));
    painter->setBrush(selected ? QColor(kSelectedTabColour) : kBlack);
    painter->drawRoundedRect(InsideFor(button, 2), 6, 6);
  } else {
    // A tab, open at the bottom towards its page when selected.
    const QRectF tab = QRectF(option->rect).adjusted(1, selected ? 1 : 5, -1, 0);
    const qreal pen = selected ? selectedPen : 2;
    const QRectF edge = InsideFor(tab, pen);
    QPainterPath outline;
    outline.moveTo(edge.bottomLeft() + QPointF(0, pen));
    outline.lineTo(edge.left(), edge.top() + 6);
    outline.quadTo(edge.topLeft(), QPointF(edge.left() + 6, edge.top()));
    outline.lineTo(edge.right() - 6, edge.top());
    outline.quadTo(edge.topRight(), QPointF(edge.right(), edge.top() + 6));
    outline.lineTo(edge.bottomRight() + QPointF(0, pen));
    if (!selected) outline.closeSubpath();
    painter->setBrush(selected ? kBlack : QColor(kButtonColour));
    painter->setPen(QPen(selected ? selectedEdge : kUnselectedTabFrame, pen));
    painter->drawPath(outline);
  }
  painter->restore();
}

void ApplyTelevisionLook() {
  QApplication::setStyle(new TelevisionStyle);
  QApplication::setPalette(TelevisionStyle::Palette());
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(TelevisionStyle::kFontPixels);
  QApplication::setFont(font);
}

}  // namespace trellon
