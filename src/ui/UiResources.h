#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>

namespace orvex {

// The program icon.
QIcon ProgramIcon();
// The second icon: no cycle has ended well since the last refresh started.
QIcon PendingIcon();
// The About box's bitmap; its magenta areas are meant to be transparent.
QImage AboutBitmap();
// The link cursor: a pointing hand with its hot spot at the fingertip (8, 3).
QCursor LinkCursor();

}  // namespace orvex
