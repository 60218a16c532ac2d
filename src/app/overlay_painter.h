#pragma once

class QPainter;

namespace trellon {

class OverlayMessage;

// Draws the overlay message centred in the span left .. left + width with its top at top: white
// text with a one-pixel black outline, readable over any picture. An empty message draws
// nothing. Works on any paint target (the Status strip, a mirrored frame) and on any thread; the
// painter's state is left as it was.
void DrawOverlayMessage(QPainter& painter, const OverlayMessage& overlay, int left, int width,
                        int top);

// Where the text starts: centred, truncating toward zero, so a text wider than the span starts
// left of it.
int OverlayTextLeft(int left, int width, int textWidth);

}  // namespace trellon
