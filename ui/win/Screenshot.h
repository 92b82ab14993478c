// Pictures of windows for --render-pages: what a person would see, written
// as PNG files. User-interface thread only.
#pragma once

class QPixmap;
class QString;

namespace win {

// Lets the event loop run for ms milliseconds, so that layouts, timers and
// queued calls have settled before a picture is taken.
void SettleEvents(int ms);

// Writes pixmap as dir/name (PNG) and prints the path on standard output;
// false, with the path on standard error, when it cannot be written.
[[nodiscard]] bool SaveScreenshot(const QPixmap& pixmap, const QString& dir, const QString& name);

}  // namespace win
