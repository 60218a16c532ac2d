#include "app/overlay_painter.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include "app/overlay_message.h"

namespace trellon {

int OverlayTextLeft(int left, int width, int textWidth) {
  return left + (width - textWidth) / 2;
}

void DrawOverlayMessage(QPainter& painter, const OverlayMessage& overlay, int left, int width,
                        int top) {
  const OverlayMessage::Snapshot snapshot = overlay.Take();
  if (snapshot.text.empty()) return;
  const QString text =
      QString::fromUtf8(snapshot.text.data(), static_cast<qsizetype>(snapshot.text.size()));
  QFont font(QString::fromStdString(snapshot.font.family));
  font.setPixelSize(snapshot.font.pixelHeight);

  painter.save();
  painter.setFont(font);
  painter.setBackgroundMode(Qt::TransparentMode);
  const QFontMetrics metrics(font, painter.device());
  const int x = OverlayTextLeft(left, width, metrics.horizontalAdvance(text));
  // Text is placed by its top edge; Qt places it by its base line.
  const int baseline = top + metrics.ascent();
  painter.setPen(QColor(0, 0, 0));
  painter.drawText(x - 1, baseline - 1, text);
  painter.drawText(x + 1, baseline - 1, text);
  painter.drawText(x - 1, baseline + 1, text);
  painter.drawText(x + 1, baseline + 1, text);
  painter.setPen(QColor(255, 255, 255));
  painter.drawText(x, baseline, text);
  painter.restore();
}

}  // namespace trellon
