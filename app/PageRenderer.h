// Renders every wizard page the program has, and the about box, with
// representative contents to PNG files in a folder, without a display:
//   tarnwick --render-pages DIR
// Files: 102-start-page.png, 131-multiple-file-list.png, and so on (one per
// registered page, see RegisterPages.h), 100-about-box.png, the summary page
// during a run, the review window of a real Preview of an mbox written for
// it into a temporary folder, and the single-file page's box for a database
// that is not there. No database of the user's is opened or changed, nothing
// is opened in a browser, and message boxes a page may raise while loading
// are dismissed. Returns 0 when every file was
// written, 1 otherwise (the reason on standard error).
#pragma once

#include <QString>

int RenderPages(const QString& dir);
